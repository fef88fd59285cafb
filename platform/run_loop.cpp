#include "run_loop.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <vector>

#include "clock.h"

// The objects behind the opaque references. Each starts with its kind, so CFRelease can
// tell a timer from the objects it leaves alone. The exported functions never call each
// other: a process that supplies its own run loop replaces them one by one, and this
// library's internals must keep using its own.
enum class ObjectKind : std::uint32_t { String = 0x53545247, RunLoop = 0x524c4f50, Timer = 0x544d4552 };

struct PlatformString {
    ObjectKind kind;
    const char* text;
};

struct PlatformRunLoop {
    ObjectKind kind = ObjectKind::RunLoop;
    std::vector<PlatformRunLoopTimer*> timers;  // scheduled, each holding one reference
    std::uint64_t nextSequence = 0;
    bool pumping = false;
};

struct PlatformRunLoopTimer {
    ObjectKind kind = ObjectKind::Timer;
    int references = 1;
    double fireDate = 0.0;  // seconds, the next fire
    double interval = 0.0;  // seconds; 0 fires once
    CFRunLoopTimerCallBack callout = nullptr;
    CFRunLoopTimerContext context{};
    bool valid = true;
    PlatformRunLoop* runLoop = nullptr;  // where it is scheduled, or null
    std::uint64_t sequence = 0;          // order of scheduling, for timers due together
};

namespace {

const PlatformString commonModes{ObjectKind::String, "kCFRunLoopCommonModes"};

constexpr int maximumCallbacksPerPump = 1'000'000;

// Leaked on purpose: a run loop must outlive every static object that may still stop a
// timer while the process exits, and a timer may still name the loop of a thread that has
// ended. Every loop stays listed here, so leak checkers see it as reachable.
PlatformRunLoop* newRunLoop()
{
    static std::mutex listLock;
    static auto* const everyLoop = new std::vector<PlatformRunLoop*>;
    const std::lock_guard<std::mutex> hold(listLock);
    everyLoop->push_back(new PlatformRunLoop);
    return everyLoop->back();
}

PlatformRunLoop* currentRunLoop()
{
    thread_local PlatformRunLoop* runLoop = newRunLoop();
    return runLoop;
}

// Seconds on the clock to the first nanosecond at or after them, saturated.
std::int64_t toNanoseconds(double seconds)
{
    const double nanoseconds = std::ceil(seconds * 1e9);
    if (!(nanoseconds < 9.2e18))
        return std::numeric_limits<std::int64_t>::max();
    if (nanoseconds < -9.2e18)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(nanoseconds);
}

void retainTimer(PlatformRunLoopTimer* timer) { ++timer->references; }

void releaseTimer(PlatformRunLoopTimer* timer)
{
    if (--timer->references > 0)
        return;
    if (timer->context.release)
        timer->context.release(timer->context.info);
    delete timer;
}

void unschedule(PlatformRunLoopTimer* timer)
{
    PlatformRunLoop* runLoop = timer->runLoop;
    if (!runLoop)
        return;
    runLoop->timers.erase(std::find(runLoop->timers.begin(), runLoop->timers.end(), timer));
    timer->runLoop = nullptr;
    releaseTimer(timer);
}

void invalidate(PlatformRunLoopTimer* timer)
{
    timer->valid = false;
    unschedule(timer);
}

// The scheduled timer that fires first, if it is due by `until`.
PlatformRunLoopTimer* nextDue(const PlatformRunLoop& runLoop, std::int64_t until)
{
    PlatformRunLoopTimer* best = nullptr;
    for (PlatformRunLoopTimer* timer : runLoop.timers) {
        if (!timer->valid || toNanoseconds(timer->fireDate) > until)
            continue;
        if (!best || timer->fireDate < best->fireDate ||
            (timer->fireDate == best->fireDate && timer->sequence < best->sequence))
            best = timer;
    }
    return best;
}

}  // namespace

const CFStringRef kCFRunLoopCommonModes = &commonModes;

CFAbsoluteTime CFAbsoluteTimeGetCurrent(void)
{
    return static_cast<double>(platform::monotonicNanoseconds()) / 1e9;
}

CFRunLoopRef CFRunLoopGetCurrent(void) { return currentRunLoop(); }

CFRunLoopTimerRef CFRunLoopTimerCreate(CFAllocatorRef /*allocator*/, CFAbsoluteTime fireDate, CFTimeInterval interval,
                                       CFOptionFlags /*flags*/, CFIndex /*order*/, CFRunLoopTimerCallBack callout,
                                       CFRunLoopTimerContext* context)
{
    if (!callout || std::isnan(fireDate))
        return nullptr;
    auto* timer = new PlatformRunLoopTimer;
    timer->fireDate = fireDate;
    timer->interval = interval > 0.0 ? interval : 0.0;  // NaN compares false: fires once
    timer->callout = callout;
    if (context) {
        timer->context = *context;
        if (timer->context.retain)
            timer->context.info = const_cast<void*>(timer->context.retain(context->info));
    }
    return timer;
}

void CFRunLoopAddTimer(CFRunLoopRef runLoop, CFRunLoopTimerRef timer, CFRunLoopMode mode)
{
    if (!runLoop || !timer || !mode || !timer->valid || timer->runLoop)
        return;
    timer->runLoop = runLoop;
    timer->sequence = runLoop->nextSequence++;
    runLoop->timers.push_back(timer);
    retainTimer(timer);
}

void CFRunLoopRemoveTimer(CFRunLoopRef runLoop, CFRunLoopTimerRef timer, CFRunLoopMode mode)
{
    if (!runLoop || !timer || !mode || timer->runLoop != runLoop)
        return;
    unschedule(timer);
}

void CFRunLoopTimerInvalidate(CFRunLoopTimerRef timer)
{
    if (timer)
        invalidate(timer);
}

void CFRelease(CFTypeRef object)
{
    if (!object)
        return;
    const auto kind = *static_cast<const ObjectKind*>(object);
    if (kind == ObjectKind::Timer)
        releaseTimer(static_cast<PlatformRunLoopTimer*>(const_cast<void*>(object)));
}

namespace platform {

int runTimersUntil(std::int64_t until)
{
    PlatformRunLoop& runLoop = *currentRunLoop();
    if (runLoop.pumping)
        return 0;
    runLoop.pumping = true;
    const bool virtualClock = isVirtualTime();
    const double untilSeconds = static_cast<double>(until) / 1e9;
    int fired = 0;
    while (fired < maximumCallbacksPerPump) {
        PlatformRunLoopTimer* timer = nextDue(runLoop, until);
        if (!timer)
            break;
        retainTimer(timer);  // the callback may stop and release it
        const double fireDate = timer->fireDate;
        if (virtualClock) {
            const std::int64_t fireTime = toNanoseconds(fireDate);
            if (fireTime > monotonicNanoseconds())
                setVirtualTime(fireTime);
        }
        const bool repeats = timer->interval > 0.0;
        if (repeats) {
            double next = fireDate + timer->interval;
            // On the real clock missed ticks are dropped; the phase is kept.
            if (!virtualClock && next <= untilSeconds)
                next = fireDate + timer->interval * (std::floor((untilSeconds - fireDate) / timer->interval) + 1.0);
            if (!(next > fireDate))  // an interval lost in the date's precision
                next = std::nextafter(fireDate, std::numeric_limits<double>::infinity());
            timer->fireDate = next;
        }
        timer->callout(timer, timer->context.info);
        if (!repeats)
            invalidate(timer);
        releaseTimer(timer);
        ++fired;
    }
    runLoop.pumping = false;
    return fired;
}

int runDueTimers() { return runTimersUntil(monotonicNanoseconds()); }

std::int64_t nextTimerFire()
{
    std::int64_t next = -1;
    for (const PlatformRunLoopTimer* timer : currentRunLoop()->timers)
        if (timer->valid && (next < 0 || toNanoseconds(timer->fireDate) < next))
            next = std::max<std::int64_t>(toNanoseconds(timer->fireDate), 0);
    return next;
}

std::vector<ScheduledTimer> scheduledTimers()
{
    const PlatformRunLoop& runLoop = *currentRunLoop();
    std::vector<PlatformRunLoopTimer*> ordered(runLoop.timers);
    std::stable_sort(ordered.begin(), ordered.end(), [](const PlatformRunLoopTimer* a, const PlatformRunLoopTimer* b) {
        return a->fireDate < b->fireDate || (a->fireDate == b->fireDate && a->sequence < b->sequence);
    });
    std::vector<ScheduledTimer> result;
    for (PlatformRunLoopTimer* timer : ordered)
        result.push_back({timer, timer->fireDate, timer->interval});
    return result;
}

}  // namespace platform
