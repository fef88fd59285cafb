// The engine's DSP and GUI sides through small patches of probe and library modules.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "common/host_error.h"
#include "engine_test_support.h"

using engine_testing::patch;

namespace {

// Renders `json` and returns the samples of its first output.
std::vector<float> renderFirst(mphost::Engine& engine)
{
    return engine.render().at(0);
}

}  // namespace

TEST(Engine, RunsModulesAfterTheirSourcesWithinTheSameBlock)
{
    // Listed consumer first: the engine still runs the source first, so the consumer
    // sees the source's block with no delay.
    mphost::Engine engine(patch(R"json({ "seconds": 0.01, "modules": [
        { "name": "b", "bundle": "probe_modules", "id": "Probe_Gain", "values": { "Gain": 2 } },
        { "name": "a", "bundle": "probe_modules", "id": "Probe_Gain", "values": { "In": 1, "Gain": 0.5 } } ],
      "connections": [ "a.Out -> b.In" ], "outputs": [ "b.Out", "a.Out" ] })json"));
    EXPECT_EQ(engine.processingOrder(), (std::vector<std::string>{"a", "b"}));
    const auto channels = engine.render();
    ASSERT_EQ(channels[0].size(), 480u);
    for (std::size_t i = 0; i < 480; ++i) {
        ASSERT_EQ(channels[0][i], 1.0f) << i;
        ASSERT_EQ(channels[1][i], 0.5f) << i;
    }
}

TEST(Engine, FeedbackWiresArriveOneBlockLateAndSeveralSourcesAreSummed)
{
    // a.In = one.Out + a.Out of the block before: 1, 2, 3, ... per block. The same
    // through a loop of two modules, whichever of them is listed first.
    for (const bool selfLoop : {true, false}) {
        const std::string loop =
            selfLoop ? R"json("a.Out -> a.In")json" : R"json("a.Out -> b.In", "b.Out -> a.In")json";
        mphost::Engine engine(patch(R"json({ "seconds": 0.004, "blockSize": 32, "modules": [
            { "name": "b", "bundle": "probe_modules", "id": "Probe_Gain", "values": { "Gain": 1 } },
            { "name": "a", "bundle": "probe_modules", "id": "Probe_Gain", "values": { "Gain": 1 } },
            { "name": "one", "bundle": "probe_modules", "id": "Probe_Gain", "values": { "In": 1, "Gain": 1 } } ],
          "connections": [ "one.Out -> a.In", )json" +
                                    loop + R"json( ], "outputs": [ "a.Out" ] })json"));
        const auto out = renderFirst(engine);
        ASSERT_EQ(out.size(), 192u);
        for (std::size_t i = 0; i < out.size(); ++i)
            ASSERT_EQ(out[i], static_cast<float>(i / 32 + 1)) << "sample " << i << (selfLoop ? " (self loop)" : "");
    }
}

TEST(Engine, UnconnectedAudioInputsAreStaticAtTheirValueOrDefault)
{
    // RngClp: In 5 (a value), Low and High their defaults -1 and 1.
    mphost::Engine engine(patch(R"json({ "seconds": 0.01, "modules": [
        { "name": "clip", "bundle": "dsp_modules", "id": "RngClp", "values": { "In": 5 } } ],
      "outputs": [ "clip.Out" ] })json"));
    for (const float sample : renderFirst(engine))
        ASSERT_EQ(sample, 1.0f);
}

TEST(Engine, SleepingModulesAreSkippedWithOutputsHeldAndWokenByChanges)
{
    // A static chain falls asleep; a new level of the shaper's input wakes it, and the
    // shaper's new static output wakes the clipper at the sample of the change.
    mphost::Engine engine(patch(R"json({ "seconds": 0.1, "modules": [
        { "name": "shaper", "bundle": "shape_modules", "id": "KV_Waveshaper", "values": { "InL": 0.3 } },
        { "name": "clip", "bundle": "dsp_modules", "id": "RngClp", "values": { "High": 0.25 } } ],
      "connections": [ "shaper.OutL -> clip.In" ], "outputs": [ "clip.Out" ],
      "script": [ { "time": 0.05, "set": "shaper.InL", "value": -0.5 } ] })json"));
    const auto out = renderFirst(engine);
    ASSERT_EQ(out.size(), 4800u);
    for (std::size_t i = 0; i < out.size(); ++i)
        ASSERT_NEAR(out[i], i < 2400 ? 0.25f : -0.5f, 1e-6f) << i;
    EXPECT_GT(engine.skippedBlocks("shaper"), 60);
    EXPECT_GT(engine.skippedBlocks("clip"), 60);
    EXPECT_TRUE(engine.dsp("clip")->asleep());
}

TEST(Engine, ControlValuesReachConnectedInputsAtTheirSample)
{
    // a.Int Out = 2 x a.Int feeds b.Int; b reports every Int handler call (block position).
    mphost::Engine engine(patch(R"json({ "seconds": 0.01, "modules": [
        { "name": "a", "bundle": "probe_modules", "id": "Probe", "values": { "Int": 5 } },
        { "name": "b", "bundle": "probe_modules", "id": "Probe" } ],
      "connections": [ "a.Int Out -> b.Int" ],
      "script": [ { "time": 0.002, "set": "a.Int", "value": 7 } ] })json"));
    while (engine.position() < 64 + 96) {  // sample 96 lies in the second block
        engine.processBlock();
        if (engine.position() == 64) {
            EXPECT_EQ(std::get<std::int32_t>(engine.dsp("b")->outputValue("Int Out")), 20);
        }
    }
    EXPECT_EQ(std::get<std::int32_t>(engine.dsp("b")->outputValue("Int Out")), 28);
    engine.render();
    EXPECT_EQ(std::get<std::int32_t>(engine.dsp("b")->outputValue("Int Out")), 28);
}

TEST(Engine, GuiAndDspHalvesExchangeValuesInBothDirections)
{
    // GUI to DSP through a pair's linked pins: a GUI change of GUISet2Trig toggles its
    // Toggle pin, which reaches the DSP Trig input at the next block and starts a pulse.
    mphost::Engine trigger(patch(R"json({ "seconds": 0.02, "modules": [
        { "name": "trig", "bundle": "ui_modules", "id": "GUISet2Trig",
          "values": { "PulseLength": 100, "SkipFirst": true } } ],
      "outputs": [ "trig.Out" ],
      "script": [ { "time": 0.01, "set": "trig.In Float", "value": 3 } ] })json"));
    const auto pulse = renderFirst(trigger);
    for (std::size_t i = 0; i < pulse.size(); ++i)  // scripted at sample 480, the block boundary at 512
        ASSERT_EQ(pulse[i], i >= 512 && i < 612 ? 1.0f : 0.0f) << i;

    // DSP to GUI: a DSP output connected to a GUI pin; GUI to GUI and GUI to DSP by
    // connections: g.Echo makes g assign its Int, which h and c receive.
    mphost::Engine engine(patch(R"json({ "seconds": 0.01, "modules": [
        { "name": "a", "bundle": "probe_modules", "id": "Probe", "values": { "Int": 5 } },
        { "name": "shown", "bundle": "probe_modules", "id": "Probe_Gui" },
        { "name": "g", "bundle": "probe_modules", "id": "Probe_Gui" },
        { "name": "h", "bundle": "probe_modules", "id": "Probe_Gui" },
        { "name": "c", "bundle": "probe_modules", "id": "Probe" } ],
      "connections": [ "a.Int Out -> shown.Int", "g.Int -> h.Int", "g.Int -> c.Int" ],
      "script": [ { "time": 0.002, "set": "g.Echo", "value": 9 } ] })json"));
    engine.processBlock();
    EXPECT_EQ(std::get<std::int32_t>(engine.gui("shown")->value("Int")), 10);
    engine.render();
    EXPECT_EQ(std::get<std::int32_t>(engine.gui("h")->value("Int")), 9);
    EXPECT_EQ(std::get<std::int32_t>(engine.dsp("c")->outputValue("Int Out")), 18);
}

TEST(Engine, StartUpValuesSentToLaterListedGuiHalvesAreKept)
{
    // g's start-up Echo makes it assign its Int while it starts; h, listed after g, must
    // still hold that value once it has started (its own defaults come first). A half
    // listed before the sender receives it too, and so does a DSP input.
    mphost::Engine engine(patch(R"json({ "seconds": 0.01, "modules": [
        { "name": "before", "bundle": "probe_modules", "id": "Probe_Gui" },
        { "name": "g", "bundle": "probe_modules", "id": "Probe_Gui", "values": { "Echo": 7 } },
        { "name": "h", "bundle": "probe_modules", "id": "Probe_Gui" },
        { "name": "c", "bundle": "probe_modules", "id": "Probe" } ],
      "connections": [ "g.Int -> before.Int", "g.Int -> h.Int", "g.Int -> c.Int" ] })json"));
    engine.processBlock();
    for (const char* name : {"before", "g", "h"})
        EXPECT_EQ(std::get<std::int32_t>(engine.gui(name)->value("Int")), 7) << name;
    engine.processBlock();
    EXPECT_EQ(std::get<std::int32_t>(engine.dsp("c")->outputValue("Int Out")), 14);
}

TEST(Engine, GuiPinsWiredInACircleStopInsteadOfRecursingForever)
{
    // Each GUISet2Trig flips its Toggle on every change it receives: wired in a circle,
    // the two would answer each other without end.
    mphost::Engine engine(patch(R"json({ "seconds": 0.01, "modules": [
        { "name": "t1", "bundle": "ui_modules", "id": "GUISet2Trig" },
        { "name": "t2", "bundle": "ui_modules", "id": "GUISet2Trig" } ],
      "connections": [ "t1.gui.Toggle -> t2.gui.In Bool", "t2.gui.Toggle -> t1.gui.In Bool" ],
      "script": [ { "time": 0.005, "set": "t1.gui.In Int", "value": 1 } ] })json"));
    EXPECT_EQ(engine.render().size(), 0u);
    EXPECT_TRUE(engine.finished());
}

TEST(Engine, MessagesTravelBetweenTheHalvesOfAPair)
{
    // DSP to GUI after the block, GUI to DSP before the next one, and back again.
    mphost::Engine engine(patch(R"json({ "seconds": 0.01, "modules": [
        { "name": "pair", "bundle": "probe_modules", "id": "Probe_Pair", "values": { "Int": 21 }, "rect": [0, 0, 10, 10] } ],
      "script": [ { "time": 0.005, "set": "pair.Int", "value": 4 } ] })json"));
    engine.processBlock();
    EXPECT_EQ(std::get<std::int32_t>(engine.gui("pair")->value("Shown")), 21);
    engine.processBlock();
    EXPECT_EQ(std::get<std::int32_t>(engine.gui("pair")->value("Echoed")), 42);
    engine.render();
    EXPECT_EQ(std::get<std::int32_t>(engine.gui("pair")->value("Shown")), 4);
    EXPECT_EQ(std::get<std::int32_t>(engine.gui("pair")->value("Echoed")), 8);
}

TEST(Engine, MessagesReachTheirGuiHalfWhenOtherModulesSendNone)
{
    // The pair runs first, modules that send nothing after it.
    mphost::Engine engine(patch(R"json({ "seconds": 0.01, "modules": [
        { "name": "pair", "bundle": "probe_modules", "id": "Probe_Pair", "values": { "Int": 21 }, "rect": [0, 0, 10, 10] },
        { "name": "a", "bundle": "probe_modules", "id": "Probe_Gain", "values": { "In": 1 } },
        { "name": "b", "bundle": "probe_modules", "id": "Probe_Gain" } ],
      "connections": [ "a.Out -> b.In" ], "outputs": [ "b.Out" ] })json"));
    engine.processBlock();
    EXPECT_EQ(std::get<std::int32_t>(engine.gui("pair")->value("Shown")), 21);
    engine.processBlock();
    EXPECT_EQ(std::get<std::int32_t>(engine.gui("pair")->value("Echoed")), 42);
}

TEST(Engine, SubnormalResultsAreFlushedToZero)
{
    // 1e-30 x 1e-10 is subnormal in float: the audio side flushes it to exact zero.
    mphost::Engine engine(patch(R"json({ "seconds": 0.002, "modules": [
        { "name": "a", "bundle": "probe_modules", "id": "Probe_Gain", "values": { "In": 1e-30, "Gain": 1e-10 } } ],
      "outputs": [ "a.Out" ] })json"));
    for (const float sample : renderFirst(engine))
        ASSERT_EQ(sample, 0.0f);
}

TEST(Engine, PointerEventsReachDrawingModulesAndThePanelShowsThem)
{
    // The probe fills its rectangle blue with a red bar Value wide; a press in its left
    // half counts a click (sent on to a DSP input), a drag reports the pointer's x.
    mphost::Engine engine(patch(R"json({ "seconds": 0.05, "modules": [
        { "name": "d", "bundle": "probe_modules", "id": "Probe_Drawing", "rect": [10, 20, 100, 40] },
        { "name": "p", "bundle": "probe_modules", "id": "Probe" } ],
      "connections": [ "d.Clicks -> p.Int" ],
      "script": [ { "time": 0.01, "drag": "d", "from": [5, 5], "to": [30, 5], "duration": 0.01, "steps": 5 },
                  { "time": 0.03, "set": "d.Value", "value": 0.25 } ] })json"));
    engine.render();
    EXPECT_EQ(std::get<std::int32_t>(engine.gui("d")->value("Clicks")), 1);
    EXPECT_EQ(std::get<float>(engine.gui("d")->value("DragX")), 30.0f);
    EXPECT_EQ(std::get<std::int32_t>(engine.dsp("p")->outputValue("Int Out")), 2);

    const mphost::DrawingSurface panel = engine.renderPanel();
    EXPECT_EQ(panel.width(), 110);
    EXPECT_EQ(panel.height(), 60);
    EXPECT_EQ(panel.pixel(5, 5), (mphost::Rgba{255, 255, 255, 255}));  // outside every module
    const mphost::Rgba bar = panel.pixel(12, 58), rest = panel.pixel(100, 58);
    EXPECT_GT(bar.r, 200);  // the first quarter of the module is the red bar
    EXPECT_LT(bar.b, 50);
    EXPECT_GT(rest.b, 200);  // beyond it, blue
    EXPECT_LT(rest.r, 50);
}

TEST(Engine, RefusesPointerEventsForModulesThatDoNotDraw)
{
    EXPECT_THROW(mphost::Engine engine(patch(R"json({ "seconds": 0.01, "modules": [
        { "name": "g", "bundle": "probe_modules", "id": "Probe_Gui", "rect": [0, 0, 10, 10] } ],
      "script": [ { "time": 0, "pointer": "down", "module": "g", "at": [1, 1] } ] })json")),
                 mphost::HostError);
}

TEST(Engine, QuietBlocksRenderTheSameSamplesAsFullOnes)
{
    // A block in which no module has an event waiting or anything to report is each
    // module's process() call and nothing else. An unconnected probe that reports every
    // call keeps every block on the full path; with it, the examples render the same.
    for (const char* name : {"waveguide-scopes.json", "shape-editor.json"}) {
        SCOPED_TRACE(name);
        const std::filesystem::path file = std::filesystem::path(MP_SOURCE_DIR) / "examples" / name;
        std::ifstream in(file);
        const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string busy = json;
        const std::size_t modules = busy.find("\"modules\": [");
        ASSERT_NE(modules, std::string::npos);
        busy.insert(modules + 12, R"( { "name": "busy", "bundle": "probe_modules", "id": "Probe" },)");
        mphost::PatchEnvironment environment = engine_testing::environment();
        environment.patchFolder = file.parent_path();
        std::vector<std::vector<float>> rendered[2];
        std::int64_t quiet[2] = {};
        for (const int withProbe : {0, 1}) {
            mphost::Patch patch = mphost::parsePatch(withProbe ? busy : json, name, environment);
            patch.snapshots.clear();
            mphost::Engine engine(patch);
            rendered[withProbe] = engine.render();
            quiet[withProbe] = engine.quietBlocksRun();
        }
        EXPECT_GT(quiet[0], 0);
        EXPECT_EQ(quiet[1], 0);
        ASSERT_EQ(rendered[0].size(), rendered[1].size());
        for (std::size_t c = 0; c < rendered[0].size(); ++c)
            EXPECT_TRUE(rendered[0][c].size() == rendered[1][c].size() &&
                        std::memcmp(rendered[0][c].data(), rendered[1][c].data(), rendered[0][c].size() * sizeof(float)) ==
                            0);
    }
}
