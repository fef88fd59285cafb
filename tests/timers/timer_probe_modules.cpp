// Timer probes: test-only GUI modules that take part in the bundle's GUI timers through
// the real binary path and report every tick on their pins.
#include <cstdint>
#include <map>
#include <string>

#include "TimerManager.h"
#include "mp_sdk_gui.h"

namespace {

// Ticks received by every probe of the bundle since it was loaded.
std::int32_t bundleTicks = 0;

class TimerProbe;
// Probes by their Name pin, so one can stop another during a tick.
std::map<std::wstring, TimerProbe*>& probesByName()
{
    static std::map<std::wstring, TimerProbe*> probes;
    return probes;
}

// Run true starts the timer at Interval ms (the default interval when Interval <= 0),
// false stops it. Every tick counts on Ticks and writes the clock (ms) to TickTime.
// After TickLimit ticks (0: no limit) the probe answers false. On each tick it stops
// the probe named by StopOnTick.
class TimerProbe : public SeGuiInvisibleBase, public TimerClient {
    MpGuiPin<int> pinInterval;
    MpGuiPin<bool> pinRun;
    MpGuiPin<int> pinTicks;
    MpGuiPin<int> pinTickLimit;
    StringGuiPin pinName;
    StringGuiPin pinStopOnTick;
    MpGuiPin<int> pinDefaultInterval;
    MpGuiPin<float> pinTickTime;
    MpGuiPin<int> pinBundleTicks;

    std::wstring registeredName;

public:
    TimerProbe()
    {
        initializePin(pinInterval);
        initializePin(pinRun, &TimerProbe::onSetRun);
        initializePin(pinTicks);
        initializePin(pinTickLimit);
        initializePin(pinName, &TimerProbe::onSetName);
        initializePin(pinStopOnTick);
        initializePin(pinDefaultInterval, &TimerProbe::onSetDefaultInterval);
        initializePin(pinTickTime);
        initializePin(pinBundleTicks);
    }

    ~TimerProbe() override
    {
        if (!registeredName.empty())
            probesByName().erase(registeredName);
    }

    std::int32_t initialize() override
    {
        pinBundleTicks = bundleTicks;
        return SeGuiInvisibleBase::initialize();
    }

    void onSetRun()
    {
        if (!pinRun)
            StopTimer();
        else if (pinInterval > 0)
            StartTimer(pinInterval);
        else
            StartTimer();
    }

    void onSetName()
    {
        if (!registeredName.empty())
            probesByName().erase(registeredName);
        registeredName = pinName.getValue();
        if (!registeredName.empty())
            probesByName()[registeredName] = this;
    }

    void onSetDefaultInterval() { SetTimerIntervalMs(pinDefaultInterval); }

    bool OnTimer() override
    {
        ++bundleTicks;
        pinTickTime = static_cast<float>(CFAbsoluteTimeGetCurrent() * 1000.0);
        // Wraps: the validator may set Ticks to the largest int.
        pinTicks = static_cast<std::int32_t>(static_cast<std::uint32_t>(pinTicks.getValue()) + 1u);
        const auto other = probesByName().find(pinStopOnTick.getValue());
        if (other != probesByName().end() && other->second != this)
            other->second->StopTimer();
        return pinTickLimit <= 0 || pinTicks < pinTickLimit;
    }
};

// A probe that always starts a 10 ms timer when initialized, whatever its pins say.
class TimerProbeAuto : public TimerProbe {
public:
    std::int32_t initialize() override
    {
        StartTimer(10);
        return TimerProbe::initialize();
    }
};

const bool registered = gmpi::Register<TimerProbe>::withId(L"TimerProbe") &&
                        gmpi::Register<TimerProbeAuto>::withId(L"TimerProbeAuto");

}  // namespace
