// The wavetable oscillator through the built bundle: table selection, pitch in both
// modes, interpolation below one table entry per sample, the interval mean above it (its
// aliasing measured against point sampling), sync and phase modulation.
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

#include <gtest/gtest.h>

#include "SignalMath.h"
#include "sample_test_support.h"

using namespace sample_test;
using mphost::Bytes;

namespace {

constexpr double sampleRate = 48000.0;

std::vector<float> sineCycle(int n)
{
    std::vector<float> t(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
        t[static_cast<std::size_t>(k)] = static_cast<float>(std::sin(2.0 * std::numbers::pi * k / n));
    return t;
}

std::vector<float> sawCycle(int n)
{
    std::vector<float> t(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
        t[static_cast<std::size_t>(k)] = static_cast<float>(2.0 * k / n - 1.0);
    return t;
}

// An oscillator on `table` at 10 x `pitch` (Hz in linear mode, volts otherwise).
std::unique_ptr<mphost::DspModule> oscillator(const std::vector<float>& table, float pitch, bool linear = true,
                                              std::map<std::string, mphost::PinValue> values = {})
{
    values.emplace("Wavetable", blobOf(table));
    values.emplace("FreqMode", linear ? 0 : 1);
    values.emplace("Pitch", pitch);
    auto module = std::make_unique<mphost::DspModule>(bundle(), *descriptions().find("WTOsc"),
                                                      mphost::DspModuleOptions{.maxBlockSize = 256});
    module->start(values);
    return module;
}

std::vector<float> play(mphost::DspModule& module, int count, const Fill& fill = {})
{
    return render(module, count, fill).samples;
}

// Energy of `x` at frequency `hz` (a whole number of cycles over x), as amplitude^2 / 2.
double energyAt(const std::vector<float>& x, double hz)
{
    double re = 0, im = 0;
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double a = 2.0 * std::numbers::pi * hz * static_cast<double>(n) / sampleRate;
        re += x[n] * std::cos(a);
        im -= x[n] * std::sin(a);
    }
    const double scale = 2.0 / static_cast<double>(x.size());
    return (re * re + im * im) * scale * scale / 2.0;
}

// The share of the signal's energy (DC removed) that is not at a harmonic of `hz` below
// half the sample rate: what folded over.
double aliasShare(const std::vector<float>& x, double hz)
{
    double mean = 0;
    for (float v : x)
        mean += v;
    mean /= static_cast<double>(x.size());
    double total = 0;
    for (float v : x)
        total += (v - mean) * (v - mean);
    total /= static_cast<double>(x.size());
    double harmonics = 0;
    for (double h = hz; h < sampleRate / 2; h += hz)
        harmonics += energyAt(x, h);
    return (total - harmonics) / total;
}

TEST(WTOsc, AConstantTableGivesHalfItsValueAtAnyPitch)
{
    const std::vector<float> ones(100, 1.0f);
    for (const float pitch : {0.0f, 1.0f, 440.0f, 2400.0f, 1e9f}) {
        auto module = oscillator(ones, pitch);
        const auto out = play(*module, 512);
        for (std::size_t i = 1; i < out.size(); ++i)
            ASSERT_NEAR(out[i], 0.5f, 1e-5f) << pitch << " at " << i;
    }
    auto module = oscillator(ones, 0.7f, false);
    for (float v : play(*module, 512))
        ASSERT_NEAR(v, 0.5f, 1e-5f);
}

TEST(WTOsc, StartAndEndChooseTheCycleAndShortRangesAreSilent)
{
    std::vector<float> twoCycles(200, 1.0f);
    std::fill(twoCycles.begin() + 100, twoCycles.end(), -1.0f);
    auto second = oscillator(twoCycles, 100.0f, true, {{"Start", 100}, {"End", 1000}});  // End beyond: the last frame
    for (float v : play(*second, 256))
        ASSERT_NEAR(v, -0.5f, 1e-5f);
    auto first = oscillator(twoCycles, 100.0f, true, {{"Start", -20}, {"End", 99}});
    for (float v : play(*first, 256))
        ASSERT_NEAR(v, 0.5f, 1e-5f);

    struct Range { int start, end; };
    for (const Range r : {Range{10, 13}, Range{50, 40}, Range{300, -1}, Range{197, -1}}) {
        auto module = oscillator(twoCycles, 100.0f, true, {{"Start", r.start}, {"End", r.end}});
        for (float v : play(*module, 256))
            ASSERT_EQ(v, 0.0f) << r.start << ".." << r.end;
        EXPECT_FALSE(module->outputStreaming("AudioOut"));
    }
    auto shortest = oscillator(twoCycles, 100.0f, true, {{"Start", 10}, {"End", 14}});  // 5 frames
    EXPECT_NEAR(play(*shortest, 64)[10], 0.5f, 1e-5f);

    for (const Bytes& blob : {Bytes{}, Bytes{1, 2, 3}, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}}) {
        auto module = oscillator({}, 100.0f);
        module->queueValue("Wavetable", blob);
        for (float v : play(*module, 128))
            ASSERT_EQ(v, 0.0f);
    }
}

TEST(WTOsc, BelowOneEntryPerSampleTheOutputIsTheCyclicFourPointInterpolation)
{
    const auto table = sawCycle(64);
    const float hz = 187.5f;  // 64 x 187.5 / 48000 = 0.25 entries per sample
    auto module = oscillator(table, hz / 10.0f);
    const auto out = play(*module, 1024);
    const double increment = hz / sampleRate * 64.0;
    double phase = 0.0;
    for (int n = 0; n < 1024; ++n) {
        const int i = static_cast<int>(phase);
        const float f = static_cast<float>(phase - i);
        const auto at = [&](int k) { return table[static_cast<std::size_t>((k + 64) % 64)]; };
        const float expected = 0.5f * signal_math::interpolate4(at(i - 1), at(i), at(i + 1), at(i + 2), f);
        ASSERT_NEAR(out[static_cast<std::size_t>(n)], expected, 1e-6f) << n;  // wraps across the jump too
        phase += increment;
        if (phase >= 64.0)
            phase -= 64.0;
    }
}

TEST(WTOsc, AboveOneEntryPerSampleTheIntervalMeanKeepsFoldOverFarBelowPointSampling)
{
    const int size = 2048;
    const auto table = sawCycle(size);
    for (const double hz : {3005.0, 9005.0, 15005.0, 21005.0}) {
        auto module = oscillator(table, static_cast<float>(hz / 10.0));
        auto out = play(*module, 9601);
        out.erase(out.begin());  // the first sample reads from the cycle's start
        // The same table read at single points.
        std::vector<float> pointSampled(out.size());
        double phase = hz / sampleRate * size;
        for (auto& v : pointSampled) {
            const int i = static_cast<int>(phase);
            const auto at = [&](int k) { return table[static_cast<std::size_t>(k % size)]; };
            v = 0.5f * signal_math::interpolate4(at(i + size - 1), at(i), at(i + 1), at(i + 2),
                                                 static_cast<float>(phase - i));
            phase = std::fmod(phase + hz / sampleRate * size, size);
        }
        const double ours = aliasShare(out, hz);
        const double points = aliasShare(pointSampled, hz);
        std::printf("fold-over energy share at %.0f Hz: %.4f (point sampling %.4f)\n", hz, ours, points);
        EXPECT_LT(ours, points / 3.0) << hz << " Hz: " << ours << " against " << points;
        EXPECT_LT(ours, 0.1) << hz << " Hz";
        for (float v : out)
            ASSERT_TRUE(std::abs(v) <= 0.5f + 1e-6f);
    }
}

TEST(WTOsc, ASweepToHalfTheRateStaysBoundedAndNeverFoldsBelowTheFundamental)
{
    const auto table = sawCycle(2048);
    auto module = oscillator(table, 0.0f);
    module->queueStreaming("Pitch", true);
    const int total = 48000;
    const auto out = play(*module, total, [total](mphost::DspModule& m, int first, int count) {
        auto pitch = m.input("Pitch");
        for (int i = 0; i < count; ++i)  // 0 .. 24 kHz and beyond (limited to 24 kHz)
            pitch[static_cast<std::size_t>(i)] = 2600.0f * static_cast<float>(first + i) / static_cast<float>(total);
    });
    for (float v : out)  // the four-point interpolation overshoots the saw's jump a little
        ASSERT_TRUE(std::abs(v) <= 0.6f);
    // Over the last tenth the fundamental is above 21 kHz, so every harmonic lies above
    // half the rate: a folded harmonic would show as energy at low frequencies.
    const std::vector<float> tail(out.end() - 4800, out.end());
    double low = 0, all = 0;
    for (double hz = 10; hz < 10000; hz += 10)
        low += energyAt(tail, hz);
    for (float v : tail)
        all += v * v;
    all /= static_cast<double>(tail.size());
    EXPECT_LT(low, 0.02 * all);
}

TEST(WTOsc, OctaveModeCentresOn440HzAndLimitsItsRange)
{
    const auto table = sineCycle(1000);
    auto module = oscillator(table, 0.5f, false);
    const auto out = play(*module, 48001);
    int rising = 0;
    for (std::size_t i = 2; i < out.size(); ++i)
        rising += out[i - 1] <= 0.0f && out[i] > 0.0f;
    EXPECT_NEAR(rising, 440, 1);

    auto top = oscillator(table, 1.0f, false);
    auto above = oscillator(table, 1.7f, false);
    EXPECT_EQ(play(*top, 1024), play(*above, 1024));

    // Below 0 is 0, the cached pitch of a new table: the oscillator stands still.
    auto still = oscillator(table, -0.3f, false);
    for (float v : play(*still, 256))
        ASSERT_EQ(v, 0.0f);
}

TEST(WTOsc, LinearModeIsLimitedToHalfTheRate)
{
    const auto table = sawCycle(512);
    auto half = oscillator(table, 2400.0f);
    auto beyond = oscillator(table, 5000.0f);
    EXPECT_EQ(play(*half, 1024), play(*beyond, 1024));
}

TEST(WTOsc, SyncRestartsTheCycleAndPhaseModShiftsIt)
{
    const auto table = sineCycle(480);
    const float hz = 100.0f;  // one entry per sample
    auto plain = oscillator(table, hz / 10.0f);
    const auto reference = play(*plain, 512);

    auto synced = oscillator(table, hz / 10.0f);
    synced->queueStreaming("Sync", true);
    const auto out = play(*synced, 512, [](mphost::DspModule& m, int first, int count) {
        auto sync = m.input("Sync");
        for (int i = 0; i < count; ++i)
            sync[static_cast<std::size_t>(i)] = first + i >= 300 && first + i < 310 ? 1.0f : 0.0f;
    });
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(out[static_cast<std::size_t>(i)], reference[static_cast<std::size_t>(i)]);
    // The sample of the reset reads the mean over the jump back; from then on the cycle
    // runs as from the start.
    EXPECT_NE(out[300], reference[300]);
    for (int i = 301; i < 512; ++i)
        ASSERT_NEAR(out[static_cast<std::size_t>(i)], reference[static_cast<std::size_t>(i - 300)], 1e-5f) << i;

    auto shifted = oscillator(table, hz / 10.0f);
    shifted->fillInput("PhaseMod", 0.5f);
    const auto half = play(*shifted, 512);
    for (int i = 10; i < 512; ++i)
        ASSERT_NEAR(half[static_cast<std::size_t>(i)], -reference[static_cast<std::size_t>(i)], 1e-4f) << i;

    auto clipped = oscillator(table, hz / 10.0f);
    clipped->fillInput("PhaseMod", 7.0f);  // limited to one whole cycle: no shift
    const auto whole = play(*clipped, 512);
    for (int i = 10; i < 512; ++i)
        ASSERT_NEAR(whole[static_cast<std::size_t>(i)], reference[static_cast<std::size_t>(i)], 1e-4f) << i;
}

TEST(WTOsc, EnableSilencesAndNonFiniteInputsStayFinite)
{
    const auto table = sawCycle(256);
    auto module = oscillator(table, 44.0f, true, {{"Enable", 0}});
    for (float v : play(*module, 256))
        ASSERT_EQ(v, 0.0f);
    EXPECT_FALSE(module->outputStreaming("AudioOut"));
    module->queueValue("Enable", 1);
    const auto on = play(*module, 256);
    EXPECT_NE(on[100], 0.0f);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> hostile = table;
    hostile[3] = nan;
    hostile[7] = inf;
    auto wild = oscillator(hostile, 44.0f);
    for (const char* pin : {"Pitch", "PhaseMod", "Sync"})
        wild->queueStreaming(pin, true);
    const auto out = play(*wild, 1024, [nan, inf](mphost::DspModule& m, int first, int count) {
        for (const char* pin : {"Pitch", "PhaseMod", "Sync"}) {
            auto buffer = m.input(pin);
            for (int i = 0; i < count; ++i) {
                const int k = (first + i) % 5;
                buffer[static_cast<std::size_t>(i)] = k == 0 ? nan : (k == 1 ? inf : (k == 2 ? -inf : 0.3f * k));
            }
        }
    });
    for (float v : out)
        ASSERT_TRUE(std::isfinite(v));
    EXPECT_EQ(render(*wild, 256).allocations, 0u);
}

}  // namespace

TEST(WTOsc, ANewTableOfTheSameLengthIsReadFromItsFirstSample)
{
    // High enough for the interval mean: a table replaced mid-play is read from the start of
    // its cycle, exactly as by a fresh oscillator on it.
    const auto saw = sawCycle(512);
    auto replaced = sineCycle(512);
    for (float& v : replaced)
        v = 0.25f + 0.5f * v;
    auto module = oscillator(saw, 300.0f);
    play(*module, 300);
    module->queueValue("Wavetable", blobOf(replaced));
    const auto after = play(*module, 512);
    auto fresh = oscillator(replaced, 300.0f);
    const auto expected = play(*fresh, 512);
    for (std::size_t n = 0; n < expected.size(); ++n)
        ASSERT_EQ(after[n], expected[n]) << n;
}

TEST(WTOsc, StaticInputsRenderTheSameSamplesAsStreamingOnes)
{
    // Static pitch, sync and phase modulation take a routine that reads them once a block.
    // Level changes step at their sample (the block splits there); the same changes with
    // Pitch streaming take the general routine. Both must agree bit for bit.
    struct Change {
        int sample;
        const char* pin;
        float value;
    };
    struct Case {
        const char* name;
        bool linear;
        std::vector<Change> changes;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {"interpolation, then the mean", true, {{0, "Pitch", 0.5f}, {1000, "Pitch", 3.73f}, {2210, "Pitch", 240.0f}}},
        {"volts", false, {{0, "Pitch", 0.5f}, {1500, "Pitch", 0.73f}}},
        {"sync edges", true, {{0, "Pitch", 2.0f}, {700, "Sync", 1.0f}, {1500, "Sync", 0.0f}, {1801, "Sync", 0.5f}}},
        {"phase offsets", true,
         {{0, "Pitch", 1.0f}, {0, "PhaseMod", 0.25f}, {900, "PhaseMod", -0.6f}, {1400, "PhaseMod", nan},
          {2000, "PhaseMod", 3.0f}}},
    };
    const auto table = sineCycle(480);
    for (const Case& c : cases) {
        std::vector<float> rendered[2];
        for (const bool forced : {false, true}) {
            auto module = oscillator(table, 0.0f, c.linear);
            if (forced)
                module->queueStreaming("Pitch", true);
            std::map<std::string, float> levels;  // held through later blocks
            rendered[forced] = play(*module, 3000, [&](mphost::DspModule& m, int first, int count) {
                for (const auto& [pin, level] : levels)
                    m.fillInput(pin, level);
                for (const Change& change : c.changes) {
                    if (change.sample < first || change.sample >= first + count)
                        continue;
                    const auto buffer = m.input(change.pin);
                    std::fill(buffer.begin() + (change.sample - first), buffer.end(), change.value);
                    m.queueStreaming(change.pin, forced && std::string(change.pin) == "Pitch", change.sample - first);
                    levels[change.pin] = change.value;
                }
            });
        }
        for (std::size_t i = 0; i < rendered[0].size(); ++i)
            ASSERT_EQ(std::bit_cast<std::uint32_t>(rendered[0][i]), std::bit_cast<std::uint32_t>(rendered[1][i]))
                << c.name << " sample " << i;
    }
}
