#include "drawing/drawing_surface.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "drawing/device_context.h"

namespace mphost {

DrawingSurface::DrawingSurface(int width, int height, ComPtr<GmpiDrawing_API::IMpFactory> factory)
    : surfaceWidth(std::clamp(width, 0, drawing::maximumBitmapSide)),
      surfaceHeight(std::clamp(height, 0, drawing::maximumBitmapSide))
{
    if (!factory)
        factory = drawing::sharedFactory();
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, surfaceWidth, surfaceHeight);
    context = new drawing::DeviceContext(std::move(factory), image);
    cairo_surface_destroy(image);  // the context keeps its own reference
}

DrawingSurface::~DrawingSurface()
{
    if (context)
        context->release();
}

DrawingSurface::DrawingSurface(DrawingSurface&& other) noexcept
    : surfaceWidth(other.surfaceWidth), surfaceHeight(other.surfaceHeight),
      context(std::exchange(other.context, nullptr))
{
}

DrawingSurface& DrawingSurface::operator=(DrawingSurface&& other) noexcept
{
    if (this != &other) {
        if (context)
            context->release();
        surfaceWidth = other.surfaceWidth;
        surfaceHeight = other.surfaceHeight;
        context = std::exchange(other.context, nullptr);
    }
    return *this;
}

GmpiDrawing_API::IMpDeviceContext* DrawingSurface::deviceContext() const
{
    return context;
}

void DrawingSurface::setOrigin(float x, float y, const GmpiDrawing_API::MP1_RECT* clip)
{
    if (context)
        context->setFrame(x, y, clip);
}

void DrawingSurface::fill(Rgba color)
{
    if (!context)
        return;
    cairo_t* cairo = cairo_create(context->target());
    cairo_set_operator(cairo, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cairo, color.r / 255.0, color.g / 255.0, color.b / 255.0, color.a / 255.0);
    cairo_paint(cairo);
    cairo_destroy(cairo);
}

bool DrawingSurface::writePng(const std::filesystem::path& path) const
{
    if (!context || surfaceWidth == 0 || surfaceHeight == 0)
        return false;
    cairo_surface_flush(context->target());
    return cairo_surface_write_to_png(context->target(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

const std::uint8_t* DrawingSurface::pixels() const
{
    if (!context || surfaceWidth == 0 || surfaceHeight == 0)
        return nullptr;
    cairo_surface_flush(context->target());
    return cairo_image_surface_get_data(context->target());
}

int DrawingSurface::stride() const
{
    return context ? cairo_image_surface_get_stride(context->target()) : 0;
}

Rgba DrawingSurface::pixel(int x, int y) const
{
    if (!context || x < 0 || y < 0 || x >= surfaceWidth || y >= surfaceHeight)
        return {};
    cairo_surface_t* image = context->target();
    cairo_surface_flush(image);
    const unsigned char* row = cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image);
    std::uint32_t value = 0;
    std::memcpy(&value, row + x * 4, 4);
    const std::uint32_t alpha = value >> 24;
    if (alpha == 0)
        return {};
    const auto straight = [alpha](std::uint32_t channel) {
        return static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (channel * 255 + alpha / 2) / alpha));
    };
    return {straight((value >> 16) & 0xFF), straight((value >> 8) & 0xFF), straight(value & 0xFF),
            static_cast<std::uint8_t>(alpha)};
}

std::uint64_t DrawingSurface::nonFiniteCoordinates() const
{
    return context ? context->nonFiniteCount() : 0;
}

}  // namespace mphost
