// Cost of the sample players and the wavetable oscillator in ns per sample, through the
// loaded sample_modules bundle and the host harness in blocks of 256 samples, each next
// to a plain inline loop doing the same interpolation on the same data. After the runs
// the program prints "ratio <name> <module time / inline loop time>" for each pair and
// "ratio <name>_realtime <multiple of real time at 48 kHz>" for each module, all measured
// in this run. Subnormals are flushed to zero, as on an audio thread.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include <xmmintrin.h>

#include "SignalMath.h"
#include "bench_modules.h"

namespace {

constexpr int blockSize = 256;
constexpr int sampleFrames = 1 << 20;
const std::string bundlePath = std::string(MP_BUNDLE_DIR) + "/sample_modules.so";

const std::vector<float>& sampleData()
{
    static const std::vector<float> data = [] {
        std::vector<float> x(sampleFrames);
        for (int i = 0; i < sampleFrames; ++i)
            x[static_cast<std::size_t>(i)] = std::sin(0.01f * static_cast<float>(i)) * 0.8f +
                                              0.1f * std::sin(0.37f * static_cast<float>(i));
        return x;
    }();
    return data;
}

std::vector<float> sawTable(int n)
{
    std::vector<float> t(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
        t[static_cast<std::size_t>(k)] = static_cast<float>(2.0 * k / n - 1.0);
    return t;
}

mphost::Bytes bytesOf(const std::vector<float>& x)
{
    mphost::Bytes bytes(x.size() * 4);
    std::memcpy(bytes.data(), x.data(), bytes.size());
    return bytes;
}

using bench::flushSubnormals;

std::unique_ptr<mphost::DspModule> makeModule(const std::string& id, const std::map<std::string, mphost::PinValue>& values)
{
    auto module = bench::loadModule(bundlePath, id, values, mphost::DspModuleOptions{.maxBlockSize = blockSize});
    for (const auto& pin : module->pins())
        if (pin.isInput() && pin.isAudio())
            module->queueStreaming(pin.name, true);
    return module;
}

// Blocks between restarts of a player: the whole sample plays at the benchmark's pitch.
constexpr int blocksPerPlay = sampleFrames / blockSize - 2;

// The gate of block `block`: a one-sample low at the start of each play restarts it.
void setGate(mphost::DspModule& module, std::int64_t block)
{
    auto gate = module.input("Gate");
    std::fill(gate.begin(), gate.end(), 1.0f);
    if (block % blocksPerPlay == 0)
        gate[0] = 0.0f;
}

void BM_AudioPlayer(benchmark::State& state)
{
    flushSubnormals();
    auto module = makeModule("AudioPlayer", {{"Sample", bytesOf(sampleData())}});
    std::int64_t block = 0;
    for (auto _ : state) {
        setGate(*module, block++);
        module->process(blockSize);
        benchmark::DoNotOptimize(module->output("AudioOut").data());
    }
    bench::reportPerSample(state, blockSize);
}

// The same reading inline, from the same gate and pitch buffers: edge frames repeated,
// restarted like the module.
void BM_AudioPlayerInline(benchmark::State& state)
{
    flushSubnormals();
    const auto& x = sampleData();
    std::vector<float> out(blockSize), gate(blockSize, 1.0f), pitch(blockSize, 0.0f);
    double position = 0.0, increment = 1.0;
    float lastPitch = -1.0f;
    bool previousGate = false;
    std::int64_t block = 0;
    for (auto _ : state) {
        gate[0] = block++ % blocksPerPlay == 0 ? 0.0f : 1.0f;
        benchmark::DoNotOptimize(gate.data());
        for (int s = 0; s < blockSize; ++s) {
            const bool g = gate[static_cast<std::size_t>(s)] > 0.0f;
            const float p = 10.0f * pitch[static_cast<std::size_t>(s)];
            if (p != lastPitch) {
                increment = signal_math::fastExp2(p);
                lastPitch = p;
            }
            if (g && !previousGate)
                position = 0.0;
            previousGate = g;
            if (g && position < sampleFrames) {
                out[static_cast<std::size_t>(s)] = signal_math::interpolateClamped(x.data(), sampleFrames, position);
                position += increment;
            } else {
                out[static_cast<std::size_t>(s)] = 0.0f;
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    bench::reportPerSample(state, blockSize);
}

// SampleOsc2 looping 1000 .. 5000 with a crossfade over half the loop.
constexpr int loopStart = 1000, loopEnd = 5000;

void BM_SampleOsc2(benchmark::State& state)
{
    flushSubnormals();
    auto module = makeModule("SampleOsc2", {{"Sample", bytesOf(sampleData())}, {"LoopMode", 1},
                                            {"LoopStart", loopStart}, {"LoopEnd", loopEnd}, {"XFade", 0.5f},
                                            {"Pitch", 0.013f}});
    std::int64_t block = 0;
    for (auto _ : state) {
        auto gate = module->input("Gate");
        std::fill(gate.begin(), gate.end(), 1.0f);
        if (block++ == 0)
            gate[0] = 0.0f;
        module->process(blockSize);
        benchmark::DoNotOptimize(module->output("AudioOut").data());
    }
    bench::reportPerSample(state, blockSize);
}

// The same loop inline, from the same gate and pitch buffers.
void BM_SampleOsc2Inline(benchmark::State& state)
{
    flushSubnormals();
    const auto& x = sampleData();
    std::vector<float> out(blockSize), gate(blockSize, 1.0f), pitch(blockSize, 0.013f);
    const double length = loopEnd - loopStart;
    const double factor = 1.0 / (0.5 * length);
    double position = 0.0, increment = 1.0;
    float lastPitch = -1.0f;
    bool previousGate = false;
    for (auto _ : state) {
        benchmark::DoNotOptimize(gate.data());
        for (int s = 0; s < blockSize; ++s) {
            const bool g = gate[static_cast<std::size_t>(s)] > 0.0f;
            const float p = 10.0f * pitch[static_cast<std::size_t>(s)];
            if (p != lastPitch) {
                increment = signal_math::fastExp2(p);
                lastPitch = p;
            }
            if (g && !previousGate)
                position = 0.0;
            previousGate = g;
            float value = signal_math::interpolateZeroPadded(x.data(), sampleFrames, position);
            const double w = 1.0 - std::abs(position - loopEnd) * factor;
            if (w > 0.0)
                value = static_cast<float>((1.0 - w) * value +
                                           w * signal_math::interpolateZeroPadded(x.data(), sampleFrames,
                                                                                  position - length));
            out[static_cast<std::size_t>(s)] = value;
            position += increment;
            if (position > loopEnd)
                position -= length;
        }
        benchmark::DoNotOptimize(out.data());
    }
    bench::reportPerSample(state, blockSize);
}

// WTOsc on a 2048-entry saw: at 440 Hz (about 19 entries per sample: the interval mean)
// and at 5 Hz (interpolation).
constexpr int tableSize = 2048;

void BM_WTOsc(benchmark::State& state)
{
    flushSubnormals();
    const float hz = static_cast<float>(state.range(0));
    auto module = makeModule("WTOsc", {{"Wavetable", bytesOf(sawTable(tableSize))}, {"FreqMode", 0}, {"Pitch", hz / 10.0f}});
    module->fillInput("Pitch", hz / 10.0f);
    for (auto _ : state) {
        module->process(blockSize);
        benchmark::DoNotOptimize(module->output("AudioOut").data());
    }
    bench::reportPerSample(state, blockSize);
}

// The module's reading inline, from the same pitch, sync and phase buffers.
void BM_WTOscInline(benchmark::State& state)
{
    flushSubnormals();
    std::vector<signal_math::SummedEntry> table(tableSize);
    const auto saw = sawTable(tableSize);
    for (int k = 0; k < tableSize; ++k)
        table[static_cast<std::size_t>(k)].value = saw[static_cast<std::size_t>(k)];
    signal_math::accumulateRunningSums(table.data(), tableSize);
    const signal_math::StepIntegral<signal_math::SummedEntry> integral(table.data(), tableSize);
    const float hz = static_cast<float>(state.range(0));
    std::vector<float> out(blockSize), pitch(blockSize, hz / 10.0f), sync(blockSize, 0.0f), phaseMod(blockSize, 0.0f);
    const double size = tableSize, inverse = 1.0 / size;
    double phase = 0.0, previous = 0.0, wrap = 0.0, increment = 0.0;
    float lastPitch = 0.0f, lastSync = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(pitch.data());
        for (int s = 0; s < blockSize; ++s) {
            const float pm = std::clamp(phaseMod[static_cast<std::size_t>(s)], -1.0f, 1.0f);
            if (lastSync <= 0.0f && sync[static_cast<std::size_t>(s)] > 0.0f)
                phase = 0.0;
            lastSync = sync[static_cast<std::size_t>(s)];
            const float v = std::clamp(10.0f * pitch[static_cast<std::size_t>(s)], 0.0f, 24000.0f);
            if (v != lastPitch) {
                increment = v / 48000.0 * size;
                lastPitch = v;
            }
            const double read = pm * size + phase;
            const double shift = signal_math::floorPosition(previous * inverse) * size;
            const double x0 = previous - shift, x1 = read - wrap - shift;
            const double d = x1 - x0;
            double value;
            if (d <= 1.0 && d >= -1.0) {
                const double c = x1 - signal_math::floorPosition(x1 * inverse) * size;
                const int i = static_cast<int>(c);
                const auto at = [&](int k) { return table[static_cast<std::size_t>(k & (tableSize - 1))].value; };
                value = signal_math::interpolate4(at(i - 1), at(i), at(i + 1), at(i + 2), static_cast<float>(c - i));
            } else {
                value = integral.mean(x0, x1);
            }
            wrap = 0.0;
            phase += increment;
            while (phase >= size) {
                phase -= size;
                wrap -= size;
            }
            out[static_cast<std::size_t>(s)] = static_cast<float>(0.5 * value);
            previous = read;
        }
        benchmark::DoNotOptimize(out.data());
    }
    bench::reportPerSample(state, blockSize);
}

BENCHMARK(BM_AudioPlayer);
BENCHMARK(BM_AudioPlayerInline);
BENCHMARK(BM_SampleOsc2);
BENCHMARK(BM_SampleOsc2Inline);
BENCHMARK(BM_WTOsc)->Arg(440)->Arg(5);
BENCHMARK(BM_WTOscInline)->Arg(440)->Arg(5);

}  // namespace

int main(int argc, char** argv)
{
    bench::FigureReporter ns(bench::FigureReporter::counter("ns/sample"));
    if (!bench::runBenchmarks(argc, argv, ns))
        return 1;
    ns.printQuotient("AudioPlayer_vs_inline", "BM_AudioPlayer", "BM_AudioPlayerInline");
    ns.printQuotient("SampleOsc2_vs_inline", "BM_SampleOsc2", "BM_SampleOsc2Inline");
    ns.printQuotient("WTOsc_mean_vs_inline", "BM_WTOsc/440", "BM_WTOscInline/440");
    ns.printQuotient("WTOsc_interpolation_vs_inline", "BM_WTOsc/5", "BM_WTOscInline/5");
    ns.printRealtime("AudioPlayer_realtime", "BM_AudioPlayer");
    ns.printRealtime("SampleOsc2_realtime", "BM_SampleOsc2");
    ns.printRealtime("WTOsc_mean_realtime", "BM_WTOsc/440");
    ns.printRealtime("WTOsc_interpolation_realtime", "BM_WTOsc/5");
    return 0;
}
