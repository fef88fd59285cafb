#include "docs/chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/com_ptr.h"
#include "drawing/drawing_surface.h"

namespace mphost::docs {

namespace {

using namespace GmpiDrawing_API;

// Series colours (linear light), chosen to stay apart for readers with colour blindness.
constexpr MP1_COLOR palette[] = {{0.0f, 0.18f, 0.55f, 1.0f}, {0.85f, 0.25f, 0.0f, 1.0f}, {0.0f, 0.45f, 0.1f, 1.0f},
                                 {0.45f, 0.0f, 0.45f, 1.0f}};

struct Range {
    double low = 0;
    double high = 1;
};

// Round numbers for tick marks covering [low, high]: about `count` of them.
std::vector<double> linearTicks(Range range, int count)
{
    const double raw = (range.high - range.low) / count;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = magnitude;
    for (double factor : {1.0, 2.0, 5.0, 10.0})
        if (magnitude * factor >= raw) {
            step = magnitude * factor;
            break;
        }
    std::vector<double> ticks;
    for (double t = std::ceil(range.low / step) * step; t <= range.high + step * 1e-9; t += step)
        ticks.push_back(std::abs(t) < step * 1e-9 ? 0.0 : t);
    return ticks;
}

std::string tickText(double value, bool logX)
{
    char text[32];
    if (logX && value >= 1000)
        std::snprintf(text, sizeof text, "%gk", value / 1000);
    else
        std::snprintf(text, sizeof text, "%g", value);
    return text;
}

class Painter {
public:
    Painter(DrawingSurface& surface) : context(surface.deviceContext()), factory(drawing::sharedFactory())
    {
        factory->CreateTextFormat("DejaVu Sans", nullptr, MP1_FONT_WEIGHT_NORMAL, MP1_FONT_STYLE_NORMAL,
                                  MP1_FONT_STRETCH_NORMAL, 11.0f, nullptr,
                                  reinterpret_cast<IMpTextFormat**>(smallText.receive()));
        factory->CreateTextFormat("DejaVu Sans", nullptr, MP1_FONT_WEIGHT_BOLD, MP1_FONT_STYLE_NORMAL,
                                  MP1_FONT_STRETCH_NORMAL, 13.0f, nullptr,
                                  reinterpret_cast<IMpTextFormat**>(titleText.receive()));
    }

    ComPtr<IMpSolidColorBrush> brush(MP1_COLOR color)
    {
        ComPtr<IMpSolidColorBrush> result;
        context->CreateSolidColorBrush(&color, reinterpret_cast<IMpSolidColorBrush**>(result.receive()));
        return result;
    }

    void text(const std::string& text, MP1_RECT rect, int alignment, bool title = false)
    {
        IMpTextFormat* format = title ? titleText.get() : smallText.get();
        if (!format)
            return;
        format->SetTextAlignment(alignment);
        format->SetParagraphAlignment(MP1_PARAGRAPH_ALIGNMENT_CENTER);
        format->SetWordWrapping(MP1_WORD_WRAPPING_NO_WRAP);
        const auto ink = brush({0.02f, 0.02f, 0.02f, 1.0f});
        context->DrawTextU(text.c_str(), static_cast<std::int32_t>(text.size()), format, &rect, ink.get(),
                           MP1_DRAW_TEXT_OPTIONS_NONE);
    }

    IMpDeviceContext* context;
    ComPtr<IMpFactory> factory;
    ComPtr<IMpTextFormat> smallText;
    ComPtr<IMpTextFormat> titleText;
};

}  // namespace

bool writeChartPng(const Chart& chart, const std::filesystem::path& path, int width, int height)
{
    const auto axisX = [&](double x) { return chart.logX ? std::log10(x) : x; };
    Range xs{1e300, -1e300};
    Range ys{1e300, -1e300};
    for (const Series& series : chart.series)
        for (const auto& [x, y] : series.points) {
            if (!std::isfinite(x) || !std::isfinite(y) || (chart.logX && x <= 0))
                continue;
            xs.low = std::min(xs.low, axisX(x));
            xs.high = std::max(xs.high, axisX(x));
            ys.low = std::min(ys.low, y);
            ys.high = std::max(ys.high, y);
        }
    if (xs.low > xs.high)
        xs = {0, 1};
    if (xs.high - xs.low < 1e-12)
        xs = {xs.low - 0.5, xs.high + 0.5};
    if (chart.yRange)
        ys = {chart.yRange->first, chart.yRange->second};
    else if (ys.low > ys.high)
        ys = {-1, 1};
    else {
        const double pad = std::max((ys.high - ys.low) * 0.08, 1e-3);
        ys = {ys.low - pad, ys.high + pad};
    }

    DrawingSurface surface(width, height);
    surface.fill({255, 255, 255, 255});
    Painter paint(surface);
    const MP1_RECT plot{58.0f, 28.0f, width - 12.0f, height - 40.0f};
    const auto px = [&](double x) {
        return static_cast<float>(plot.left + (axisX(x) - xs.low) / (xs.high - xs.low) * (plot.right - plot.left));
    };
    const auto py = [&](double y) {
        const double clamped = std::clamp(y, ys.low, ys.high);
        return static_cast<float>(plot.bottom - (clamped - ys.low) / (ys.high - ys.low) * (plot.bottom - plot.top));
    };

    const auto grid = paint.brush({0.8f, 0.8f, 0.8f, 1.0f});
    const auto frame = paint.brush({0.1f, 0.1f, 0.1f, 1.0f});
    std::vector<double> xTicks;
    if (chart.logX)
        for (double decade = std::floor(xs.low); decade <= xs.high + 1e-9; ++decade)
            for (double m : {1.0, 2.0, 5.0})
                if (const double v = m * std::pow(10.0, decade); std::log10(v) >= xs.low - 1e-9 && std::log10(v) <= xs.high + 1e-9)
                    xTicks.push_back(v);
    if (!chart.logX)
        xTicks = linearTicks(xs, 8);
    for (double x : xTicks) {
        const float at = px(x);
        paint.context->DrawLine({at, plot.top}, {at, plot.bottom}, grid.get(), 1.0f);
        paint.text(tickText(x, chart.logX), {at - 30, plot.bottom + 2, at + 30, plot.bottom + 16},
                   MP1_TEXT_ALIGNMENT_CENTER);
    }
    for (double y : linearTicks(ys, 5)) {
        const float at = py(y);
        paint.context->DrawLine({plot.left, at}, {plot.right, at}, grid.get(), 1.0f);
        paint.text(tickText(y, false), {0, at - 8, plot.left - 4, at + 8}, MP1_TEXT_ALIGNMENT_TRAILING);
    }
    paint.context->DrawRectangle(&plot, frame.get(), 1.0f);

    paint.context->PushAxisAlignedClip(&plot);
    for (std::size_t s = 0; s < chart.series.size(); ++s) {
        const auto ink = paint.brush(palette[s % std::size(palette)]);
        std::vector<MP1_POINT> line;
        const auto flush = [&] {
            if (line.size() >= 2)
                paint.context->DrawPolyline(line.data(), static_cast<std::uint32_t>(line.size()), ink.get(), 1.5f);
            line.clear();
        };
        for (const auto& [x, y] : chart.series[s].points) {
            if (!std::isfinite(x) || !std::isfinite(y) || (chart.logX && x <= 0)) {
                flush();
                continue;
            }
            line.push_back({px(x), py(y)});
        }
        flush();
    }
    paint.context->PopAxisAlignedClip();

    paint.text(chart.title, {plot.left + 90, 4, plot.right - 90, 24}, MP1_TEXT_ALIGNMENT_CENTER, true);
    paint.text(chart.xLabel, {plot.left, height - 20.0f, plot.right, height - 4.0f}, MP1_TEXT_ALIGNMENT_CENTER);
    paint.text(chart.yLabel, {4, 4, plot.left + 86, 24}, MP1_TEXT_ALIGNMENT_LEADING);
    // Legend, top right, one line per labelled series.
    float legendY = plot.top + 4;
    for (std::size_t s = 0; s < chart.series.size(); ++s) {
        if (chart.series[s].label.empty())
            continue;
        const auto ink = paint.brush(palette[s % std::size(palette)]);
        paint.context->DrawLine({plot.right - 150, legendY + 7}, {plot.right - 130, legendY + 7}, ink.get(), 2.0f);
        paint.text(chart.series[s].label, {plot.right - 126, legendY, plot.right - 4, legendY + 14},
                   MP1_TEXT_ALIGNMENT_LEADING);
        legendY += 15;
    }
    return surface.writePng(path);
}

}  // namespace mphost::docs
