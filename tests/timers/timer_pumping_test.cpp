// Who pumps the run loop: the patch engine between blocks on virtual time, and the GUI
// harness (and so the validator) before every call into a module.
#include "engine/engine.h"
#include "engine_test_support.h"
#include "timer_test_support.h"
#include "validate/validator.h"

using namespace timer_testing;

TEST(TimerPumping, TheEngineDeliversTicksBetweenBlocksAtTheirVirtualTimes)
{
    const std::string json = R"json({ "seconds": 1, "sampleRate": 48000, "blockSize": 480, "modules": [
        { "name": "probe", "bundle": "timer_probe_modules", "id": "TimerProbe", "values": { "Run": true } } ] })json";
    for (int run = 0; run < 2; ++run) {  // the same ticks on every render
        mphost::Engine engine(engine_testing::patch(json));
        engine.render();
        // Ticks every 50 ms from 50 ms; the last pump, before the block at 990 ms, delivers
        // the tick due at 950 ms with the clock at 950 ms.
        EXPECT_EQ(intValue(*engine.gui("probe"), "Ticks"), 19);
        EXPECT_FLOAT_EQ(std::get<float>(engine.gui("probe")->value("TickTime")), 950.0f);
    }
}

TEST(TimerPumping, AHeldScrollBarButtonRepeatsInARender)
{
    // Dec pressed at 0.1 s: 19 at once, then one step a tick from 0.9 s; the last block
    // starts at 1.49 s, after 12 repeats.
    mphost::Engine engine(engine_testing::patch(R"json({ "seconds": 1.5, "sampleRate": 48000, "blockSize": 480,
        "modules": [ { "name": "bar", "bundle": "ui_modules", "id": "ScrollBar", "values": { "Offset": 20 } } ],
        "script": [ { "time": 0.1, "set": "bar.Dec", "value": true } ] })json"));
    engine.render();
    EXPECT_EQ(std::get<std::int32_t>(engine.gui("bar")->value("Offset")), 7);
}

TEST(TimerPumping, TheHarnessDeliversDueTicksBeforeEachCallIntoAModule)
{
    platform::setVirtualTime(1'000'000'000);
    auto probe = makeProbe();
    probe->setPin("Run", true);
    platform::setVirtualTime(1'120'000'000);  // the clock moved; nobody pumped
    EXPECT_EQ(intValue(*probe, "Ticks"), 0);
    probe->hitTest({0, 0});  // any call into a module delivers what is due first
    EXPECT_EQ(intValue(*probe, "Ticks"), 2);
    probe.reset();
    platform::useRealTime();
}

TEST(TimerPumping, TheValidatorDrivesTimersThroughTheHarness)
{
    const auto bundle = probeBundle();  // keeps the bundle (and its tick count) loaded
    mphost::ValidationOptions options;
    options.secondsPerModule = 0.6;
    const mphost::ModuleReport report =
        mphost::validateGuiHalf(testing_support::testBundlePath("timer_probe_modules"),
                                *probeDescriptions().find("TimerProbeAuto"), options);
    EXPECT_TRUE(report.passed) << mphost::formatReports({report});
    // A new probe reports the ticks every probe of the bundle received so far.
    auto fresh = std::make_unique<mphost::GuiModule>(bundle, *probeDescriptions().find("TimerProbe"));
    fresh->start();
    EXPECT_GE(intValue(*fresh, "BundleTicks"), 10);
}
