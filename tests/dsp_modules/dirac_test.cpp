// The Dirac oscillator (naive and band-limited impulse trains, its shared sine table)
// and what the six delay, convolution and source modules share: no allocation while
// processing, and safety with extreme values.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <sstream>

#include "dsp_test_support.h"
#include "engine/engine.h"
#include "engine/patch.h"

using namespace dsp_test;
using Samples = std::vector<float>;

namespace {

const wchar_t* const tableName = L"KAVRO DIRAC OSC SINE TABLE";
constexpr int tableBytes = 0x100000;

// The sine table as every instance fills it.
const std::vector<float>& referenceTable()
{
    static const std::vector<float> table = [] {
        std::vector<float> t(262144);
        double angle = 0.0;
        for (int k = 0; k < 131072; ++k) {
            t[static_cast<std::size_t>(k)] = static_cast<float>(std::sin(angle));
            t[static_cast<std::size_t>(k) + 131072] = -static_cast<float>(std::sin(angle));
            angle += 2.3968449810713143e-05;
        }
        return t;
    }();
    return table;
}

std::unique_ptr<mphost::DspModule> dirac(const std::map<std::string, mphost::PinValue>& values,
                                         mphost::DspModuleOptions options = {})
{
    auto module = makeModule("Dirac", std::move(options));
    module->start(values);
    return module;
}

Samples head(const Samples& samples, std::size_t count) { return Samples(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(count)); }

// The band-limited train for a steady period P (samples), Amplitude 1, written out.
Samples referenceBandLimited(double period, int count, bool removeDC)
{
    const auto& table = referenceTable();
    const int half = static_cast<int>(period * 0.5);
    const std::uint32_t harmonics = static_cast<std::uint32_t>(2 * half + 1);
    const float normaliser = 1.0f / static_cast<float>(2 * half);
    double phase = 0.0;
    Samples out;
    for (int n = 0; n < count; ++n) {
        const std::uint32_t i = static_cast<std::uint32_t>(phase * 262144);
        float d = static_cast<float>(harmonics);
        if (i != 0 && i != 131072)
            d = table[(harmonics * i) & 0x3FFFF] / table[i];
        if (removeDC)
            d -= 1.0f;
        out.push_back(1.0f * (d * normaliser));
        phase += 0.5 / period;
        if (phase >= 1.0)
            phase -= 1.0;
    }
    return out;
}

// Energy of `samples` at frequency `cycles` per `samples.size()` samples (Goertzel).
double energyAt(const Samples& samples, int cycles)
{
    const double w = 2.0 * std::numbers::pi * cycles / static_cast<double>(samples.size());
    const double coefficient = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (const float x : samples) {
        const double s0 = x + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coefficient * s1 * s2;
}

// The fraction of the signal's energy (DC excluded) that lies off the harmonics of
// `fundamental` cycles per record: the aliases of harmonics above half the rate.
double energyOffTheHarmonics(const Samples& samples, int fundamental)
{
    const double length = static_cast<double>(samples.size());
    double mean = 0.0;
    for (const float x : samples)
        mean += x;
    mean /= length;
    double total = 0.0;
    for (const float x : samples)
        total += (x - mean) * (x - mean);
    total *= length;  // Parseval: the sum of |X[k]|^2 over all bins
    double harmonics = 0.0;
    for (int k = fundamental; k < static_cast<int>(samples.size()) / 2; k += fundamental)
        harmonics += 2.0 * energyAt(samples, k);
    return (total - harmonics) / total;
}

}  // namespace

TEST(DiracModule, NaiveImpulsesComeEveryPeriodFromTheFirstSample)
{
    // FreqMode 2: Pitch 0.4 is a period of 4 samples.
    auto module = dirac({{"FreqMode", 2}, {"Pitch", 0.4f}, {"AntiAlias", false}});
    auto out = render(*module, 12);
    EXPECT_EQ(out.samples, (Samples{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));

    module = dirac({{"FreqMode", 2}, {"Pitch", 0.4f}, {"AntiAlias", false}, {"RemoveDC", true}, {"Amplitude", 2.0f}});
    out = render(*module, 8);
    EXPECT_EQ(out.samples, (Samples{1.5f, -0.5f, -0.5f, -0.5f, 1.5f, -0.5f, -0.5f, -0.5f}));

    // GainMode 1 scales by P / 2.
    module = dirac({{"FreqMode", 2}, {"Pitch", 1.0f}, {"AntiAlias", false}, {"GainMode", 1}});
    out = render(*module, 11);
    EXPECT_EQ(out.samples[0], 5.0f);
    EXPECT_EQ(out.samples[10], 5.0f);

    // FreqMode 0 above half the rate is held at a period of 2.
    module = dirac({{"FreqMode", 0}, {"Pitch", 5.0f}, {"AntiAlias", false}});
    out = render(*module, 6);
    EXPECT_EQ(out.samples, (Samples{1, 0, 1, 0, 1, 0}));
}

TEST(DiracModule, BandLimitedTrainFollowsTheDirichletKernel)
{
    // FreqMode 1, Pitch 0.5: 440 Hz, P = 48000 / 440 (float32 arithmetic).
    const float rate = 48000.0f * 0.001f;
    const float period = rate / (0.22f * std::exp2f(5.0f - 4.0f));
    for (const bool removeDC : {false, true}) {
        auto module = dirac({{"FreqMode", 1}, {"Pitch", 0.5f}, {"AntiAlias", true}, {"RemoveDC", removeDC}});
        const auto out = render(*module, 4000);
        EXPECT_EQ(out.samples, referenceBandLimited(period, 4000, removeDC)) << removeDC;
    }
    // The peak is N / M times the amplitude, just above it: 109 harmonics, M = 108.
    auto module = dirac({{"FreqMode", 1}, {"Pitch", 0.5f}, {"Amplitude", 0.5f}});
    render(*module, 1);
    EXPECT_FLOAT_EQ(module->output("Out")[0], 0.5f * 109.0f / 108.0f);
}

TEST(DiracModule, BandLimitedModeHasNoAliasesAndNaiveModeHas)
{
    // A period of 47.5 samples: 1000 periods in a record of 47500 samples put the
    // harmonics on whole bins; aliases of harmonics above half the rate would fall
    // between them.
    const auto offHarmonics = [](bool antiAlias) {
        auto module = dirac({{"FreqMode", 2}, {"Pitch", 4.75f}, {"AntiAlias", antiAlias}});
        return energyOffTheHarmonics(render(*module, 47500).samples, 1000);
    };
    EXPECT_LT(offHarmonics(true), 1e-6);  // what remains is the table's phase steps
    EXPECT_GT(offHarmonics(false), 0.1);
}

TEST(DiracModule, PitchChangesTakeEffectOnTheirSample)
{
    auto module = dirac({{"FreqMode", 2}, {"Pitch", 0.4f}, {"AntiAlias", false}});
    module->queueStreaming("Pitch", true);
    for (int i = 0; i < 64; ++i)
        module->input("Pitch")[static_cast<std::size_t>(i)] = i < 9 ? 0.4f : 0.3f;
    module->process(20);
    const auto out = module->output("Out");
    // Impulses at 0, 4, 8; from sample 9 on the period is 3, from the phase reached.
    const Samples expected{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0};
    EXPECT_EQ(head(Samples(out.begin(), out.end()), 20), expected);

    // Switching AntiAlias resets the oscillator: a peak on the next sample.
    module->queueValue("AntiAlias", true, 5);
    module->fillInput("Pitch", 0.3f);
    module->process(10);
    EXPECT_FLOAT_EQ(module->output("Out")[5], 1.5f);  // N / M = 3 / 2
}

TEST(DiracModule, AZeroFrequencyIsSilentAndHugePeriodsStayFinite)
{
    for (const bool antiAlias : {false, true}) {
        auto module = dirac({{"FreqMode", 0}, {"Pitch", 0.0f}, {"AntiAlias", antiAlias}, {"GainMode", 1}});
        for (const float sample : render(*module, 256).samples)
            ASSERT_EQ(sample, 0.0f) << antiAlias;
        for (const float pitch : {1e30f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()}) {
            module = dirac({{"FreqMode", 2}, {"Pitch", pitch}, {"AntiAlias", antiAlias}, {"GainMode", 1}});
            for (const float sample : render(*module, 256).samples)
                ASSERT_TRUE(std::isfinite(sample)) << antiAlias << " " << pitch;
        }
    }
}

TEST(DiracModule, DisabledItWritesStaticZerosAndSleeps)
{
    auto module = dirac({{"Enable", false}});
    const auto out = render(*module, 256);
    for (const float sample : out.samples)
        ASSERT_EQ(sample, 0.0f);
    EXPECT_FALSE(module->outputStreaming("Out"));
    EXPECT_TRUE(module->asleep());
    module->queueValue("Enable", true, 3);
    module->process(64);
    EXPECT_TRUE(module->outputStreaming("Out"));
    EXPECT_GT(module->output("Out")[3], 1.0f);  // the band-limited peak after the reset
}

// Static Pitch and Amplitude take routines of their own; streaming the same values keeps
// the module on the general ones. Both give the same samples, bit for bit, through level
// steps inside blocks (an infinite period among them) and every mode.
TEST(DiracModule, StaticInputsRenderTheSameSamplesAsStreamingOnes)
{
    struct Step {
        int sample;
        float pitch;
        float amplitude;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<Step> steps{{0, 0.5f, 0.8f},   {700, 0.5f, -1.3f}, {1021, 0.93f, 1.0f},
                                  {1500, 0.0f, 2.0f}, {1800, 0.31f, nan}, {1900, 2.7f, 0.25f}};
    const auto run = [&](const std::map<std::string, mphost::PinValue>& values, bool streamed) {
        auto module = dirac(values);
        if (streamed) {
            module->queueStreaming("Pitch", true);
            module->queueStreaming("Amplitude", true);
        }
        float pitch = 0.0f, amplitude = 0.0f;
        return render(*module, 2600, [&](mphost::DspModule& m, int first, int count) {
                   m.fillInput("Pitch", pitch);
                   m.fillInput("Amplitude", amplitude);
                   for (const Step& step : steps) {
                       if (step.sample < first || step.sample >= first + count)
                           continue;
                       pitch = step.pitch;
                       amplitude = step.amplitude;
                       std::fill(m.input("Pitch").begin() + (step.sample - first), m.input("Pitch").end(), pitch);
                       std::fill(m.input("Amplitude").begin() + (step.sample - first), m.input("Amplitude").end(),
                                 amplitude);
                       m.queueStreaming("Pitch", streamed, step.sample - first);
                       m.queueStreaming("Amplitude", streamed, step.sample - first);
                   }
               })
            .samples;
    };
    for (const bool antiAlias : {false, true})
        for (const int freqMode : {0, 1, 2})
            for (const int gainMode : {0, 1})
                for (const bool removeDC : {false, true}) {
                    const std::map<std::string, mphost::PinValue> values{{"AntiAlias", antiAlias},
                                                                         {"FreqMode", freqMode},
                                                                         {"GainMode", gainMode},
                                                                         {"RemoveDC", removeDC}};
                    const Samples fast = run(values, false), general = run(values, true);
                    ASSERT_EQ(fast.size(), general.size());
                    for (std::size_t i = 0; i < fast.size(); ++i)
                        ASSERT_EQ(std::bit_cast<std::uint32_t>(fast[i]), std::bit_cast<std::uint32_t>(general[i]))
                            << "AntiAlias " << antiAlias << ", FreqMode " << freqMode << ", GainMode " << gainMode
                            << ", RemoveDC " << removeDC << ", sample " << i << ": " << fast[i] << " / " << general[i];
                }
}

TEST(DiracSineTable, TheFirstInstanceFillsItAndTheOthersOnlyReadIt)
{
    auto pool = std::make_shared<mphost::SharedMemoryPool>();
    auto first = dirac({}, {.sharedMemory = pool});
    bool needsInitialising = true;
    auto* table = static_cast<float*>(pool->allocate(tableName, -1.0f, tableBytes, needsInitialising));
    ASSERT_NE(table, nullptr);
    EXPECT_FALSE(needsInitialising);
    EXPECT_EQ(std::vector<float>(table, table + 262144), referenceTable());

    // A mark in an entry no instance reads: a refill would overwrite it.
    table[131072] = 12345.0f;
    std::vector<std::unique_ptr<mphost::DspModule>> more;
    for (int i = 0; i < 20; ++i)
        more.push_back(dirac({}, {.sharedMemory = pool}));
    EXPECT_EQ(table[131072], 12345.0f);
    EXPECT_EQ(pool->tableCount(), 1u);
    EXPECT_EQ(render(*more.back(), 500).samples, render(*dirac({}), 500).samples);
}

TEST(DiracSineTable, ManyInstancesInOneEngineShareOneTable)
{
    std::ostringstream patch;
    patch << R"({"seconds": 0.05, "modules": [)";
    for (int i = 0; i < 12; ++i)
        patch << (i ? "," : "") << R"({"name": "d)" << i << R"(", "bundle": "dsp_modules", "id": "Dirac", )"
              << R"("values": {"Pitch": )" << 0.3 + 0.05 * (i % 3) << "}}";
    patch << R"(], "outputs": [)";
    for (int i = 0; i < 12; ++i)
        patch << (i ? "," : "") << "\"d" << i << ".Out\"";
    patch << "]}";
    mphost::PatchEnvironment environment;
    environment.bundleFolders = {MP_BUNDLE_DIR};
    mphost::Engine engine(mphost::parsePatch(patch.str(), "test.json", environment));
    const auto rendered = engine.render();
    auto& pool = engine.dsp("d0")->host().sharedMemoryPool();
    EXPECT_EQ(pool.tableCount(), 1u);
    for (const char* name : {"d1", "d2", "d3", "d4", "d5", "d6", "d7", "d8", "d9", "d10", "d11"})
        EXPECT_EQ(&engine.dsp(name)->host().sharedMemoryPool(), &pool) << name;
    bool needsInitialising = true;
    const auto* table = static_cast<const float*>(pool.allocate(tableName, -1.0f, tableBytes, needsInitialising));
    EXPECT_FALSE(needsInitialising);
    EXPECT_EQ(std::vector<float>(table, table + 262144), referenceTable());
    // Instances of one pitch play the same samples, and those the band-limited formula gives.
    for (int i = 3; i < 12; ++i)
        EXPECT_EQ(rendered[static_cast<std::size_t>(i)], rendered[static_cast<std::size_t>(i % 3)]) << i;
    const float period = (48000.0f * 0.001f) / (0.22f * std::exp2f(3.0f - 4.0f));
    EXPECT_EQ(rendered[0], referenceBandLimited(period, static_cast<int>(rendered[0].size()), false));
}

TEST(DiracSineTable, WithoutATableTheBandLimitedModeFallsBackToNaiveImpulses)
{
    // A block of that name too small for the table: the host refuses the request.
    auto pool = std::make_shared<mphost::SharedMemoryPool>();
    bool created = false;
    pool->allocate(tableName, -1.0f, 4, created);
    auto module = dirac({{"FreqMode", 2}, {"Pitch", 0.4f}, {"AntiAlias", true}}, {.sharedMemory = pool});
    EXPECT_EQ(render(*module, 8).samples, (Samples{1, 0, 0, 0, 1, 0, 0, 0}));
}

// ---------------------------------------------------------------------------------
// What the six modules share

namespace {
const std::vector<std::string> sixModules{"FracDelay", "CombFlt", "OFF Delay", "ShortConv", "Dirac", "NoiseGen"};
}

TEST(DelayAndSourceModules, ProcessWithoutAllocatingAndSurviveExtremeValues)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> floats{nan, inf, -inf, 1e30f, -1e30f, 0.0f, 1.0f, -1.0f, 1e-40f, 0.5f, 5000.5f};
    const std::vector<std::int32_t> ints{INT32_MIN, INT32_MAX, -1, 0, 1, 2, 3, 4, 32, 5001};
    std::mt19937 random(20261208);
    const auto pick = [&random](const auto& values) { return values[random() % values.size()]; };
    for (const auto& id : sixModules) {
        auto module = makeModule(id);
        module->start();
        for (int block = 0; block < 200; ++block) {
            bool numericOnly = true;
            for (const auto& pin : module->pins()) {
                if (!pin.isInput())
                    continue;
                const int timestamp = static_cast<int>(random() % 64);
                if (pin.isAudio()) {
                    for (float& sample : module->input(pin.name))
                        sample = random() % 8 ? std::sin(static_cast<float>(random() % 1000)) : pick(floats);
                    if (random() % 3 == 0)
                        module->queueStreaming(pin.name, random() % 2 == 0, timestamp);
                } else if (random() % 4 == 0) {
                    if (pin.datatype == gmpi::MP_FLOAT32) {
                        module->queueValue(pin.name, pick(floats), timestamp);
                    } else if (pin.datatype == gmpi::MP_BOOL) {
                        module->queueValue(pin.name, random() % 2 == 0, timestamp);
                    } else if (pin.datatype == gmpi::MP_BLOB) {
                        mphost::Bytes bytes(random() % 6000);
                        for (auto& byte : bytes)
                            byte = static_cast<std::uint8_t>(random());
                        module->queueValue(pin.name, bytes, 0);  // in this block: a new size allocates
                        numericOnly = false;
                    } else {
                        module->queueValue(pin.name, pick(ints), timestamp);
                    }
                }
            }
            module->process(1 + static_cast<int>(random() % 64));
            if (numericOnly) {
                ASSERT_EQ(module->allocationsInLastProcess(), 0u) << id << " block " << block;
            }
        }
    }
}
