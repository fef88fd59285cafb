#include "drawing/device_context.h"

#include <algorithm>
#include <cstring>

namespace mphost::drawing {

namespace {

// Control-point distance of a quarter-circle cubic Bezier, as a fraction of the radius.
constexpr double kappa = 0.5522847498307936;

// Bounding box of `rect` mapped through `matrix`.
api::MP1_RECT mapBounds(const cairo_matrix_t& matrix, const api::MP1_RECT& rect)
{
    double xs[4] = {rect.left, rect.right, rect.right, rect.left};
    double ys[4] = {rect.top, rect.top, rect.bottom, rect.bottom};
    for (int i = 0; i < 4; ++i)
        cairo_matrix_transform_point(&matrix, &xs[i], &ys[i]);
    return {static_cast<float>(*std::min_element(xs, xs + 4)), static_cast<float>(*std::min_element(ys, ys + 4)),
            static_cast<float>(*std::max_element(xs, xs + 4)), static_cast<float>(*std::max_element(ys, ys + 4))};
}

api::MP1_RECT intersect(const api::MP1_RECT& a, const api::MP1_RECT& b)
{
    api::MP1_RECT result{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                         std::min(a.bottom, b.bottom)};
    result.right = std::max(result.right, result.left);
    result.bottom = std::max(result.bottom, result.top);
    return result;
}

// Largest number of gradient stops or polyline points taken in one call.
constexpr std::uint32_t maximumStops = 1u << 16;
constexpr std::uint32_t maximumPoints = 1u << 24;

}  // namespace

DeviceContext::DeviceContext(ComPtr<api::IMpFactory> factory, cairo_surface_t* target)
    : owner(std::move(factory)), surface(cairo_surface_reference(target)), context(cairo_create(target))
{
}

DeviceContext::~DeviceContext()
{
    cairo_destroy(context);
    cairo_surface_destroy(surface);
}

void DeviceContext::setFrame(double x, double y, const api::MP1_RECT* deviceClip)
{
    originX = std::isfinite(x) ? x : 0.0;
    originY = std::isfinite(y) ? y : 0.0;
    hasFrameClip = deviceClip != nullptr;
    if (deviceClip)
        frameClip = *deviceClip;
    clipStack.clear();
    transform = {1, 0, 0, 1, 0, 0};
    transformInvertible = true;
    applyMatrix();
    applyClip();
}

bool DeviceContext::usableValues(std::initializer_list<double> values)
{
    for (const double value : values) {
        if (!std::isfinite(value)) {
            ++nonFinite;
            countNonFinite();
            return false;
        }
    }
    for (const double value : values)
        if (std::fabs(value) > maximumCoordinate)
            return false;
    return true;
}

bool DeviceContext::accept(std::initializer_list<double> values)
{
    return usableValues(values) && transformInvertible;
}

void DeviceContext::applyMatrix()
{
    cairo_identity_matrix(context);
    cairo_translate(context, originX, originY);
    if (transformInvertible) {
        const cairo_matrix_t matrix = toCairo(transform);
        cairo_transform(context, &matrix);
    }
}

void DeviceContext::applyClip()
{
    cairo_reset_clip(context);
    const api::MP1_RECT* clip = !clipStack.empty() ? &clipStack.back() : hasFrameClip ? &frameClip : nullptr;
    if (!clip)
        return;
    cairo_identity_matrix(context);
    cairo_new_path(context);
    cairo_rectangle(context, clip->left, clip->top, std::max(0.0f, clip->right - clip->left),
                    std::max(0.0f, clip->bottom - clip->top));
    cairo_clip(context);
    applyMatrix();
}

void DeviceContext::recover()
{
    if (cairo_status(context) == CAIRO_STATUS_SUCCESS)
        return;
    cairo_destroy(context);
    context = cairo_create(surface);
    applyMatrix();
    applyClip();
}

void DeviceContext::finish(const api::IMpBrush* brush, bool stroke, double strokeWidth)
{
    const BrushSource* source = brushSource(brush);
    if (source) {
        source->applyTo(context);
        if (stroke) {
            cairo_set_line_width(context, strokeWidth);
            cairo_stroke(context);
        } else {
            cairo_fill(context);
        }
    }
    cairo_new_path(context);
    cairo_set_fill_rule(context, CAIRO_FILL_RULE_WINDING);
    recover();
}

void DeviceContext::DrawRectangle(const api::MP1_RECT* rect, const api::IMpBrush* brush, float strokeWidth)
{
    if (!rect || !accept({rect->left, rect->top, rect->right, rect->bottom, strokeWidth}) || strokeWidth < 0.0f)
        return;
    cairo_rectangle(context, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    finish(brush, true, strokeWidth);
}

void DeviceContext::FillRectangle(const api::MP1_RECT* rect, const api::IMpBrush* brush)
{
    if (!rect || !accept({rect->left, rect->top, rect->right, rect->bottom}))
        return;
    cairo_rectangle(context, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    finish(brush, false, 0.0);
}

std::int32_t DeviceContext::CreateGradientStopCollection(const api::MP1_GRADIENT_STOP* gradientStops,
                                                         std::uint32_t gradientStopsCount,
                                                         api::IMpGradientStopCollection** collection)
{
    if (!collection)
        return gmpi::MP_FAIL;
    *collection = nullptr;
    if ((!gradientStops && gradientStopsCount > 0) || gradientStopsCount > maximumStops)
        return gmpi::MP_FAIL;
    std::vector<api::MP1_GRADIENT_STOP> stops;
    for (std::uint32_t i = 0; i < gradientStopsCount; ++i) {
        api::MP1_GRADIENT_STOP stop = gradientStops[i];
        if (!std::isfinite(stop.position)) {
            ++nonFinite;
            countNonFinite();
            continue;
        }
        stop.position = std::clamp(stop.position, 0.0f, 1.0f);
        stops.push_back(stop);
    }
    std::stable_sort(stops.begin(), stops.end(), [](const auto& a, const auto& b) { return a.position < b.position; });
    return handOut(ComPtr<GradientStops>::adopt(new GradientStops(owner, std::move(stops))), collection);
}

namespace {
const GradientStops* stopsOf(const api::IMpGradientStopCollection* collection)
{
    return collection ? dynamic_cast<const GradientStops*>(collection) : nullptr;
}
}  // namespace

std::int32_t DeviceContext::CreateLinearGradientBrush(const api::MP1_LINEAR_GRADIENT_BRUSH_PROPERTIES* properties,
                                                      const api::IMpGradientStopCollection* collection,
                                                      api::IMpLinearGradientBrush** brush)
{
    if (!brush)
        return gmpi::MP_FAIL;
    *brush = nullptr;
    const GradientStops* stops = stopsOf(collection);
    if (!properties || !stops)
        return gmpi::MP_FAIL;
    const auto& p = *properties;
    if (!usableValues({p.startPoint.x, p.startPoint.y, p.endPoint.x, p.endPoint.y}))
        return gmpi::MP_FAIL;
    return handOut(ComPtr<LinearBrush>::adopt(new LinearBrush(owner, p, stops->list())), brush);
}

std::int32_t DeviceContext::CreateRadialGradientBrush(const api::MP1_RADIAL_GRADIENT_BRUSH_PROPERTIES* properties,
                                                      const api::IMpGradientStopCollection* collection,
                                                      api::IMpRadialGradientBrush** brush)
{
    if (!brush)
        return gmpi::MP_FAIL;
    *brush = nullptr;
    const GradientStops* stops = stopsOf(collection);
    if (!properties || !stops)
        return gmpi::MP_FAIL;
    const auto& p = *properties;
    if (!usableValues({p.center.x, p.center.y, p.gradientOriginOffset.x, p.gradientOriginOffset.y, p.radiusX, p.radiusY}))
        return gmpi::MP_FAIL;
    return handOut(ComPtr<RadialBrush>::adopt(new RadialBrush(owner, p, stops->list())), brush);
}

std::int32_t DeviceContext::CreateSolidColorBrush(const api::MP1_COLOR* color, api::IMpSolidColorBrush** brush)
{
    if (!brush)
        return gmpi::MP_FAIL;
    *brush = nullptr;
    if (!color)
        return gmpi::MP_FAIL;
    return handOut(ComPtr<SolidBrush>::adopt(new SolidBrush(owner, *color)), brush);
}

void DeviceContext::Clear(const api::MP1_COLOR* clearColor)
{
    cairo_save(context);
    cairo_set_operator(context, CAIRO_OPERATOR_SOURCE);
    if (clearColor)
        setSourceColor(context, *clearColor);
    else
        cairo_set_source_rgba(context, 0, 0, 0, 0);
    cairo_paint(context);  // within the clip in force
    cairo_restore(context);
    recover();
}

void DeviceContext::DrawLine(api::MP1_POINT point0, api::MP1_POINT point1, const api::IMpBrush* brush,
                             float strokeWidth)
{
    if (!accept({point0.x, point0.y, point1.x, point1.y, strokeWidth}) || strokeWidth < 0.0f)
        return;
    cairo_move_to(context, point0.x, point0.y);
    cairo_line_to(context, point1.x, point1.y);
    finish(brush, true, strokeWidth);
}

void DeviceContext::DrawGeometry(const api::IMpPathGeometry* geometry, const api::IMpBrush* brush, float strokeWidth)
{
    const PathGeometry* path = pathGeometry(geometry);
    if (!path || !accept({strokeWidth}) || strokeWidth < 0.0f)
        return;
    path->addTo(context, true);
    finish(brush, true, strokeWidth);
}

void DeviceContext::FillGeometry(const api::IMpPathGeometry* geometry, const api::IMpBrush* brush)
{
    const PathGeometry* path = pathGeometry(geometry);
    if (!path || !accept({}))
        return;
    path->addTo(context, false);
    cairo_set_fill_rule(context, path->fillRule());
    finish(brush, false, 0.0);
}

void DeviceContext::addEllipse(double cx, double cy, double rx, double ry)
{
    rx = std::fabs(rx);
    ry = std::fabs(ry);
    const double kx = rx * kappa;
    const double ky = ry * kappa;
    cairo_move_to(context, cx + rx, cy);
    cairo_curve_to(context, cx + rx, cy + ky, cx + kx, cy + ry, cx, cy + ry);
    cairo_curve_to(context, cx - kx, cy + ry, cx - rx, cy + ky, cx - rx, cy);
    cairo_curve_to(context, cx - rx, cy - ky, cx - kx, cy - ry, cx, cy - ry);
    cairo_curve_to(context, cx + kx, cy - ry, cx + rx, cy - ky, cx + rx, cy);
    cairo_close_path(context);
}

void DeviceContext::DrawEllipse(const api::MP1_ELLIPSE* ellipse, const api::IMpBrush* brush, float strokeWidth)
{
    if (!ellipse || !accept({ellipse->point.x, ellipse->point.y, ellipse->radiusX, ellipse->radiusY, strokeWidth}) ||
        strokeWidth < 0.0f)
        return;
    addEllipse(ellipse->point.x, ellipse->point.y, ellipse->radiusX, ellipse->radiusY);
    finish(brush, true, strokeWidth);
}

void DeviceContext::FillEllipse(const api::MP1_ELLIPSE* ellipse, const api::IMpBrush* brush)
{
    if (!ellipse || !accept({ellipse->point.x, ellipse->point.y, ellipse->radiusX, ellipse->radiusY}))
        return;
    addEllipse(ellipse->point.x, ellipse->point.y, ellipse->radiusX, ellipse->radiusY);
    finish(brush, false, 0.0);
}

void DeviceContext::addRoundedRectangle(const api::MP1_ROUNDED_RECT& rounded)
{
    const double left = std::min(rounded.rect.left, rounded.rect.right);
    const double right = std::max(rounded.rect.left, rounded.rect.right);
    const double top = std::min(rounded.rect.top, rounded.rect.bottom);
    const double bottom = std::max(rounded.rect.top, rounded.rect.bottom);
    // Radii never exceed half the rectangle.
    const double rx = std::min(std::fabs(static_cast<double>(rounded.radiusX)), (right - left) / 2);
    const double ry = std::min(std::fabs(static_cast<double>(rounded.radiusY)), (bottom - top) / 2);
    const double kx = rx * kappa;
    const double ky = ry * kappa;
    cairo_move_to(context, left + rx, top);
    cairo_line_to(context, right - rx, top);
    cairo_curve_to(context, right - rx + kx, top, right, top + ry - ky, right, top + ry);
    cairo_line_to(context, right, bottom - ry);
    cairo_curve_to(context, right, bottom - ry + ky, right - rx + kx, bottom, right - rx, bottom);
    cairo_line_to(context, left + rx, bottom);
    cairo_curve_to(context, left + rx - kx, bottom, left, bottom - ry + ky, left, bottom - ry);
    cairo_line_to(context, left, top + ry);
    cairo_curve_to(context, left, top + ry - ky, left + rx - kx, top, left + rx, top);
    cairo_close_path(context);
}

void DeviceContext::DrawRoundedRectangle(const api::MP1_ROUNDED_RECT* roundedRect, const api::IMpBrush* brush,
                                         float strokeWidth)
{
    if (!roundedRect)
        return;
    const auto& r = *roundedRect;
    if (!accept({r.rect.left, r.rect.top, r.rect.right, r.rect.bottom, r.radiusX, r.radiusY, strokeWidth}) ||
        strokeWidth < 0.0f)
        return;
    addRoundedRectangle(r);
    finish(brush, true, strokeWidth);
}

void DeviceContext::FillRoundedRectangle(const api::MP1_ROUNDED_RECT* roundedRect, const api::IMpBrush* brush)
{
    if (!roundedRect)
        return;
    const auto& r = *roundedRect;
    if (!accept({r.rect.left, r.rect.top, r.rect.right, r.rect.bottom, r.radiusX, r.radiusY}))
        return;
    addRoundedRectangle(r);
    finish(brush, false, 0.0);
}

void DeviceContext::DrawTextU(const char* utf8String, std::int32_t stringLength, const api::IMpTextFormat* textFormat,
                              const api::MP1_RECT* layoutRect, const api::IMpBrush* brush, std::int32_t options)
{
    const TextFormat* format = textFormatOf(textFormat);
    const BrushSource* source = brushSource(brush);
    if (!utf8String || !format || !layoutRect || !source)
        return;
    const auto& r = *layoutRect;
    if (!accept({r.left, r.top, r.right, r.bottom}))
        return;
    const std::string text = cleanUtf8(utf8String, stringLength);
    if (text.empty())
        return;
    cairo_save(context);
    source->applyTo(context);
    format->draw(context, text, r, (options & api::MP1_DRAW_TEXT_OPTIONS_CLIP) != 0);
    cairo_restore(context);
    cairo_new_path(context);
    recover();
}

void DeviceContext::DrawBitmap(const api::IMpBitmap* bitmap, const api::MP1_RECT* destinationRectangle, float opacity,
                               std::int32_t interpolationMode, const api::MP1_RECT* sourceRectangle)
{
    const Bitmap* image = bitmapOf(bitmap);
    if (!image || !accept({opacity}))
        return;
    cairo_surface_t* pixels = image->surface();
    const double width = cairo_image_surface_get_width(pixels);
    const double height = cairo_image_surface_get_height(pixels);

    api::MP1_RECT source{0, 0, static_cast<float>(width), static_cast<float>(height)};
    if (sourceRectangle) {
        const auto& s = *sourceRectangle;
        if (!accept({s.left, s.top, s.right, s.bottom}))
            return;
        source = intersect(source, s);
    }
    const double sourceWidth = source.right - source.left;
    const double sourceHeight = source.bottom - source.top;
    if (sourceWidth <= 0.0 || sourceHeight <= 0.0)
        return;
    api::MP1_RECT destination{0, 0, static_cast<float>(sourceWidth), static_cast<float>(sourceHeight)};
    if (destinationRectangle) {
        destination = *destinationRectangle;
        if (!accept({destination.left, destination.top, destination.right, destination.bottom}))
            return;
    }
    const double destinationWidth = destination.right - destination.left;
    const double destinationHeight = destination.bottom - destination.top;
    if (destinationWidth == 0.0 || destinationHeight == 0.0)
        return;

    // A sub-surface so that filtering never reaches pixels outside the source part.
    cairo_surface_t* part =
        cairo_surface_create_for_rectangle(pixels, source.left, source.top, sourceWidth, sourceHeight);
    cairo_save(context);
    cairo_translate(context, destination.left, destination.top);
    cairo_scale(context, destinationWidth / sourceWidth, destinationHeight / sourceHeight);
    cairo_new_path(context);
    cairo_rectangle(context, 0, 0, sourceWidth, sourceHeight);
    cairo_clip(context);
    cairo_set_source_surface(context, part, 0, 0);
    cairo_pattern_t* pattern = cairo_get_source(context);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(pattern, interpolationMode == api::MP1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR
                                          ? CAIRO_FILTER_NEAREST
                                          : CAIRO_FILTER_BILINEAR);
    cairo_paint_with_alpha(context, std::clamp(static_cast<double>(opacity), 0.0, 1.0));
    cairo_restore(context);
    cairo_surface_destroy(part);
    recover();
}

void DeviceContext::SetTransform(const api::MP1_MATRIX_3X2* newTransform)
{
    if (!newTransform)
        return;
    if (!isUsable(*newTransform)) {
        ++nonFinite;
        countNonFinite();
        return;
    }
    transform = *newTransform;
    // A singular transform is kept (GetTransform returns it) but draws nothing.
    transformInvertible = isInvertible(transform);
    applyMatrix();
}

void DeviceContext::GetTransform(api::MP1_MATRIX_3X2* returnTransform)
{
    if (returnTransform)
        *returnTransform = transform;
}

void DeviceContext::PushAxisAlignedClip(const api::MP1_RECT* clipRect)
{
    api::MP1_RECT current{0, 0, static_cast<float>(cairo_image_surface_get_width(surface)),
                          static_cast<float>(cairo_image_surface_get_height(surface))};
    if (!clipStack.empty())
        current = clipStack.back();
    else if (hasFrameClip)
        current = intersect(current, frameClip);
    api::MP1_RECT device = current;
    if (clipRect) {
        const auto& c = *clipRect;
        bool finite = true;
        for (const float value : {c.left, c.top, c.right, c.bottom})
            finite = finite && std::isfinite(value);
        if (!finite) {
            // Still pushed (unchanged clip) so that the module's pop stays matched.
            ++nonFinite;
            countNonFinite();
        } else if (!transformInvertible) {
            device = {current.left, current.top, current.left, current.top};
        } else {
            cairo_matrix_t matrix;
            cairo_get_matrix(context, &matrix);
            const api::MP1_RECT normalised{std::min(c.left, c.right), std::min(c.top, c.bottom),
                                           std::max(c.left, c.right), std::max(c.top, c.bottom)};
            device = intersect(current, mapBounds(matrix, normalised));
        }
    }
    clipStack.push_back(device);
    applyClip();
}

void DeviceContext::PopAxisAlignedClip()
{
    if (clipStack.empty())
        return;
    clipStack.pop_back();
    applyClip();
}

void DeviceContext::GetAxisAlignedClip(api::MP1_RECT* returnClipRect)
{
    if (!returnClipRect)
        return;
    api::MP1_RECT device{0, 0, static_cast<float>(cairo_image_surface_get_width(surface)),
                         static_cast<float>(cairo_image_surface_get_height(surface))};
    if (!clipStack.empty())
        device = clipStack.back();
    else if (hasFrameClip)
        device = frameClip;
    cairo_matrix_t matrix;
    cairo_get_matrix(context, &matrix);
    if (cairo_matrix_invert(&matrix) != CAIRO_STATUS_SUCCESS) {
        *returnClipRect = {0, 0, 0, 0};
        return;
    }
    *returnClipRect = mapBounds(matrix, device);
}

std::int32_t DeviceContext::CreateCompatibleRenderTarget(const api::MP1_SIZE* desiredSize,
                                                         api::IMpBitmapRenderTarget** bitmapRenderTarget)
{
    if (!bitmapRenderTarget)
        return gmpi::MP_FAIL;
    *bitmapRenderTarget = nullptr;
    if (!desiredSize)
        return gmpi::MP_FAIL;
    if (!std::isfinite(desiredSize->width) || !std::isfinite(desiredSize->height)) {
        ++nonFinite;
        countNonFinite();
        return gmpi::MP_FAIL;
    }
    if (desiredSize->width < 0.0f || desiredSize->height < 0.0f || desiredSize->width > maximumBitmapSide ||
        desiredSize->height > maximumBitmapSide)
        return gmpi::MP_FAIL;
    const auto width = std::max(1, static_cast<int>(std::ceil(desiredSize->width)));
    const auto height = std::max(1, static_cast<int>(std::ceil(desiredSize->height)));
    cairo_surface_t* target = createImageSurface(width, height);
    if (!target)
        return gmpi::MP_FAIL;
    auto renderTarget = ComPtr<DeviceContext>::adopt(new DeviceContext(owner, target));
    cairo_surface_destroy(target);  // the context holds its own reference
    return handOut(renderTarget, bitmapRenderTarget);
}

std::int32_t DeviceContext::EndDraw()
{
    cairo_surface_flush(surface);
    return cairo_status(context) == CAIRO_STATUS_SUCCESS ? gmpi::MP_OK : gmpi::MP_FAIL;
}

void DeviceContext::DrawPolyline(const api::MP1_POINT* points, std::uint32_t pointsCount, const api::IMpBrush* brush,
                                 float strokeWidth)
{
    if (!points || pointsCount < 2 || pointsCount > maximumPoints || !accept({strokeWidth}) || strokeWidth < 0.0f)
        return;
    for (std::uint32_t i = 0; i < pointsCount; ++i)
        if (!accept({points[i].x, points[i].y}))
            return;
    cairo_move_to(context, points[0].x, points[0].y);
    for (std::uint32_t i = 1; i < pointsCount; ++i)
        cairo_line_to(context, points[i].x, points[i].y);
    finish(brush, true, strokeWidth);
}

std::int32_t DeviceContext::GetBitmap(api::IMpBitmap** returnBitmap)
{
    if (!returnBitmap)
        return gmpi::MP_FAIL;
    *returnBitmap = nullptr;
    cairo_surface_t* copy = copyImageSurface(surface);
    if (!copy)
        return gmpi::MP_FAIL;
    return handOut(ComPtr<Bitmap>::adopt(new Bitmap(owner, copy)), returnBitmap);
}

}  // namespace mphost::drawing
