#include "services/run_loop.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/run_loop.h"

namespace mphost {

int runDueTimers() { return platform::runDueTimers(); }

int advanceVirtualTime(std::int64_t nanoseconds)
{
    if (!platform::isVirtualTime())
        platform::setVirtualTime(platform::monotonicNanoseconds());
    const std::int64_t target = std::max(nanoseconds, platform::monotonicNanoseconds());
    const int ticks = platform::runTimersUntil(target);
    platform::setVirtualTime(target);
    return ticks;
}

std::int64_t nextTimerDue() { return platform::nextTimerFire(); }

}  // namespace mphost
