// Modules of a built bundle driven through the host's harness for the benchmarks: loaded
// and started, their audio inputs streaming test signals, and run block after block
// with the cost reported per sample.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "bench_support.h"
#include "harness/dsp_module.h"
#include "loader/bundle.h"
#include "loader/descriptions.h"

namespace bench {

// Module `id` of the bundle at `bundlePath`, started with `values` (by pin name; the
// others at their defaults).
inline std::unique_ptr<mphost::DspModule> loadModule(const std::string& bundlePath, const std::string& id,
                                                     const std::map<std::string, mphost::PinValue>& values = {},
                                                     mphost::DspModuleOptions options = {})
{
    const auto bundle = mphost::Bundle::load(bundlePath);
    const auto descriptions = mphost::BundleDescription::loadFile(mphost::BundleDescription::pathBeside(bundlePath));
    auto module = std::make_unique<mphost::DspModule>(bundle, *descriptions.find(id), std::move(options));
    module->start(values);
    return module;
}

// Reports every audio input of `module` streaming, each filled with its entry of
// `signals` (by pin name, `samples` values), or else with signal(n, pin index).
inline void streamAudioInputs(mphost::DspModule& module, int samples,
                              const std::map<std::string, const float*>& signals = {})
{
    for (const auto& pin : module.pins()) {
        if (!pin.isInput() || !pin.isAudio())
            continue;
        module.queueStreaming(pin.name, true);
        const auto buffer = module.input(pin.name);
        const auto found = signals.find(pin.name);
        for (int n = 0; n < samples; ++n)
            buffer[static_cast<std::size_t>(n)] = found != signals.end() ? found->second[n] : signal(n, pin.index);
    }
}

// Runs `module` one block of `blockSize` samples per iteration, subnormals flushed, and
// reports ns per sample and the multiple of real time.
inline void runBlocks(benchmark::State& state, mphost::DspModule& module, int blockSize)
{
    flushSubnormals();
    for (auto _ : state) {
        module.process(blockSize);
        benchmark::DoNotOptimize(module.pins().back().buffer.data());
        benchmark::ClobberMemory();
    }
    reportPerSample(state, blockSize);
}

}  // namespace bench
