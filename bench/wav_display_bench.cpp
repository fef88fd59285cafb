// The waveform display through the sample_modules bundle: a redraw of a 10-minute mono
// sample at 48 kHz (28.8 million frames) in an 800 x 200 display after a view change, the
// arrival of such a sample (its copy and min/max pyramid) and, for scale, one plain scan
// of every frame, which a display without the pyramid would make per redraw. Prints, in
// processor time,
//   ratio wavdisp_redraw_ms_10min_800px <milliseconds per redraw>
//   ratio wavdisp_cached_redraw_ms_800px <milliseconds per redraw from the cached bitmap>
//   ratio wavdisp_pyramid_build_ms_10min <milliseconds per sample arrival>
//   ratio wavdisp_full_scan_ms_10min <milliseconds for one min/max scan of every frame>
//   ratio wavdisp_redraw_over_full_scan <redraw time / scan time>
#include "bench_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "harness/gui_module.h"
#include "loader/bundle.h"
#include "loader/descriptions.h"

namespace {

constexpr int frames10min = 48000 * 600;
constexpr int width = 800, height = 200;

std::shared_ptr<mphost::Bundle> bundle()
{
    static const auto loaded = mphost::Bundle::load(std::string(MP_BUNDLE_DIR) + "/sample_modules.so");
    return loaded;
}

const mphost::BundleDescription& descriptions()
{
    static const auto loaded = mphost::BundleDescription::loadFile(std::string(MP_BUNDLE_DIR) + "/sample_modules.json");
    return loaded;
}

// Ten minutes of a decaying chord with noise, as bytes of a sample blob.
const mphost::Bytes& longSample()
{
    static const mphost::Bytes bytes = [] {
        std::vector<float> samples(frames10min);
        std::uint32_t state = 1;
        for (int i = 0; i < frames10min; ++i) {
            state = state * 1664525u + 1013904223u;
            const float t = static_cast<float>(i % 96000) / 48000.0f;
            samples[static_cast<std::size_t>(i)] =
                std::exp(-2.0f * t) * (0.5f * std::sin(0.0576f * static_cast<float>(i)) +
                                       0.3f * std::sin(0.0864f * static_cast<float>(i))) +
                0.05f * (static_cast<float>(state >> 8) / 16777216.0f - 0.5f);
        }
        mphost::Bytes result(samples.size() * 4);
        std::memcpy(result.data(), samples.data(), result.size());
        return result;
    }();
    return bytes;
}

std::unique_ptr<mphost::GuiModule> display()
{
    auto module = std::make_unique<mphost::GuiModule>(bundle(), *descriptions().find("WavDisp"));
    module->start();
    module->arrange({0, 0, static_cast<float>(width), static_cast<float>(height)});
    return module;
}

// A view change (alternately the whole sample and all but its first frame) drops the
// cached waveform; the redraw rebuilds it from the pyramid and draws the display.
void BM_WavDisp_Redraw(benchmark::State& state)
{
    auto module = display();
    module->setPin("Data", longSample());
    mphost::DrawingSurface surface(width, height);
    bool shifted = false;
    for (auto _ : state) {
        shifted = !shifted;
        module->setPin("Offset", shifted ? 1 : 0);
        module->setPin("Visible", shifted ? frames10min - 1 : frames10min);
        module->render(surface);
        benchmark::DoNotOptimize(surface.pixel(400, 100));
    }
}
BENCHMARK(BM_WavDisp_Redraw)->Unit(benchmark::kMillisecond);

// A redraw without a change: background and waveform come from their bitmaps.
void BM_WavDisp_CachedRedraw(benchmark::State& state)
{
    auto module = display();
    module->setPin("Data", longSample());
    mphost::DrawingSurface surface(width, height);
    module->render(surface);
    for (auto _ : state) {
        module->render(surface);
        benchmark::DoNotOptimize(surface.pixel(400, 100));
    }
}
BENCHMARK(BM_WavDisp_CachedRedraw)->Unit(benchmark::kMillisecond);

// A new 10-minute sample: the host's copy into the pin, the display's own copy and its
// pyramid.
void BM_WavDisp_SampleArrival(benchmark::State& state)
{
    auto module = display();
    const mphost::Bytes& sample = longSample();
    mphost::Bytes other = sample;
    other[0] ^= 1;  // a different value each time, so that the pin always changes
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        module->setPin("Data", flip ? other : sample);
    }
}
BENCHMARK(BM_WavDisp_SampleArrival)->Unit(benchmark::kMillisecond)->Iterations(4);

// One plain min/max scan of every frame.
void BM_Reference_FullScan(benchmark::State& state)
{
    const auto* samples = reinterpret_cast<const float*>(longSample().data());
    for (auto _ : state) {
        float lo = samples[0], hi = samples[0];
        for (int i = 1; i < frames10min; ++i) {
            lo = std::min(lo, samples[i]);
            hi = std::max(hi, samples[i]);
        }
        benchmark::DoNotOptimize(lo);
        benchmark::DoNotOptimize(hi);
    }
}
BENCHMARK(BM_Reference_FullScan)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    // Processor time per iteration in milliseconds (single-threaded work: on a shared
    // machine this is steadier than wall time).
    bench::FigureReporter ms([](const benchmark::BenchmarkReporter::Run& run) {
        return bench::FigureReporter::cpuTime(run) * 1e3 / benchmark::GetTimeUnitMultiplier(run.time_unit);
    });
    if (!bench::runBenchmarks(argc, argv, ms))
        return 1;
    const auto line = [&ms](const char* name, const char* benchmarkName) {
        if (ms.has(benchmarkName))
            bench::printRatio(name, ms[benchmarkName]);
    };
    line("wavdisp_redraw_ms_10min_800px", "BM_WavDisp_Redraw");
    line("wavdisp_cached_redraw_ms_800px", "BM_WavDisp_CachedRedraw");
    line("wavdisp_pyramid_build_ms_10min", "BM_WavDisp_SampleArrival");
    line("wavdisp_full_scan_ms_10min", "BM_Reference_FullScan");
    ms.printQuotient("wavdisp_redraw_over_full_scan", "BM_WavDisp_Redraw", "BM_Reference_FullScan");
    return 0;
}
