// Whole renders: the road from a changed shape to the oscillator's output, a sleeping
// chain, reproducibility, and mphost render/describe as a user runs them.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "engine_test_support.h"
#include "test_support.h"

using engine_testing::patch;

using testing_support::runMphost;

namespace {

// A shape oscillator at 100 Hz (480 samples a cycle) whose Shape pin is driven by the
// script: a rising ramp, then a V from 0.3 down to -0.3 and back.
const std::string shapeRoad = R"json({ "seconds": 0.05, "modules": [
    { "name": "osc", "bundle": "shape_modules", "id": "KV_ShapeOsc",
      "values": { "FreqMode": "Hz", "Pitch": 10, "Shape": "(-5,-5)(5,5)" } } ],
  "outputs": [ "osc.Out" ],
  "script": [ { "time": 0.005, "set": "osc.Shape", "value": "(-5,3)(0,-3)(5,3)" } ] })json";

// The V shape at phase 0 .. 1, in output units (shape units / 10).
float vShape(double phase)
{
    return static_cast<float>(0.3 - 0.6 * (1.0 - std::abs(2.0 * phase - 1.0)));
}

std::string fileBytes(const std::filesystem::path& file)
{
    std::ifstream stream(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

// The nodes of a shape text "(x,y)(x,y)...", in shape units.
std::vector<std::pair<double, double>> nodesOf(const std::string& text)
{
    std::vector<std::pair<double, double>> nodes;
    std::size_t at = 0;
    while ((at = text.find('(', at)) != std::string::npos) {
        double x = 0, y = 0;
        if (std::sscanf(text.c_str() + at, "(%lf,%lf)", &x, &y) == 2)
            nodes.emplace_back(x, y);
        ++at;
    }
    return nodes;
}

// The linear shape through `nodes` at phase 0 .. 1, in output units (shape units / 10).
float linearShape(const std::vector<std::pair<double, double>>& nodes, double phase)
{
    const double x = phase * 10.0 - 5.0;
    for (std::size_t i = 1; i < nodes.size(); ++i)
        if (x <= nodes[i].first) {
            const auto [x0, y0] = nodes[i - 1];
            const auto [x1, y1] = nodes[i];
            const double t = x1 > x0 ? (x - x0) / (x1 - x0) : 1.0;
            return static_cast<float>((y0 + (y1 - y0) * t) / 10.0);
        }
    return static_cast<float>(nodes.back().second / 10.0);
}

}  // namespace

TEST(Render, ADragInTheShapeEditorReshapesTheOscillatorAtTheNextCycle)
{
    // The editor spans 210 x 210 pixels; its middle node, at (0, 0) in the centre, is
    // dragged straight up by 80 pixels.
    mphost::Engine engine(patch(R"json({ "seconds": 0.1, "modules": [
        { "name": "editor", "bundle": "shape_modules", "id": "KV_ShapeEditor4", "rect": [0, 0, 210, 210],
          "values": { "Shape": "(-5,-5)(0,0)(5,5)" } },
        { "name": "osc", "bundle": "shape_modules", "id": "KV_ShapeOsc", "values": { "FreqMode": "Hz", "Pitch": 10 } } ],
      "connections": [ "editor.Shape -> osc.Shape" ],
      "outputs": [ "osc.Out" ],
      "script": [ { "time": 0.02, "drag": "editor", "from": [105, 105], "to": [105, 25], "duration": 0.01, "steps": 4 } ] })json"));
    const auto out = engine.render().at(0);
    const std::string shape = mphost::formatPinValue(engine.gui("editor")->value("Shape"));
    const auto nodes = nodesOf(shape);
    ASSERT_EQ(nodes.size(), 3u) << shape;
    EXPECT_NEAR(nodes[1].first, 0.0, 0.01) << shape;  // the middle node went up
    EXPECT_GT(nodes[1].second, 3.0) << shape;
    // Before the drag the ramp plays; the last full cycle (from sample 4320) is the new shape.
    for (std::size_t i = 10; i < 470; ++i)
        ASSERT_NEAR(out[i], -0.5f + static_cast<float>(i) / 480.0f, 0.01f) << i;
    for (std::size_t i = 4322; i < 4800; ++i)
        ASSERT_NEAR(out[i], linearShape(nodes, static_cast<double>(i % 480) / 480.0), 0.01f) << i;
}

TEST(Render, ANewShapeReachesTheOutputAtTheNextCycle)
{
    mphost::Engine engine(patch(shapeRoad));
    const auto out = engine.render().at(0);
    // The text arrives at sample 240, in the middle of the first cycle: the ramp plays on.
    for (std::size_t i = 0; i < 470; ++i)
        ASSERT_NEAR(out[i], -0.5f + static_cast<float>(i) / 480.0f, 0.01f) << i;
    // From the next cycle on, every cycle is the new shape.
    for (std::size_t i = 482; i < 1440; ++i)
        ASSERT_NEAR(out[i], vShape(static_cast<double>(i % 480) / 480.0), 0.01f) << i;
}

TEST(Render, SleepingChainIsSkippedWhileItsOutputStaysConstant)
{
    // A waveshaper and a range clipper fed a constant fall asleep, while an oscillator
    // in the same patch keeps running.
    mphost::Engine engine(patch(R"json({ "seconds": 0.2, "modules": [
        { "name": "osc", "bundle": "shape_modules", "id": "KV_ShapeOsc" },
        { "name": "shaper", "bundle": "shape_modules", "id": "KV_Waveshaper",
          "values": { "InL": 0.3, "Shape": "(-5,-5)(0,2)(5,5)" } },
        { "name": "clip", "bundle": "dsp_modules", "id": "RngClp", "values": { "High": 0.25 } } ],
      "connections": [ "shaper.OutL -> clip.In" ],
      "outputs": [ "clip.Out", "osc.Out" ] })json"));
    const auto channels = engine.render();
    const auto& chain = channels[0];
    for (const float sample : chain)
        ASSERT_EQ(sample, 0.25f);
    const std::int64_t blocks = 9600 / 64;
    EXPECT_GT(engine.skippedBlocks("shaper"), blocks - 10);
    EXPECT_GT(engine.skippedBlocks("clip"), blocks - 10);
    EXPECT_EQ(engine.skippedBlocks("osc"), 0);
    EXPECT_NE(channels[1][100], channels[1][200]);
}

TEST(Render, OfflineRendersAreBitForBitReproducible)
{
    const std::string json = R"json({ "seconds": 0.5, "modules": [
        { "name": "osc", "bundle": "shape_modules", "id": "KV_ShapeOsc", "values": { "Interpolation": "Spline" } },
        { "name": "noise", "bundle": "dsp_modules", "id": "Glider", "values": { "In": 0.7 } },
        { "name": "shaper", "bundle": "shape_modules", "id": "KV_Waveshaper", "values": { "Shape": "(-5,-4)(0,1)(5,4)" } },
        { "name": "env", "bundle": "shape_modules", "id": "KV_ShapeEnv", "values": { "Gate": 1, "Duration": 300 } } ],
      "connections": [ "osc.Out -> shaper.InL", "noise.Out -> shaper.InR", "shaper.OutL -> env.In", "env.Out -> osc.PhaseMod" ],
      "outputs": [ "env.Out", "shaper.OutR" ],
      "script": [ { "time": 0.2, "set": "osc.Shape", "value": "(-5,0)(-2.5,5)(2.5,-5)(5,0)" },
                  { "time": 0.3, "set": "env.Gate", "value": 0 } ] })json";
    std::vector<std::vector<float>> first;
    for (int run = 0; run < 2; ++run) {
        mphost::Engine engine(patch(json));
        auto channels = engine.render();
        if (run == 0) {
            first = std::move(channels);
            continue;
        }
        for (std::size_t c = 0; c < channels.size(); ++c) {
            ASSERT_EQ(channels[c].size(), first[c].size());
            EXPECT_EQ(std::memcmp(channels[c].data(), first[c].data(), channels[c].size() * sizeof(float)), 0)
                << "channel " << c;
        }
    }
    EXPECT_NE(first[0][10000], 0.0f);
}

TEST(MphostRender, RendersTheDemoPatchTheSameWayEveryTime)
{
    const auto folder = std::filesystem::temp_directory_path() / "engine_render_test";
    std::filesystem::create_directories(folder);
    const auto first = folder / "first.wav", second = folder / "second.wav";
    const auto run = runMphost("render -o " + first.string());
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("wrote " + first.string()), std::string::npos);
    ASSERT_EQ(runMphost("render --seconds 3 -o " + second.string()).exitCode, 0);
    const std::string bytes = fileBytes(first);
    EXPECT_GT(bytes.size(), 3u * 48000u * 4u);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(bytes, fileBytes(second));
    // The demo's panel, beside its WAV: the editor after the drags.
    EXPECT_EQ(fileBytes(folder / "first.png").substr(1, 3), "PNG");
    EXPECT_EQ(fileBytes(folder / "first.png"), fileBytes(folder / "second.png"));

    // A patch file with its own name for the WAV, and a shorter length from the command line.
    const auto patchFile = folder / "road.json";
    std::ofstream(patchFile) << shapeRoad;
    const auto fromFile =
        runMphost("render " + patchFile.string() + " --seconds 0.01 --block 32 -o " + (folder / "road.wav").string());
    ASSERT_EQ(fromFile.exitCode, 0) << fromFile.output;
    EXPECT_GT(fileBytes(folder / "road.wav").size(), 480u * 4u);
    std::filesystem::remove_all(folder);
}

TEST(MphostRender, ReportsBadPatchesAndMisuse)
{
    const auto folder = std::filesystem::temp_directory_path() / "engine_render_errors";
    std::filesystem::create_directories(folder);
    const auto bad = folder / "bad.json";
    std::ofstream(bad) << R"json({ "modules": [ { "name": "a", "bundle": "shape_modules", "id": "KV_ShapeOsc",
                                              "values": { "Pitch": "high" } } ] })json";
    const auto result = runMphost("render " + bad.string() + " -o " + (folder / "x.wav").string());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find(bad.string() + ": $.modules[0].values.Pitch: expected a number"), std::string::npos)
        << result.output;
    EXPECT_FALSE(std::filesystem::exists(folder / "x.wav"));  // nothing rendered from a bad patch
    EXPECT_EQ(runMphost("render " + (folder / "missing.json").string()).exitCode, 2);
    EXPECT_EQ(runMphost("render --block 0").exitCode, 2);
    std::filesystem::remove_all(folder);
}

TEST(MphostDescribe, PrintsThePinsOfBothHalves)
{
    const auto pair = runMphost("describe ui_modules GUISet2Trig");
    ASSERT_EQ(pair.exitCode, 0) << pair.output;
    EXPECT_NE(pair.output.find("DSP half (sub-type 0)"), std::string::npos);
    EXPECT_NE(pair.output.find("  2  PulseLength  int in  default 1000"), std::string::npos) << pair.output;
    EXPECT_NE(pair.output.find("GUI half (sub-type 2)"), std::string::npos);
    EXPECT_NE(pair.output.find("link: DSP \"Trig\" <-> GUI \"Toggle\""), std::string::npos);
    const auto oscillator = runMphost("describe " + std::string(MP_BUNDLE_DIR) + "/shape_modules.so KV_ShapeOsc");
    EXPECT_NE(oscillator.output.find("list \"Hz,Volts\""), std::string::npos) << oscillator.output;

    const auto unknown = runMphost("describe shape_modules Nope");
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.output.find("has no module \"Nope\" (modules: "), std::string::npos) << unknown.output;
    EXPECT_NE(unknown.output.find("KV_ShapeOsc, KV_ShapePulser"), std::string::npos) << unknown.output;
    EXPECT_EQ(runMphost("describe nowhere X").exitCode, 1);
    EXPECT_EQ(runMphost("describe").exitCode, 2);
}
