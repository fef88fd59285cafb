// Cost of the patch engine: its own overhead per module per block (100 of the cheapest
// modules in a chain, against the sum of what those modules cost alone), and the real-time
// factor of the demo patch.
#include <memory>
#include <sstream>
#include <string>

#include "../tools/mphost/demo_patch.h"
#include "bench_support.h"
#include "engine/engine.h"
#include "engine/patch.h"
#include "harness/dsp_module.h"
#include "loader/bundle.h"
#include "loader/descriptions.h"

namespace {

constexpr int moduleCount = 100;

mphost::PatchEnvironment environment()
{
    mphost::PatchEnvironment result;
    result.bundleFolders = {MP_BUNDLE_DIR, MP_TEST_BUNDLE_DIR};
    return result;
}

// 100 gain modules in a chain (each Out = In x Gain), long enough never to end.
std::string chainPatch()
{
    std::ostringstream json;
    json << R"({ "seconds": 86400, "outputs": [ "g99.Out" ], "modules": [ )";
    for (int i = 0; i < moduleCount; ++i)
        json << (i ? ", " : "") << R"({ "name": "g)" << i
             << R"(", "bundle": "probe_modules", "id": "Probe_Gain", "values": { "In": 0.5, "Gain": 1 } })";
    json << R"( ], "connections": [ )";
    for (int i = 1; i < moduleCount; ++i)
        json << (i > 1 ? ", " : "") << "\"g" << i - 1 << ".Out -> g" << i << ".In\"";
    json << " ] }";
    return json.str();
}

void reportPerModuleBlock(benchmark::State& state)
{
    state.counters["ns/module/block"] = benchmark::Counter(static_cast<double>(state.iterations()) * moduleCount * 1e-9,
                                                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The whole engine: UI pumping, ordering, harness and routing around every module.
void BM_EngineChainOf100(benchmark::State& state)
{
    mphost::Engine engine(mphost::parsePatch(chainPatch(), "chain", environment()));
    for (int i = 0; i < 16; ++i)
        engine.processBlock();
    for (auto _ : state)
        benchmark::DoNotOptimize(engine.processBlock());
    reportPerModuleBlock(state);
    bench::reportPerSample(state, 64);
}
BENCHMARK(BM_EngineChainOf100);

// The same 100 modules called directly through their process() slot, buffers chained:
// the modules' own cost, which the engine's total is compared against.
void BM_ModulesAloneChainOf100(benchmark::State& state)
{
    const std::string path = std::string(MP_TEST_BUNDLE_DIR) + "/probe_modules.so";
    const auto bundle = mphost::Bundle::load(path);
    const auto descriptions = mphost::BundleDescription::loadFile(mphost::BundleDescription::pathBeside(path));
    std::vector<std::unique_ptr<mphost::DspModule>> modules;
    for (int i = 0; i < moduleCount; ++i) {
        auto module = std::make_unique<mphost::DspModule>(bundle, *descriptions.find("Probe_Gain"));
        if (i > 0)
            module->connectInput("In", modules.back()->output("Out").data());
        module->start();
        module->queueStreaming("In", true);
        module->process(64);
        modules.push_back(std::move(module));
    }
    for (auto _ : state)
        for (const auto& module : modules)
            module->plugin()->process(64, nullptr);
    reportPerModuleBlock(state);
    bench::reportPerSample(state, 64);
}
BENCHMARK(BM_ModulesAloneChainOf100);

// The demo patch (oscillator, waveshaper, envelope) block by block.
void BM_DemoPatchRealTime(benchmark::State& state)
{
    mphost::Patch patch = mphost::parsePatch(mphost::cli::demoPatch, "demo patch", environment());
    patch.changeTiming(86400.0, std::nullopt, std::nullopt);
    mphost::Engine engine(patch);
    for (auto _ : state)
        benchmark::DoNotOptimize(engine.processBlock());
    bench::reportPerSample(state, patch.blockSize);
}
BENCHMARK(BM_DemoPatchRealTime);

}  // namespace

BENCHMARK_MAIN();
