// The numbers of the modules that count, compare, latch, hold and quantise.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "dsp_test_support.h"

using namespace dsp_test;
using Reports = std::vector<StreamingReport>;
using Samples = std::vector<float>;

namespace {

// Sets an audio input to stream the given samples (the rest of the block repeats the last).
void streamSamples(mphost::DspModule& module, const std::string& pin, const Samples& samples)
{
    module.queueStreaming(pin, true);
    const auto buffer = module.input(pin);
    for (std::size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = samples[std::min(i, samples.size() - 1)];
}

Samples firstSamples(const mphost::DspModule& module, const std::string& pin, std::size_t count)
{
    const auto out = module.output(pin);
    return Samples(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(count));
}

// Out after each of `edges` rising edges of a clock that alternates -1 and +1 every two samples.
Samples countRisingEdges(mphost::DspModule& module, int edges)
{
    module.queueStreaming("Clock", true);
    const auto clock = module.input("Clock");
    for (std::size_t i = 0; i < clock.size(); ++i)
        clock[i] = (i / 2) % 2 ? 1.0f : -1.0f;
    module.process(4 * edges);
    Samples counts{module.output("Out")[0]};
    for (int k = 0; k < edges; ++k)
        counts.push_back(module.output("Out")[4 * k + 2]);
    return counts;
}

}  // namespace

TEST(AveragingModule, ResetStartsANewAverageAtTheEventPosition)
{
    auto module = makeModule("Averaging");
    module->start();
    streamSamples(*module, "In", {1.0f, 2.0f, 3.0f, 6.0f});
    module->queueValue("Reset", false, 2);  // false does nothing
    module->queueValue("Reset", true, 4);
    for (int i = 4; i < 64; ++i)
        module->input("In")[i] = 5.0f;
    module->input("In")[5] = 8.0f;
    module->process(64);
    EXPECT_EQ(firstSamples(*module, "Out", 7), (Samples{1.0f, 1.5f, 2.0f, 3.0f, 5.0f, 6.5f, 6.0f}));
    EXPECT_TRUE(module->outputStreaming("Out"));
    module->process(64);
    EXPECT_FALSE(module->asleep());  // never sleeps, even with everything static
}

TEST(AveragingModule, SumsInDoublePrecision)
{
    auto module = makeModule("Averaging");
    module->start();
    streamSamples(*module, "In", {16777216.0f, 1.0f, 1.0f});  // 2^24 + 1 is not a float
    module->process(3);
    EXPECT_EQ(module->output("Out")[2], static_cast<float>((16777216.0 + 2.0) / 3.0));
}

TEST(MinMaxModule, RunningExtremesStartAtZeroAndSleepWithAStaticInput)
{
    auto module = makeModule("MinMax");
    module->start();
    streamSamples(*module, "In", {0.5f, 2.0f, 1.0f, 3.0f});
    module->process(4);
    EXPECT_EQ(firstSamples(*module, "Min", 4), (Samples{0.0f, 0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(firstSamples(*module, "Max", 4), (Samples{0.5f, 2.0f, 2.0f, 3.0f}));

    module->fillInput("In", -4.0f);
    module->input("In")[0] = 1.0f;  // still streaming on sample 0
    module->queueStreaming("In", false, 1);
    const auto out = render(*module, 192, {}, "Min");
    EXPECT_EQ(out.samples[0], 0.0f);
    EXPECT_EQ(out.samples[1], -4.0f);
    EXPECT_EQ(out.reports, (Reports{{1, false}}));
    EXPECT_EQ(module->output("Max")[0], 3.0f);
    EXPECT_TRUE(module->asleep());
}

TEST(MinMaxIndexModule, ExtremesAcrossInputsWithTiesKeepingTheLowerIndex)
{
    auto module = makeModule("MinMaxIndex", {.duplicates = {{"In", 3}}});
    module->start();
    streamSamples(*module, "In[0]", {3.0f, -1.0f, 2.0f});
    streamSamples(*module, "In[1]", {5.0f, -1.0f, 7.0f});
    streamSamples(*module, "In[2]", {5.0f, 4.0f, -9.0f});
    module->process(3);
    EXPECT_EQ(firstSamples(*module, "Max", 3), (Samples{5.0f, 4.0f, 7.0f}));
    EXPECT_EQ(firstSamples(*module, "MaxIndex", 3), (Samples{0.1f, 0.2f, 0.1f}));
    EXPECT_EQ(firstSamples(*module, "Min", 3), (Samples{3.0f, -1.0f, -9.0f}));
    EXPECT_EQ(firstSamples(*module, "MinIndex", 3), (Samples{0.0f, 0.0f, 0.2f}));
    for (const char* pin : {"Min", "MinIndex", "Max", "MaxIndex"})
        EXPECT_TRUE(module->outputStreaming(pin)) << pin;

    // All inputs static: every output static, then asleep.
    for (const char* pin : {"In[0]", "In[1]", "In[2]"})
        module->queueStreaming(pin, false, 0);
    render(*module, 192, {}, "Min");
    EXPECT_FALSE(module->outputStreaming("MaxIndex"));
    EXPECT_TRUE(module->asleep());
}

TEST(MinMaxIndexModule, WithoutInputsWritesStaticZerosAndSleeps)
{
    auto module = makeModule("MinMaxIndex", {.duplicates = {{"In", 0}}});
    module->start();
    for (const char* pin : {"Min", "MinIndex", "Max", "MaxIndex"})
        std::fill_n(const_cast<float*>(module->output(pin).data()), 64, 9.0f);  // stale contents
    module->process(64);
    for (const char* pin : {"Min", "MinIndex", "Max", "MaxIndex"}) {
        EXPECT_EQ(firstSamples(*module, pin, 64), Samples(64, 0.0f)) << pin;
        EXPECT_FALSE(module->outputStreaming(pin)) << pin;
    }
    module->process(64);
    module->process(64);
    EXPECT_TRUE(module->lastBlockSkipped());
}

TEST(RngClpModule, ClipsToTheRangeAndAnInvertedRangeGivesHigh)
{
    auto module = makeModule("RngClp");
    module->start();
    streamSamples(*module, "In", {-2.0f, 0.1f, 0.3f, 0.7f});
    module->fillInput("Low", 0.2f);
    module->fillInput("High", 0.5f);
    module->process(4);
    EXPECT_EQ(firstSamples(*module, "Out", 4), (Samples{0.2f, 0.2f, 0.3f, 0.5f}));

    module->fillInput("Low", 0.5f);
    module->fillInput("High", 0.2f);
    module->queueStreaming("Low", false);
    module->queueStreaming("High", false);
    module->process(4);
    EXPECT_EQ(firstSamples(*module, "Out", 4), Samples(4, 0.2f));

    module->queueStreaming("In", false);  // all static: Out static, then asleep
    render(*module, 192);
    EXPECT_FALSE(module->outputStreaming("Out"));
    EXPECT_TRUE(module->asleep());
}

TEST(ZeroCrossingDetector, StrictCrossingsGiveOneSamplePulsesInTheChosenDirection)
{
    const Samples signal{-1.0f, 0.0f, 1.0f, -1.0f, 1.0f, 0.5f, -0.5f, 0.0f, -0.25f};
    const std::vector<Samples> expected{
        {0, 0, 0, 0, 1, 0, 0, 0, 0},  // Up: -1, 0, 1 rests on 0 and gives none
        {0, 0, 0, 1, 0, 0, 1, 0, 0},  // Down
        {0, 0, 0, 1, 1, 0, 1, 0, 0},  // Both
        {0, 0, 0, 0, 0, 0, 0, 0, 0},  // anything else
    };
    for (int direction = 0; direction < 4; ++direction) {
        auto module = makeModule("KV_ZXDet");
        module->start();
        module->queueValue("Direction", direction);
        streamSamples(*module, "In", signal);
        module->process(9);
        EXPECT_EQ(firstSamples(*module, "Out", 9), expected[direction]) << direction;
    }
}

TEST(ZeroCrossingDetector, StaticInputEndsTheStreamAfterTheLastPulse)
{
    auto module = makeModule("KV_ZXDet");
    module->start();
    module->fillInput("In", -1.0f);
    module->process(64);
    // Graph start and the static input both report streaming; the end of the stretch is static.
    EXPECT_EQ(lastReports(*module), (std::vector<std::pair<int, bool>>{{0, true}, {0, true}, {64, false}}));

    // A static step across zero is a crossing too: one pulse, then static again.
    module->fillInput("In", 1.0f);
    module->queueStreaming("In", false, 30);
    module->process(64);
    EXPECT_EQ(module->output("Out")[29], 0.0f);
    EXPECT_EQ(module->output("Out")[30], 1.0f);
    EXPECT_EQ(module->output("Out")[31], 0.0f);
    EXPECT_EQ(lastReports(*module), (std::vector<std::pair<int, bool>>{{30, true}, {64, false}}));
    render(*module, 128);
    EXPECT_TRUE(module->asleep());
}

TEST(AudioCounterModule, ModesCountRisingEdges)
{
    const auto counts = [](int mode, int max) {
        auto module = makeModule("KV_AudioCounter");
        module->start();
        module->queueValue("Mode", mode);
        module->queueValue("Max", max);
        return countRisingEdges(*module, 6);
    };
    EXPECT_EQ(counts(0, 2), (Samples{0.0f, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f}));
    EXPECT_EQ(counts(1, 2), (Samples{0.0f, 0.1f, 0.2f, 0.2f, 0.2f, 0.2f, 0.2f}));
    EXPECT_EQ(counts(2, 3), (Samples{0.0f, 0.1f, 0.2f, 0.3f, 0.0f, 0.1f, 0.2f}));
    EXPECT_EQ(counts(3, 2), (Samples{0.0f, 0.1f, 0.2f, 0.1f, 0.0f, 0.1f, 0.2f}));
    EXPECT_EQ(counts(7, 2), Samples(7, 0.0f));
    // Max below 1 is used as 1.
    EXPECT_EQ(counts(2, -5), (Samples{0.0f, 0.1f, 0.0f, 0.1f, 0.0f, 0.1f, 0.0f}));
}

TEST(AudioCounterModule, FallingEdgesAndResetHoldingTheCountAtZero)
{
    auto module = makeModule("KV_AudioCounter");
    module->start();
    module->queueValue("Edge", 1);
    streamSamples(*module, "Clock", {1.0f, -1.0f, 0.0f, -1.0f, 1.0f, -1.0f, 1.0f, -1.0f, 1.0f, -1.0f});
    streamSamples(*module, "Reset", {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.5f, 0.5f, 0.5f, 0.0f, 0.0f});
    module->process(10);
    // Edges at 1, 3 (0 counts as the level before), 5 and 7 (reset), 9.
    EXPECT_EQ(firstSamples(*module, "Out", 10),
              (Samples{0.0f, 0.1f, 0.1f, 0.2f, 0.2f, 0.0f, 0.0f, 0.0f, 0.0f, 0.1f}));
    EXPECT_TRUE(module->outputStreaming("Out"));
}

TEST(MemoryResetModule, LatchesBOnSetAndAOnResetAndStreamsWithTheSelectedInput)
{
    auto module = makeModule("Memory/Reset");
    module->start();
    module->fillInput("A", 1.0f);  // static
    streamSamples(*module, "B", {2.0f});
    streamSamples(*module, "Set", {0.0f, 0.0f, 0.7f, 0.0f, 0.0f, 0.0f, 0.6f, 0.6f});
    streamSamples(*module, "Reset", {0.0f, 0.0f, 0.0f, 0.0f, 0.5f, 0.0f, 0.6f, 0.6f});
    module->process(8);
    // Both high from 6 on: the selection alternates every sample.
    EXPECT_EQ(firstSamples(*module, "Out", 8), (Samples{1.0f, 1.0f, 2.0f, 2.0f, 1.0f, 1.0f, 2.0f, 1.0f}));
    EXPECT_EQ(lastReports(*module), (std::vector<std::pair<int, bool>>{
                                        {0, true}, {0, false}, {2, true}, {4, false}, {6, true}, {7, false}}));
}

TEST(MemoryReset2Module, SelectsOnlyOnRisingEdges)
{
    auto module = makeModule("Memory/Reset2");
    module->start();
    module->fillInput("A", 1.0f);
    module->fillInput("B", 2.0f);
    // Set rises at 2 and stays high; Reset rises at 4; Set falls at 6 and rises at 8.
    streamSamples(*module, "Set", {0.0f, 0.0f, 0.5f, 0.5f, 0.5f, 0.5f, 0.0f, 0.0f, 0.9f, 0.9f});
    streamSamples(*module, "Reset", {0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f});
    module->process(10);
    EXPECT_EQ(firstSamples(*module, "Out", 10),
              (Samples{1.0f, 1.0f, 2.0f, 2.0f, 1.0f, 1.0f, 1.0f, 1.0f, 2.0f, 2.0f}));
}

TEST(MemoryResetModule, SleepsWhenEverythingIsStaticAndReportsTheSelectedInputsNewValue)
{
    auto module = makeModule("Memory/Reset");
    module->start();
    module->fillInput("A", 1.0f);
    render(*module, 192);
    EXPECT_TRUE(module->asleep());

    // A static A changes value: the output reports static again there.
    module->fillInput("A", 3.0f);
    module->queueStreaming("A", false, 12);
    module->process(64);
    EXPECT_EQ(module->output("Out")[12], 3.0f);
    EXPECT_EQ(lastReports(*module), (std::vector<std::pair<int, bool>>{{12, false}}));
}

TEST(FreezerModule, HoldPreviousFreezesTheSampleBeforeTheGateRose)
{
    for (const int holdPrevious : {0, 1}) {
        auto module = makeModule("Freezer");
        module->start();
        module->queueValue("HoldPrevious", holdPrevious);
        module->queueStreaming("In", true);
        module->queueStreaming("Gate", true);
        for (int i = 0; i < 64; ++i) {
            module->input("In")[i] = static_cast<float>(i);
            module->input("Gate")[i] = i >= 10 && i < 20 ? 1.0f : 0.0f;
        }
        module->process(64);
        const auto out = module->output("Out");
        const float held = holdPrevious ? 9.0f : 10.0f;
        for (int i = 0; i < 64; ++i)
            ASSERT_EQ(out[i], i >= 10 && i < 20 ? held : static_cast<float>(i)) << i;
        EXPECT_EQ(lastReports(*module),
                  (std::vector<std::pair<int, bool>>{{0, true}, {0, true}, {10, false}, {20, true}}));
    }
}

TEST(FreezerModule, PolarityOneFreezesWhileTheGateIsLowAndValuesKeepTheirBits)
{
    auto module = makeModule("Freezer");
    module->start();
    module->queueValue("Polarity", 1);
    module->queueStreaming("In", true);
    module->queueStreaming("Gate", true);
    const std::uint32_t payloadNaN = 0x7FC01234;
    float nan;
    std::memcpy(&nan, &payloadNaN, 4);
    const Samples in{nan, 1.0f, 2.0f, 3.0f, 4.0f};
    const Samples gate{0.0f, 0.0f, 1.0f, 1.0f, -1.0f};
    for (int i = 0; i < 5; ++i) {
        module->input("In")[i] = in[i];
        module->input("Gate")[i] = gate[i];
    }
    module->process(5);
    const auto out = module->output("Out");
    std::uint32_t bits[2];
    std::memcpy(bits, out.data(), 8);
    EXPECT_EQ(bits[0], payloadNaN);
    EXPECT_EQ(bits[1], payloadNaN);
    EXPECT_EQ(out[2], 2.0f);
    EXPECT_EQ(out[3], 3.0f);
    EXPECT_EQ(out[4], 4.0f);
}

TEST(CrusherModule, WordLengthLevels)
{
    const auto crush = [](int bits, const Samples& in) {
        auto module = makeModule("KV_Crusher");
        module->start();
        module->queueValue("CrushRate", 0.0f);
        module->queueValue("Bits", bits);
        streamSamples(*module, "In", in);
        module->process(static_cast<int>(in.size()));
        return firstSamples(*module, "Out", in.size());
    };
    EXPECT_EQ(crush(1, {-1.0f, -0.3f, 0.0f, 0.2f, 1.0f, 7.0f, -7.0f}),
              (Samples{-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0.5f, -0.5f}));
    EXPECT_EQ(crush(0, {-0.3f, 0.2f}), (Samples{-0.5f, 0.5f}));  // below 1: 1 bit
    EXPECT_EQ(crush(8, {1.0f, -1.0f, 0.0f}), (Samples{1.0f - 0x1p-8f, -1.0f + 0x1p-8f, 0x1p-8f}));
    EXPECT_EQ(crush(3, {0.3f}), (Samples{0.375f}));  // levels -0.875, -0.625, ..., 0.875
    const float nan = std::nanf("");
    EXPECT_EQ(crush(2, {nan}), (Samples{-0.75f}));  // NaN quantises as the lowest level
    const Samples anything{0.123456789f, -0.987654321f, 3.5f, 1e-30f};
    EXPECT_EQ(crush(32, anything), anything);
    EXPECT_EQ(crush(40, anything), anything);
}

TEST(CrusherModule, CrushRateHoldsSamples)
{
    auto module = makeModule("KV_Crusher");
    module->start();
    module->queueValue("CrushRate", 24000.0f);
    module->queueValue("Bits", 32);
    streamSamples(*module, "In", {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f});
    module->process(6);
    EXPECT_EQ(firstSamples(*module, "Out", 6), (Samples{1.0f, 1.0f, 3.0f, 3.0f, 5.0f, 5.0f}));
}

TEST(CrusherModule, AStaticInputReachesTheOutputBeforeTheOutputGoesStatic)
{
    auto module = makeModule("KV_Crusher");
    module->start();
    module->queueValue("CrushRate", 750.0f);  // a new sample every 64 samples
    module->queueValue("Bits", 32);
    module->queueStreaming("In", true);
    module->queueStreaming("In", false, 30);  // static 0.75 from 30
    const auto out = render(*module, 64 * 6, [](auto& m, int start, int) {
        for (int i = 0; i < 64; ++i)
            m.input("In")[i] = start + i < 30 ? 0.25f : 0.75f;
    });
    EXPECT_EQ(out.samples[63], 0.25f);
    EXPECT_EQ(out.samples[64], 0.75f);
    EXPECT_EQ(out.reports.back(), (StreamingReport{64, false}));
    EXPECT_TRUE(module->asleep());
    EXPECT_EQ(module->output("Out")[0], 0.75f);

    // A new word length requantises the static value at once.
    module->queueValue("Bits", 1, 5);
    module->process(64);
    EXPECT_EQ(module->output("Out")[5], 0.5f);
    EXPECT_EQ(lastReports(*module), (std::vector<std::pair<int, bool>>{{5, false}}));

    // A static value change is taken at once.
    for (int i = 0; i < 64; ++i)
        module->input("In")[i] = i < 9 ? 0.75f : -0.75f;
    module->queueStreaming("In", false, 9);
    module->process(64);
    EXPECT_EQ(module->output("Out")[8], 0.5f);
    EXPECT_EQ(module->output("Out")[9], -0.5f);
}

TEST(ReportLatencyModule, PassesTheInputAndReportsTheLatency)
{
    auto module = makeModule("KV_RepLat");
    module->start();
    EXPECT_EQ(module->host().latency(), -1);
    module->queueValue("LatencyValue", 128);
    streamSamples(*module, "In", {0.5f, -0.25f, 3.0f});
    module->process(3);
    EXPECT_EQ(module->host().latency(), 128);
    EXPECT_EQ(firstSamples(*module, "Out", 3), (Samples{0.5f, -0.25f, 3.0f}));
    module->queueValue("LatencyValue", -20);
    module->process(3);
    EXPECT_EQ(module->host().latency(), 0);
}
