// Drawing pieces the oscilloscope and plotter GUI halves share: colour pins with
// defaults, the cached gradient background, and direct pixel writes (premultiplied,
// in the bitmap's channel order). User-interface thread only.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "Drawing.h"
#include "mp_sdk_gfx.h"

namespace scope_drawing {

using namespace GmpiDrawing;

// A colour pin's colour: its AARRGGBB text, or `fallback` (AARRGGBB) when the text is empty.
inline Color colourOf(const std::wstring& text, std::uint32_t fallback)
{
    return text.empty() ? Color::FromArgb(fallback) : hexStringToColor(text);
}

// The sRGB byte whose linear value is nearest `linear` (0 .. 1).
inline std::uint8_t linearToSrgbByte(float linear)
{
    const auto& table = se_sdk::gammaLookupTables();  // entries 0 .. 255: sRGB byte to linear
    if (!(linear > 0.0f))
        return 0;
    if (linear >= 1.0f)
        return 255;
    const auto above = std::lower_bound(table.begin(), table.begin() + 256, linear);
    const int index = static_cast<int>(above - table.begin());
    if (index > 0 && linear - table[index - 1] < table[index] - linear)
        return static_cast<std::uint8_t>(index - 1);
    return static_cast<std::uint8_t>(index);
}

// A colour ready for pixel writes: its channels as bytes in the bitmap's encoding.
struct PixelColour {
    float red = 0, green = 0, blue = 0;  // 0 .. 255, not premultiplied
    float alpha = 0;                     // 0 .. 1
};

// `colour` in the encoding of a bitmap of `pixelFormat` (MP1_PIXEL_FORMAT_*).
inline PixelColour pixelColour(const Color& colour, std::int32_t pixelFormat)
{
    PixelColour result;
    if (pixelFormat == GmpiDrawing_API::MP1_PIXEL_FORMAT_BGRA_SRGB) {
        result.red = linearToSrgbByte(colour.r);
        result.green = linearToSrgbByte(colour.g);
        result.blue = linearToSrgbByte(colour.b);
    } else {
        result.red = std::clamp(colour.r, 0.0f, 1.0f) * 255.0f;
        result.green = std::clamp(colour.g, 0.0f, 1.0f) * 255.0f;
        result.blue = std::clamp(colour.b, 0.0f, 1.0f) * 255.0f;
    }
    result.alpha = std::clamp(colour.a, 0.0f, 1.0f);
    return result;
}

// The premultiplied pixel of `colour` at `alpha` (0 .. 1), packed so that its bytes in
// memory are B, G, R, A: the order of both pixel formats the drawing layer offers.
inline std::uint32_t argb2Native_BGRA(const PixelColour& colour, float alpha)
{
    alpha = std::clamp(alpha, 0.0f, 1.0f);
    const auto channel = [alpha](float value) { return static_cast<std::uint32_t>(value * alpha + 0.5f); };
    const std::uint32_t a = static_cast<std::uint32_t>(alpha * 255.0f + 0.5f);
    return (a << 24) | (channel(colour.red) << 16) | (channel(colour.green) << 8) | channel(colour.blue);
}

inline void writePixel(std::uint8_t* row, int column, std::uint32_t pixel)
{
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(pixel), static_cast<std::uint8_t>(pixel >> 8),
                                   static_cast<std::uint8_t>(pixel >> 16), static_cast<std::uint8_t>(pixel >> 24)};
    std::memcpy(row + 4 * column, bytes, 4);
}

// A bitmap of width x height drawn by `draw(Graphics_base&)` onto transparency; null when
// the context cannot make one.
template <class Draw>
Bitmap drawLayer(Graphics& g, int width, int height, Draw draw)
{
    BitmapRenderTarget layer = g.CreateCompatibleRenderTarget(Size(static_cast<float>(width), static_cast<float>(height)));
    if (!layer)
        return Bitmap();
    layer.BeginDraw();
    layer.Clear(Color(0.0f, 0.0f, 0.0f, 0.0f));
    draw(static_cast<Graphics_base&>(layer));
    layer.EndDraw();
    return layer.GetBitmap();
}

// A gradient from `top` at the top edge to `bottom` at the bottom edge, when either shows.
inline void drawGradient(Graphics_base& g, int width, int height, const Color& top, const Color& bottom)
{
    if (top.a <= 0.0f && bottom.a <= 0.0f)
        return;
    auto gradient = g.CreateLinearGradientBrush(top, bottom, Point(0.0f, 0.0f), Point(0.0f, height - 1.0f));
    g.FillRectangle(Rect(0.0f, 0.0f, static_cast<float>(width), static_cast<float>(height)), gradient);
}

// One-pixel lines on pixel centres.
inline void horizontalLine(Graphics_base& g, float y, int width, const Brush& brush)
{
    const float centre = std::floor(y) + 0.5f;
    g.DrawLine(Point(0.0f, centre), Point(static_cast<float>(width), centre), brush);
}
inline void verticalLine(Graphics_base& g, float x, int height, const Brush& brush)
{
    const float centre = std::floor(x) + 0.5f;
    g.DrawLine(Point(centre, 0.0f), Point(centre, static_cast<float>(height)), brush);
}

// The module's size in whole pixels (0 when it has none worth drawing, or an absurd one).
inline bool pixelSize(const Rect& rect, int& width, int& height)
{
    const float w = rect.getWidth();
    const float h = rect.getHeight();
    if (!(w >= 1.0f && h >= 1.0f && w <= 16384.0f && h <= 16384.0f))
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

// The background and grid both scope displays draw under their trace, cached as bitmaps
// of the module's size and rebuilt when dropped.
struct ScopeBackdrop {
    enum Role { backgroundTop, backgroundBottom, trace, grid, axis, roleCount };
    static constexpr std::uint32_t defaults[roleCount] = {0xFF000000, 0xFF708080, 0xFF00FFB0, 0x40000000, 0xC0604040};

    Color colours[roleCount];
    float xRange = 6.0f;  // the half width of the display, in units of 0.1 (10 x value)
    float yRange = 6.0f;
    Bitmap background;
    Bitmap gridLines;
    int cachedWidth = 0;
    int cachedHeight = 0;

    ScopeBackdrop()
    {
        for (int role = 0; role < roleCount; ++role)
            colours[role] = Color::FromArgb(defaults[role]);
    }

    // A range value v with 0 < v <= 20 replaces `range`; true when it did.
    static bool takeRange(float& range, float v)
    {
        if (!(v > 0.0f && v <= 20.0f))
            return false;
        range = v;
        return true;
    }

    // Drops every cached bitmap made for another size; true when the size changed.
    bool fitTo(int width, int height)
    {
        if (width == cachedWidth && height == cachedHeight)
            return false;
        cachedWidth = width;
        cachedHeight = height;
        background = Bitmap();
        gridLines = Bitmap();
        return true;
    }

    void draw(Graphics& g, int width, int height)
    {
        const Color& top = colours[backgroundTop];
        const Color& bottom = colours[backgroundBottom];
        if (top.a > 0.0f || bottom.a > 0.0f) {
            if (!background)
                background = drawLayer(g, width, height,
                                       [&](Graphics_base& layer) { drawGradient(layer, width, height, top, bottom); });
            g.DrawBitmap(background, Point(0.0f, 0.0f));
        }
        if (colours[grid].a > 0.0f || colours[axis].a > 0.0f) {
            if (!gridLines)
                gridLines = drawLayer(g, width, height, [&](Graphics_base& layer) { drawGrid(layer, width, height); });
            g.DrawBitmap(gridLines, Point(0.0f, 0.0f));
        }
    }

private:
    void drawGrid(Graphics_base& g, int width, int height)
    {
        const float W = static_cast<float>(width), H = static_cast<float>(height);
        auto axisBrush = g.CreateSolidColorBrush(colours[axis].a > 0.0f ? colours[axis] : colours[grid]);
        horizontalLine(g, H * 0.5f, width, axisBrush);
        verticalLine(g, W * 0.5f, height, axisBrush);
        if (colours[grid].a <= 0.0f)
            return;
        auto gridBrush = g.CreateSolidColorBrush(colours[grid]);
        for (int a = static_cast<int>(std::floor(yRange)); a >= 1; --a) {
            horizontalLine(g, (1.0f + a / yRange) * H * 0.5f, width, gridBrush);
            horizontalLine(g, (1.0f - a / yRange) * H * 0.5f, width, gridBrush);
        }
        for (int c = static_cast<int>(std::floor(xRange)); c >= 1; --c) {
            verticalLine(g, (1.0f + c / xRange) * W * 0.5f, height, gridBrush);
            verticalLine(g, (1.0f - c / xRange) * W * 0.5f, height, gridBrush);
        }
    }
};

}  // namespace scope_drawing
