// The platform library's run loop used directly: one-shot timers, context callbacks,
// timers changed from inside callbacks, refused arguments.
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/run_loop.h"

namespace {

struct Recorder {
    std::vector<double> times;  // the clock at each call, seconds
    CFRunLoopTimerRef other = nullptr;
    bool pumpAgain = false;
    int nestedResult = -1;
    int retains = 0;
    int releases = 0;
};

void record(CFRunLoopTimerRef, void* info)
{
    auto* recorder = static_cast<Recorder*>(info);
    recorder->times.push_back(CFAbsoluteTimeGetCurrent());
    if (recorder->other)
        CFRunLoopTimerInvalidate(std::exchange(recorder->other, nullptr));
    if (recorder->pumpAgain)
        recorder->nestedResult = platform::runTimersUntil(std::numeric_limits<std::int64_t>::max());
}

const void* retainRecorder(const void* info)
{
    ++static_cast<Recorder*>(const_cast<void*>(info))->retains;
    return info;
}

void releaseRecorder(const void* info) { ++static_cast<Recorder*>(const_cast<void*>(info))->releases; }

CFRunLoopTimerRef schedule(Recorder& recorder, double fireDate, double interval, bool counted = false)
{
    CFRunLoopTimerContext context{0, &recorder, counted ? &retainRecorder : nullptr,
                                  counted ? &releaseRecorder : nullptr, nullptr};
    CFRunLoopTimerRef timer = CFRunLoopTimerCreate(kCFAllocatorDefault, fireDate, interval, 0, 0, &record, &context);
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), timer, kCFRunLoopCommonModes);
    return timer;
}

class RunLoop : public ::testing::Test {
protected:
    void SetUp() override { platform::setVirtualTime(0); }
    void TearDown() override { platform::useRealTime(); }
};

}  // namespace

TEST_F(RunLoop, AnIntervalOfZeroOrLessFiresOnceAndLeavesTheRunLoop)
{
    Recorder recorder;
    CFRunLoopTimerRef once = schedule(recorder, 0.5, 0.0);
    CFRunLoopTimerRef negative = schedule(recorder, 0.6, -1.0);
    CFRunLoopTimerRef notANumber = schedule(recorder, 0.7, std::nan(""));
    EXPECT_EQ(platform::runTimersUntil(10'000'000'000), 3);
    EXPECT_EQ(recorder.times, (std::vector<double>{0.5, 0.6, 0.7}));
    EXPECT_TRUE(platform::scheduledTimers().empty());
    EXPECT_EQ(platform::nextTimerFire(), -1);
    for (CFRunLoopTimerRef timer : {once, negative, notANumber})
        CFRelease(timer);
}

TEST_F(RunLoop, TheContextIsRetainedOnceAndReleasedWithTheLastReference)
{
    Recorder recorder;
    CFRunLoopTimerRef timer = schedule(recorder, 1.0, 1.0, true);
    EXPECT_EQ(recorder.retains, 1);
    CFRelease(timer);  // the run loop still holds it
    EXPECT_EQ(recorder.releases, 0);
    EXPECT_EQ(platform::runTimersUntil(2'500'000'000), 2);
    CFRunLoopTimerInvalidate(timer);  // drops the run loop's reference, the last one
    EXPECT_EQ(recorder.releases, 1);
}

TEST_F(RunLoop, ATimerInvalidatedByAnEarlierCallbackOfThePumpDoesNotFire)
{
    Recorder first, second;
    CFRunLoopTimerRef a = schedule(first, 1.0, 0.0);
    CFRunLoopTimerRef b = schedule(second, 1.0, 0.0);
    first.other = b;
    EXPECT_EQ(platform::runTimersUntil(1'000'000'000), 1);
    EXPECT_TRUE(second.times.empty());
    CFRelease(a);
    CFRelease(b);
}

TEST_F(RunLoop, APumpFromInsideACallbackDoesNothingAndRefusedArgumentsAreIgnored)
{
    Recorder recorder;
    recorder.pumpAgain = true;
    CFRunLoopTimerRef timer = schedule(recorder, 0.001, 0.001);
    EXPECT_EQ(platform::runTimersUntil(1'000'000), 1);
    EXPECT_EQ(recorder.nestedResult, 0);
    CFRunLoopTimerInvalidate(timer);
    CFRelease(timer);

    CFRunLoopTimerContext context{0, &recorder, nullptr, nullptr, nullptr};
    EXPECT_EQ(CFRunLoopTimerCreate(kCFAllocatorDefault, std::nan(""), 1.0, 0, 0, &record, &context), nullptr);
    EXPECT_EQ(CFRunLoopTimerCreate(kCFAllocatorDefault, 1.0, 1.0, 0, 0, nullptr, &context), nullptr);
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), nullptr, kCFRunLoopCommonModes);
    CFRelease(nullptr);
    CFRelease(kCFRunLoopCommonModes);  // constants are not counted
    EXPECT_TRUE(platform::scheduledTimers().empty());
}

TEST_F(RunLoop, RunawayTimersAreCutOffPerPump)
{
    Recorder recorder;
    CFRunLoopTimerRef timer = schedule(recorder, 0.0, 1e-9);  // a tick every nanosecond
    EXPECT_EQ(platform::runTimersUntil(10'000'000'000), 1'000'000);
    CFRunLoopTimerInvalidate(timer);
    CFRelease(timer);
}
