// Solid, linear and radial gradient brushes and gradient stop collections.
#include <algorithm>

#include "drawing/drawing_objects.h"

namespace mphost::drawing {

namespace {

bool finitePoint(api::MP1_POINT point)
{
    if (std::isfinite(point.x) && std::isfinite(point.y))
        return usable(point.x) && usable(point.y);
    countNonFinite();
    return false;
}

void addStops(cairo_pattern_t* pattern, const std::vector<api::MP1_GRADIENT_STOP>& stops)
{
    for (const auto& stop : stops)
        addColorStop(pattern, stop.position, stop.color);
}

}  // namespace

const BrushSource* brushSource(const api::IMpBrush* brush)
{
    return brush ? dynamic_cast<const BrushSource*>(brush) : nullptr;
}

GradientStops::GradientStops(ComPtr<api::IMpFactory> factory, std::vector<api::MP1_GRADIENT_STOP> stops)
    : owner(std::move(factory)), stops(std::move(stops))
{
}

void SolidBrush::SetColor(const api::MP1_COLOR* newColor)
{
    if (newColor)
        color = *newColor;
}

void LinearBrush::SetStartPoint(api::MP1_POINT startPoint)
{
    if (finitePoint(startPoint))
        properties.startPoint = startPoint;
}

void LinearBrush::SetEndPoint(api::MP1_POINT endPoint)
{
    if (finitePoint(endPoint))
        properties.endPoint = endPoint;
}

void LinearBrush::applyTo(cairo_t* context) const
{
    cairo_pattern_t* pattern = cairo_pattern_create_linear(properties.startPoint.x, properties.startPoint.y,
                                                           properties.endPoint.x, properties.endPoint.y);
    addStops(pattern, stops);
    cairo_set_source(context, pattern);
    cairo_pattern_destroy(pattern);
}

void RadialBrush::SetCenter(api::MP1_POINT center)
{
    if (finitePoint(center))
        properties.center = center;
}

void RadialBrush::SetGradientOriginOffset(api::MP1_POINT offset)
{
    if (finitePoint(offset))
        properties.gradientOriginOffset = offset;
}

void RadialBrush::SetRadiusX(float radiusX)
{
    if (finitePoint({radiusX, 0.0f}))
        properties.radiusX = radiusX;
}

void RadialBrush::SetRadiusY(float radiusY)
{
    if (finitePoint({radiusY, 0.0f}))
        properties.radiusY = radiusY;
}

void RadialBrush::applyTo(cairo_t* context) const
{
    // A circle of radius rx in pattern space, stretched vertically to ry in user space.
    // Radii below a hundredth of a pixel would make the stretch singular.
    const double rx = std::max(0.01, std::fabs(static_cast<double>(properties.radiusX)));
    const double ry = std::max(0.01, std::fabs(static_cast<double>(properties.radiusY)));
    const double cx = properties.center.x;
    const double cy = properties.center.y;
    const double ox = properties.gradientOriginOffset.x;
    const double oy = properties.gradientOriginOffset.y * rx / ry;
    cairo_pattern_t* pattern = cairo_pattern_create_radial(cx + ox, cy + oy, 0.0, cx, cy, rx);
    addStops(pattern, stops);
    // The pattern matrix maps user space to pattern space.
    cairo_matrix_t matrix;
    cairo_matrix_init_translate(&matrix, cx, cy);
    cairo_matrix_scale(&matrix, 1.0, rx / ry);
    cairo_matrix_translate(&matrix, -cx, -cy);
    cairo_pattern_set_matrix(pattern, &matrix);
    cairo_set_source(context, pattern);
    cairo_pattern_destroy(pattern);
}

}  // namespace mphost::drawing
