// DblClckRes: a double click resets a value. Wired between a control's MouseDown output
// and its value, it sets Value to ResetValue when a press follows a press and a release
// within IntervalMs milliseconds; a button held down and pressed again does not count.
//
// Pins: 0 Value float (sent on a reset), 1 ResetValue float, 2 IntervalMs float
// (milliseconds; a negative or NaN interval never resets, infinity always does), 3
// MouseDown bool.
//
// Press times come from the platform's monotonic clock, which an offline host runs on
// the same virtual time as its GUI timers. All calls arrive on the user-interface thread.
#include <cmath>
#include <cstdint>

#include "mp_sdk_gui.h"
#include "platform/clock.h"

namespace {

constexpr std::int64_t nanosecondsPerMillisecond = 1'000'000;
// The longest interval taken from the pin, in milliseconds (about 31 years): larger ones,
// infinity included, behave the same.
constexpr double longestIntervalMs = 1e12;

class DblClckRes : public SeGuiInvisibleBase {
    MpGuiPin<float> pinValue;
    MpGuiPin<float> pinResetValue;
    MpGuiPin<float> pinIntervalMs;
    MpGuiPin<bool> pinMouseDown;

    std::int64_t previousPress = 0;  // nanoseconds on the platform clock
    bool pressedBefore = false;      // previousPress holds a press
    bool releasedSincePress = false;

public:
    DblClckRes()
    {
        initializePin(pinValue);
        initializePin(pinResetValue);
        initializePin(pinIntervalMs);
        initializePin(pinMouseDown, &DblClckRes::onSetMouseDown);
    }

    void onSetMouseDown()
    {
        if (!pinMouseDown) {
            releasedSincePress = true;
            return;
        }
        const std::int64_t now = platform::monotonicNanoseconds();
        if (pressedBefore && releasedSincePress && now >= previousPress) {
            const std::int64_t elapsedMs = (now - previousPress) / nanosecondsPerMillisecond;
            if (elapsedMs <= intervalMs() && !(pinValue.getValue() == pinResetValue.getValue()))
                pinValue = pinResetValue.getValue();
        }
        previousPress = now;
        pressedBefore = true;
        releasedSincePress = false;
    }

private:
    // IntervalMs in whole milliseconds (truncated); -1 when no interval is given.
    std::int64_t intervalMs() const
    {
        const float interval = pinIntervalMs;
        if (std::isnan(interval) || interval < 0.0f)
            return -1;
        return static_cast<std::int64_t>(std::fmin(static_cast<double>(interval), longestIntervalMs));
    }
};

const bool registered = gmpi::Register<DblClckRes>::withId(L"DblClckRes");

}  // namespace
