// A host process with a run loop of its own: this program defines the run-loop timer
// functions itself (exported from the executable), so the bundles it loads schedule
// their timers here and not on the platform library's run loop.
#include <algorithm>
#include <vector>

#include "timer_test_support.h"

using namespace timer_testing;

namespace {

struct OwnTimer {
    double fireDate;
    double interval;
    CFRunLoopTimerCallBack callout;
    void* info;
    int references = 1;
    bool valid = true;
};

struct OwnRunLoop {
    std::vector<OwnTimer*> timers;
    int created = 0;
    int destroyed = 0;
    double clock = 5000.0;  // seconds
} ownLoop;

OwnTimer* own(CFRunLoopTimerRef timer) { return reinterpret_cast<OwnTimer*>(timer); }

void unschedule(OwnTimer* timer)
{
    auto found = std::find(ownLoop.timers.begin(), ownLoop.timers.end(), timer);
    if (found != ownLoop.timers.end())
        ownLoop.timers.erase(found);
}

}  // namespace

// kCFRunLoopCommonModes is defined in own_run_loop_modes.cpp.
extern "C" {

__attribute__((visibility("default"))) CFAbsoluteTime CFAbsoluteTimeGetCurrent(void) { return ownLoop.clock; }

__attribute__((visibility("default"))) CFRunLoopRef CFRunLoopGetCurrent(void)
{
    return reinterpret_cast<CFRunLoopRef>(&ownLoop);
}

__attribute__((visibility("default"))) CFRunLoopTimerRef CFRunLoopTimerCreate(CFAllocatorRef, CFAbsoluteTime fireDate,
                                                                              CFTimeInterval interval, CFOptionFlags,
                                                                              CFIndex, CFRunLoopTimerCallBack callout,
                                                                              CFRunLoopTimerContext* context)
{
    ++ownLoop.created;
    return reinterpret_cast<CFRunLoopTimerRef>(new OwnTimer{fireDate, interval, callout, context->info});
}

__attribute__((visibility("default"))) void CFRunLoopAddTimer(CFRunLoopRef runLoop, CFRunLoopTimerRef timer,
                                                              CFRunLoopMode mode)
{
    if (runLoop == reinterpret_cast<CFRunLoopRef>(&ownLoop) && mode == kCFRunLoopCommonModes) {
        ownLoop.timers.push_back(own(timer));
        ++own(timer)->references;
    }
}

__attribute__((visibility("default"))) void CFRunLoopRemoveTimer(CFRunLoopRef, CFRunLoopTimerRef timer, CFRunLoopMode)
{
    if (std::find(ownLoop.timers.begin(), ownLoop.timers.end(), own(timer)) != ownLoop.timers.end()) {
        unschedule(own(timer));
        --own(timer)->references;
    }
}

__attribute__((visibility("default"))) void CFRunLoopTimerInvalidate(CFRunLoopTimerRef timer)
{
    own(timer)->valid = false;
}

__attribute__((visibility("default"))) void CFRelease(CFTypeRef object)
{
    OwnTimer* timer = own(static_cast<CFRunLoopTimerRef>(const_cast<void*>(object)));
    if (--timer->references == 0) {
        ++ownLoop.destroyed;
        delete timer;
    }
}

}  // extern "C"

TEST(OwnRunLoop, ABundleLoadedIntoAProcessWithItsOwnRunLoopSchedulesItsTimersThere)
{
    auto probe = makeProbe();
    probe->setPin("Run", true);
    ASSERT_EQ(ownLoop.timers.size(), 1u);
    EXPECT_TRUE(platform::scheduledTimers().empty());  // the platform library's run loop
    OwnTimer* timer = ownLoop.timers[0];
    EXPECT_DOUBLE_EQ(timer->fireDate, 5000.05);
    EXPECT_FLOAT_EQ(static_cast<float>(timer->interval), 0.05f);

    // The process's run loop fires: the bundle's callback reaches the probe, which reads
    // the process's clock.
    ownLoop.clock = 5000.05;
    timer->callout(reinterpret_cast<CFRunLoopTimerRef>(timer), timer->info);
    timer->callout(reinterpret_cast<CFRunLoopTimerRef>(timer), timer->info);
    EXPECT_EQ(intValue(*probe, "Ticks"), 2);
    EXPECT_FLOAT_EQ(std::get<float>(probe->value("TickTime")), 5000050.0f);

    // A call for a handle the bundle does not know does nothing.
    OwnTimer stranger{0, 0, nullptr, timer->info};
    timer->callout(reinterpret_cast<CFRunLoopTimerRef>(&stranger), timer->info);
    EXPECT_EQ(intValue(*probe, "Ticks"), 2);

    // Stopping takes the timer off the process's run loop and releases it.
    probe->setPin("Run", false);
    EXPECT_TRUE(ownLoop.timers.empty());
    EXPECT_EQ(ownLoop.created, 1);
    EXPECT_EQ(ownLoop.destroyed, 1);
}
