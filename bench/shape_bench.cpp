// Cost of the shape modules through the loaded shape_modules bundle, 64-sample blocks:
// the oscillator reading its table by interpolation (5 Hz, under one entry a sample)
// and by the box filter (100 Hz and 5 kHz), with pitch and phase modulation or feedback
// streaming, the pulser, the stereo waveshaper and the envelope;
// and the table build of a 100-node shape in each interpolation mode.
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ShapeInterpolation.h"
#include "ShapeString.h"
#include "bench_modules.h"
#include "drawing/drawing_surface.h"
#include "harness/dsp_module.h"
#include "harness/gui_module.h"
#include "loader/bundle.h"
#include "loader/descriptions.h"

namespace {

const std::string bundlePath = std::string(MP_BUNDLE_DIR) + "/shape_modules.so";

struct LoadedBundle {
    std::shared_ptr<mphost::Bundle> bundle;
    mphost::BundleDescription descriptions;
};

const LoadedBundle& shapeBundle()
{
    // Created after the library loaded, so released before its statics at exit.
    static const LoadedBundle loaded{
        mphost::Bundle::load(bundlePath),
        mphost::BundleDescription::loadFile(mphost::BundleDescription::pathBeside(bundlePath))};
    return loaded;
}

std::unique_ptr<mphost::DspModule> makeModule(const std::string& id)
{
    const LoadedBundle& loaded = shapeBundle();
    auto module = std::make_unique<mphost::DspModule>(loaded.bundle, *loaded.descriptions.find(id));
    module->start();
    return module;
}

// A curved 100-node shape string.
std::wstring hundredNodes()
{
    Node nodes[maxShapeNodes];
    for (int i = 0; i < maxShapeNodes; ++i) {
        const float x = -5.0f + 10.0f * static_cast<float>(i) / (maxShapeNodes - 1);
        nodes[i] = {x, 4.0f * std::sin(x * 1.7f)};
    }
    ShapeWriter writer;
    return writer.write(nodes, maxShapeNodes);
}

// A few blocks first, so that the tables are built and the routine chosen.
void runBlocks(benchmark::State& state, mphost::DspModule& module)
{
    for (int i = 0; i < 4; ++i)
        module.process(64);
    bench::runBlocks(state, module, 64);
}

void BM_ShapeOsc(benchmark::State& state)
{
    auto module = makeModule("KV_ShapeOsc");
    module->queueValue("Shape", hundredNodes());
    module->queueValue("FreqMode", 0);
    module->fillInput("Pitch", static_cast<float>(state.range(0)) / 10.0f);  // Hz / 10
    runBlocks(state, *module);
}
BENCHMARK(BM_ShapeOsc)->Arg(5)->Arg(100)->Arg(5000)->ArgName("Hz");

// Streaming inputs filled with a different signal each block (16 blocks, cycled).
struct StreamedInput {
    const char* pin;
    float base;
    float depth;
};

void runModulated(benchmark::State& state, mphost::DspModule& module, const std::vector<StreamedInput>& inputs)
{
    constexpr int blocks = 16;
    std::vector<std::vector<float>> signals;
    for (std::size_t p = 0; p < inputs.size(); ++p) {
        module.queueStreaming(inputs[p].pin, true);
        std::vector<float> values(blocks * 64);
        for (int n = 0; n < blocks * 64; ++n)
            values[static_cast<std::size_t>(n)] = inputs[p].base + inputs[p].depth * bench::signal(n, static_cast<int>(p));
        signals.push_back(std::move(values));
    }
    int block = 0;
    for (auto _ : state) {
        for (std::size_t p = 0; p < inputs.size(); ++p)
            std::copy_n(signals[p].begin() + block * 64, 64, module.input(inputs[p].pin).begin());
        block = (block + 1) % blocks;
        module.process(64);
        benchmark::DoNotOptimize(module.output("Out").data());
    }
    bench::reportPerSample(state, 64);
}

// 100 Hz with vibrato (+-10 %) and phase modulation (+-0.1 cycle), both streaming.
void BM_ShapeOscModulated(benchmark::State& state)
{
    auto module = makeModule("KV_ShapeOsc");
    module->queueValue("Shape", hundredNodes());
    module->queueValue("FreqMode", 0);
    runModulated(state, *module, {{"Pitch", 10.0f, 1.0f}, {"PhaseMod", 0.0f, 0.1f}});
}
BENCHMARK(BM_ShapeOscModulated);

// 100 Hz with streaming feedback (+-0.3): each sample waits for the one before.
void BM_ShapeOscFeedback(benchmark::State& state)
{
    auto module = makeModule("KV_ShapeOsc");
    module->queueValue("Shape", hundredNodes());
    module->queueValue("FreqMode", 0);
    module->fillInput("Pitch", 10.0f);
    runModulated(state, *module, {{"Feedback", 0.0f, 0.3f}});
}
BENCHMARK(BM_ShapeOscFeedback);

// A pulse of 10 000 s (never ending while measured), static duration, and the same with
// the duration streaming.
void BM_ShapePulser(benchmark::State& state)
{
    auto module = makeModule("KV_ShapePulser");
    module->queueValue("Shape", hundredNodes());
    module->fillInput("Duration", 1.0e6f);
    runBlocks(state, *module);
}
BENCHMARK(BM_ShapePulser);

void BM_ShapePulserModulated(benchmark::State& state)
{
    auto module = makeModule("KV_ShapePulser");
    module->queueValue("Shape", hundredNodes());
    runModulated(state, *module, {{"Duration", 1.0e6f, 1.0e5f}});
}
BENCHMARK(BM_ShapePulserModulated);

void BM_WaveshaperStereo(benchmark::State& state)
{
    auto module = makeModule("KV_Waveshaper");
    module->queueValue("Shape", hundredNodes());
    module->queueStreaming("InL", true);
    module->queueStreaming("InR", true);
    auto left = module->input("InL");
    auto right = module->input("InR");
    for (int i = 0; i < 64; ++i) {
        left[i] = -0.6f + 1.2f * static_cast<float>(i) / 63.0f;
        right[i] = -left[i];
    }
    runBlocks(state, *module);
}
BENCHMARK(BM_WaveshaperStereo);

void BM_ShapeEnv(benchmark::State& state)
{
    auto module = makeModule("KV_ShapeEnv");
    module->queueValue("Shape", hundredNodes());
    module->queueValue("SustainNode", -1);
    module->queueValue("Duration", 1.0e7f);  // long enough never to end while measured
    module->queueStreaming("Gate", true);
    module->queueStreaming("In", true);
    module->fillInput("Gate", 1.0f);
    module->fillInput("In", 0.5f);
    runBlocks(state, *module);
}
BENCHMARK(BM_ShapeEnv);

// The table build of a module: 100 nodes on the 4096-entry grid, values clamped.
void BM_FillLUT(benchmark::State& state)
{
    Node nodes[maxShapeNodes];
    const int count = parseNodes(ShapeParserForm::strict, hundredNodes(), 0.0f, 1.0f, -1.0f, 1.0f, nodes);
    toTableGrid(nodes, count);
    static float table[shapeTableSize];
    const int mode = static_cast<int>(state.range(0));
    for (auto _ : state) {
        interpolateSegments(nodes, count, mode, shapeTableSize, [](int index, float value) {
            table[index] = value > 1.0f ? 1.0f : (value >= -1.0f ? value : -1.0f);
        });
        benchmark::DoNotOptimize(table);
        benchmark::ClobberMemory();
    }
    state.counters["us/table"] = benchmark::Counter(static_cast<double>(state.iterations()) * 1e-6,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FillLUT)->Arg(interpolationLinear)->Arg(interpolationSpline)->Arg(interpolationLagrange)->ArgName("mode");

// The shape editor drawing a 100-node spline shape at 400 x 300: with both cached
// layers rebuilt each frame (what a drag costs) and from the cached layers.
std::unique_ptr<mphost::GuiModule> makeEditor()
{
    const LoadedBundle& loaded = shapeBundle();
    auto editor = std::make_unique<mphost::GuiModule>(loaded.bundle, *loaded.descriptions.find("KV_ShapeEditor4"));
    editor->start();
    editor->arrange({0.0f, 0.0f, 400.0f, 300.0f});
    editor->setPin("Shape", hundredNodes());
    editor->setPin("Interpolation", std::int32_t{interpolationSpline});
    editor->setPin("ColorDiagonal", std::wstring(L"FF204040"));
    return editor;
}

void reportMilliseconds(benchmark::State& state)
{
    state.counters["ms/frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * 1e-3,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ShapeEditorRenderRebuild(benchmark::State& state)
{
    auto editor = makeEditor();
    mphost::DrawingSurface surface(400, 300);
    float baseline = 0.0f;
    for (auto _ : state) {
        baseline = baseline == 0.0f ? 0.5f : 0.0f;
        editor->setPin("Baseline", baseline);  // releases both layers
        editor->render(surface);
    }
    reportMilliseconds(state);
}
BENCHMARK(BM_ShapeEditorRenderRebuild)->Unit(benchmark::kMillisecond);

// A drag: a new shape each frame releases the curve layer only.
void BM_ShapeEditorRenderDrag(benchmark::State& state)
{
    auto editor = makeEditor();
    mphost::DrawingSurface surface(400, 300);
    const std::wstring shapes[2] = {hundredNodes(), L"(-5,-5)(0,3)(5,5)"};
    int frame = 0;
    editor->render(surface);
    for (auto _ : state) {
        editor->setPin("Shape", shapes[++frame % 2]);
        editor->render(surface);
    }
    reportMilliseconds(state);
}
BENCHMARK(BM_ShapeEditorRenderDrag)->Unit(benchmark::kMillisecond);

void BM_ShapeEditorRenderCached(benchmark::State& state)
{
    auto editor = makeEditor();
    mphost::DrawingSurface surface(400, 300);
    editor->render(surface);
    for (auto _ : state)
        editor->render(surface);
    reportMilliseconds(state);
}
BENCHMARK(BM_ShapeEditorRenderCached)->Unit(benchmark::kMillisecond);

}  // namespace

// Prints, after the table, multiples of real time at 48 kHz on one core:
//   ratio shapeosc_static_realtime <KV_ShapeOsc at 100 Hz, static inputs (box filter)>
//   ratio shapeosc_modulated_realtime <100 Hz, pitch and phase modulation streaming>
//   ratio shapeosc_feedback_realtime <100 Hz, feedback streaming>
//   ratio shapeosc_<n>hz_realtime <static inputs, n Hz>
//   ratio shapepulser_static_realtime, shapepulser_modulated_realtime <duration static / streaming>
int main(int argc, char** argv)
{
    bench::FigureReporter ns(bench::FigureReporter::counter("ns/sample"));
    if (!bench::runBenchmarks(argc, argv, ns))
        return 1;
    ns.printRealtime("shapeosc_static_realtime", "BM_ShapeOsc/Hz:100");
    ns.printRealtime("shapeosc_modulated_realtime", "BM_ShapeOscModulated");
    ns.printRealtime("shapeosc_feedback_realtime", "BM_ShapeOscFeedback");
    for (const int hz : {5, 100, 5000})
        ns.printRealtime("shapeosc_" + std::to_string(hz) + "hz_realtime", "BM_ShapeOsc/Hz:" + std::to_string(hz));
    ns.printRealtime("shapepulser_static_realtime", "BM_ShapePulser");
    ns.printRealtime("shapepulser_modulated_realtime", "BM_ShapePulserModulated");
    return 0;
}
