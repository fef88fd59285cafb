// Helpers of the timer tests: the timer probe bundle and a virtual clock per test.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "harness/gui_module.h"
#include "platform/clock.h"
#include "platform/run_loop.h"
#include "services/run_loop.h"
#include "test_support.h"

namespace timer_testing {

inline std::shared_ptr<mphost::Bundle> probeBundle()
{
    return testing_support::loadedBundle(testing_support::testBundlePath("timer_probe_modules"));
}

inline const mphost::BundleDescription& probeDescriptions()
{
    const auto& descriptions = testing_support::descriptionsBeside(testing_support::testBundlePath("timer_probe_modules"));
    return descriptions;
}

// A started TimerProbe (every default set, then initialize).
inline std::unique_ptr<mphost::GuiModule> makeProbe()
{
    auto module = std::make_unique<mphost::GuiModule>(probeBundle(), *probeDescriptions().find("TimerProbe"));
    module->start();
    module->takeTransmissions();
    return module;
}

inline std::int32_t intValue(const mphost::GuiModule& module, const char* pin)
{
    return std::get<std::int32_t>(module.value(pin));
}

// Every test runs on a virtual clock starting at 1 s, advanced only by the test.
class VirtualClock : public ::testing::Test {
protected:
    static constexpr std::int64_t start = 1'000'000'000;
    void SetUp() override { platform::setVirtualTime(start); }
    void TearDown() override { platform::useRealTime(); }

    // Milliseconds since the test's start.
    static double nowMs() { return static_cast<double>(platform::monotonicNanoseconds() - start) / 1e6; }
    // Moves the clock to `ms` after the test's start, delivering the ticks due.
    static int advanceTo(double ms) { return mphost::advanceVirtualTime(start + static_cast<std::int64_t>(ms * 1e6)); }
    static std::size_t runLoopTimers() { return platform::scheduledTimers().size(); }
};

}  // namespace timer_testing
