// Cost of the delay, comb, off-delay, convolution, Dirac and noise modules of the
// dsp_modules bundle in ns per sample, in blocks of 64 samples through the loaded bundle
// and the host harness, with every audio input streaming. Two references run the same
// data as plain loops: a vectorised dot product of 1024 taps per output sample (what a
// 1024-tap ShortConv costs at best) and the band-limited Dirac arithmetic inline.
//
// After the benchmarks the program prints, from the same run (medians with
// --benchmark_repetitions):
//   ratio ShortConv1024_over_dot_product <module time / reference time>
//   ratio Dirac<mode>_over_inline <module time / reference time>, Pitch and Amplitude static
//   ratio Dirac<mode>_streaming_over_inline <the same with both streaming>
//   ratio <module>_x_realtime <multiple of real time at 48 kHz>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <xmmintrin.h>

#include "bench_modules.h"

namespace {

constexpr int blockSize = 64;
constexpr int convolutionTaps = 1024;

const std::string dspPath = std::string(MP_BUNDLE_DIR) + "/dsp_modules.so";

using bench::signal;

std::vector<float> benchKernel()
{
    std::vector<float> taps(convolutionTaps);
    for (int k = 0; k < convolutionTaps; ++k)
        taps[static_cast<std::size_t>(k)] = std::exp(-0.004f * static_cast<float>(k)) * std::cos(0.3f * static_cast<float>(k));
    return taps;
}

using bench::flushSubnormals;

// A module with its audio inputs streaming `signal`, unless `configure` says otherwise.
std::unique_ptr<mphost::DspModule> makeStreaming(const std::string& id,
                                                 const std::map<std::string, mphost::PinValue>& values,
                                                 const std::function<void(mphost::DspModule&)>& configure = {})
{
    auto module = bench::loadModule(dspPath, id, values);
    bench::streamAudioInputs(*module, blockSize);
    if (configure)
        configure(*module);
    module->process(blockSize);
    return module;
}

void runBlocks(benchmark::State& state, mphost::DspModule& module)
{
    bench::runBlocks(state, module, blockSize);
}

// A static input at `value`: its buffer holds the constant.
auto staticInput(const std::string& pin, float value)
{
    return [pin, value](mphost::DspModule& module) {
        module.queueStreaming(pin, false);
        module.fillInput(pin, value);
    };
}

// ---------------------------------------------------------------------------------
// The modules through the bundle

void BM_FracDelay(benchmark::State& state)
{
    auto module = makeStreaming("FracDelay", {{"Delay", 100.5f}});
    runBlocks(state, *module);
}
BENCHMARK(BM_FracDelay);

void BM_CombFlt(benchmark::State& state)
{
    auto module = makeStreaming("CombFlt", {{"PitchMode", 0}}, [](mphost::DspModule& m) {
        staticInput("Pitch", 10.25f)(m);
        staticInput("Feedback", 0.8f)(m);
    });
    runBlocks(state, *module);
}
BENCHMARK(BM_CombFlt);

void BM_OFFDelay(benchmark::State& state)
{
    auto module = makeStreaming("OFF Delay", {{"HoldTime", 0.5f}});
    runBlocks(state, *module);
}
BENCHMARK(BM_OFFDelay);

mphost::Bytes kernelBlob(int taps)
{
    const auto kernel = benchKernel();
    mphost::Bytes bytes(static_cast<std::size_t>(taps) * sizeof(float));
    std::memcpy(bytes.data(), kernel.data(), bytes.size());
    return bytes;
}

void BM_ShortConv_64Taps(benchmark::State& state)
{
    auto module = makeStreaming("ShortConv", {{"Kernel", kernelBlob(64)}});
    runBlocks(state, *module);
}
BENCHMARK(BM_ShortConv_64Taps);

void BM_ShortConv_1024Taps(benchmark::State& state)
{
    auto module = makeStreaming("ShortConv", {{"Kernel", kernelBlob(convolutionTaps)}});
    runBlocks(state, *module);
}
BENCHMARK(BM_ShortConv_1024Taps);

// Dirac at 440 Hz (FreqMode 1, Pitch 0.5), Amplitude 0.8, both static, or both streaming
// the same values (the general routines, which check the pitch on every sample as the
// inline references do).
void benchDirac(benchmark::State& state, bool antiAlias, bool streamed)
{
    auto module = makeStreaming("Dirac", {{"FreqMode", 1}, {"AntiAlias", antiAlias}}, [streamed](mphost::DspModule& m) {
        for (const auto& [pin, value] : {std::pair{"Pitch", 0.5f}, std::pair{"Amplitude", 0.8f}}) {
            if (!streamed)
                m.queueStreaming(pin, false);
            m.fillInput(pin, value);
        }
    });
    runBlocks(state, *module);
}

void BM_Dirac_AntiAlias(benchmark::State& state) { benchDirac(state, true, false); }
BENCHMARK(BM_Dirac_AntiAlias);
void BM_Dirac_Naive(benchmark::State& state) { benchDirac(state, false, false); }
BENCHMARK(BM_Dirac_Naive);
void BM_Dirac_AntiAlias_Streaming(benchmark::State& state) { benchDirac(state, true, true); }
BENCHMARK(BM_Dirac_AntiAlias_Streaming);
void BM_Dirac_Naive_Streaming(benchmark::State& state) { benchDirac(state, false, true); }
BENCHMARK(BM_Dirac_Naive_Streaming);

void BM_NoiseGen_White(benchmark::State& state)
{
    auto module = makeStreaming("NoiseGen", {{"Color", 0}});
    runBlocks(state, *module);
}
BENCHMARK(BM_NoiseGen_White);

void BM_NoiseGen_Pink(benchmark::State& state)
{
    auto module = makeStreaming("NoiseGen", {{"Color", 1}});
    runBlocks(state, *module);
}
BENCHMARK(BM_NoiseGen_Pink);

// ---------------------------------------------------------------------------------
// References: the same work as plain loops over 64-sample blocks, state kept

// out[n] = sum over k of kernel[k] x[n - k], as one dot product per output sample over
// the reversed kernel and the last 1024 inputs. The compiler vectorises the reduction
// (built with -fopenmp-simd).
void BM_Reference_DotProduct1024(benchmark::State& state)
{
    flushSubnormals();
    const auto kernel = benchKernel();
    alignas(64) static float reversed[convolutionTaps];
    for (int k = 0; k < convolutionTaps; ++k)
        reversed[k] = kernel[static_cast<std::size_t>(convolutionTaps - 1 - k)];
    alignas(64) static float history[convolutionTaps - 1 + blockSize] = {};
    alignas(64) static float out[blockSize];
    float in[blockSize];
    for (int i = 0; i < blockSize; ++i)
        in[i] = signal(i, 0);
    for (auto _ : state) {
        std::copy_n(in, blockSize, history + convolutionTaps - 1);
        for (int n = 0; n < blockSize; ++n) {
            const float* window = history + n;
            float sum = 0.0f;
#pragma omp simd reduction(+ : sum)
            for (int j = 0; j < convolutionTaps; ++j)
                sum += reversed[j] * window[j];
            out[n] = sum;
        }
        std::copy_n(history + blockSize, convolutionTaps - 1, history);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    bench::reportPerSample(state, blockSize);
}
BENCHMARK(BM_Reference_DotProduct1024);

struct DiracReference {
    std::vector<float> table = std::vector<float>(262144);
    DiracReference()
    {
        double angle = 0.0;
        for (int k = 0; k < 131072; ++k) {
            table[static_cast<std::size_t>(k)] = static_cast<float>(std::sin(angle));
            table[static_cast<std::size_t>(k) + 131072] = -static_cast<float>(std::sin(angle));
            angle += 3.14159265358979323846 / 131072;
        }
    }
};

// The band-limited routine's arithmetic on a steady 440 Hz: the pitch check on every
// sample, the gain, two table reads and a division.
// Volatile, so the compiler cannot fold the pin values into the loops; each routine reads
// them once into a local, as the module reads its pins once per block.
volatile bool gainByPeriodPin = false;
float dcOffset = 0.0f;

void BM_Inline_Dirac_AntiAlias(benchmark::State& state)
{
    flushSubnormals();
    static const DiracReference reference;
    const float* table = reference.table.data();
    float pitch[blockSize], amplitude[blockSize], out[blockSize];
    std::fill_n(pitch, blockSize, 0.5f);
    std::fill_n(amplitude, blockSize, 0.8f);
    // GainMode and RemoveDC as pin values read once per block, as the module does.
    const bool gainByPeriod = gainByPeriodPin;
    benchmark::DoNotOptimize(dcOffset);
    double phase = 0.0, period = 0.0, increment = 0.0;
    float lastPitch = -1.0f, normaliser = 0.0f, harmonicsAsFloat = 0.0f;
    std::uint32_t harmonics = 0;
    for (auto _ : state) {
        for (int i = 0; i < blockSize; ++i) {
            const float b = std::max(0.0f, 10.0f * pitch[i]);
            if (b != lastPitch) {
                lastPitch = b;
                const float rate = 48000.0f * 0.001f;
                period = rate / std::min(rate * 0.5f, 0.22f * std::exp2f(b - 4.0f));
                const int half = static_cast<int>(period * 0.5);
                harmonics = static_cast<std::uint32_t>(2 * half + 1);
                harmonicsAsFloat = static_cast<float>(harmonics);
                normaliser = 1.0f / static_cast<float>(2 * half);
                increment = 0.5 / period;
            }
            const float gain = gainByPeriod ? amplitude[i] * 0.5f * static_cast<float>(period) : amplitude[i];
            const std::uint32_t x = static_cast<std::uint32_t>(phase * 262144) & 0x3FFFF;
            float kernel = harmonicsAsFloat;
            if (x != 0 && x != 131072)
                kernel = table[(harmonics * x) & 0x3FFFF] / table[x];
            out[i] = gain * ((kernel - dcOffset) * normaliser);
            phase += increment;
            if (phase >= 1.0)
                phase -= 1.0;
        }
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    bench::reportPerSample(state, blockSize);
}
BENCHMARK(BM_Inline_Dirac_AntiAlias);

// The naive routine's arithmetic, float32.
void BM_Inline_Dirac_Naive(benchmark::State& state)
{
    flushSubnormals();
    float pitch[blockSize], amplitude[blockSize], out[blockSize];
    std::fill_n(pitch, blockSize, 0.5f);
    std::fill_n(amplitude, blockSize, 0.8f);
    static volatile bool removeDCPin = false;
    const bool removeDC = removeDCPin;
    const bool gainByPeriod = gainByPeriodPin;
    float phase = 1.0f, lastPitch = -1.0f, increment = 0.0f, period = 0.0f;
    for (auto _ : state) {
        for (int i = 0; i < blockSize; ++i) {
            const float b = std::max(0.0f, 10.0f * pitch[i]);
            if (b != lastPitch) {
                lastPitch = b;
                const float rate = 48000.0f * 0.001f;
                period = rate / std::min(rate * 0.5f, 0.22f * std::exp2f(b - 4.0f));
                increment = 1.0f / period;
            }
            float impulse = 0.0f;
            if (phase >= 1.0f) {
                impulse = 1.0f;
                phase -= 1.0f;
            }
            const float gain = gainByPeriod ? amplitude[i] * 0.5f * period : amplitude[i];
            out[i] = (removeDC ? impulse - increment : impulse) * gain;
            phase += increment;
        }
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    bench::reportPerSample(state, blockSize);
}
BENCHMARK(BM_Inline_Dirac_Naive);

}  // namespace

int main(int argc, char** argv)
{
    bench::FigureReporter ns(bench::FigureReporter::counter("ns/sample"));
    if (!bench::runBenchmarks(argc, argv, ns))
        return 1;
    ns.printQuotient("ShortConv1024_over_dot_product", "BM_ShortConv_1024Taps", "BM_Reference_DotProduct1024");
    ns.printQuotient("DiracAntiAlias_over_inline", "BM_Dirac_AntiAlias", "BM_Inline_Dirac_AntiAlias");
    ns.printQuotient("DiracNaive_over_inline", "BM_Dirac_Naive", "BM_Inline_Dirac_Naive");
    ns.printQuotient("DiracAntiAlias_streaming_over_inline", "BM_Dirac_AntiAlias_Streaming", "BM_Inline_Dirac_AntiAlias");
    ns.printQuotient("DiracNaive_streaming_over_inline", "BM_Dirac_Naive_Streaming", "BM_Inline_Dirac_Naive");
    for (const auto& [name, nanoseconds] : ns.all())
        if (name.rfind("BM_Reference", 0) != 0 && name.rfind("BM_Inline", 0) != 0)
            ns.printRealtime(name.substr(3) + "_x_realtime", name);
    return 0;
}
