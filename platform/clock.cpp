#include "clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace platform {
namespace {

// The virtual time in nanoseconds, or -1 while the real clock is in use.
std::atomic<std::int64_t> virtualTime{-1};

}  // namespace

std::int64_t monotonicNanoseconds()
{
    const std::int64_t time = virtualTime.load(std::memory_order_relaxed);
    if (time >= 0)
        return time;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void setVirtualTime(std::int64_t nanoseconds)
{
    virtualTime.store(std::max<std::int64_t>(nanoseconds, 0), std::memory_order_relaxed);
}

void useRealTime() { virtualTime.store(-1, std::memory_order_relaxed); }

bool isVirtualTime() { return virtualTime.load(std::memory_order_relaxed) >= 0; }

}  // namespace platform
