// Cost of the shape modules through the loaded shape_modules bundle, 64-sample blocks:
// the oscillator reading its table by interpolation (5 Hz, under one entry a sample)
// and by the box filter (100 Hz and 5 kHz), the stereo waveshaper and the envelope;
// and the table build of a 100-node shape in each interpolation mode.
#include <memory>
#include <string>

#include "ShapeInterpolation.h"
#include "ShapeString.h"
#include "bench_support.h"
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

void runBlocks(benchmark::State& state, mphost::DspModule& module, const char* output)
{
    for (int i = 0; i < 4; ++i)
        module.process(64);
    for (auto _ : state) {
        module.process(64);
        benchmark::DoNotOptimize(module.output(output).data());
    }
    bench::reportPerSample(state, 64);
}

void BM_ShapeOsc(benchmark::State& state)
{
    auto module = makeModule("KV_ShapeOsc");
    module->queueValue("Shape", hundredNodes());
    module->queueValue("FreqMode", 0);
    module->fillInput("Pitch", static_cast<float>(state.range(0)) / 10.0f);  // Hz / 10
    runBlocks(state, *module, "Out");
}
BENCHMARK(BM_ShapeOsc)->Arg(5)->Arg(100)->Arg(5000)->ArgName("Hz");

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
    runBlocks(state, *module, "OutL");
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
    runBlocks(state, *module, "Out");
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

BENCHMARK_MAIN();
