// The cairo drawing backend: the two operations a busy panel repeats every frame, in
// microseconds per operation.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "drawing/drawing_surface.h"

namespace {

namespace api = GmpiDrawing_API;
using mphost::ComPtr;

template <class Interface> Interface** out(ComPtr<Interface>& pointer)
{
    return reinterpret_cast<Interface**>(pointer.receive());
}

// Fills a 400 x 300 surface with a two-stop linear gradient.
void gradientFill(benchmark::State& state)
{
    mphost::DrawingSurface surface(400, 300);
    auto* context = surface.deviceContext();
    const api::MP1_GRADIENT_STOP stops[] = {{0, {1, 0, 0, 1}}, {1, {0, 0, 1, 1}}};
    ComPtr<api::IMpGradientStopCollection> collection;
    context->CreateGradientStopCollection(stops, 2, out(collection));
    const api::MP1_LINEAR_GRADIENT_BRUSH_PROPERTIES line{{0, 0}, {400, 300}};
    ComPtr<api::IMpLinearGradientBrush> brush;
    context->CreateLinearGradientBrush(&line, collection.get(), out(brush));
    const api::MP1_RECT all{0, 0, 400, 300};
    for (auto _ : state) {
        context->FillRectangle(&all, brush.get());
        benchmark::DoNotOptimize(surface.pixel(200, 150));
    }
}
BENCHMARK(gradientFill)->Unit(benchmark::kMicrosecond);

// Strokes a 400-point polyline (a sine across the surface), 1.5 pixels wide.
void polylineStroke(benchmark::State& state)
{
    mphost::DrawingSurface surface(400, 300);
    auto* context = surface.deviceContext();
    const api::MP1_COLOR white{1, 1, 1, 1};
    ComPtr<api::IMpSolidColorBrush> brush;
    context->CreateSolidColorBrush(&white, out(brush));
    std::vector<api::MP1_POINT> points(400);
    for (std::size_t i = 0; i < points.size(); ++i)
        points[i] = {static_cast<float>(i), 150.0f + 120.0f * std::sin(static_cast<float>(i) * 0.05f)};
    for (auto _ : state) {
        context->DrawPolyline(points.data(), static_cast<std::uint32_t>(points.size()), brush.get(), 1.5f);
        benchmark::DoNotOptimize(surface.pixel(200, 150));
    }
}
BENCHMARK(polylineStroke)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
