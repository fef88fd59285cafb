// The digital waveguide and the morphers: loop timing, fractional reads, limits, the
// tail, the shared tables (one fill per name and rate, and what happens without them).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "services/dsp_host.h"
#include "dsp_test_support.h"
#include "engine/engine.h"
#include "engine/patch.h"

using namespace dsp_test;
using Samples = std::vector<float>;

namespace {

constexpr float notANumber = std::numeric_limits<float>::quiet_NaN();
constexpr float infinity = std::numeric_limits<float>::infinity();
constexpr std::int32_t tableBytes = 0x400000;

// DWG values for a plain loop: unfiltered, full feedback, gate open.
std::map<std::string, mphost::PinValue> loopValues(float pitch, float feedback = 1.0f)
{
    return {{"Pitch", pitch}, {"Damping", 0.0f}, {"Feedback", feedback}, {"Gate", 1.0f}, {"Excitation", 0.0f}};
}

// Starts `module` with `values`, streams Excitation with `excitation(n)` and renders `count` samples.
Samples pluck(mphost::DspModule& module, const std::map<std::string, mphost::PinValue>& values, int count,
              const std::function<float(int)>& excitation)
{
    module.start(values);
    module.queueStreaming("Excitation", true);
    return render(module, count, [&](mphost::DspModule& m, int start, int block) {
               auto in = m.input("Excitation");
               for (int i = 0; i < block; ++i)
                   in[i] = excitation(start + i);
           }).samples;
}

std::function<float(int)> impulseAt(int position)
{
    return [position](int n) { return n == position ? 1.0f : 0.0f; };
}

// A DWG; without a pool of its own it shares one with the other tests' modules, as the
// modules of one engine do (the tables are filled once for all of them).
std::unique_ptr<mphost::DspModule> dwg(std::shared_ptr<mphost::SharedMemoryPool> pool = {}, float rate = 48000.0f)
{
    static const auto shared = std::make_shared<mphost::SharedMemoryPool>();
    mphost::DspModuleOptions options;
    options.sharedMemory = pool ? std::move(pool) : shared;
    options.sampleRate = rate;
    return makeModule("DWG", options);
}

const float* table(mphost::SharedMemoryPool& pool, const wchar_t* name, float rate, std::int32_t size)
{
    bool created = false;
    const auto* memory = static_cast<const float*>(pool.allocate(name, rate, size, created));
    EXPECT_FALSE(created) << "nobody filled the table";
    return memory;
}

// x_i and a_j as the tables accumulate them.
double rowPosition(int i)
{
    double x = 0.0;
    for (int k = 0; k < i; ++k)
        x += 0.0009775171065493646;
    return x;
}
double columnLength(int j)
{
    double a = 1.0;
    for (int k = 0; k < j; ++k)
        a += 4.886608015640274;
    return a;
}

}  // namespace

// ---------------------------------------------------------------------------------
// DWG

TEST(DigitalWaveguide, AnImpulseCirculatesUnchangedWithFullFeedbackAndNoDamping)
{
    // Pitch 0.5: a delay of exactly 5 samples, read without interpolation. The gate
    // envelope is fully open after 200 samples; the impulse comes later.
    auto module = dwg();
    const Samples out = pluck(*module, loopValues(0.5f), 1000, impulseAt(300));
    for (int n = 0; n < 1000; ++n)
        ASSERT_EQ(out[n], n > 300 && (n - 300) % 5 == 0 ? 1.0f : 0.0f) << n;
    EXPECT_EQ(module->allocationsInLastProcess(), 0u);
}

TEST(DigitalWaveguide, DampingGivesTheSameLoopFilterAtEveryRate)
{
    // k = b t / ((t - 48) b + 48) with t = rate / 1000: b at 48 kHz, 0.5 * 96 / 72 at 96 kHz.
    // The first pass through the low-pass (state 0) leaves 1 - k of the impulse.
    for (const auto& [rate, k] : {std::pair{48000.0f, 0.5f}, std::pair{96000.0f, 2.0f / 3.0f}}) {
        auto module = dwg({}, rate);
        auto values = loopValues(0.5f);
        values["Damping"] = 0.5f;
        const Samples out = pluck(*module, values, 400, impulseAt(300));
        EXPECT_EQ(out[305], 1.0f);
        EXPECT_NEAR(out[310], 1.0f - k, 1e-5f) << rate;
        // The filter state rings on between passes: k^5 (1 - k) of it is left at the next.
        EXPECT_NEAR(out[315], (1.0f - k) * (1.0f - k) + std::pow(k, 5.0f) * (1.0f - k), 1e-5f) << rate;
    }
}

TEST(DigitalWaveguide, NegativeFeedbackInvertsEveryPass)
{
    auto module = dwg();
    const Samples out = pluck(*module, loopValues(0.5f, -1.0f), 400, impulseAt(300));
    for (int pass = 1; pass < 20; ++pass)
        ASSERT_EQ(out[300 + 5 * pass], pass % 2 ? 1.0f : -1.0f) << pass;
}

TEST(DigitalWaveguide, AFractionalDelayIsReadThroughTheAllPass)
{
    // Delay 5.25: alpha = 0.75 / 1.25 = 0.6; the impulse response of the all-pass.
    auto module = dwg();
    const Samples out = pluck(*module, loopValues(0.525f, 0.0f), 320, impulseAt(300));
    EXPECT_NEAR(out[304], 0.0f, 1e-6f);
    EXPECT_NEAR(out[305], 0.6f, 1e-5f);
    EXPECT_NEAR(out[306], 1.0f - 0.36f, 1e-5f);
    EXPECT_NEAR(out[307], -0.64f * 0.6f, 1e-5f);
}

TEST(DigitalWaveguide, FrequencyModeReadsPitchAsKilohertz)
{
    // 10 x 0.48 = 4.8 kHz at 48 kHz: a period of 10 samples.
    auto module = dwg();
    auto values = loopValues(0.48f, 0.0f);
    values["PitchMode"] = std::int32_t{1};
    const Samples out = pluck(*module, values, 320, impulseAt(300));
    EXPECT_NEAR(out[310], 1.0f, 1e-5f);
    EXPECT_NEAR(out[309], 0.0f, 1e-5f);
}

TEST(DigitalWaveguide, DelaysOutsideTheLineAreLimitedToOneTo5000Samples)
{
    struct Case {
        float pitch;
        int mode;
        int delay;
    };
    for (const Case c : {Case{0.0f, 1, 5000}, Case{1000.0f, 0, 5000}, Case{-3.0f, 0, 1}, Case{0.0f, 0, 1},
                         Case{notANumber, 0, 1}, Case{infinity, 0, 5000}, Case{-2.0f, 1, 1}}) {
        auto module = dwg();
        auto values = loopValues(c.pitch, 0.0f);
        values["PitchMode"] = std::int32_t{c.mode};
        const Samples out = pluck(*module, values, 5400, impulseAt(300));
        for (int n = 0; n < 5400; ++n)
            ASSERT_EQ(out[n], n == 300 + c.delay ? 1.0f : 0.0f) << "pitch " << c.pitch << " mode " << c.mode << " at " << n;
    }
}

TEST(DigitalWaveguide, SmoothPitchCrossfadesLargeJumpsOver49Samples)
{
    // Feedback 0: the output is the excitation delayed; a ramp shows which tap is read.
    const auto run = [](bool smooth, float newPitch) {
        auto module = dwg();
        auto values = loopValues(10.0f, 0.0f);
        values["SmoothPitch"] = smooth;
        module->start(values);
        module->queueStreaming("Excitation", true);
        module->queueStreaming("Pitch", true);
        return render(*module, 1200, [&](mphost::DspModule& m, int start, int block) {
                   auto in = m.input("Excitation");
                   auto pitch = m.input("Pitch");
                   for (int i = 0; i < block; ++i) {
                       in[i] = static_cast<float>(start + i);
                       pitch[i] = start + i < 1000 ? 10.0f : newPitch;
                   }
               }).samples;
    };
    const Samples faded = run(true, 15.0f);
    EXPECT_EQ(faded[999], 899.0f);
    EXPECT_EQ(faded[1000], 900.0f);  // the crossfade starts after this sample
    for (int n = 1001; n <= 1049; ++n) {
        const float u = static_cast<float>(1050 - n) * 0.02f;
        const float w = u * u * (3.0f - 2.0f * u);
        ASSERT_NEAR(faded[n], w * (n - 100) + (1.0f - w) * (n - 150), 2e-3f) << n;
    }
    for (int n = 1050; n < 1200; ++n)
        ASSERT_EQ(faded[n], n - 150.0f) << n;

    const Samples jumped = run(false, 15.0f);
    EXPECT_EQ(jumped[1000], 850.0f);
    // A change of 0.05 samples applies at once; its fraction is too small to interpolate.
    const Samples nudged = run(true, 10.005f);
    for (int n = 990; n < 1200; ++n)
        ASSERT_EQ(nudged[n], n - 100.0f) << n;
}

TEST(DigitalWaveguide, CancelExcitationSubtractsHalfTheDelayedExcitation)
{
    auto module = dwg();
    auto values = loopValues(0.5f, 0.0f);
    values["CancelExcitation"] = true;
    const Samples out = pluck(*module, values, 320, impulseAt(300));
    EXPECT_EQ(out[305], 0.5f);
}

TEST(DigitalWaveguide, DcBlockHighPassesTheExcitationWhenFeedbackIsPositive)
{
    // A step into a 100-sample line; R from the coefficients of the columns around 100.
    auto module = dwg();
    auto values = loopValues(10.0f, 1e-6f);
    values["DCBlock"] = 10000.0f;
    const Samples out = pluck(*module, values, 600, [](int n) { return n >= 300 ? 1.0f : 0.0f; });
    const float column = 99.0f * 1023.0f / 4999.0f;
    const int j = static_cast<int>(column);
    const float f = column - static_cast<float>(j);
    const auto coefficient = [](int index) {
        const double a = columnLength(index);
        return static_cast<float>(std::exp(-10000.0 / (a * a)));
    };
    const float r = (1.0f - f) * coefficient(j) + f * coefficient(j + 1);
    EXPECT_NEAR(out[400], 1.0f, 1e-4f);
    EXPECT_NEAR(out[401], r, 1e-4f);
    EXPECT_NEAR(out[402], r * r, 1e-4f);
    EXPECT_LT(std::fabs(out[599]), 1e-3f);
}

TEST(DigitalWaveguide, ClearEmptiesTheLinesOnlyForExactlyOne)
{
    auto module = dwg();
    Samples out = pluck(*module, loopValues(0.5f), 400, impulseAt(300));
    module->queueValue("Clear", 0.99f);
    out = render(*module, 64).samples;
    EXPECT_EQ(out[0] + out[1] + out[2] + out[3] + out[4], 1.0f);
    module->queueValue("Clear", 1.0f, 10);
    out = render(*module, 64).samples;
    EXPECT_EQ(out[5] + out[6] + out[7] + out[8] + out[9], 1.0f);
    for (int n = 10; n < 64; ++n)
        ASSERT_EQ(out[n], 0.0f) << n;
}

TEST(DigitalWaveguide, DisablingSilencesAndClearsTheString)
{
    auto module = dwg();
    pluck(*module, loopValues(0.5f), 400, impulseAt(300));
    module->queueValue("Enable", false, 3);
    const Rendered off = render(*module, 64);
    EXPECT_EQ(off.reports, (std::vector<StreamingReport>{{3, false}}));
    for (int n = 3; n < 64; ++n)
        ASSERT_EQ(off.samples[n], 0.0f);
    module->queueValue("Enable", true);
    const Rendered on = render(*module, 64);
    for (const float sample : on.samples)
        ASSERT_EQ(sample, 0.0f);  // the loop was emptied
    EXPECT_EQ(on.reports.front(), (StreamingReport{0, true}));
}

TEST(DigitalWaveguide, TheTailEndsStreamingAfter5000QuietSamplesAndTheModuleSleeps)
{
    auto module = dwg();
    module->start(loopValues(10.0f, 0.5f));
    module->queueStreaming("Excitation", true);
    std::fill_n(module->input("Excitation").begin(), 64, 0.0f);
    module->input("Excitation")[0] = 1.0f;
    module->queueStreaming("Excitation", false, 1);
    const Rendered tail = render(*module, 20000, [](mphost::DspModule& m, int start, int) {
        if (start > 0)
            std::fill_n(m.input("Excitation").begin(), 64, 0.0f);
    });
    // Streaming from the start (the start and the excitation say so), then static once.
    ASSERT_GE(tail.reports.size(), 2u);
    for (std::size_t k = 0; k + 1 < tail.reports.size(); ++k)
        EXPECT_TRUE(tail.reports[k].streaming);
    const int settled = tail.reports.back().position;
    EXPECT_FALSE(tail.reports.back().streaming);
    // The report comes at the end of the block in which 5000 quiet samples were complete.
    int lastAudible = settled - 1;
    while (lastAudible > 0 && std::fabs(tail.samples[lastAudible]) < 1e-5f)
        --lastAudible;
    EXPECT_GT(lastAudible, 1000);  // the decay took a while
    EXPECT_GE(settled - lastAudible - 1, 5000);
    EXPECT_LT(settled - lastAudible - 1, 5000 + 64);
    for (int n = settled; n < 20000; ++n)
        ASSERT_EQ(tail.samples[n], 0.0f);
    EXPECT_GE(tail.firstSkipped, settled);
}

TEST(DigitalWaveguide, NonFiniteInputsNeverPoisonTheLoop)
{
    // NaN and infinities on every audio input for a while, then ordinary values again:
    // the output is finite from then on (within a line length at the latest).
    auto module = dwg();
    module->start(loopValues(3.3f, 0.99f));
    for (const char* pin : {"Excitation", "Pitch", "Feedback", "Damping", "Gate"})
        module->queueStreaming(pin, true);
    const float bad[] = {notANumber, infinity, -infinity, 3e38f};
    const Rendered out = render(*module, 12000, [&](mphost::DspModule& m, int start, int block) {
        for (int i = 0; i < block; ++i) {
            const int n = start + i;
            const bool poisoned = n >= 1000 && n < 1300;
            m.input("Excitation")[i] = poisoned ? bad[n % 4] : std::sin(0.01f * static_cast<float>(n));
            m.input("Pitch")[i] = poisoned && n % 3 == 0 ? notANumber : 3.3f;
            m.input("Feedback")[i] = poisoned && n % 5 == 0 ? notANumber : 0.99f;
            m.input("Damping")[i] = poisoned && n % 7 == 0 ? infinity : 0.3f;
            m.input("Gate")[i] = poisoned && n % 2 == 0 ? notANumber : 1.0f;
        }
    });
    for (int n = 1300 + 5000; n < 12000; ++n)
        ASSERT_TRUE(std::isfinite(out.samples[n])) << n;
    EXPECT_GT(std::fabs(out.samples[11999]) + std::fabs(out.samples[11990]), 0.0f);  // still sounding
}

TEST(DigitalWaveguide, TablesHoldTheirFormulasAndAreFilledOncePerNameAndRate)
{
    auto pool = std::make_shared<mphost::SharedMemoryPool>();
    auto first = dwg(pool);
    EXPECT_EQ(pool->tableCount(), 2u);
    const float* pcorr = table(*pool, L"KAVRO DWG PCORR TABLE", -1.0f, tableBytes);
    const float* fbscal = table(*pool, L"KAVRO DWG FBSCAL TABLE", 48000.0f, tableBytes);
    ASSERT_TRUE(pcorr && fbscal);
    for (const auto& [i, j] : {std::pair{0, 0}, {1, 1}, {512, 100}, {1023, 1023}, {700, 3}, {3, 900}}) {
        const double x = rowPosition(i), a = columnLength(j), w = 6.28318530717958 / a;
        const double corrected = std::max(1.0, a - a * 0.15915494309189 * std::atan2(std::sin(x * w), 1.0 - x * std::cos(w)));
        EXPECT_FLOAT_EQ(pcorr[i * 1024 + j], static_cast<float>(corrected)) << i << "," << j;
        EXPECT_FLOAT_EQ(fbscal[i * 1024 + j], static_cast<float>(std::pow(x, 261.6529068725 / 48000.0 * a)))
            << i << "," << j;
    }

    // Marks in the tables survive every later instance: nobody fills them again.
    const_cast<float*>(pcorr)[5] = -7.0f;
    const_cast<float*>(fbscal)[5] = -7.0f;
    std::vector<std::unique_ptr<mphost::DspModule>> more;
    for (int k = 0; k < 12; ++k) {
        more.push_back(dwg(pool));
        more.back()->start(loopValues(1.0f));
        more.back()->process(64);
    }
    EXPECT_EQ(pcorr[5], -7.0f);
    EXPECT_EQ(fbscal[5], -7.0f);
    EXPECT_EQ(pool->tableCount(), 2u);

    // Another rate has its own feedback table; the pitch table is shared by all rates.
    auto other = dwg(pool, 96000.0f);
    EXPECT_EQ(pool->tableCount(), 3u);
    const float* fbscal96 = table(*pool, L"KAVRO DWG FBSCAL TABLE", 96000.0f, tableBytes);
    EXPECT_FLOAT_EQ(fbscal96[512 * 1024 + 100],
                    static_cast<float>(std::pow(rowPosition(512), 261.6529068725 / 96000.0 * columnLength(100))));
}

TEST(DigitalWaveguide, WithoutTablesCorrectionAndScalingAreOff)
{
    // A pool that already holds 4-byte blocks under both names cannot give the tables.
    const auto run = [](std::shared_ptr<mphost::SharedMemoryPool> pool, bool options) {
        auto module = dwg(std::move(pool));
        auto values = loopValues(4.37f, 0.8f);
        values["Damping"] = 0.4f;
        values["PitchCorrection"] = options;
        values["FeedbackScaling"] = options;
        return pluck(*module, values, 3000, impulseAt(300));
    };
    auto starved = std::make_shared<mphost::SharedMemoryPool>();
    bool created = false;
    starved->allocate(L"KAVRO DWG PCORR TABLE", -1.0f, 4, created);
    starved->allocate(L"KAVRO DWG FBSCAL TABLE", 48000.0f, 4, created);
    const Samples plain = run({}, false);
    EXPECT_EQ(run(starved, true), plain);
    EXPECT_NE(run({}, true), plain);  // with tables the options change the sound
}

TEST(DigitalWaveguide, PitchCorrectionKeepsTheLoopPeriodWithDamping)
{
    // The damped loop's low-pass adds phase delay; corrected, a 100-sample period stays
    // 100 samples. Measured by where the recirculating impulse peaks after 20 passes.
    const auto peakAfterPasses = [](bool correct) {
        auto module = dwg();
        auto values = loopValues(10.0f, 0.999f);
        values["Damping"] = 0.5f;
        values["PitchCorrection"] = correct;
        const Samples out = pluck(*module, values, 2500, impulseAt(300));
        int best = 300 + 1950;
        for (int n = 300 + 1950; n < 300 + 2050; ++n)
            if (out[n] > out[best])
                best = n;
        return best - 300;
    };
    EXPECT_GT(peakAfterPasses(false), 2010);
    EXPECT_NEAR(peakAfterPasses(true), 2000, 3);
}

// ---------------------------------------------------------------------------------
// Morphers

namespace {

std::unique_ptr<mphost::DspModule> morph(const std::string& id, int inputs,
                                         std::shared_ptr<mphost::SharedMemoryPool> pool = {})
{
    mphost::DspModuleOptions options;
    options.duplicates = {{"In", inputs}};
    options.sharedMemory = std::move(pool);
    return makeModule(id, options);
}

// The first output sample of a morpher whose inputs hold 1, 10, 100, ... as static values.
float mixOf(mphost::DspModule& module, int inputs, std::map<std::string, mphost::PinValue> values)
{
    float level = 1.0f;
    for (int k = 0; k < inputs; ++k, level *= 10.0f)
        values["In[" + std::to_string(k) + "]"] = level;
    if (module.id() == "Morph1D")
        values.erase("Focus");
    module.start(values);
    module.process(8);
    return module.output("Out")[0];
}

float curveTable(int i)
{
    const float x = static_cast<float>(i) * 6.103888e-05f;
    const float g = expf((x - 1.0f) * 3.0f);
    return (1.0f - g) * -1.0523957f + 1.0f;
}

float shaped(float w)
{
    const float f = w * 16383.0f;
    const int k = static_cast<int>(f);
    return (1.0f - (f - k)) * curveTable(k) + (k < 16383 ? (f - k) * curveTable(k + 1) : 0.0f);
}

}  // namespace

TEST(Morph1DModule, PositionCrossfadesNeighboursAlongTheLine)
{
    struct Case {
        float position;
        float expected;
    };
    for (const Case c : {Case{0.0f, 1.0f}, Case{0.5f, 10.0f}, Case{0.25f, 5.5f}, Case{1.0f, 100.0f}, Case{0.75f, 55.0f},
                         Case{-3.0f, 1.0f}, Case{7.0f, 100.0f}, Case{notANumber, 1.0f}, Case{infinity, 100.0f}}) {
        auto module = morph("Morph1D", 3);
        EXPECT_FLOAT_EQ(mixOf(*module, 3, {{"Position", c.position}}), c.expected) << c.position;
    }
}

TEST(Morph1DModule, OneInputPassesAtFullWeightAndNoInputsGiveSilence)
{
    for (const float position : {0.0f, 0.3f, 1.0f}) {
        auto module = morph("Morph1D", 1);
        EXPECT_EQ(mixOf(*module, 1, {{"Position", position}}), 1.0f);
    }
    auto none = morph("Morph1D", 0);
    none->start();
    none->process(16);
    for (const float sample : none->output("Out"))
        ASSERT_EQ(sample, 0.0f);
}

TEST(Morph1DModule, TheCurveShapesEachWeightThroughTheSharedTable)
{
    auto module = morph("Morph1D", 3);
    const float mixed = mixOf(*module, 3, {{"Position", 0.25f}, {"Curve", std::int32_t{1}}});
    EXPECT_FLOAT_EQ(mixed, shaped(0.5f) * 11.0f + shaped(0.0f) * 100.0f);
    EXPECT_NEAR(shaped(0.5f), 0.18f, 0.01f);  // crossfades dip in the middle
}

TEST(Morph1DModule, AudioRatePositionSweepsTheInputs)
{
    auto module = morph("Morph1D", 2);
    module->start({{"In[0]", 2.0f}, {"In[1]", 4.0f}});
    module->queueStreaming("Position", true);
    auto position = module->input("Position");
    for (int i = 0; i < 64; ++i)
        position[i] = static_cast<float>(i) / 63.0f;
    module->process(64);
    const auto out = module->output("Out");
    for (int i = 0; i < 64; ++i)
        ASSERT_FLOAT_EQ(out[i], 2.0f + 2.0f * position[i]) << i;
    EXPECT_EQ(module->allocationsInLastProcess(), 0u);
    EXPECT_TRUE(module->outputStreaming("Out"));
}

TEST(Morph2DModule, FocusOneCrossfadesAroundTheRing)
{
    struct Case {
        float position;
        float expected;
    };
    // 4 inputs 1, 10, 100, 1000: e = 4 x Position; beyond input 3 the ring returns to input 0.
    for (const Case c : {Case{0.0f, 1.0f}, Case{0.25f, 10.0f}, Case{0.125f, 5.5f}, Case{0.875f, 500.5f},
                         Case{1.0f, 1.0f}, Case{0.75f, 1000.0f}, Case{-1.0f, 1.0f}, Case{2.0f, 1.0f}, Case{notANumber, 1.0f}}) {
        auto module = morph("Morph2D", 4);
        EXPECT_FLOAT_EQ(mixOf(*module, 4, {{"Position", c.position}, {"Focus", 1.0f}}), c.expected) << c.position;
    }
}

TEST(Morph2DModule, FocusZeroIsTheMeanFromTheFirstSample)
{
    for (const int inputs : {1, 2, 3, 8, 16}) {
        auto module = morph("Morph2D", inputs);
        float sum = 0.0f, level = 1.0f;
        for (int k = 0; k < inputs; ++k, level *= 10.0f)
            sum += level;
        // Position 0 and Focus 0 from the start: the weights are computed on the first sample.
        EXPECT_NEAR(mixOf(*module, inputs, {{"Position", 0.0f}, {"Focus", 0.0f}}), sum / inputs, sum * 1e-6f)
            << inputs;
    }
}

TEST(Morph2DModule, NoInputsGiveSilence)
{
    auto module = morph("Morph2D", 0);
    module->start({{"Position", 0.4f}, {"Focus", 0.3f}});
    module->process(16);
    for (const float sample : module->output("Out"))
        ASSERT_EQ(sample, 0.0f);
}

TEST(Morph2DModule, FocusBetweenBlendsTheCrossfadeAndTheEqualMix)
{
    // Focus 0.5 at Position 0.125 with 4 inputs: t = (0.5, 0.5, 0, 0).
    const float y = 0.5f;
    const auto weight = [y](float t) {
        const float o = t * y + 1.0f - y;
        return o * y + 0.25f * o * (1.0f - y);
    };
    auto module = morph("Morph2D", 4);
    EXPECT_FLOAT_EQ(mixOf(*module, 4, {{"Position", 0.125f}, {"Focus", y}}),
                    weight(0.5f) * 11.0f + weight(0.0f) * 1100.0f);
    auto curved = morph("Morph2D", 4);
    EXPECT_FLOAT_EQ(mixOf(*curved, 4, {{"Position", 0.125f}, {"Focus", y}, {"Curve", std::int32_t{1}}}),
                    shaped(weight(0.5f)) * 11.0f + shaped(weight(0.0f)) * 1100.0f);
}

TEST(Morph2DModule, ChangingTheCurveReshapesWeightsWhilePositionStands)
{
    auto module = morph("Morph2D", 2);
    module->start({{"In[0]", 1.0f}, {"In[1]", 1.0f}, {"Position", 0.25f}, {"Focus", 1.0f}});
    module->process(16);
    EXPECT_FLOAT_EQ(module->output("Out")[15], 1.0f);
    module->queueValue("Curve", std::int32_t{1});
    module->process(16);
    EXPECT_FLOAT_EQ(module->output("Out")[0], 2.0f * shaped(0.5f));
    EXPECT_EQ(module->allocationsInLastProcess(), 0u);
}

TEST(Morphers, TheCurveTableIsSharedFilledOnceAndOptional)
{
    auto pool = std::make_shared<mphost::SharedMemoryPool>();
    std::vector<std::unique_ptr<mphost::DspModule>> modules;
    modules.push_back(morph("Morph1D", 2, pool));
    const float* curve = table(*pool, L"KAVRO MORPH LIN2VCA TABLE", -1.0f, 0x10000);
    ASSERT_TRUE(curve);
    for (const int i : {0, 1, 8191, 8192, 16383})
        EXPECT_EQ(curve[i], curveTable(i)) << i;
    EXPECT_NEAR(curve[0], 0.0f, 1e-6f);
    EXPECT_NEAR(curve[16383], 1.0f, 1e-6f);
    const_cast<float*>(curve)[3] = -7.0f;
    for (int k = 0; k < 10; ++k)
        modules.push_back(morph(k % 2 ? "Morph1D" : "Morph2D", 3, pool));
    EXPECT_EQ(curve[3], -7.0f);
    EXPECT_EQ(pool->tableCount(), 1u);

    // Without the table the curve is off: the linear crossfade.
    auto starved = std::make_shared<mphost::SharedMemoryPool>();
    bool created = false;
    starved->allocate(L"KAVRO MORPH LIN2VCA TABLE", -1.0f, 4, created);
    auto module1 = morph("Morph1D", 3, starved);
    EXPECT_FLOAT_EQ(mixOf(*module1, 3, {{"Position", 0.25f}, {"Curve", std::int32_t{1}}}), 5.5f);
    auto module2 = morph("Morph2D", 4, starved);
    EXPECT_FLOAT_EQ(mixOf(*module2, 4, {{"Position", 0.875f}, {"Focus", 1.0f}, {"Curve", std::int32_t{1}}}), 500.5f);
}

TEST(SharedTables, ManyInstancesInOneEngineShareOneBlockPerNameAndRate)
{
    // Eight strings and eight morphers of each kind in one patch: every instance's host
    // hands out the same blocks, already filled (nobody is asked to fill them again).
    std::string modules;
    for (int k = 0; k < 8; ++k) {
        modules += (k ? ", " : "") + std::string(R"({ "name": "s)") + std::to_string(k) +
                   R"(", "bundle": "dsp_modules", "id": "DWG", "values": { "PitchCorrection": true, "FeedbackScaling": true } })";
        modules += R"(, { "name": "a)" + std::to_string(k) + R"(", "bundle": "dsp_modules", "id": "Morph1D", "duplicates": { "In": 3 } })";
        modules += R"(, { "name": "b)" + std::to_string(k) + R"(", "bundle": "dsp_modules", "id": "Morph2D", "duplicates": { "In": 4 } })";
    }
    mphost::PatchEnvironment environment;
    environment.bundleFolders = {MP_BUNDLE_DIR};
    mphost::Engine engine(mphost::parsePatch(R"({ "seconds": 0.01, "sampleRate": 44100, "modules": [ )" + modules +
                                                 R"( ], "outputs": [ "s0.Out", "s7.Out", "b3.Out" ] })",
                                             "tables.json", environment));
    engine.render();

    struct Table {
        const wchar_t* name;
        float rate;
        std::int32_t size;
    };
    for (const Table t : {Table{L"KAVRO DWG PCORR TABLE", -1.0f, tableBytes},
                          Table{L"KAVRO DWG FBSCAL TABLE", 44100.0f, tableBytes},
                          Table{L"KAVRO MORPH LIN2VCA TABLE", -1.0f, 0x10000}}) {
        void* first = nullptr;
        for (const char* prefix : {"s", "a", "b"}) {
            for (int k = 0; k < 8; ++k) {
                void* block = nullptr;
                std::int32_t needsFilling = -1;
                auto& host = engine.dsp(prefix + std::to_string(k))->host();
                ASSERT_EQ(host.hostAllocateSharedMemory(t.name, &block, t.rate, t.size, needsFilling), 0);
                EXPECT_EQ(needsFilling, 0);
                if (!first)
                    first = block;
                EXPECT_EQ(block, first);
            }
        }
        // Filled: the last entry of every table is far from the zeros of a new block.
        EXPECT_NE(static_cast<const float*>(first)[t.size / 4 - 1], 0.0f);
    }
    const auto* fbscal = static_cast<const float*>([&] {
        void* block = nullptr;
        std::int32_t needsFilling = 0;
        engine.dsp("s3")->host().hostAllocateSharedMemory(L"KAVRO DWG FBSCAL TABLE", &block, 44100.0f, tableBytes,
                                                         needsFilling);
        return block;
    }());
    EXPECT_FLOAT_EQ(fbscal[700 * 1024 + 300],
                    static_cast<float>(std::pow(rowPosition(700), 261.6529068725 / 44100.0 * columnLength(300))));
}

TEST(Morph2DModule, EverySampleGetsItsOwnWeightsWhateverTheBlockLength)
{
    // Five streaming inputs, Position sweeping past both ends of the ring and standing
    // still for a stretch, Focus moving: the output must be the weighted sum sample by
    // sample, and the same bits for any block length.
    constexpr int inputs = 5, count = 300;
    const auto in = [](int k, int n) { return std::sin(0.07f * static_cast<float>(n * (k + 1)) + static_cast<float>(k)); };
    const auto position = [](int n) { return n >= 100 && n < 140 ? 0.3f : -0.1f + 1.3f * static_cast<float>(n) / count; };
    const auto focus = [](int n) { return n < 200 ? 0.5f + 0.5f * std::sin(0.05f * static_cast<float>(n)) : 0.8f; };

    std::vector<Samples> outputs;
    for (const int block : {64, 37, 16, 17, 1}) {
        mphost::DspModuleOptions options;
        options.duplicates = {{"In", inputs}};
        options.maxBlockSize = block;
        auto module = makeModule("Morph2D", options);
        module->start();
        for (const char* pin : {"Position", "Focus", "In[0]", "In[1]", "In[2]", "In[3]", "In[4]"})
            module->queueStreaming(pin, true);
        outputs.push_back(render(*module, count, [&](mphost::DspModule& m, int start, int length) {
                              auto x = m.input("Position");
                              auto y = m.input("Focus");
                              for (int i = 0; i < length; ++i) {
                                  x[i] = position(start + i);
                                  y[i] = focus(start + i);
                              }
                              for (int k = 0; k < inputs; ++k) {
                                  auto buffer = m.input("In[" + std::to_string(k) + "]");
                                  for (int i = 0; i < length; ++i)
                                      buffer[i] = in(k, start + i);
                              }
                          }).samples);
        ASSERT_EQ(outputs.back().size(), static_cast<std::size_t>(count));
        EXPECT_EQ(module->allocationsInLastProcess(), 0u);
    }
    for (std::size_t b = 1; b < outputs.size(); ++b)
        for (int n = 0; n < count; ++n)
            ASSERT_EQ(outputs[b][n], outputs[0][n]) << "block variant " << b << ", sample " << n;

    for (int n = 0; n < count; ++n) {
        const double x = std::clamp(position(n), 0.0f, 1.0f), y = focus(n);
        const double e = x * inputs;
        double expected = 0.0;
        for (int k = 0; k < inputs; ++k) {
            const double d = std::min(std::fabs(e - k), std::fabs(e - inputs - k));  // around the ring
            const double t = std::max(0.0, 1.0 - d);
            const double o = t * y + 1.0 - y;
            expected += (o * y + o * (1.0 - y) / inputs) * in(k, n);
        }
        ASSERT_NEAR(outputs[0][n], expected, 1e-5) << n;
    }
}
