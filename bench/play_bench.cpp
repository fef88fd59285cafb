// The live engine's audio callback against the offline engine on the same patch: the cost
// of one block through LiveEngine::render (queues looked at, DSP side, outputs
// interleaved) over one Engine::processBlock (UI side pumped, DSP side, GUI deliveries).
#include <string>
#include <vector>

#include "bench_support.h"
#include "engine/engine.h"
#include "engine/live_engine.h"
#include "engine/patch.h"

#include "../tools/mphost/demo_patch.h"

namespace {

mphost::PatchEnvironment environment()
{
    mphost::PatchEnvironment result;
    result.bundleFolders = {MP_BUNDLE_DIR};
    return result;
}

// The patches, long enough never to end, with no script: both engines run the same
// modules on the same values.
mphost::Patch benchPatch(const std::string& name)
{
    mphost::Patch patch = name == "demo"
                              ? mphost::parsePatch(mphost::cli::demoPatch, "demo patch", environment())
                              : mphost::loadPatch(MP_SOURCE_DIR "/examples/" + name + ".json", environment());
    patch.changeTiming(86400.0, std::nullopt, std::nullopt);
    patch.script.clear();
    patch.snapshots.clear();
    return patch;
}

void BM_OfflineBlock(benchmark::State& state, const std::string& name)
{
    bench::flushSubnormals();
    mphost::Engine engine(benchPatch(name));
    for (auto _ : state)
        benchmark::DoNotOptimize(engine.processBlock());
    bench::reportPerSample(state, engine.patch().blockSize);
}

void BM_LiveCallback(benchmark::State& state, const std::string& name)
{
    bench::flushSubnormals();
    mphost::LiveEngine live(benchPatch(name));
    const int block = live.offline().patch().blockSize;
    const int channels = live.channels();
    std::vector<float> buffer(static_cast<std::size_t>(block * channels));
    for (auto _ : state) {
        live.render(buffer.data(), block, channels);
        benchmark::DoNotOptimize(buffer.data());
    }
    bench::reportPerSample(state, block);
}

BENCHMARK_CAPTURE(BM_OfflineBlock, demo, std::string("demo"));
BENCHMARK_CAPTURE(BM_LiveCallback, demo, std::string("demo"));
BENCHMARK_CAPTURE(BM_OfflineBlock, shape_editor, std::string("shape-editor"));
BENCHMARK_CAPTURE(BM_LiveCallback, shape_editor, std::string("shape-editor"));

}  // namespace

// Prints, after the table:
//   ratio play_callback_vs_offline <live callback / offline block, the demo patch>
//   ratio play_callback_vs_offline_shape_editor <the same, examples/shape-editor.json>
int main(int argc, char** argv)
{
    bench::FigureReporter reporter(bench::FigureReporter::cpuTime);
    if (!bench::runBenchmarks(argc, argv, reporter))
        return 1;
    reporter.printQuotient("play_callback_vs_offline", "BM_LiveCallback/demo", "BM_OfflineBlock/demo");
    reporter.printQuotient("play_callback_vs_offline_shape_editor", "BM_LiveCallback/shape_editor",
                           "BM_OfflineBlock/shape_editor");
    return 0;
}
