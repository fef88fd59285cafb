// The shape envelope of both bundles: segments, sustain, release and retrigger.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "shape_test_support.h"

using namespace shape_test;

namespace {

const std::wstring triangle = L"(-5,-5)(0,5)(5,-5)";                    // 0 -> 1 at 2047.5 -> 0
const std::wstring withSustain = L"(-5,-5)(-4,5)(0,0)(5,-5)";           // peak at 409.5, 0.5 at 2047.5

// An envelope whose curve takes 4096 samples (the shortest duration): one table entry
// per sample.
std::unique_ptr<mphost::DspModule> envelope(Flavour flavour, const std::wstring& shape, int sustainNode,
                                            float duration = 10.0f)
{
    auto module = make(flavour, "ShapeEnv");
    module->queueValue("Shape", shape);
    module->queueValue("SustainNode", sustainNode);
    module->queueValue("Duration", duration);
    module->queueStreaming("Gate", true);
    return module;
}

std::vector<float> play(mphost::DspModule& module, int total, const std::function<bool(int)>& gate,
                        const std::function<void(mphost::DspModule&, int)>& events = {})
{
    return render(module, "Out", total, [&](mphost::DspModule& m, int first, int n) {
        if (events)
            events(m, first);
        auto buffer = m.input("Gate");
        for (int i = 0; i < n; ++i)
            buffer[i] = gate(first + i) ? 1.0f : 0.0f;
    });
}

TEST(ShapeEnv, PlaysTheCurveOnceTimesTheInputAndStops)
{
    auto module = envelope(Flavour::current, triangle, -1);
    module->fillInput("In", 0.5f);
    const auto out = play(*module, 4800, [](int) { return true; });
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_NEAR(out[1024], 0.25f, 2e-3f);
    EXPECT_NEAR(out[2047], 0.5f, 2e-3f);
    EXPECT_NEAR(out[3071], 0.25f, 2e-3f);
    EXPECT_NEAR(out[4090], 0.0f, 3e-3f);
    for (int i = 4100; i < 4800; ++i)
        ASSERT_EQ(out[i], 0.0f) << i;  // ended although the gate is still on
    EXPECT_FALSE(module->outputStreaming("Out"));
}

TEST(ShapeEnv, HoldsAtTheSustainNodeAndReleasesFromIt)
{
    for (const Flavour flavour : {Flavour::current, Flavour::classic}) {
        auto module = envelope(flavour, withSustain, 2);
        const auto out = play(*module, 5400, [](int t) { return t < 3000; });
        EXPECT_NEAR(out[409], 1.0f, 3e-3f);
        EXPECT_NEAR(out[2500], 0.5f, 2e-3f);
        EXPECT_NEAR(out[2999], 0.5f, 2e-3f);
        EXPECT_NEAR(out[3000], 0.5f, 2e-3f);
        EXPECT_NEAR(out[3000 + 1024], 0.25f, 3e-3f);
        EXPECT_EQ(out[5300], 0.0f);
    }
}

TEST(ShapeEnv, ReleaseBelowTheSustainLevelScalesTheRestOfTheCurve)
{
    for (const Flavour flavour : {Flavour::current, Flavour::classic}) {
        auto module = envelope(flavour, withSustain, 2);
        const auto out = play(*module, 2400, [](int t) { return t < 100; });
        const float level = out[99];
        EXPECT_NEAR(level, 99.0f / 409.5f, 3e-3f);
        EXPECT_NEAR(out[100], level, 2e-3f);  // no jump
        EXPECT_NEAR(out[100 + 1024], level * 0.5f, 3e-3f);
    }
}

TEST(ShapeEnv, ReleaseAboveTheSustainLevelGlidesToItThenContinues)
{
    auto module = envelope(Flavour::current, withSustain, 2);
    const auto out = play(*module, 2400, [](int t) { return t < 409; });
    const float start = out[408];
    EXPECT_NEAR(out[409], start, 1e-6f);
    EXPECT_NEAR(out[409 + 250], 0.5f * start + 0.25f, 1e-3f);
    EXPECT_NEAR(out[409 + 499], 0.5f, 2e-3f);
    EXPECT_NEAR(out[409 + 500], 0.5f, 2e-3f);
    EXPECT_NEAR(out[409 + 500 + 1024], 0.25f, 3e-3f);
}

TEST(ShapeEnv, RetriggerContinuesFromTheCurrentLevelOnTheAttack)
{
    auto module = envelope(Flavour::current, withSustain, -1);
    const auto out = play(*module, 1600, [](int t) { return t < 1000 || t >= 1050; });
    EXPECT_NEAR(out[1050], out[1049], 3e-3f);
    EXPECT_NEAR(out[1050 + 80], 1.0f, 3e-3f);  // back at the peak of the attack
}

TEST(ShapeEnv, SettingsChangedDuringANoteWaitUntilTheEnvelopeIsIdle)
{
    auto module = envelope(Flavour::current, triangle, -1, 200.0f);  // 9600 samples
    const auto out = play(
        *module, 12000, [](int t) { return t < 9700 || t >= 9800; },
        [](mphost::DspModule& m, int first) {
            if (first == 64)
                m.queueValue("Duration", 10.0f, 36);
        });
    EXPECT_NEAR(out[1000], 1000.0f * 4095.0f / 9599.0f / 2047.5f, 2e-3f);  // still the slow curve
    EXPECT_NEAR(out[9800 + 1024], 0.5f, 2e-3f);                             // the next note is fast
}

TEST(ShapeEnv, AGateHeldPastTheEndOfTheCurveDoesNotRestartIt)
{
    // One table entry a sample: advancing from idle would land back on the curve.
    for (const Flavour flavour : {Flavour::current, Flavour::classic}) {
        auto module = envelope(flavour, triangle, -1);
        const auto out = play(*module, 9000, [](int t) { return t < 8200; });
        for (int i = 4100; i < 9000; ++i)
            ASSERT_EQ(out[i], 0.0f) << i;
    }
}

TEST(ShapeEnv, InvalidShapeSilences)
{
    auto module = envelope(Flavour::current, L"(-5,0)(4,0)", -1);
    for (const float sample : play(*module, 256, [](int) { return true; }))
        ASSERT_EQ(sample, 0.0f);
}

TEST(ShapeEnv, IdleIsExactSilenceWhateverTheInput)
{
    // Idle, Out is declared static: it must not follow In's sign, nor turn an infinite In
    // into not-a-number, before a note or after the curve ended with the gate still on.
    auto module = envelope(Flavour::current, triangle, -1);
    module->queueStreaming("In", true);
    const auto idle = [](int t) { return t < 100 || t >= 4300; };
    const auto out = render(*module, "Out", 5000, [&](mphost::DspModule& m, int first, int n) {
        auto gate = m.input("Gate");
        auto in = m.input("In");
        for (int i = 0; i < n; ++i) {
            const int t = first + i;
            gate[i] = t >= 100 ? 1.0f : 0.0f;
            in[i] = idle(t) && t % 7 == 0 ? -std::numeric_limits<float>::infinity() : -0.5f;
        }
    });
    for (int t = 0; t < 5000; ++t) {
        if (idle(t)) {
            ASSERT_TRUE(out[t] == 0.0f && !std::signbit(out[t])) << t << ": " << out[t];
        }
    }
    EXPECT_LT(out[2147], -0.4f);  // the note itself: -0.5 x the curve
    EXPECT_FALSE(module->outputStreaming("Out"));
}

TEST(ShapeEnvClassic, OutputsTheLevelItself)
{
    auto module = envelope(Flavour::classic, triangle, -1);
    const auto out = play(*module, 4200, [](int) { return true; });
    EXPECT_NEAR(out[1024], 0.5f, 2e-3f);
    EXPECT_NEAR(out[2047], 1.0f, 2e-3f);
    EXPECT_EQ(out[4150], 0.0f);
}

TEST(ShapeEnvClassic, RetriggerLiftsTheCurveAndTheLiftFadesByNodeOne)
{
    auto module = envelope(Flavour::classic, withSustain, 2);
    const auto out = play(*module, 3600, [](int t) { return t < 3000 || t >= 3010; });
    EXPECT_NEAR(out[3010], out[3009], 5e-3f);
    EXPECT_NEAR(out[3010 + 409], 1.0f, 5e-3f);
}

TEST(ShapeEnvClassic, ReleaseAboveTheSustainLevelJumpsToTheSameLevelOnTheDecay)
{
    auto module = envelope(Flavour::classic, withSustain, 2);
    const auto out = play(*module, 3000, [](int t) { return t < 300; });
    EXPECT_NEAR(out[300], out[299], 3e-3f);
    EXPECT_LT(out[400], out[300]);
    // From about position 1286 on the decay: 0.5 at 2047.5, then 0.25 1024 later.
    EXPECT_NEAR(out[300 + 762 + 1024], 0.25f, 5e-3f);
}

TEST(ShapeEnvClassic, ReleaseInPlaceAndClear)
{
    auto inPlace = envelope(Flavour::classic, withSustain, 2);
    inPlace->queueValue("ReleaseInPlace", true);
    const auto released = play(*inPlace, 1000, [](int t) { return t < 300; });
    EXPECT_GT(released[500], released[300]);  // continues up the attack

    auto cleared = envelope(Flavour::classic, withSustain, 2);
    const auto out = play(*cleared, 1000, [](int) { return true; }, [](mphost::DspModule& m, int first) {
        if (first == 512)
            m.queueValue("Clear", 1.0f, 0);
    });
    EXPECT_GT(out[511], 0.5f);
    // Clear forgets the gate too, so a gate still held starts the curve afresh.
    EXPECT_EQ(out[512], 0.0f);
    EXPECT_NEAR(out[600], 88.0f / 409.5f, 3e-3f);
}

}  // namespace
