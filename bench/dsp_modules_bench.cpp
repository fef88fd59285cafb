// Cost of every module of the dsp_modules bundle in ns per sample: blocks of 64 samples
// with every audio input streaming, through the loaded bundle and the host harness.
// For DC_Blocker, Glider, Latency and KV_Crusher the same arithmetic also runs as a
// plain inline loop, the reference the modules are compared with. Probe_Gain (Out =
// In x Gain) through the same harness gives the fixed cost of a block. Like an audio
// host's thread, the benchmarks run with subnormals flushed to zero.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <xmmintrin.h>

#include "bench_modules.h"

namespace {

constexpr int blockSize = 64;

const std::string dspPath = std::string(MP_BUNDLE_DIR) + "/dsp_modules.so";
const std::string probePath = std::string(MP_TEST_BUNDLE_DIR) + "/probe_modules.so";

// A deterministic signal in [-1, 1] that crosses zero often.
using bench::signal;

std::unique_ptr<mphost::DspModule> makeStreaming(const std::string& path, const std::string& id,
                                                 const std::function<void(mphost::DspModule&)>& configure,
                                                 mphost::DspModuleOptions options = {})
{
    auto module = bench::loadModule(path, id, {}, std::move(options));
    bench::streamAudioInputs(*module, blockSize);
    if (configure)
        configure(*module);
    module->process(blockSize);
    return module;
}

// Flush-to-zero and denormals-are-zero for the benchmark thread, as audio hosts set them.
using bench::flushSubnormals;

void runBlocks(benchmark::State& state, mphost::DspModule& module)
{
    bench::runBlocks(state, module, blockSize);
}

void BM_HarnessFloor_ProbeGain(benchmark::State& state)
{
    auto module = makeStreaming(probePath, "Probe_Gain", nullptr);
    runBlocks(state, *module);
}
BENCHMARK(BM_HarnessFloor_ProbeGain);

// ---------------------------------------------------------------------------------
// Every module through the bundle

void benchModule(benchmark::State& state, const std::string& id,
                 const std::function<void(mphost::DspModule&)>& configure, mphost::DspModuleOptions options = {})
{
    auto module = makeStreaming(dspPath, id, configure, std::move(options));
    runBlocks(state, *module);
}

#define DSP_BENCH(name, id, ...)                                                      \
    void BM_##name(benchmark::State& state) { benchModule(state, id, __VA_ARGS__); } \
    BENCHMARK(BM_##name)

DSP_BENCH(DC_Blocker, "DC_Blocker", [](auto& m) { m.queueValue("Coefficient", 0.995f); });
DSP_BENCH(Integrator, "Integrator", nullptr);
DSP_BENCH(Derivator, "Derivator", nullptr);
DSP_BENCH(Averaging, "Averaging", nullptr);
DSP_BENCH(MinMax, "MinMax", nullptr);
DSP_BENCH(MinMaxIndex_4Inputs, "MinMaxIndex", nullptr, {.duplicates = {{"In", 4}}});
DSP_BENCH(RngClp, "RngClp", nullptr);
// Constant time with a target that moves every sample: a division per sample.
DSP_BENCH(Glider, "Glider", [](auto& m) {
    m.queueStreaming("Jump", false);
    m.fillInput("Jump", 0.0f);
    m.fillInput("Time", 0.001f);
});
DSP_BENCH(Glider2, "Glider2", [](auto& m) {
    m.queueStreaming("Jump", false);
    m.fillInput("Jump", 0.0f);
    m.fillInput("TimeUp", 0.001f);
    m.fillInput("TimeDown", 0.002f);
});
DSP_BENCH(KV_ZXDet, "KV_ZXDet", [](auto& m) { m.queueValue("Direction", 2); });
DSP_BENCH(KV_AudioCounter, "KV_AudioCounter", [](auto& m) {
    m.queueValue("Mode", 3);
    m.fillInput("Reset", -1.0f);
});
DSP_BENCH(MemoryReset, "Memory/Reset", nullptr);
DSP_BENCH(MemoryReset2, "Memory/Reset2", nullptr);
DSP_BENCH(Freezer, "Freezer", nullptr);
DSP_BENCH(Latency, "Latency", [](auto& m) { m.queueValue("Delay", 1000); });
DSP_BENCH(KV_RepLat, "KV_RepLat", nullptr);
DSP_BENCH(KV_Crusher, "KV_Crusher", [](auto& m) {
    m.queueValue("CrushRate", 11025.0f);
    m.queueValue("Bits", 8);
});

// ---------------------------------------------------------------------------------
// The same arithmetic as plain loops over one block, state kept between blocks

struct Block {
    float in[blockSize];
    float time[blockSize];
    float out[blockSize];
    Block()
    {
        for (int i = 0; i < blockSize; ++i) {
            in[i] = signal(i, 0);
            time[i] = 0.001f;
        }
    }
};

void runInline(benchmark::State& state, const std::function<void(Block&)>& processBlock)
{
    flushSubnormals();
    Block block;
    for (auto _ : state) {
        processBlock(block);
        benchmark::DoNotOptimize(block.out);
        benchmark::ClobberMemory();
    }
    bench::reportPerSample(state, blockSize);
}

void BM_Inline_DC_Blocker(benchmark::State& state)
{
    float stateX1 = 0.0f, stateY1 = 0.0f;
    runInline(state, [&](Block& b) {
        const float c = std::clamp(0.995f, 0.0f, 1.0f);
        float x1 = stateX1, y1 = stateY1;
        for (int i = 0; i < blockSize; ++i) {
            const float x = b.in[i];
            const float y = c * y1 + (x - x1);
            b.out[i] = y;
            x1 = x;
            y1 = y;
        }
        stateX1 = x1;
        stateY1 = y1;
    });
}
BENCHMARK(BM_Inline_DC_Blocker);

void BM_Inline_Glider(benchmark::State& state)
{
    float stateCurrent = 0.0f, statePreviousTarget = 0.0f, stateStep = 0.0f;
    const float sampleRate = 48000.0f;
    runInline(state, [&](Block& b) {
        float current = stateCurrent, previousTarget = statePreviousTarget, step = stateStep;
        for (int i = 0; i < blockSize; ++i) {
            const float target = b.in[i];
            const float seconds = std::max(0.0f, 10.0f * b.time[i]);
            if (current != target) {
                if (target != previousTarget)
                    step = std::fabs(target - current) / (seconds * sampleRate);
                if (target > current) {
                    current += step;
                    if (current > target)
                        current = target;
                } else {
                    current -= step;
                    if (current < target)
                        current = target;
                }
            }
            b.out[i] = current;
            previousTarget = target;
        }
        stateCurrent = current;
        statePreviousTarget = previousTarget;
        stateStep = step;
    });
}
BENCHMARK(BM_Inline_Glider);

void BM_Inline_Latency(benchmark::State& state)
{
    static float ring[5001] = {};
    int stateWrite = 0;
    const int delay = 1000;
    runInline(state, [&](Block& b) {
        int write = stateWrite;
        for (int i = 0; i < blockSize; ++i) {
            ring[write] = b.in[i];
            int read = write - delay;
            if (read < 0)
                read += 5001;
            b.out[i] = ring[read];
            if (++write > 5000)
                write = 0;
        }
        stateWrite = write;
    });
}
BENCHMARK(BM_Inline_Latency);

void BM_Inline_KV_Crusher(benchmark::State& state)
{
    float statePhase = 1.0f, stateHeld = 0.0f;
    const float increment = 11025.0f / 48000.0f;
    const std::uint32_t mask = 0xFF000000;
    const float offset = 0.5f / 128.0f;
    runInline(state, [&](Block& b) {
        float phase = statePhase, held = stateHeld;
        for (int i = 0; i < blockSize; ++i) {
            if (phase >= 1.0f) {
                phase -= 1.0f;
                const float scaled = (std::clamp(b.in[i], -1.0f, 1.0f) + 1.0f) * 2147483648.0f;
                std::uint32_t u = 0;
                if (scaled >= 4294967296.0f)
                    u = 0xFFFFFFFF;
                else if (scaled > 0.0f)
                    u = static_cast<std::uint32_t>(scaled);
                held = static_cast<float>(u & mask) * (1.0f / 2147483648.0f) - 1.0f + offset;
            }
            b.out[i] = held;
            phase += increment;
        }
        statePhase = phase;
        stateHeld = held;
    });
}
BENCHMARK(BM_Inline_KV_Crusher);

}  // namespace

BENCHMARK_MAIN();
