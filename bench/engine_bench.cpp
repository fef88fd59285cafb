// Cost of the patch engine: its own overhead per module per block (100 of the cheapest
// modules in a chain, and 1000 with fan-out and fan-in, against what those modules and
// their input sums cost alone), its cost per module from 10 to 10 000 chained modules,
// and the real-time factor of the demo patch.
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../tools/mphost/demo_patch.h"
#include "bench_support.h"
#include "engine/engine.h"
#include "engine/patch.h"
#include "harness/dsp_module.h"
#include "loader/bundle.h"
#include "loader/descriptions.h"

namespace {

constexpr int moduleCount = 100;
constexpr int blockSize = 64;

mphost::PatchEnvironment environment()
{
    mphost::PatchEnvironment result;
    result.bundleFolders = {MP_BUNDLE_DIR, MP_TEST_BUNDLE_DIR};
    return result;
}

// A graph of gain modules (each Out = In x Gain): module i reads the sum of the outputs
// of sources[i] (none: a static input at 0.5). Sources come before their module.
struct Graph {
    std::vector<std::vector<int>> sources;
};

// `count` modules in a chain.
Graph chain(int count)
{
    Graph graph;
    graph.sources.resize(static_cast<std::size_t>(count));
    for (int i = 1; i < count; ++i)
        graph.sources[static_cast<std::size_t>(i)] = {i - 1};
    return graph;
}

// 1000 modules: one source fanning out to 27 branches of 37 chained modules; the last
// module of the first branch also reads (fan-in) the ends of the other 26 branches.
constexpr int branches = 27;
constexpr int branchLength = 37;
constexpr int fanModules = 1 + branches * branchLength;
Graph fanOutFanIn()
{
    Graph graph;
    graph.sources.resize(fanModules);
    const auto at = [](int branch, int step) { return 1 + branch * branchLength + step; };
    for (int b = 0; b < branches; ++b)
        for (int k = 0; k < branchLength; ++k)
            graph.sources[static_cast<std::size_t>(at(b, k))] = {k == 0 ? 0 : at(b, k - 1)};
    auto& sink = graph.sources[static_cast<std::size_t>(at(0, branchLength - 1))];
    for (int b = 1; b < branches; ++b)
        sink.push_back(at(b, branchLength - 1));
    return graph;
}

// The graph as a patch, long enough never to end; its output is the module with the
// most sources (the last one when none has more than one).
std::string patchOf(const Graph& graph)
{
    std::size_t output = graph.sources.size() - 1;
    for (std::size_t i = 0; i < graph.sources.size(); ++i)
        if (graph.sources[i].size() > graph.sources[output].size())
            output = i;
    std::ostringstream json;
    json << R"({ "seconds": 86400, "outputs": [ "g)" << output << R"(.Out" ], "modules": [ )";
    for (std::size_t i = 0; i < graph.sources.size(); ++i)
        json << (i ? ", " : "") << R"({ "name": "g)" << i
             << R"(", "bundle": "probe_modules", "id": "Probe_Gain", "values": { "In": 0.5, "Gain": 0.5 } })";
    json << R"( ], "connections": [ )";
    bool first = true;
    for (std::size_t i = 0; i < graph.sources.size(); ++i)
        for (const int source : graph.sources[i]) {
            json << (first ? "" : ", ") << "\"g" << source << ".Out -> g" << i << ".In\"";
            first = false;
        }
    json << " ] }";
    return json.str();
}

void reportPerModuleBlock(benchmark::State& state, std::size_t modules)
{
    state.counters["ns/module/block"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(modules) * 1e-9,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The whole engine: UI pumping, ordering, harness and routing around every module.
void runEngine(benchmark::State& state, const Graph& graph)
{
    mphost::Engine engine(mphost::parsePatch(patchOf(graph), "graph", environment()));
    for (int i = 0; i < 16; ++i)
        engine.processBlock();
    for (auto _ : state)
        benchmark::DoNotOptimize(engine.processBlock());
    reportPerModuleBlock(state, graph.sources.size());
    bench::reportPerSample(state, blockSize);
}

// The same modules called directly through their process() slot in patch order: an
// input with one source reads its buffer, an input with several reads their sum, added
// up here before its module runs. The modules' own cost and the mixing arithmetic, which
// the engine's total is compared against.
void runModulesAlone(benchmark::State& state, const Graph& graph)
{
    const std::string path = std::string(MP_TEST_BUNDLE_DIR) + "/probe_modules.so";
    const auto bundle = mphost::Bundle::load(path);
    const auto descriptions = mphost::BundleDescription::loadFile(mphost::BundleDescription::pathBeside(path));
    const std::size_t count = graph.sources.size();
    std::vector<std::unique_ptr<mphost::DspModule>> modules;
    std::vector<std::vector<float>> mixes(count);
    std::vector<gmpi::IMpPlugin2*> plugins;
    for (std::size_t i = 0; i < count; ++i) {
        mphost::DspModuleOptions options;
        options.maxBlockSize = blockSize;
        options.reserveLater = true;  // as the engine does: the modules' room after all of them
        auto module = std::make_unique<mphost::DspModule>(bundle, *descriptions.find("Probe_Gain"), options);
        const auto& sources = graph.sources[i];
        if (sources.size() == 1) {
            module->connectInput("In", modules[static_cast<std::size_t>(sources[0])]->output("Out").data());
        } else if (sources.size() > 1) {
            mixes[i].assign(blockSize, 0.0f);
            module->connectInput("In", mixes[i].data());
        }
        plugins.push_back(module->plugin());
        modules.push_back(std::move(module));
    }
    for (std::size_t i = 0; i < count; ++i) {
        modules[i]->reserveBlockRoom();
        modules[i]->start({{"In", 0.5f}, {"Gain", 0.5f}});
        modules[i]->queueStreaming("In", !graph.sources[i].empty());
        modules[i]->process(blockSize);
    }
    std::vector<std::vector<const float*>> mixSources(count);
    for (std::size_t i = 0; i < count; ++i)
        if (graph.sources[i].size() > 1)
            for (const int source : graph.sources[i])
                mixSources[i].push_back(modules[static_cast<std::size_t>(source)]->output("Out").data());
    bench::flushSubnormals();
    for (auto _ : state) {
        for (std::size_t i = 0; i < count; ++i) {
            if (!mixSources[i].empty()) {
                float* mix = mixes[i].data();
                std::fill(mix, mix + blockSize, 0.0f);
                for (const float* source : mixSources[i])
                    for (int s = 0; s < blockSize; ++s)
                        mix[s] += source[s];
            }
            plugins[i]->process(blockSize, nullptr);
        }
    }
    reportPerModuleBlock(state, count);
    bench::reportPerSample(state, blockSize);
}

void BM_EngineChainOf100(benchmark::State& state)
{
    runEngine(state, chain(moduleCount));
}
BENCHMARK(BM_EngineChainOf100);

void BM_ModulesAloneChainOf100(benchmark::State& state)
{
    runModulesAlone(state, chain(moduleCount));
}
BENCHMARK(BM_ModulesAloneChainOf100);

void BM_EngineFanOutFanIn1000(benchmark::State& state)
{
    runEngine(state, fanOutFanIn());
}
BENCHMARK(BM_EngineFanOutFanIn1000);

void BM_ModulesAloneFanOutFanIn1000(benchmark::State& state)
{
    runModulesAlone(state, fanOutFanIn());
}
BENCHMARK(BM_ModulesAloneFanOutFanIn1000);

// The engine's cost per module and block over patch sizes: flat when nothing in the
// engine grows with the patch faster than the patch.
void BM_EngineChain(benchmark::State& state)
{
    runEngine(state, chain(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_EngineChain)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->ArgName("modules");

void BM_ModulesAloneChain(benchmark::State& state)
{
    runModulesAlone(state, chain(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_ModulesAloneChain)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->ArgName("modules");

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

// Prints, after the table:
//   ratio engine_overhead_chain100 <engine / modules alone, 100 chained modules>
//   ratio engine_overhead_patch1000 <engine / modules alone, 1000 modules with fan-out and fan-in>
//   ratio engine_ns_per_module_block_<n> <engine ns per module and block, n chained modules>
//   ratio engine_overhead_chain_<n> <engine / modules alone, n chained modules>
//   ratio engine_per_module_spread <largest / smallest engine ns per module and block>
int main(int argc, char** argv)
{
    bench::FigureReporter ns(bench::FigureReporter::counter("ns/module/block"));
    if (!bench::runBenchmarks(argc, argv, ns))
        return 1;
    ns.printQuotient("engine_overhead_chain100", "BM_EngineChainOf100", "BM_ModulesAloneChainOf100");
    ns.printQuotient("engine_overhead_patch1000", "BM_EngineFanOutFanIn1000", "BM_ModulesAloneFanOutFanIn1000");
    double smallest = 0, largest = 0;
    for (const int size : {10, 100, 1000, 10000}) {
        const std::string engine = "BM_EngineChain/modules:" + std::to_string(size);
        if (!ns.has(engine))
            continue;
        bench::printRatio("engine_ns_per_module_block_" + std::to_string(size), ns[engine], 2);
        ns.printQuotient("engine_overhead_chain_" + std::to_string(size), engine,
                         "BM_ModulesAloneChain/modules:" + std::to_string(size));
        smallest = smallest == 0 ? ns[engine] : std::min(smallest, ns[engine]);
        largest = std::max(largest, ns[engine]);
    }
    if (smallest > 0)
        bench::printRatio("engine_per_module_spread", largest / smallest);
    return 0;
}
