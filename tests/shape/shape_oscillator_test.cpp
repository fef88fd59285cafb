// The shape oscillator and pulser through both shape bundles.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <string>

#include "shape_test_support.h"

using namespace shape_test;

namespace {

const std::wstring ramp = L"(-5,-5)(5,5)";
const Flavour flavours[] = {Flavour::current, Flavour::classic};

// Average distance between upward zero crossings of `samples`, interpolated.
double measuredPeriod(const std::vector<float>& samples)
{
    std::vector<double> crossings;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (samples[i - 1] < 0.0f && samples[i] >= 0.0f)
            crossings.push_back(static_cast<double>(i - 1) + samples[i - 1] / (samples[i - 1] - samples[i]));
    }
    if (crossings.size() < 2)
        return 0;
    return (crossings.back() - crossings.front()) / static_cast<double>(crossings.size() - 1);
}

std::unique_ptr<mphost::DspModule> oscillator(Flavour flavour, const std::wstring& shape, int freqMode, float pitch)
{
    auto module = make(flavour, "ShapeOsc");
    module->queueValue("Shape", shape);
    module->queueValue("FreqMode", freqMode);
    module->fillInput("Pitch", pitch);
    return module;
}

TEST(ShapeOsc, PlaysA440HzPeriodInBothFrequencyModes)
{
    for (const Flavour flavour : flavours) {
        auto volts = oscillator(flavour, ramp, 1, 0.5f);  // 5 V = 440 Hz
        EXPECT_NEAR(measuredPeriod(render(*volts, "Out", 9600)), 48000.0 / 440.0, 0.01);
        auto hertz = oscillator(flavour, ramp, 0, 44.0f);  // 10 x 44 Hz
        EXPECT_NEAR(measuredPeriod(render(*hertz, "Out", 9600)), 48000.0 / 440.0, 0.001);
        auto octaveUp = oscillator(flavour, ramp, 1, 0.6f);
        EXPECT_NEAR(measuredPeriod(render(*octaveUp, "Out", 9600)), 48000.0 / 880.0, 0.01);
    }
}

TEST(ShapeOsc, BoxFilterKeepsLevelsAndAveragesOverTheSpanOfASample)
{
    // A constant shape keeps its level at any speed: interpolated at 10 Hz (under one
    // entry a sample), averaged from the running sums at 100 Hz and 5 kHz.
    for (const float pitch : {1.0f, 10.0f, 500.0f}) {
        auto module = oscillator(Flavour::current, L"(-5,3)(5,3)", 0, pitch);
        for (const float sample : render(*module, "Out", 2000))
            ASSERT_NEAR(sample, 0.3f, 1e-4f) << "pitch " << pitch;
    }
    // At half the sample rate every sample averages one half of a square cycle.
    auto square = oscillator(Flavour::current, L"(-5,5)(0,5)(0.01,-5)(5,-5)", 0, 2400.0f);
    const auto out = render(*square, "Out", 256);
    for (std::size_t i = 1; i < out.size(); ++i)
        ASSERT_NEAR(out[i], i % 2 == 1 ? 0.5f : -0.5f, 1e-3f) << i;
}

TEST(ShapeOsc, ImpulsesOfModeNoneAreSpreadOverTheSampleThatCoversThem)
{
    auto module = oscillator(Flavour::current, L"(-5,0)(0,5)(5,0)", 0, 10.0f);  // 8.53 entries per sample
    module->queueValue("Interpolation", 3);
    const auto out = render(*module, "Out", 960);  // two cycles
    int nonZero = 0;
    for (const float sample : out) {
        if (sample != 0.0f) {
            ++nonZero;
            EXPECT_NEAR(sample, 0.5f / (100.0f / 48000.0f * 4096.0f), 1e-5f);
        }
    }
    EXPECT_EQ(nonZero, 2);
}

TEST(ShapeOsc, NewShapeStartsOnlyWhenTheNextCycleBeginsButAnInvalidOneSilencesAtOnce)
{
    for (const Flavour flavour : flavours) {
        auto module = oscillator(flavour, L"(-5,3)(5,3)", 0, 10.0f);  // 100 Hz: 480 samples a cycle
        const auto out = render(*module, "Out", 800, [](mphost::DspModule& m, int first, int) {
            if (first == 64)
                m.queueValue("Shape", std::wstring(L"(-5,-2)(5,-2)"), 36);  // sample 100
            if (first == 640)
                m.queueValue("Shape", std::wstring(L"nonsense"), 60);  // sample 700
        });
        int firstNew = -1;
        for (int i = 0; i < 700; ++i) {
            if (firstNew < 0 && out[i] < 0.0f)
                firstNew = i;
            ASSERT_NEAR(out[i], firstNew >= 0 ? -0.2f : 0.3f, 1e-4f) << i;
        }
        EXPECT_GE(firstNew, 479);
        EXPECT_LE(firstNew, 481);
        for (int i = 700; i < 800; ++i)
            ASSERT_EQ(out[i], 0.0f) << i;
    }
}

TEST(ShapeOsc, SyncRisingEdgeResetsThePhaseOnce)
{
    auto module = oscillator(Flavour::current, ramp, 0, 10.0f);
    module->queueStreaming("Sync", true);
    const auto out = render(*module, "Out", 448, [](mphost::DspModule& m, int first, int n) {
        auto sync = m.input("Sync");
        for (int i = 0; i < n; ++i)
            sync[i] = first + i >= 200 ? 1.0f : 0.0f;
    });
    EXPECT_GT(out[199], -0.1f);
    EXPECT_LT(out[201], -0.49f);  // back at the start of the ramp
    const float step = 0.5f * 2.0f * (100.0f / 48000.0f);
    EXPECT_NEAR(out[300] - out[201], 99 * step, 1e-3f);  // and running on
}

TEST(ShapeOsc, PhaseModulationShiftsByCyclesAndFeedbackIsBounded)
{
    const auto withPhase = [](float phase, float feedback) {
        auto module = oscillator(Flavour::current, ramp, 0, 10.0f);
        module->fillInput("PhaseMod", phase);
        module->fillInput("Feedback", feedback);
        return render(*module, "Out", 400);
    };
    const auto plain = withPhase(0.0f, 0.0f);
    const auto whole = withPhase(1.0f, 0.0f);
    const auto half = withPhase(0.5f, 0.0f);
    const auto clamped = withPhase(-7.0f, 0.0f);  // limited to -1: a whole cycle
    for (int i = 10; i < 400; ++i) {
        if (std::abs(plain[i]) < 0.01f || std::abs(plain[i]) > 0.49f)
            continue;  // samples whose span crosses a wrap of either ramp
        ASSERT_NEAR(whole[i], plain[i], 1e-4f) << i;
        ASSERT_NEAR(clamped[i], plain[i], 1e-4f) << i;
        ASSERT_NEAR(half[i], plain[i] < 0.0f ? plain[i] + 0.5f : plain[i] - 0.5f, 2e-3f) << i;
    }
    for (const float sample : withPhase(0.0f, 5.0f))
        ASSERT_TRUE(sample >= -0.5f && sample <= 0.5f);
}

TEST(ShapeOsc, DisabledOscillatorIsSilentAndStopsStreaming)
{
    auto module = oscillator(Flavour::current, ramp, 0, 10.0f);
    module->queueValue("Enable", 0);
    for (const float sample : render(*module, "Out", 128))
        EXPECT_EQ(sample, 0.0f);
    EXPECT_FALSE(module->outputStreaming("Out"));
}

TEST(ShapePulser, PlaysTheShapeOncePerTriggerAndHoldsItsEnd)
{
    for (const Flavour flavour : flavours) {
        auto module = make(flavour, "ShapePulser");
        module->queueValue("Shape", ramp);
        module->fillInput("Duration", 0.1f);  // 1 ms: 48 samples, 4095 / 47 entries a sample
        module->queueStreaming("Trigger", true);
        const auto out = render(*module, "Out", 320, [](mphost::DspModule& m, int first, int n) {
            auto trigger = m.input("Trigger");
            for (int i = 0; i < n; ++i) {
                const int t = first + i;
                trigger[i] = (t >= 100 && t < 110) || (t >= 170 && t < 190) || t >= 200 ? 1.0f : 0.0f;
            }
        });
        EXPECT_FLOAT_EQ(out[100], -0.5f);
        const float step = 0.5f * 2.0f / 47.0f;  // the ramp moves 2/47 of its height a sample
        EXPECT_NEAR(out[110] - out[100], 10 * step, 1e-3f);
        EXPECT_NEAR(out[147], 0.5f, 1e-4f);  // last sample of the pulse reads the end
        EXPECT_NEAR(out[160], 0.5f, 1e-4f);  // held afterwards
        EXPECT_FLOAT_EQ(out[170], -0.5f);    // next trigger
        EXPECT_FLOAT_EQ(out[200], -0.5f);    // restarts in the middle of a pulse
        EXPECT_NEAR(out[300], 0.5f, 1e-4f);
    }
}

TEST(ShapePulser, ModeNonePlaysEachImpulseOnTheSampleThatPassesIt)
{
    auto module = make(Flavour::current, "ShapePulser");
    module->queueValue("Shape", std::wstring(L"(-5,0)(0,5)(5,0)"));
    module->queueValue("Interpolation", 3);
    module->fillInput("Duration", 0.1f);
    // The pulser starts at the beginning of its shape, so it plays once without a trigger.
    const auto out = render(*module, "Out", 64);
    int impulses = 0;
    for (const float sample : out) {
        if (sample != 0.0f) {
            ++impulses;
            EXPECT_EQ(sample, 0.5f);
        }
    }
    EXPECT_EQ(impulses, 1);
}

TEST(AudioPath, NotANumberOrHugeInputsGiveFiniteOutputs)
{
    const float nasty[] = {std::nanf(""), INFINITY, -INFINITY, 1e30f, -1e30f};
    auto oscillator = make(Flavour::current, "ShapeOsc");
    for (const char* pin : {"Pitch", "Sync", "PhaseMod", "Feedback"})
        oscillator->queueStreaming(pin, true);
    const auto osc = render(*oscillator, "Out", 640, [&](mphost::DspModule& m, int first, int n) {
        for (const char* pin : {"Pitch", "Sync", "PhaseMod", "Feedback"}) {
            auto buffer = m.input(pin);
            for (int i = 0; i < n; ++i)
                buffer[i] = nasty[(first + i + pin[0]) % 5];
        }
    });
    for (const float sample : osc)
        ASSERT_TRUE(std::isfinite(sample));

    auto shaper = make(Flavour::current, "Waveshaper");
    shaper->queueStreaming("InL", true);
    const auto shaped = render(*shaper, "OutL", 64, [&](mphost::DspModule& m, int, int n) {
        auto buffer = m.input("InL");
        for (int i = 0; i < n; ++i)
            buffer[i] = nasty[i % 5];
    });
    for (const float sample : shaped)
        ASSERT_TRUE(std::isfinite(sample));
}

TEST(AudioPath, ProcessingWithEventsAllocatesNothingOnceTextCapacityExists)
{
    // Shape strings of equal length reuse the text pins' capacity.
    const std::wstring shapeA = L"(-5,-5)(0,3)(5,5)";
    const std::wstring shapeB = L"(-5,-4)(0,2)(5,5)";
    struct Case {
        const char* name;
        const char* textPin;
        const char* other;
    };
    const Case cases[] = {{"ShapeOsc", "Shape", "Interpolation"},  {"ShapePulser", "Shape", "Interpolation"},
                          {"ShapeEnv", "Shape", "SustainNode"},     {"Waveshaper", "Shape", "Interpolation"},
                          {"ShapeAmp", "Shape", "Gain"},            {"ShapeShift", "Shape", "Shift"},
                          {"SNMod", "Shape", "OffsetY"},            {"SSMod", "Shape", "Value1"},
                          {"ShapeMorpher", "ShapeA", "Morph"}};
    for (const Flavour flavour : flavours) {
        for (const Case& c : cases) {
            auto module = make(flavour, c.name);
            const bool floatPin = std::string(c.other) != "Interpolation" && std::string(c.other) != "SustainNode";
            const auto other = [&](int k) -> mphost::PinValue {
                if (floatPin)
                    return 0.5f + 0.25f * static_cast<float>(k % 2);
                return std::int32_t{k % 2 + 1};
            };
            for (int round = 0; round < 8; ++round) {
                module->queueValue(c.textPin, round % 2 ? shapeA : shapeB, 3);
                module->queueValue(c.other, other(round), 10);
                module->process(64);
                if (round >= 4) {
                    EXPECT_EQ(module->allocationsInLastProcess(), 0u) << c.name;
                }
            }
        }
    }
}

}  // namespace

namespace {

// Static inputs take a faster routine than streaming ones; both must give the same
// samples, bit for bit. `forced` streams on `forcedPin` (holding the same values), which
// keeps its module on the general routine; level changes of the inputs step at their
// sample in both, as an engine steps an unconnected input.
struct LevelChange {
    int sample;
    std::string pin;
    float value;
};

std::vector<float> renderWithLevels(mphost::DspModule& module, const std::string& forcedPin, bool forced,
                                    const std::vector<LevelChange>& changes, int total)
{
    if (forced)
        module.queueStreaming(forcedPin, true);
    std::map<std::string, float> levels;  // of the pins changed so far, held through later blocks
    return render(module, "Out", total, [&](mphost::DspModule& m, int first, int n) {
        for (const auto& [pin, level] : levels)
            m.fillInput(pin, level);
        for (const LevelChange& change : changes) {
            if (change.sample < first || change.sample >= first + n)
                continue;
            const auto buffer = m.input(change.pin);
            std::fill(buffer.begin() + (change.sample - first), buffer.end(), change.value);
            m.queueStreaming(change.pin, forced && change.pin == forcedPin, change.sample - first);
            levels[change.pin] = change.value;
        }
    });
}

void expectSameSamples(const std::vector<float>& fast, const std::vector<float>& general, const std::string& name)
{
    ASSERT_EQ(fast.size(), general.size());
    for (std::size_t i = 0; i < fast.size(); ++i)
        ASSERT_EQ(std::bit_cast<std::uint32_t>(fast[i]), std::bit_cast<std::uint32_t>(general[i]))
            << name << " sample " << i << ": " << fast[i] << " / " << general[i];
}

}  // namespace

TEST(ShapeOsc, StaticInputsRenderTheSameSamplesAsStreamingOnes)
{
    struct Case {
        const char* name;
        int freqMode;
        int interpolation;
        std::vector<LevelChange> changes;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {"5 Hz, interpolated", 0, 0, {{0, "Pitch", 0.5f}}},
        {"100 Hz, box filter, spline", 0, 1, {{0, "Pitch", 10.0f}}},
        {"5 kHz, Lagrange, pitch steps inside blocks", 0, 2,
         {{0, "Pitch", 500.0f}, {1000, "Pitch", 37.3f}, {2210, "Pitch", 2400.0f}, {2900, "Pitch", 9000.0f}}},
        {"mode none, 440 Hz in volts", 1, 3, {{0, "Pitch", 0.5f}, {1500, "Pitch", 0.73f}}},
        {"static phase offsets", 0, 0,
         {{0, "Pitch", 20.0f}, {0, "PhaseMod", 0.3f}, {700, "PhaseMod", -0.0f}, {1300, "PhaseMod", nan},
          {1900, "PhaseMod", -0.85f}}},
        {"box filter, phase offsets and a sync edge", 0, 0,
         {{0, "Pitch", 30.0f}, {0, "PhaseMod", 0.3f}, {500, "PhaseMod", -0.85f}, {901, "Sync", 1.0f},
          {1700, "PhaseMod", -0.0f}, {2300, "PhaseMod", nan}, {2301, "PhaseMod", 1.0f}}},
        {"sync edges at level steps", 0, 0,
         {{0, "Pitch", 3.0f}, {333, "Sync", 1.0f}, {900, "Sync", -1.0f}, {901, "Sync", 0.5f}}},
        {"static feedback", 0, 1, {{0, "Pitch", 15.0f}, {0, "Feedback", 0.6f}, {1200, "Feedback", 0.0f}}},
        {"negative and not-a-number pitch", 0, 0, {{0, "Pitch", -3.0f}, {600, "Pitch", nan}, {1200, "Pitch", 8.0f}}},
    };
    const std::wstring shapes[] = {L"(-5,-5)(-2,4)(1,-1)(5,5)", L"(-5,2)(0,-4)(5,1)"};
    for (const Case& c : cases) {
        const auto run = [&](bool forced) {
            auto module = make(Flavour::current, "ShapeOsc");
            module->queueValue("Shape", shapes[0]);
            module->queueValue("FreqMode", c.freqMode);
            module->queueValue("Interpolation", c.interpolation);
            module->queueValue("Shape", shapes[1], 40);  // a table switch at the next cycle
            return renderWithLevels(*module, "Feedback", forced, c.changes, 3200);
        };
        expectSameSamples(run(false), run(true), c.name);
    }
}

TEST(ShapePulser, StaticInputsRenderTheSameSamplesAsStreamingOnes)
{
    for (const int interpolation : {0, 1, 3}) {
        const auto run = [&](bool forced) {
            auto module = make(Flavour::current, "ShapePulser");
            module->queueValue("Shape", std::wstring(L"(-5,-3)(-1,4)(2,-5)(5,2)"));
            module->queueValue("Interpolation", interpolation);
            const std::vector<LevelChange> changes = {
                {0, "Duration", 0.3f},  {10, "Trigger", 1.0f},    {50, "Trigger", 0.0f},  {400, "Trigger", 1.0f},
                {430, "Duration", 0.05f}, {700, "Trigger", 0.0f}, {701, "Trigger", 1.0f}, {900, "Duration", -2.0f},
                {1000, "Trigger", 0.0f}, {1003, "Trigger", 2.0f},
            };
            return renderWithLevels(*module, "Duration", forced, changes, 2000);
        };
        expectSameSamples(run(false), run(true), "interpolation " + std::to_string(interpolation));
    }
}

// Pitch and phase modulation streaming with feedback static at 0 take a routine that
// need not wait for each sample's value; streaming the same zero feedback keeps the
// general one. Both give the same samples, bit for bit, across table switches.
TEST(ShapeOsc, ModulatedInputsRenderTheSameSamplesWithAndWithoutStreamingFeedback)
{
    const std::wstring shapes[] = {L"(-5,-5)(-2,4)(1,-1)(5,5)", L"(-5,2)(0,-4)(5,1)"};
    for (const int interpolation : {0, 1, 3}) {
        const auto run = [&](bool feedbackStreaming) {
            auto module = make(Flavour::current, "ShapeOsc");
            module->queueValue("Shape", shapes[0]);
            module->queueValue("FreqMode", 0);
            module->queueValue("Interpolation", interpolation);
            module->queueValue("Shape", shapes[1], 300);  // switches at the next cycle
            module->queueStreaming("Pitch", true);
            module->queueStreaming("PhaseMod", true);
            if (feedbackStreaming)
                module->queueStreaming("Feedback", true);
            return render(*module, "Out", 4000, [&](mphost::DspModule& m, int first, int count) {
                auto pitch = m.input("Pitch");
                auto phaseMod = m.input("PhaseMod");
                for (int i = 0; i < count; ++i) {
                    const float n = static_cast<float>(first + i);
                    pitch[static_cast<std::size_t>(i)] = 30.0f + 25.0f * std::sin(0.002f * n);
                    phaseMod[static_cast<std::size_t>(i)] = 0.3f * std::sin(0.013f * n);
                }
                if (first <= 2500 && 2500 < first + count)
                    m.queueValue("Shape", shapes[0], 2500 - first);
                m.fillInput("Feedback", 0.0f);
            });
        };
        expectSameSamples(run(false), run(true), "interpolation " + std::to_string(interpolation));
    }
}
