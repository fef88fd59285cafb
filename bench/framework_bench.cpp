// Cost of the DSP framework itself: one block of 64 samples through the cheapest module
// (Out = In x Gain), without events and with 8 value events, through the loaded bundle.
#include <memory>

#include "bench_support.h"
#include "harness/dsp_module.h"
#include "loader/bundle.h"
#include "loader/descriptions.h"

namespace {

const std::string probePath = std::string(MP_TEST_BUNDLE_DIR) + "/probe_modules.so";

std::unique_ptr<mphost::DspModule> makeGain()
{
    static const auto bundle = mphost::Bundle::load(probePath);
    static const auto descriptions =
        mphost::BundleDescription::loadFile(mphost::BundleDescription::pathBeside(probePath));
    auto module = std::make_unique<mphost::DspModule>(bundle, *descriptions.find("Probe_Gain"));
    module->start();
    module->queueStreaming("In", true);
    module->process(64);
    return module;
}

void BM_ProcessBlockWithoutEvents(benchmark::State& state)
{
    auto module = makeGain();
    for (auto _ : state) {
        module->process(64);
        benchmark::DoNotOptimize(module->output("Out").data());
    }
    state.counters["ns/block"] = benchmark::Counter(static_cast<double>(state.iterations()) * 1e-9,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    bench::reportPerSample(state, 64);
}
BENCHMARK(BM_ProcessBlockWithoutEvents);

void BM_ProcessBlockWithEightEvents(benchmark::State& state)
{
    auto module = makeGain();
    for (auto _ : state) {
        for (int i = 0; i < 8; ++i)
            module->queueValue("Gain", 0.5f + static_cast<float>(i) * 0.01f, i * 8);
        module->process(64);
        benchmark::DoNotOptimize(module->output("Out").data());
    }
    state.counters["ns/block"] = benchmark::Counter(static_cast<double>(state.iterations()) * 1e-9,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    bench::reportPerSample(state, 64);
}
BENCHMARK(BM_ProcessBlockWithEightEvents);

}  // namespace

BENCHMARK_MAIN();
