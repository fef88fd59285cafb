// The sample players, the cutter and the value readers through the built bundle. Most
// cases play a ramp (frame i holds 0.001 x i), on which the four-point interpolation is
// exact, so an output sample tells the play position.
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <limits>

#include <gtest/gtest.h>

#include "sample_test_support.h"

using namespace sample_test;
using mphost::Bytes;
using mphost::PinValue;

namespace {

std::vector<int> positionsSent(const Rendered& rendered, std::vector<int>* at = nullptr)
{
    std::vector<int> values;
    for (const auto& v : rendered.values)
        if (v.pin == "Position") {
            values.push_back(std::get<std::int32_t>(v.value));
            if (at)
                at->push_back(v.position);
        }
    return values;
}

// A player holding `sample`, past its first block (initial values and the first report of
// its silent output), the gate low.
std::unique_ptr<mphost::DspModule> player(const std::vector<float>& sample)
{
    auto module = makeDsp("AudioPlayer");
    module->queueValue("Sample", blobOf(sample));
    module->queueStreaming("Gate", true);
    render(*module, 64, gateOf([](int) { return 0.0f; }));
    return module;
}

// `id` holding a 2000-frame ramp, started with `values`, its Gate and Pitch streaming
// gate(i) and pitch(i) over 6000 samples. With `split`, a value event on `splitPin` every
// three samples (repeating `splitValue`, which changes nothing) cuts the calls short.
Rendered renderPlayer(const std::string& id, const std::map<std::string, PinValue>& values,
                      const std::function<float(int)>& gate, const std::function<float(int)>& pitch, bool split,
                      const std::string& splitPin, const PinValue& splitValue)
{
    auto module = makeDsp(id);
    module->queueValue("Sample", blobOf(ramp(2000, 0.001f, -0.7f)));
    for (const auto& [pin, value] : values)
        module->queueValue(pin, value);
    module->queueStreaming("Gate", true);
    module->queueStreaming("Pitch", true);
    return render(*module, 6000, [&](mphost::DspModule& m, int first, int count) {
        auto gateIn = m.input("Gate");
        auto pitchIn = m.input("Pitch");
        for (int i = 0; i < count; ++i) {
            gateIn[static_cast<std::size_t>(i)] = gate(first + i);
            pitchIn[static_cast<std::size_t>(i)] = pitch(first + i);
            if (split && i % 3 == 0)
                m.queueValue(splitPin, splitValue, i);
        }
    });
}

void expectSameSamples(const Rendered& fast, const Rendered& general, const std::string& name)
{
    ASSERT_EQ(fast.samples.size(), general.samples.size());
    for (std::size_t i = 0; i < fast.samples.size(); ++i)
        ASSERT_EQ(std::bit_cast<std::uint32_t>(fast.samples[i]), std::bit_cast<std::uint32_t>(general.samples[i]))
            << name << ", sample " << i << ": " << fast.samples[i] << " / " << general.samples[i];
}

// ---------------------------------------------------------------------------------------
// AudioPlayer

TEST(AudioPlayer, PlaysFromStartWhileTheGateIsHighAndReportsThePositionThirtyTimesASecond)
{
    auto module = player(ramp(5000));
    const auto out = render(*module, 6000, gateOf([](int i) { return i >= 10 ? 1.0f : 0.0f; }));
    for (int k = 0; k < 5000; k += 7)
        ASSERT_FLOAT_EQ(out.samples[static_cast<std::size_t>(10 + k)], 0.001f * static_cast<float>(k)) << k;
    for (int i = 5010; i < 6000; ++i)
        ASSERT_EQ(out.samples[static_cast<std::size_t>(i)], 0.0f) << i;
    std::vector<int> at;
    // The rise, every 1600 samples (48000 / 30), and the end with the last frame played.
    EXPECT_EQ(positionsSent(out, &at), (std::vector<int>{0, 1599, 3199, 4799, 4999}));
    EXPECT_EQ(at, (std::vector<int>{10, 10 + 1599, 10 + 3199, 10 + 4799, 5010}));
    ASSERT_FALSE(out.streaming.empty());
    EXPECT_EQ(out.streaming.back(), std::make_pair(5010, false));
    EXPECT_EQ(out.allocations, 0u);
}

TEST(AudioPlayer, ReleasingTheGateStopsAndSendsTheLastFrame)
{
    auto module = player(ramp(5000));
    const auto out = render(*module, 400, gateOf([](int i) { return i < 300 ? 1.0f : 0.0f; }));
    EXPECT_FLOAT_EQ(out.samples[299], 0.299f);
    EXPECT_EQ(out.samples[300], 0.0f);
    EXPECT_EQ(positionsSent(out), (std::vector<int>{0, 299}));
}

TEST(AudioPlayer, PitchAndTheSamplesOwnRateScaleTheIncrement)
{
    {
        auto module = player(ramp(5000));
        module->fillInput("Pitch", 0.1f);  // one octave up
        const auto out = render(*module, 256, gateOf([](int) { return 1.0f; }));
        EXPECT_FLOAT_EQ(out.samples[100], 0.2f);
    }
    {
        auto module = player(ramp(5000));
        module->queueValue("Rate", 24000.0f);  // half the host's rate: half speed
        const auto out = render(*module, 256, gateOf([](int) { return 1.0f; }));
        EXPECT_FLOAT_EQ(out.samples[101], 0.0505f);
    }
    for (const float rate : {1.0f, 0.0f, -5.0f, std::numeric_limits<float>::quiet_NaN()}) {
        auto module = player(ramp(5000));
        module->queueValue("Rate", rate);  // the host's own rate
        const auto out = render(*module, 256, gateOf([](int) { return 1.0f; }));
        EXPECT_FLOAT_EQ(out.samples[100], 0.1f) << rate;
    }
}

TEST(AudioPlayer, ReverseStartsAtTheLastFrameAndStopsBelowStart)
{
    auto module = player(ramp(1000));
    module->queueValue("Reverse", true);
    module->queueValue("Start", 900);
    const auto out = render(*module, 256, gateOf([](int) { return 1.0f; }));
    EXPECT_FLOAT_EQ(out.samples[0], 0.999f);
    EXPECT_FLOAT_EQ(out.samples[99], 0.900f);
    EXPECT_EQ(out.samples[100], 0.0f);
    EXPECT_EQ(positionsSent(out), (std::vector<int>{999, 900}));
}

TEST(AudioPlayer, PauseHoldsThePositionAndResumesAtTheSameFrame)
{
    auto module = player(ramp(5000));
    const auto gate = gateOf([](int) { return 1.0f; });
    auto first = render(*module, 128, gate);
    EXPECT_FLOAT_EQ(first.samples[127], 0.127f);
    module->queueValue("Pause", true);
    auto paused = render(*module, 128, gate);
    for (float v : paused.samples)
        ASSERT_EQ(v, 0.0f);
    EXPECT_EQ(positionsSent(paused), (std::vector<int>{127}));
    module->queueValue("Pause", false);
    auto resumed = render(*module, 64, gate);
    EXPECT_FLOAT_EQ(resumed.samples[0], 0.128f);
    EXPECT_FLOAT_EQ(resumed.samples[63], 0.191f);
}

TEST(AudioPlayer, AGateRisingWithStartBeyondTheSampleDoesNotPlay)
{
    for (const int start : {999, 1000, 5000, std::numeric_limits<int>::max()}) {
        auto module = player(ramp(1000));
        module->queueValue("Start", start);
        const auto out = render(*module, 256, gateOf([](int) { return 1.0f; }));
        for (float v : out.samples)
            ASSERT_EQ(v, 0.0f) << start;
        EXPECT_TRUE(positionsSent(out).empty()) << start;
    }
}

TEST(AudioPlayer, EdgeFramesRepeatAndBadInputsGiveSilenceOrFiniteOutput)
{
    {
        // Half-way between the last two frames: neighbours beyond repeat the last frame.
        auto module = player({0.0f, 0.0f, 1.0f, 2.0f});
        module->queueValue("Rate", 24000.0f);
        const auto out = render(*module, 16, gateOf([](int) { return 1.0f; }));
        // Position 2.5: y0..y3 = 0, 1, 2, 2 (the last frame again) at f = 0.5.
        EXPECT_FLOAT_EQ(out.samples[5], 1.5625f);
    }
    for (const Bytes& blob : {Bytes{}, Bytes{1, 2, 3}, Bytes{1, 2, 3, 4, 5}}) {
        auto module = player({});
        module->queueValue("Sample", blob);
        const auto out = render(*module, 128, gateOf([](int) { return 1.0f; }));
        for (float v : out.samples)
            ASSERT_EQ(v, 0.0f);
    }
    {
        auto module = player({0.25f});  // one frame: played once, never restarted
        const auto out = render(*module, 64, gateOf([](int i) { return i % 8 < 4 ? 1.0f : 0.0f; }));
        EXPECT_EQ(out.samples[0], 0.25f);
        for (std::size_t i = 1; i < out.samples.size(); ++i)
            ASSERT_EQ(out.samples[i], 0.0f);
    }
    {
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float inf = std::numeric_limits<float>::infinity();
        auto module = player({nan, inf, -inf, 1.0f, std::numeric_limits<float>::max(), 0.5f});
        const auto out = render(*module, 256, [nan, inf](mphost::DspModule& m, int first, int count) {
            auto gate = m.input("Gate");
            auto pitch = m.input("Pitch");
            for (int i = 0; i < count; ++i) {
                gate[static_cast<std::size_t>(i)] = (first + i) % 10 < 8 ? 1.0f : 0.0f;
                pitch[static_cast<std::size_t>(i)] = (first + i) % 3 == 0 ? nan : ((first + i) % 3 == 1 ? inf : -inf);
            }
        });
        for (float v : out.samples)
            ASSERT_TRUE(std::isfinite(v));
    }
}

// While the gate stays high the player takes a steady loop of its own; calls of three
// samples or fewer (here: split by a Reverse event every three samples, repeating its
// value) take the general per-sample steps only. Both give the same samples, bit for bit,
// and the same Position reports.
TEST(AudioPlayer, TheSteadyLoopRendersTheSameAsTheGeneralSteps)
{
    struct Case {
        const char* name;
        bool reverse;
        std::map<std::string, PinValue> values;
        std::function<float(int)> gate;
        std::function<float(int)> pitch;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {"forward, vibrato, gate pulses", false, {}, [](int i) { return i % 1500 < 1300 ? 1.0f : 0.0f; },
         [](int i) { return 0.02f * std::sin(0.004f * static_cast<float>(i)); }},
        {"reverse from the last frame down to Start", true, {{"Start", 200}}, [](int i) { return i >= 3 ? 1.0f : 0.0f; },
         [](int) { return 0.1f; }},
        {"the end of the sample reached, then a new rise", false, {{"Rate", 96000.0f}},
         [](int i) { return i % 1200 < 1100 ? 1.0f : 0.0f; }, [](int) { return 0.0f; }},
        {"pitch steps and not-a-number", false, {{"Start", 17}},
         [](int) { return 1.0f; }, [nan](int i) { return i % 400 < 300 ? -0.05f : (i % 400 < 310 ? nan : 0.3f); }},
    };
    for (const Case& c : cases) {
        auto values = c.values;
        values.emplace("Reverse", c.reverse);
        const Rendered steady = renderPlayer("AudioPlayer", values, c.gate, c.pitch, false, "Reverse", c.reverse);
        const Rendered general = renderPlayer("AudioPlayer", values, c.gate, c.pitch, true, "Reverse", c.reverse);
        expectSameSamples(steady, general, c.name);
        EXPECT_EQ(steady.streaming, general.streaming) << c.name;
        std::vector<int> steadyAt, generalAt;
        EXPECT_EQ(positionsSent(steady, &steadyAt), positionsSent(general, &generalAt)) << c.name;
        EXPECT_EQ(steadyAt, generalAt) << c.name;
    }
}

// ---------------------------------------------------------------------------------------
// SampleOsc2

std::unique_ptr<mphost::DspModule> oscillator(int loopMode, int loopStart = 100, int loopEnd = 200)
{
    auto module = makeDsp("SampleOsc2");
    module->queueValue("Sample", blobOf(ramp(1000)));
    module->queueValue("LoopMode", loopMode);
    module->queueValue("LoopStart", loopStart);
    module->queueValue("LoopEnd", loopEnd);
    module->queueStreaming("Gate", true);
    render(*module, 64, gateOf([](int) { return 0.0f; }));
    return module;
}

// The play position each output sample shows on the ramp.
std::vector<double> positions(const Rendered& out)
{
    std::vector<double> result;
    for (float v : out.samples)
        result.push_back(std::round(static_cast<double>(v) * 1000.0 * 1000.0) / 1000.0);
    return result;
}

TEST(SampleOsc2, OncePlaysStartToEndAndStopsStreaming)
{
    auto module = oscillator(0);
    module->queueValue("Start", 500);
    module->queueValue("End", 600);
    const auto out = render(*module, 256, gateOf([](int i) { return i >= 3 ? 1.0f : 0.0f; }));
    const auto p = positions(out);
    EXPECT_EQ(p[3], 500.0);
    EXPECT_EQ(p[103], 600.0);
    EXPECT_EQ(p[104], 0.0);
    ASSERT_FALSE(out.streaming.empty());
    EXPECT_EQ(out.streaming.back().second, false);
    EXPECT_EQ(out.allocations, 0u);

    // End and LoopEnd left at -1 use the last frame.
    auto whole = oscillator(0);
    const auto all = positions(render(*whole, 1100, gateOf([](int) { return 1.0f; })));
    EXPECT_EQ(all[998], 998.0);
    EXPECT_NEAR(all[999], 999.0 - 0.5 * 0.0, 1e-9);  // the last frame, its right neighbours 0
    EXPECT_EQ(all[1000], 0.0);
}

TEST(SampleOsc2, LoopModeOneKeepsLoopingAfterTheGateFalls)
{
    auto module = oscillator(1);
    const auto p = positions(render(*module, 640, gateOf([](int i) { return i < 50 ? 1.0f : 0.0f; })));
    EXPECT_EQ(p[200], 200.0);
    EXPECT_EQ(p[201], 101.0);  // passed 200: moved back by the loop length
    EXPECT_EQ(p[301], 201.0 - 100.0);
    EXPECT_EQ(p[630], 130.0);  // 101 .. 200 over and over
}

TEST(SampleOsc2, LoopModeTwoLeavesTheLoopOnReleaseAndStopsAtEnd)
{
    auto module = oscillator(2);
    module->queueValue("End", 400);
    const auto out = render(*module, 1024, gateOf([](int i) { return i < 350 ? 1.0f : 0.0f; }));
    const auto p = positions(out);
    EXPECT_EQ(p[349], 149.0);  // 0..200, then 101..149
    EXPECT_EQ(p[350], 150.0);  // released: on to End without looping
    EXPECT_EQ(p[400], 200.0);
    EXPECT_EQ(p[401], 201.0);
    EXPECT_EQ(p[600], 400.0);
    EXPECT_EQ(p[601], 0.0);
    EXPECT_EQ(out.streaming.back().second, false);
}

TEST(SampleOsc2, PingPongReflectsAtBothLoopEnds)
{
    auto module = oscillator(1);
    module->queueValue("PingPong", true);
    module->fillInput("Pitch", 0.0f);
    module->queueValue("Rate", 96000.0f);  // two frames per sample: reflections land between steps
    const auto p = positions(render(*module, 200, gateOf([](int) { return 1.0f; })));
    EXPECT_EQ(p[99], 198.0);
    EXPECT_EQ(p[100], 200.0);  // exactly on LoopEnd: one step back
    EXPECT_EQ(p[101], 198.0);
    EXPECT_EQ(p[150], 100.0);
    EXPECT_EQ(p[151], 102.0);

    auto odd = oscillator(1, 100, 201);  // 201 is passed, not met: 2 x 201 - 202 = 200
    odd->queueValue("PingPong", true);
    odd->queueValue("Rate", 96000.0f);
    const auto q = positions(render(*odd, 128, gateOf([](int) { return 1.0f; })));
    EXPECT_EQ(q[100], 200.0);
    EXPECT_EQ(q[101], 200.0);
    EXPECT_EQ(q[102], 198.0);
}

TEST(SampleOsc2, CrossfadeBlendsTowardsTheLoopStartSideWithinItsLength)
{
    auto module = oscillator(1);
    module->queueValue("XFade", 0.5f);  // 50 frames before LoopEnd
    const auto out = render(*module, 256, gateOf([](int) { return 1.0f; }));
    for (int p = 100; p <= 200; ++p) {
        const double w = std::max(0.0, 1.0 - std::abs(p - 200.0) / 50.0);
        const double expected = (1.0 - w) * 0.001 * p + w * 0.001 * (p - 100);
        ASSERT_NEAR(out.samples[static_cast<std::size_t>(p)], expected, 2e-6) << p;
    }

    // Fractions beyond 1 are 1; 0, NaN and ping-pong never crossfade.
    auto wide = oscillator(1);
    wide->queueValue("XFade", 7.0f);
    EXPECT_NEAR(render(*wide, 256, gateOf([](int) { return 1.0f; })).samples[101], 0.001 * (101 - 0.01 * 100), 2e-6);
    for (const float xfade : {0.0f, std::numeric_limits<float>::quiet_NaN(), 0.5f}) {
        auto plain = oscillator(1);
        plain->queueValue("XFade", xfade);
        plain->queueValue("PingPong", xfade == 0.5f);
        EXPECT_FLOAT_EQ(render(*plain, 256, gateOf([](int) { return 1.0f; })).samples[190], 0.19f) << xfade;
    }
}

TEST(SampleOsc2, AReleaseDuringTheCrossfadeFinishesTheLoopPassFirst)
{
    auto module = oscillator(2);
    module->queueValue("XFade", 0.5f);
    module->queueValue("End", 300);
    const auto out = render(*module, 512, gateOf([](int i) { return i < 180 ? 1.0f : 0.0f; }));
    // Released at 180, inside the crossfade: the pass to 200 completes, the position moves
    // back to the loop start side and plays on, without looping, to End.
    EXPECT_NEAR(out.samples[201], 0.101f, 1e-6);
    EXPECT_NEAR(out.samples[300], 0.200f, 1e-6);  // no crossfade once heading for End
    EXPECT_NEAR(out.samples[400], 0.300f, 1e-6);
    EXPECT_EQ(out.samples[401], 0.0f);

    auto early = oscillator(2);  // released before the crossfade: leaves the loop at once
    early->queueValue("XFade", 0.5f);
    early->queueValue("End", 300);
    const auto direct = render(*early, 512, gateOf([](int i) { return i < 120 ? 1.0f : 0.0f; }));
    EXPECT_NEAR(direct.samples[201], 0.201f, 1e-6);
    EXPECT_NEAR(direct.samples[300], 0.300f, 1e-6);
    EXPECT_EQ(direct.samples[301], 0.0f);
}

TEST(SampleOsc2, EnableAndANewSampleStopThePlayUntilTheNextRise)
{
    auto module = oscillator(1);
    const auto gate = gateOf([](int) { return 1.0f; });
    render(*module, 64, gate);
    module->queueValue("Enable", 0);
    for (float v : render(*module, 64, gate).samples)
        ASSERT_EQ(v, 0.0f);
    module->queueValue("Enable", 1);
    for (float v : render(*module, 64, gate).samples)
        ASSERT_EQ(v, 0.0f);  // stopped: waits for a rise

    auto other = oscillator(1);
    render(*other, 64, gate);
    other->queueValue("Sample", blobOf(ramp(1000, 0.002f)));
    for (float v : render(*other, 64, gate).samples)
        ASSERT_EQ(v, 0.0f);
    const auto again = render(*other, 64, gateOf([](int i) { return i < 10 ? 0.0f : 1.0f; }));
    EXPECT_FLOAT_EQ(again.samples[20], 0.02f);
}

TEST(SampleOsc2, ARisingGateAfterTheSampleEndedStreamsAgain)
{
    auto module = oscillator(0);
    module->queueValue("End", 50);
    const auto first = render(*module, 128, gateOf([](int) { return 1.0f; }));
    EXPECT_EQ(first.streaming.back(), std::make_pair(51, false));
    // The gate's streaming state does not change; only its level falls and rises.
    const auto second = render(*module, 128, gateOf([](int i) { return i < 64 ? 0.0f : 1.0f; }));
    ASSERT_GE(second.streaming.size(), 1u);
    EXPECT_EQ(second.streaming[0], std::make_pair(64, true));
    EXPECT_FLOAT_EQ(second.samples[74], 0.01f);
    EXPECT_EQ(second.streaming.back(), std::make_pair(64 + 51, false));
}

TEST(SampleOsc2, InvalidRangesAndBlobsNeverReadOutsideTheSample)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const Bytes& blob : {Bytes{}, Bytes{1, 2, 3}, blobOf({0.5f}), blobOf({nan, 1.0f, nan})}) {
        auto module = makeDsp("SampleOsc2");
        module->queueValue("Sample", blob);
        module->queueValue("LoopMode", 1);
        module->queueValue("PingPong", true);
        module->queueValue("Start", -7);
        module->queueValue("End", std::numeric_limits<int>::max());
        module->queueValue("LoopStart", std::numeric_limits<int>::min());
        module->queueValue("LoopEnd", 1 << 30);
        module->queueValue("XFade", std::numeric_limits<float>::infinity());
        module->queueValue("Rate", std::numeric_limits<float>::infinity());
        module->queueStreaming("Gate", true);
        const auto out = render(*module, 512, [](mphost::DspModule& m, int first, int count) {
            auto gate = m.input("Gate");
            auto pitch = m.input("Pitch");
            for (int i = 0; i < count; ++i) {
                gate[static_cast<std::size_t>(i)] = (first + i) % 50 < 40 ? 1.0f : 0.0f;
                pitch[static_cast<std::size_t>(i)] = (first + i) % 7 == 0 ? 1e30f : 0.3f;
            }
        });
        for (float v : out.samples)
            ASSERT_TRUE(std::isfinite(v));
    }
}

// Held gates in a forward loop take a steady loop of their own; calls of three samples
// or fewer (here: split by a PingPong event every three samples, which changes nothing)
// take the general per-sample steps only. Both give the same samples, bit for bit.
TEST(SampleOsc2, TheSteadyLoopRendersTheSameSamplesAsTheGeneralSteps)
{
    struct Case {
        const char* name;
        std::map<std::string, PinValue> values;
        std::function<float(int)> gate;
        std::function<float(int)> pitch;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const auto held = [](int i) { return i >= 5 ? 1.0f : 0.0f; };
    const auto vibrato = [](int i) { return 0.013f + 0.01f * std::sin(0.003f * static_cast<float>(i)); };
    const Case cases[] = {
        {"crossfaded loop, vibrato", {{"LoopMode", 1}, {"LoopStart", 300}, {"LoopEnd", 1700}, {"XFade", 0.5f}},
         held, vibrato},
        {"loop without crossfade, gate pulses",
         {{"LoopMode", 1}, {"LoopStart", 100}, {"LoopEnd", 900}},
         [](int i) { return i % 700 < 650 ? 1.0f : 0.0f; }, [](int) { return 0.05f; }},
        {"release inside and outside the crossfade", {{"LoopMode", 2}, {"LoopStart", 200}, {"LoopEnd", 600},
                                                      {"XFade", 0.3f}, {"End", 1500}},
         [](int i) { return i % 1000 < 580 ? 1.0f : 0.0f; }, [](int) { return 0.0f; }},
        {"the loop end met exactly, two frames a sample",
         {{"LoopMode", 1}, {"LoopStart", 100}, {"LoopEnd", 200}, {"Rate", 96000.0f}, {"XFade", 0.2f}}, held,
         [](int) { return 0.0f; }},
        {"a step longer than the loop", {{"LoopMode", 1}, {"LoopStart", 100}, {"LoopEnd", 103}}, held,
         [](int i) { return i < 900 ? 0.25f : 0.0f; }},
        {"Start beyond the loop, reversed loop", {{"LoopMode", 1}, {"Start", 1500}, {"LoopStart", 800},
                                                  {"LoopEnd", 400}, {"XFade", 0.4f}},
         held, vibrato},
        {"down from Start into the loop, landing below frame 0",
         {{"LoopMode", 1}, {"Start", 1500}, {"LoopStart", 0}, {"LoopEnd", 400}, {"XFade", 0.5f}}, held,
         [](int) { return 0.03f; }},
        {"pitch steps and not-a-number", {{"LoopMode", 1}, {"LoopStart", 0}, {"LoopEnd", 1999}, {"XFade", 1.0f}},
         held, [nan](int i) { return i % 300 < 150 ? 0.07f : (i % 300 < 160 ? nan : -0.2f); }},
    };
    for (const Case& c : cases)
        expectSameSamples(renderPlayer("SampleOsc2", c.values, c.gate, c.pitch, false, "PingPong", false),
                          renderPlayer("SampleOsc2", c.values, c.gate, c.pitch, true, "PingPong", false), c.name);
}

// ---------------------------------------------------------------------------------------
// SampleCutter, SampleValueDSP, SampleValueGUI

TEST(SampleCutter, KeepsTheFramesStartToEndAndRefusesEmptyRanges)
{
    auto cutter = makeGui("SampleCutter");
    cutter->setPin("Sample", blobOf(ramp(10)));
    cutter->setPin("Start", 2);
    cutter->setPin("End", 5);
    cutter->setPin("Cut", true);
    auto sent = cutter->takeTransmissions();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].pinName, "Sample");
    const auto whole = ramp(10);
    EXPECT_EQ(floatsOf(sent[0].value), std::vector<float>(whole.begin() + 2, whole.begin() + 6));

    cutter->setPin("Cut", false);
    cutter->setPin("Sample", blobOf(ramp(10)));
    cutter->setPin("Start", -3);  // before the sample: from frame 0
    cutter->setPin("End", 8);
    cutter->setPin("Cut", true);
    sent = cutter->takeTransmissions();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(floatsOf(sent[0].value), std::vector<float>(whole.begin(), whole.begin() + 9));
    cutter->setPin("Cut", false);
    cutter->setPin("Sample", blobOf(ramp(10)));
    cutter->setPin("Start", 1);
    cutter->setPin("End", 100);  // beyond: the last frame
    cutter->setPin("Cut", true);
    sent = cutter->takeTransmissions();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(floatsOf(sent[0].value), std::vector<float>(whole.begin() + 1, whole.end()));

    struct Range { int start, end; };
    for (const Range r : {Range{5, 5}, Range{6, 5}, Range{10, 20}, Range{0, -1}}) {
        cutter->setPin("Cut", false);
        cutter->setPin("Sample", blobOf(ramp(10)));
        cutter->setPin("Start", r.start);
        cutter->setPin("End", r.end);
        cutter->setPin("Cut", true);
        EXPECT_TRUE(cutter->takeTransmissions().empty()) << r.start << ".." << r.end;
        EXPECT_EQ(cutter->value("Sample"), PinValue(blobOf(ramp(10))));
    }
    for (const Bytes& blob : {Bytes{}, Bytes{1, 2, 3, 4, 5}}) {
        cutter->setPin("Cut", false);
        cutter->setPin("Sample", blob);
        cutter->setPin("Start", 0);
        cutter->setPin("End", 3);
        cutter->setPin("Cut", true);
        EXPECT_TRUE(cutter->takeTransmissions().empty());
    }
}

TEST(SampleValue, BothHalvesReadOneFrameWhenPosChangesAndIgnoreOutOfRange)
{
    auto dsp = makeDsp("SampleValueDSP");
    dsp->process(1);
    dsp->queueValue("Sample", blobOf(ramp(10)));
    dsp->process(1);
    EXPECT_EQ(dsp->outputValue("Value"), PinValue(0.0f));  // the sample alone does not read
    dsp->queueValue("Pos", 7);
    dsp->process(1);
    EXPECT_EQ(dsp->outputValue("Value"), PinValue(ramp(10)[7]));
    for (const int pos : {-1, 10, std::numeric_limits<int>::max()}) {
        dsp->queueValue("Pos", pos);
        dsp->process(1);
        EXPECT_EQ(dsp->outputValue("Value"), PinValue(ramp(10)[7])) << pos;
    }
    dsp->queueValue("Sample", Bytes{1, 2, 3});
    dsp->queueValue("Pos", 0);
    dsp->process(1);
    EXPECT_EQ(dsp->outputValue("Value"), PinValue(ramp(10)[7]));

    auto gui = makeGui("SampleValueGUI");
    gui->setPin("Sample", blobOf(ramp(10)));
    EXPECT_TRUE(gui->takeTransmissions().empty());
    gui->setPin("Pos", 3);
    auto sent = gui->takeTransmissions();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].value, PinValue(ramp(10)[3]));
    gui->setPin("Sample", blobOf(ramp(10, 0.001f, 0.0f)));
    gui->setPin("Pos", 3);  // the same value again: nothing sent
    EXPECT_TRUE(gui->takeTransmissions().empty());
    for (const int pos : {-1, 10}) {
        gui->setPin("Pos", pos);
        EXPECT_TRUE(gui->takeTransmissions().empty());
        EXPECT_EQ(gui->value("Value"), PinValue(ramp(10)[3]));
    }
}

}  // namespace
