// The ring-buffer modules (fractional delay, comb filter, off-delay gate, short
// convolver) and the noise generator, through the built bundle.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "dsp_test_support.h"

using namespace dsp_test;
using Reports = std::vector<StreamingReport>;
using Samples = std::vector<float>;

namespace {

const float notANumber = std::numeric_limits<float>::quiet_NaN();
const float infinity = std::numeric_limits<float>::infinity();

// A deterministic test signal in [-1, 1].
float testSignal(int n)
{
    return 0.7f * std::sin(0.031f * static_cast<float>(n)) + 0.3f * std::sin(0.77f * static_cast<float>(n));
}

// Fills `pin` with f(sample index of the render) for every block.
Fill streamWith(const std::string& pin, float (*f)(int))
{
    return [pin, f](mphost::DspModule& module, int start, int count) {
        const auto buffer = module.input(pin);
        for (int i = 0; i < count; ++i)
            buffer[static_cast<std::size_t>(i)] = f(start + i);
    };
}

float impulse(int n) { return n == 0 ? 1.0f : 0.0f; }

mphost::Bytes blobOf(const std::vector<float>& taps)
{
    mphost::Bytes bytes(taps.size() * sizeof(float));
    if (!taps.empty())
        std::memcpy(bytes.data(), taps.data(), bytes.size());
    return bytes;
}

// The index of the last non-finite sample, or -1.
int lastNonFinite(const Samples& samples)
{
    for (int i = static_cast<int>(samples.size()) - 1; i >= 0; --i)
        if (!std::isfinite(samples[static_cast<std::size_t>(i)]))
            return i;
    return -1;
}

// The reports with repeats of the same state left out.
Reports changes(const Reports& reports)
{
    Reports result;
    for (const auto& report : reports)
        if (result.empty() || result.back().streaming != report.streaming)
            result.push_back(report);
    return result;
}

// The fractional delay's all-pass read, written out for comparison.
Samples referenceFracDelay(float delay, int count)
{
    std::vector<float> ring(5001, 0.0f);
    const int whole = static_cast<int>(delay);
    const float fraction = delay - static_cast<float>(whole);
    const float alpha = (1.0f - fraction) / (1.0f + fraction);
    Samples out;
    float last = 0.0f;
    int write = 0;
    for (int n = 0; n < count; ++n) {
        ring[write] = testSignal(n);
        int r = write - whole;
        if (r < 0)
            r += 5001;
        const float y = alpha >= 1.0f ? ring[r] : (ring[r] - last) * alpha + ring[r == 0 ? 5000 : r - 1];
        out.push_back(y);
        last = y;
        write = write == 5000 ? 0 : write + 1;
    }
    return out;
}

std::unique_ptr<mphost::DspModule> startedWith(const std::string& id, const std::map<std::string, mphost::PinValue>& values)
{
    auto module = makeModule(id);
    module->start(values);
    return module;
}

}  // namespace

TEST(DelayModules, AreDescribedAndProvidedByTheBundle)
{
    for (const char* id : {"FracDelay", "CombFlt", "OFF Delay", "ShortConv", "Dirac", "NoiseGen"}) {
        EXPECT_NE(descriptions().find(id), nullptr) << id;
        EXPECT_NO_THROW(makeModule(id)) << id;
    }
}

// ---------------------------------------------------------------------------------
// FracDelay

TEST(FracDelayModule, WholeAndFractionalDelaysFollowTheAllPassRead)
{
    for (const float delay : {10.0f, 10.5f, 0.25f, 4999.5f}) {
        auto module = startedWith("FracDelay", {{"Delay", delay}});
        module->queueStreaming("In", true);
        const auto out = render(*module, 6000, streamWith("In", testSignal));
        EXPECT_EQ(out.samples, referenceFracDelay(delay, 6000)) << delay;
    }
    auto module = startedWith("FracDelay", {{"Delay", 10.0f}});
    module->queueStreaming("In", true);
    const auto out = render(*module, 64, streamWith("In", testSignal));
    for (int n = 10; n < 64; ++n)
        ASSERT_EQ(out.samples[static_cast<std::size_t>(n)], testSignal(n - 10)) << n;
}

TEST(FracDelayModule, DelaysOutsideTheRingAreLimited)
{
    const std::vector<std::pair<float, int>> cases{
        {7000.0f, 5000}, {5000.5f, 5000}, {infinity, 5000}, {-3.0f, 0}, {notANumber, 0}, {-infinity, 0}};
    for (const auto& [asked, used] : cases) {
        auto module = startedWith("FracDelay", {{"Delay", asked}});
        module->queueStreaming("In", true);
        const auto out = render(*module, 5100, streamWith("In", impulse));
        int found = -1;
        for (std::size_t i = 0; i < out.samples.size(); ++i)
            if (out.samples[i] != 0.0f) {
                found = static_cast<int>(i);
                break;
            }
        EXPECT_EQ(found, used) << asked;
        EXPECT_EQ(out.samples[static_cast<std::size_t>(used)], 1.0f) << asked;
    }
}

TEST(FracDelayModule, TheTailEndsOnceTheOutputHasSettled)
{
    auto module = startedWith("FracDelay", {{"Delay", 100.5f}});
    module->queueStreaming("In", true);
    module->queueStreaming("In", false, 1000);
    const auto out = render(*module, 2000, [](mphost::DspModule& m, int start, int count) {
        for (int i = 0; i < count; ++i)
            m.input("In")[static_cast<std::size_t>(i)] = start + i < 1000 ? testSignal(start + i) : 0.25f;
    });
    const Reports reports = changes(out.reports);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_TRUE(reports[0].streaming);
    // Static at the end of the block in which the output came within 1e-6 of rest,
    // which is after the delay (101 samples).
    const int staticAt = reports[1].position;
    EXPECT_FALSE(reports[1].streaming);
    EXPECT_GT(staticAt, 1101);
    EXPECT_EQ(staticAt % 64, 0);
    EXPECT_NEAR(out.samples[static_cast<std::size_t>(staticAt - 1)], 0.25f, 1e-5f);
    for (int n = staticAt; n < 2000; ++n)
        ASSERT_EQ(out.samples[static_cast<std::size_t>(n)], out.samples[static_cast<std::size_t>(staticAt - 1)]);
    EXPECT_TRUE(module->asleep());
}

TEST(FracDelayModule, AStreamingInputCancelsATailInProgress)
{
    auto module = startedWith("FracDelay", {{"Delay", 10.0f}});
    module->queueStreaming("In", true);
    module->queueStreaming("In", false, 100);
    module->queueStreaming("In", true, 102);
    // A constant that streams: the output settles at once, but In still streams.
    const auto out = render(*module, 640, [](mphost::DspModule& m, int, int) { m.fillInput("In", 0.5f); });
    EXPECT_EQ(changes(out.reports), (Reports{{0, true}}));
    EXPECT_TRUE(module->outputStreaming("Out"));
}

TEST(FracDelayModule, ANewDelayOverAStaticInputRunsANewTailWithoutReplayingOldSamples)
{
    auto module = startedWith("FracDelay", {{"Delay", 5.0f}});
    module->queueStreaming("In", true);
    module->queueStreaming("In", false, 200);
    render(*module, 640, [](mphost::DspModule& m, int start, int count) {
        for (int i = 0; i < count; ++i)
            m.input("In")[static_cast<std::size_t>(i)] = start + i < 200 ? testSignal(start + i) : 0.5f;
    });
    ASSERT_FALSE(module->outputStreaming("Out"));
    module->queueValue("Delay", 300.0f);
    const auto out = render(*module, 640, [](mphost::DspModule& m, int, int) { m.fillInput("In", 0.5f); });
    EXPECT_TRUE(out.reports.front().streaming);
    for (const float sample : out.samples)
        ASSERT_EQ(sample, 0.5f);
}

TEST(FracDelayModule, NonFiniteInputLeavesTheDelayOnceItHasPassed)
{
    for (const float bad : {notANumber, infinity, -infinity}) {
        auto module = startedWith("FracDelay", {{"Delay", 100.5f}});
        module->queueStreaming("In", true);
        const auto out = render(*module, 1000, [bad](mphost::DspModule& m, int start, int count) {
            for (int i = 0; i < count; ++i) {
                const int n = start + i;
                m.input("In")[static_cast<std::size_t>(i)] = n >= 50 && n < 60 ? bad : testSignal(n);
            }
        });
        EXPECT_GE(lastNonFinite(out.samples), 150) << bad;  // it did come out
        EXPECT_LE(lastNonFinite(out.samples), 60 + 101) << bad;
    }
}

// ---------------------------------------------------------------------------------
// CombFlt

TEST(CombFltModule, FeedbackZeroPassesTheInputAndFeedbackOneRecirculatesTheRing)
{
    auto module = startedWith("CombFlt", {{"Feedback", 0.0f}, {"PitchMode", 0}, {"Pitch", 3.3f}});
    module->queueStreaming("In", true);
    auto out = render(*module, 256, streamWith("In", testSignal));
    for (int n = 0; n < 256; ++n)
        ASSERT_EQ(out.samples[static_cast<std::size_t>(n)], testSignal(n));

    // A period of 48 samples (Pitch 0.1 as kHz at 48 kHz): the impulse, then g^k echoes.
    module = startedWith("CombFlt", {{"Feedback", 0.5f}, {"PitchMode", 1}, {"Pitch", 0.1f}});
    module->queueStreaming("In", true);
    module->queueStreaming("Feedback", true);
    out = render(*module, 480, [](mphost::DspModule& m, int start, int count) {
        for (int i = 0; i < count; ++i) {
            const int n = start + i;
            m.input("In")[static_cast<std::size_t>(i)] = n == 0 ? 1.0f : (n >= 100 ? 7.0f : 0.0f);
            // Feedback 1 from sample 100 on: the input is ignored.
            m.input("Feedback")[static_cast<std::size_t>(i)] = n >= 100 ? 1.0f : 0.5f;
        }
    });
    for (int n = 0; n < 480; ++n) {
        float expected = 0.0f;
        if (n % 48 == 0)
            expected = n == 0 ? 0.5f : (n < 100 ? 0.5f * std::pow(0.5f, static_cast<float>(n / 48)) : 0.125f);
        ASSERT_EQ(out.samples[static_cast<std::size_t>(n)], expected) << n;
    }
}

TEST(CombFltModule, FractionalPeriodsUseTheAllPassInterpolator)
{
    const float pitch = 3.025f;  // 30.25 samples
    const float g = 0.7f;
    auto module = startedWith("CombFlt", {{"Feedback", g}, {"PitchMode", 0}, {"Pitch", pitch}});
    module->queueStreaming("In", true);
    const auto out = render(*module, 2000, streamWith("In", testSignal));

    std::vector<float> ring(5000, 0.0f);
    float c = 0.0f;
    int write = 0;
    for (int n = 0; n < 2000; ++n) {
        const float p = 10.0f * pitch;
        const int h = static_cast<int>(p);
        int r = write - h;
        if (r < 0)
            r += 5000;
        c = (ring[r] - c) * (static_cast<float>(h) - p + 1.0f) + ring[r == 0 ? 4999 : r - 1];
        const float x = testSignal(n);
        const float y = x + g * (c - x);
        ASSERT_EQ(out.samples[static_cast<std::size_t>(n)], y) << n;
        ring[write] = y;
        write = write == 4999 ? 0 : write + 1;
    }
}

TEST(CombFltModule, PeriodsAreLimitedToTheRing)
{
    // Periods beyond the ring: the echo of an impulse comes 5000 samples later, and never
    // one sample later.
    for (const float pitch : {500.0f, 1e9f, infinity}) {
        auto module = startedWith("CombFlt", {{"Feedback", 0.5f}, {"PitchMode", 0}, {"Pitch", pitch}});
        module->queueStreaming("In", true);
        const auto out = render(*module, 5100, streamWith("In", impulse));
        EXPECT_EQ(out.samples[1], 0.0f) << pitch;
        EXPECT_NEAR(out.samples[5000], 0.25f, 1e-3f) << pitch;
    }
    // Too short, NaN, or a frequency of 0: finite, and a period of at least one sample.
    for (const auto& [mode, pitch] : std::vector<std::pair<int, float>>{{0, -5.0f}, {0, notANumber}, {1, 0.0f}, {1, 1e9f}}) {
        auto module = startedWith("CombFlt", {{"Feedback", 0.5f}, {"PitchMode", mode}, {"Pitch", pitch}});
        module->queueStreaming("In", true);
        const auto out = render(*module, 6000, streamWith("In", testSignal));
        EXPECT_EQ(lastNonFinite(out.samples), -1) << mode << " " << pitch;
    }
}

TEST(CombFltModule, GoesStaticAfterFiveThousandQuietSamplesOnceTheInputIsStatic)
{
    auto module = startedWith("CombFlt", {{"Feedback", 0.9f}, {"PitchMode", 0}, {"Pitch", 10.0f}});
    module->queueStreaming("In", true);
    module->queueStreaming("In", false, 64);
    const auto out = render(*module, 64 * 400, [](mphost::DspModule& m, int start, int count) {
        for (int i = 0; i < count; ++i)
            m.input("In")[static_cast<std::size_t>(i)] = start + i < 64 ? testSignal(start + i) : 0.0f;
    });
    ASSERT_FALSE(out.reports.empty());
    const StreamingReport last = out.reports.back();
    EXPECT_FALSE(last.streaming);
    EXPECT_EQ(last.position % 64, 63);  // the last sample of a block
    int quietBefore = 0;
    for (int n = last.position - 1; n >= 0 && std::fabs(out.samples[static_cast<std::size_t>(n)]) < 1e-5f; --n)
        ++quietBefore;
    EXPECT_GE(quietBefore, 4999);
    EXPECT_LT(quietBefore, 4999 + 64);
    for (std::size_t n = static_cast<std::size_t>(last.position); n < out.samples.size(); ++n)
        ASSERT_EQ(out.samples[n], 0.0f);
    EXPECT_TRUE(module->asleep());
}

TEST(CombFltModule, NonFiniteInputDoesNotStayInTheLoop)
{
    for (const float bad : {notANumber, infinity}) {
        auto module = startedWith("CombFlt", {{"Feedback", 0.95f}, {"PitchMode", 0}, {"Pitch", 7.25f}});
        module->queueStreaming("In", true);
        module->queueStreaming("Feedback", true);
        const auto out = render(*module, 20000, [bad](mphost::DspModule& m, int start, int count) {
            for (int i = 0; i < count; ++i) {
                const int n = start + i;
                m.input("In")[static_cast<std::size_t>(i)] = n >= 500 && n < 510 ? bad : testSignal(n);
                m.input("Feedback")[static_cast<std::size_t>(i)] = n == 700 ? notANumber : 0.95f;
            }
        });
        EXPECT_EQ(lastNonFinite(out.samples), 509) << bad;
    }
}

// ---------------------------------------------------------------------------------
// OFF Delay

TEST(OffDelayModule, HoldsOnValueForTheHoldTimeAfterTheGateFalls)
{
    auto module = startedWith("OFF Delay", {{"HoldTime", 100.0f}, {"OffValue", -1.0f}, {"OnValue", 2.0f}});
    module->queueStreaming("Gate", true);
    module->queueStreaming("Gate", false, 300);
    // Gate high on [10, 20) and again on [2000, 2010): the second rise restarts the hold.
    const auto out = render(*module, 64 * 200, [](mphost::DspModule& m, int start, int count) {
        for (int i = 0; i < count; ++i) {
            const int n = start + i;
            m.input("Gate")[static_cast<std::size_t>(i)] = (n >= 10 && n < 20) || (n >= 2000 && n < 2010) ? 1.0f : 0.0f;
        }
    });
    for (int n = 0; n < 64 * 200; ++n) {
        const bool on = (n >= 10 && n < 20 + 4800) || (n >= 2000 && n < 2010 + 4800);
        ASSERT_EQ(out.samples[static_cast<std::size_t>(n)], on ? 2.0f : -1.0f) << n;
    }
    // Static at the end of the block where OffValue took over, then asleep.
    ASSERT_FALSE(out.reports.empty());
    EXPECT_EQ(out.reports.back(), (StreamingReport{(2010 + 4800 + 63) / 64 * 64, false}));
    EXPECT_TRUE(module->asleep());
}

TEST(OffDelayModule, HoldTimesOutsideTheRangeAreLimited)
{
    const std::vector<std::pair<float, int>> cases{{-5.0f, 0}, {notANumber, 0}, {0.01f, 0}, {1e30f, 6000}, {infinity, 6000}};
    for (const auto& [holdTime, heldFor] : cases) {
        auto module = startedWith("OFF Delay", {{"HoldTime", holdTime}, {"OnValue", 1.0f}});
        module->queueStreaming("Gate", true);
        const auto out = render(*module, 6000, [](mphost::DspModule& m, int start, int count) {
            for (int i = 0; i < count; ++i)
                m.input("Gate")[static_cast<std::size_t>(i)] = start + i == 0 ? 1.0f : 0.0f;
        });
        int on = 0;
        for (std::size_t n = 1; n < out.samples.size(); ++n)
            on += out.samples[n] == 1.0f;
        EXPECT_EQ(on, heldFor == 0 ? 0 : 5999) << holdTime;
    }
}

// ---------------------------------------------------------------------------------
// ShortConv

TEST(ShortConvModule, ConvolvesWithTheKernelFromTheBlob)
{
    auto module = startedWith("ShortConv", {{"Kernel", blobOf({0.0f, 0.0f, 1.0f})}});
    module->queueStreaming("In", true);
    auto out = render(*module, 200, streamWith("In", testSignal));
    EXPECT_EQ(out.samples[0], 0.0f);
    EXPECT_EQ(out.samples[1], 0.0f);
    for (int n = 2; n < 200; ++n)
        ASSERT_EQ(out.samples[static_cast<std::size_t>(n)], testSignal(n - 2));

    // A 37-tap kernel against the circular accumulator written out.
    std::vector<float> kernel;
    for (int k = 0; k < 37; ++k)
        kernel.push_back(std::cos(0.3f * static_cast<float>(k)) / static_cast<float>(k + 1));
    module = startedWith("ShortConv", {{"Kernel", blobOf(kernel)}});
    module->queueStreaming("In", true);
    out = render(*module, 500, streamWith("In", testSignal));
    std::vector<float> accumulator(37, 0.0f);
    int index = 0;
    for (int n = 0; n < 500; ++n) {
        for (int k = 0; k < 37; ++k)
            accumulator[static_cast<std::size_t>((index + k) % 37)] += kernel[static_cast<std::size_t>(k)] * testSignal(n);
        ASSERT_EQ(out.samples[static_cast<std::size_t>(n)], accumulator[static_cast<std::size_t>(index)]) << n;
        accumulator[static_cast<std::size_t>(index)] = 0.0f;
        index = (index + 1) % 37;
    }
}

TEST(ShortConvModule, LongKernelsOverSplitBlocksGiveTheAccumulatorsSumsExactly)
{
    // 1000 taps over 7000 samples, blocks split by events at odd positions: every path
    // of the block convolution, and the history moving back in its buffer.
    std::vector<float> kernel;
    for (int k = 0; k < 1000; ++k)
        kernel.push_back(std::sin(0.017f * static_cast<float>(k * k)) / static_cast<float>(1 + k / 50));
    auto module = startedWith("ShortConv", {{"Kernel", blobOf(kernel)}});
    module->queueStreaming("In", true);
    Samples out;
    for (int start = 0; start < 7000; start += 64) {
        for (int i = 0; i < 64; ++i)
            module->input("In")[static_cast<std::size_t>(i)] = testSignal(start + i);
        for (const int at : {1, 2, 19, 20, 37})
            module->queueStreaming("In", true, (at * (start / 64 + 1)) % 64);
        module->process(64);
        const auto block = module->output("Out");
        out.insert(out.end(), block.begin(), block.end());
    }
    std::vector<float> accumulator(1000, 0.0f);
    int index = 0;
    for (int n = 0; n < 7000; ++n) {
        for (int k = 0; k < 1000; ++k)
            accumulator[static_cast<std::size_t>((index + k) % 1000)] += kernel[static_cast<std::size_t>(k)] * testSignal(n);
        ASSERT_EQ(out[static_cast<std::size_t>(n)], accumulator[static_cast<std::size_t>(index)]) << n;
        accumulator[static_cast<std::size_t>(index)] = 0.0f;
        index = (index + 1) % 1000;
    }
}

TEST(ShortConvModule, MissingEmptyOrBrokenKernelsGiveTheOneTapIdentity)
{
    const std::vector<mphost::Bytes> kernels{{}, {1, 2, 3}, {0, 0, 0x80, 0x3F, 0, 0, 0}};
    for (std::size_t i = 0; i <= kernels.size(); ++i) {
        auto module = i == kernels.size() ? startedWith("ShortConv", {}) : startedWith("ShortConv", {{"Kernel", kernels[i]}});
        module->queueStreaming("In", true);
        const auto out = render(*module, 100, streamWith("In", testSignal));
        for (int n = 0; n < 100; ++n)
            ASSERT_EQ(out.samples[static_cast<std::size_t>(n)], testSignal(n)) << "kernel " << i;
    }
}

TEST(ShortConvModule, KernelsLongerThan1024TapsAreCutAndBadTapsCountAsZero)
{
    std::vector<float> kernel(1500, 0.0f);
    kernel[3] = notANumber;
    kernel[5] = infinity;
    kernel[1023] = 1.0f;
    kernel[1200] = 1.0f;
    auto module = startedWith("ShortConv", {{"Kernel", blobOf(kernel)}});
    module->queueStreaming("In", true);
    const auto out = render(*module, 1500, streamWith("In", impulse));
    for (int n = 0; n < 1500; ++n)
        ASSERT_EQ(out.samples[static_cast<std::size_t>(n)], n == 1023 ? 1.0f : 0.0f) << n;
}

TEST(ShortConvModule, TheTailLastsTheKernelLengthAndANewKernelRunsItAgain)
{
    auto module = startedWith("ShortConv", {{"Kernel", blobOf({0.25f, 0.25f, 0.25f, 0.25f, 0.25f})}});
    module->queueStreaming("In", true);
    module->queueStreaming("In", false, 100);
    auto out = render(*module, 320, [](mphost::DspModule& m, int start, int count) {
        for (int i = 0; i < count; ++i)
            m.input("In")[static_cast<std::size_t>(i)] = start + i < 100 ? testSignal(start + i) : 2.0f;
    });
    // The fifth static sample (position 104) is the first whose output is all static input.
    EXPECT_EQ(changes(out.reports), (Reports{{0, true}, {104, false}}));
    for (std::size_t n = 104; n < out.samples.size(); ++n)
        ASSERT_EQ(out.samples[n], 2.5f) << n;
    EXPECT_TRUE(module->asleep());

    module->queueValue("Kernel", blobOf({1.0f, 2.0f}));
    out = render(*module, 128);
    EXPECT_EQ(out.reports, (Reports{{0, true}, {1, false}}));
    EXPECT_EQ(out.samples[0], 2.0f);  // from a cleared accumulator
    for (std::size_t n = 1; n < out.samples.size(); ++n)
        ASSERT_EQ(out.samples[n], 6.0f) << n;
}

TEST(ShortConvModule, NonFiniteInputLeavesTheAccumulatorWithinTheKernelLength)
{
    auto module = startedWith("ShortConv", {{"Kernel", blobOf(std::vector<float>(200, 0.01f))}});
    module->queueStreaming("In", true);
    const auto out = render(*module, 1000, [](mphost::DspModule& m, int start, int count) {
        for (int i = 0; i < count; ++i)
            m.input("In")[static_cast<std::size_t>(i)] = start + i == 300 ? notANumber : testSignal(start + i);
    });
    EXPECT_EQ(lastNonFinite(out.samples), 300 + 199);
}

// ---------------------------------------------------------------------------------
// NoiseGen

namespace {

std::uint32_t xorshift(std::uint32_t s)
{
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
}

Samples whiteFrom(std::uint32_t s, int count)
{
    Samples out;
    for (int n = 0; n < count; ++n) {
        s = xorshift(s);
        out.push_back(static_cast<float>(static_cast<double>(s) * (1.0 / 4294967295.0) - 0.5));
    }
    return out;
}

Samples pinkFrom(std::uint32_t s, int count)
{
    std::uint32_t rows[7] = {};
    std::uint32_t counter = 0;
    Samples out;
    for (int n = 0; n < count; ++n) {
        s = xorshift(s) & 0x1FFFFFFF;
        std::uint32_t sum = s;
        for (int j = 0; j < 7; ++j) {
            if ((counter & ((2u << j) - 1)) == 0)
                rows[j] = s;
            sum += rows[j];
        }
        out.push_back(static_cast<float>(static_cast<double>(sum) * (1.0 / 2147483644.0) - 1.0));
        counter = (counter + 1) & 0xFF;
    }
    return out;
}

Samples slice(const Samples& samples, std::size_t from, std::size_t count)
{
    return Samples(samples.begin() + static_cast<std::ptrdiff_t>(from),
                   samples.begin() + static_cast<std::ptrdiff_t>(from + count));
}

}  // namespace

TEST(NoiseGenModule, WhiteAndPinkFollowTheGeneratorExactly)
{
    auto module = startedWith("NoiseGen", {{"Seed", 1}, {"Color", 0}});
    auto out = render(*module, 4096);
    EXPECT_NEAR(out.samples[0], -0.499937f, 1e-6f);  // first generator value 270369
    EXPECT_EQ(out.samples, whiteFrom(1, 4096));

    module = startedWith("NoiseGen", {{"Seed", -123456789}, {"Color", 1}});
    out = render(*module, 4096);
    EXPECT_EQ(out.samples, pinkFrom(static_cast<std::uint32_t>(-123456789), 4096));
    float low = 0, high = 0;
    for (const float sample : out.samples) {
        low = std::min(low, sample);
        high = std::max(high, sample);
    }
    EXPECT_GE(low, -1.0f);
    EXPECT_LE(high, 1.0f);
    EXPECT_TRUE(module->outputStreaming("Out"));
}

TEST(NoiseGenModule, SeedingWhileRunningRestartsTheSequenceAtTheEvent)
{
    auto module = startedWith("NoiseGen", {{"Seed", 99}});
    module->queueValue("Seed", 7, 40);
    const auto out = render(*module, 64);
    EXPECT_EQ(slice(out.samples, 0, 40), whiteFrom(99, 40));
    EXPECT_EQ(slice(out.samples, 40, 24), whiteFrom(7, 24));
}

TEST(NoiseGenModule, TheStateCarriesOnAcrossDisableAndColourChanges)
{
    auto module = startedWith("NoiseGen", {{"Seed", 5}});
    module->queueValue("Enable", false, 20);
    module->queueValue("Color", 1, 30);  // while disabled: stays silent
    auto out = render(*module, 64 * 4);
    EXPECT_EQ(slice(out.samples, 0, 20), whiteFrom(5, 20));
    for (std::size_t n = 20; n < out.samples.size(); ++n)
        ASSERT_EQ(out.samples[n], 0.0f) << n;
    EXPECT_EQ(changes(out.reports), (Reports{{0, true}, {20, false}}));
    EXPECT_TRUE(module->asleep());

    // Enabled again as pink: the generator continues from its 20th value.
    module->queueValue("Enable", true, 3);
    module->queueValue("Color", 0, 10);
    out = render(*module, 64);
    std::uint32_t s = 5;
    for (int n = 0; n < 20; ++n)
        s = xorshift(s);
    const Samples pink = pinkFrom(s, 7);
    EXPECT_EQ(slice(out.samples, 3, 7), pink);
    std::uint32_t masked = s;
    for (int n = 0; n < 7; ++n)
        masked = xorshift(masked) & 0x1FFFFFFF;
    EXPECT_EQ(slice(out.samples, 10, 54), whiteFrom(masked, 54));
}

TEST(NoiseGenModule, SeedZeroStillMakesNoise)
{
    EXPECT_NE(std::get<std::int32_t>(descriptions().find("NoiseGen")->dsp->pins[2].defaultValue), 0);
    for (const int color : {0, 1}) {
        auto module = startedWith("NoiseGen", {{"Seed", 0}, {"Color", color}});
        const auto out = render(*module, 256);
        EXPECT_EQ(out.samples, color ? pinkFrom(0x92D68CA2u, 256) : whiteFrom(0x92D68CA2u, 256));
        EXPECT_NE(out.samples[100], out.samples[101]);
    }
}
