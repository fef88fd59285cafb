// Path geometries: figures recorded through a sink as moves, lines and cubic curves
// (quadratic curves and elliptical arcs are converted), replayed into cairo for drawing,
// hit testing and bounds.
#include <algorithm>
#include <numbers>

#include "drawing/drawing_objects.h"

namespace mphost::drawing {

namespace {

bool acceptPoint(api::MP1_POINT point)
{
    if (!std::isfinite(point.x) || !std::isfinite(point.y)) {
        countNonFinite();
        return false;
    }
    return usable(point.x) && usable(point.y);
}

class GeometrySink final : public Object<api::IMpGeometrySink> {
public:
    explicit GeometrySink(ComPtr<PathGeometry> geometry) : geometry(std::move(geometry)) {}

    void BeginFigure(api::MP1_POINT startPoint, std::int32_t figureBegin) override
    {
        if (!geometry || !acceptPoint(startPoint))
            return;
        if (figure)
            endFigure(false);
        geometry->figures.push_back({});
        figure = &geometry->figures.back();
        figure->hollow = figureBegin == api::MP1_FIGURE_BEGIN_HOLLOW;
        figure->verbs.push_back(PathGeometry::Verb::move);
        figure->points.push_back(startPoint);
        current = startPoint;
    }
    void EndFigure(std::int32_t figureEnd) override
    {
        if (geometry && figure)
            endFigure(figureEnd == api::MP1_FIGURE_END_CLOSED);
    }
    void SetFillMode(std::int32_t fillMode) override
    {
        if (geometry)
            geometry->fillMode = fillMode == api::MP1_FILL_MODE_WINDING ? fillMode : api::MP1_FILL_MODE_ALTERNATE;
    }
    std::int32_t Close() override
    {
        if (!geometry)
            return gmpi::MP_FAIL;
        const bool wasOpen = figure != nullptr;
        if (figure)
            endFigure(false);
        geometry.reset();
        return wasOpen ? gmpi::MP_FAIL : gmpi::MP_OK;
    }
    void AddLine(api::MP1_POINT point) override
    {
        if (!figure || !acceptPoint(point))
            return;
        figure->verbs.push_back(PathGeometry::Verb::line);
        figure->points.push_back(point);
        current = point;
    }
    void AddBezier(const api::MP1_BEZIER_SEGMENT* bezier) override
    {
        if (!figure || !bezier || !acceptPoint(bezier->point1) || !acceptPoint(bezier->point2) ||
            !acceptPoint(bezier->point3))
            return;
        figure->verbs.push_back(PathGeometry::Verb::curve);
        figure->points.insert(figure->points.end(), {bezier->point1, bezier->point2, bezier->point3});
        current = bezier->point3;
    }
    void AddQuadraticBezier(const api::MP1_QUADRATIC_BEZIER_SEGMENT* bezier) override
    {
        if (!figure || !bezier || !acceptPoint(bezier->point1) || !acceptPoint(bezier->point2))
            return;
        // The cubic with control points two thirds of the way to the quadratic's.
        const auto toward = [](api::MP1_POINT from, api::MP1_POINT to) {
            return api::MP1_POINT{from.x + (to.x - from.x) * 2.0f / 3.0f, from.y + (to.y - from.y) * 2.0f / 3.0f};
        };
        figure->verbs.push_back(PathGeometry::Verb::curve);
        figure->points.insert(figure->points.end(), {toward(current, bezier->point1),
                                                     toward(bezier->point2, bezier->point1), bezier->point2});
        current = bezier->point2;
    }
    void AddLines(const api::MP1_POINT* points, std::uint32_t pointsCount) override
    {
        if (!points)
            return;
        for (std::uint32_t i = 0; i < pointsCount && figure; ++i)
            AddLine(points[i]);
    }
    void AddArc(const api::MP1_ARC_SEGMENT* arc) override
    {
        if (!figure || !arc || !acceptPoint(arc->point) || !acceptPoint({arc->size.width, arc->size.height}) ||
            !acceptPoint({arc->rotationAngle, 0.0f}))
            return;
        appendArc(*figure, current, *arc);
        current = arc->point;
    }

private:
    void endFigure(bool closed)
    {
        if (closed)
            figure->verbs.push_back(PathGeometry::Verb::close);
        figure = nullptr;
    }

    ComPtr<PathGeometry> geometry;  // null once closed
    PathGeometry::Figure* figure = nullptr;
    api::MP1_POINT current{0, 0};
};

// A scratch cairo context for hit tests and bounds, with `transform` (may be null) as
// its matrix; null when the transform is unusable.
cairo_t* scratchContext(const api::MP1_MATRIX_3X2* transform)
{
    if (transform && !isInvertible(*transform)) {
        if (!isUsable(*transform))
            countNonFinite();
        return nullptr;
    }
    static cairo_surface_t* const pixel = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* context = cairo_create(pixel);
    if (transform) {
        const cairo_matrix_t matrix = toCairo(*transform);
        cairo_set_matrix(context, &matrix);
    }
    return context;
}

}  // namespace

const PathGeometry* pathGeometry(const api::IMpPathGeometry* geometry)
{
    return geometry ? dynamic_cast<const PathGeometry*>(geometry) : nullptr;
}

std::int32_t PathGeometry::Open(api::IMpGeometrySink** geometrySink)
{
    if (!geometrySink)
        return gmpi::MP_FAIL;
    *geometrySink = nullptr;
    if (opened)
        return gmpi::MP_FAIL;
    opened = true;
    addRef();
    return handOut(ComPtr<GeometrySink>::adopt(new GeometrySink(ComPtr<PathGeometry>::adopt(this))), geometrySink);
}

void PathGeometry::addTo(cairo_t* context, bool forStroke) const
{
    cairo_new_path(context);
    for (const Figure& figure : figures) {
        if (figure.hollow && !forStroke)
            continue;
        std::size_t p = 0;
        for (const Verb verb : figure.verbs) {
            switch (verb) {
            case Verb::move:
                cairo_move_to(context, figure.points[p].x, figure.points[p].y);
                ++p;
                break;
            case Verb::line:
                cairo_line_to(context, figure.points[p].x, figure.points[p].y);
                ++p;
                break;
            case Verb::curve:
                cairo_curve_to(context, figure.points[p].x, figure.points[p].y, figure.points[p + 1].x,
                               figure.points[p + 1].y, figure.points[p + 2].x, figure.points[p + 2].y);
                p += 3;
                break;
            case Verb::close:
                cairo_close_path(context);
                break;
            }
        }
    }
}

std::int32_t PathGeometry::StrokeContainsPoint(api::MP1_POINT point, float strokeWidth,
                                               const api::MP1_MATRIX_3X2* worldTransform, bool* returnContains)
{
    if (!returnContains)
        return gmpi::MP_FAIL;
    *returnContains = false;
    if (!acceptPoint(point) || !acceptPoint({strokeWidth, 0.0f}) || strokeWidth < 0.0f)
        return gmpi::MP_FAIL;
    cairo_t* context = scratchContext(worldTransform);
    if (!context)
        return gmpi::MP_FAIL;
    addTo(context, true);
    cairo_set_line_width(context, strokeWidth);
    double x = point.x;
    double y = point.y;
    cairo_device_to_user(context, &x, &y);
    *returnContains = cairo_in_stroke(context, x, y);
    cairo_destroy(context);
    return gmpi::MP_OK;
}

std::int32_t PathGeometry::FillContainsPoint(api::MP1_POINT point, const api::MP1_MATRIX_3X2* worldTransform,
                                             bool* returnContains)
{
    if (!returnContains)
        return gmpi::MP_FAIL;
    *returnContains = false;
    if (!acceptPoint(point))
        return gmpi::MP_FAIL;
    cairo_t* context = scratchContext(worldTransform);
    if (!context)
        return gmpi::MP_FAIL;
    addTo(context, false);
    cairo_set_fill_rule(context, fillRule());
    double x = point.x;
    double y = point.y;
    cairo_device_to_user(context, &x, &y);
    *returnContains = cairo_in_fill(context, x, y);
    cairo_destroy(context);
    return gmpi::MP_OK;
}

std::int32_t PathGeometry::GetWidenedBounds(float strokeWidth, const api::MP1_MATRIX_3X2* worldTransform,
                                            api::MP1_RECT* returnBounds)
{
    if (!returnBounds)
        return gmpi::MP_FAIL;
    *returnBounds = {0, 0, 0, 0};
    if (!acceptPoint({strokeWidth, 0.0f}) || strokeWidth < 0.0f)
        return gmpi::MP_FAIL;
    cairo_t* context = scratchContext(worldTransform);
    if (!context)
        return gmpi::MP_FAIL;
    addTo(context, true);
    cairo_set_line_width(context, strokeWidth);
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    if (strokeWidth > 0.0f)
        cairo_stroke_extents(context, &x1, &y1, &x2, &y2);
    else
        cairo_path_extents(context, &x1, &y1, &x2, &y2);
    // User-space extents to world space (the bounding box of the mapped corners).
    double xs[4] = {x1, x2, x2, x1};
    double ys[4] = {y1, y1, y2, y2};
    for (int i = 0; i < 4; ++i)
        cairo_user_to_device(context, &xs[i], &ys[i]);
    *returnBounds = {
        static_cast<float>(*std::min_element(xs, xs + 4)), static_cast<float>(*std::min_element(ys, ys + 4)),
        static_cast<float>(*std::max_element(xs, xs + 4)), static_cast<float>(*std::max_element(ys, ys + 4))};
    cairo_destroy(context);
    return gmpi::MP_OK;
}

void appendArc(PathGeometry::Figure& figure, api::MP1_POINT from, const api::MP1_ARC_SEGMENT& arc)
{
    // Endpoint to centre parameterisation of an elliptical arc, y down: a clockwise
    // sweep runs through increasing angles.
    const double x1 = from.x, y1 = from.y;
    const double x2 = arc.point.x, y2 = arc.point.y;
    double rx = std::fabs(static_cast<double>(arc.size.width));
    double ry = std::fabs(static_cast<double>(arc.size.height));
    if ((x1 == x2 && y1 == y2))
        return;
    if (rx < 1e-9 || ry < 1e-9) {
        figure.verbs.push_back(PathGeometry::Verb::line);
        figure.points.push_back(arc.point);
        return;
    }
    const double phi = arc.rotationAngle * std::numbers::pi / 180.0;
    const double cosPhi = std::cos(phi), sinPhi = std::sin(phi);
    const double dx = (x1 - x2) / 2, dy = (y1 - y2) / 2;
    const double x1p = cosPhi * dx + sinPhi * dy;
    const double y1p = -sinPhi * dx + cosPhi * dy;
    // Radii too small to reach the end point grow until they do.
    const double lambda = (x1p * x1p) / (rx * rx) + (y1p * y1p) / (ry * ry);
    if (lambda > 1) {
        rx *= std::sqrt(lambda);
        ry *= std::sqrt(lambda);
    }
    const bool clockwise = arc.sweepDirection == 1;
    const bool large = arc.arcSize == 1;
    const double numerator = rx * rx * ry * ry - rx * rx * y1p * y1p - ry * ry * x1p * x1p;
    const double denominator = rx * rx * y1p * y1p + ry * ry * x1p * x1p;
    double factor = denominator > 0 ? std::sqrt(std::max(0.0, numerator / denominator)) : 0.0;
    if (large == clockwise)
        factor = -factor;
    const double cxp = factor * rx * y1p / ry;
    const double cyp = -factor * ry * x1p / rx;
    const double cx = cosPhi * cxp - sinPhi * cyp + (x1 + x2) / 2;
    const double cy = sinPhi * cxp + cosPhi * cyp + (y1 + y2) / 2;
    const auto angle = [](double ux, double uy, double vx, double vy) {
        return std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
    };
    const double theta1 = angle(1, 0, (x1p - cxp) / rx, (y1p - cyp) / ry);
    double delta = angle((x1p - cxp) / rx, (y1p - cyp) / ry, (-x1p - cxp) / rx, (-y1p - cyp) / ry);
    if (clockwise && delta < 0)
        delta += 2 * std::numbers::pi;
    else if (!clockwise && delta > 0)
        delta -= 2 * std::numbers::pi;

    // At most a quarter turn per cubic.
    const int segments = std::max(1, static_cast<int>(std::ceil(std::fabs(delta) / (std::numbers::pi / 2) - 1e-9)));
    const double step = delta / segments;
    const double k = 4.0 / 3.0 * std::tan(step / 4);
    // A point given in unit-circle coordinates, on the rotated ellipse.
    const auto onEllipse = [&](double ex, double ey) {
        const double px = rx * ex, py = ry * ey;
        return api::MP1_POINT{static_cast<float>(cx + cosPhi * px - sinPhi * py),
                              static_cast<float>(cy + sinPhi * px + cosPhi * py)};
    };
    for (int i = 0; i < segments; ++i) {
        const double a0 = theta1 + step * i;
        const double a1 = a0 + step;
        const double c0 = std::cos(a0), s0 = std::sin(a0), c1 = std::cos(a1), s1 = std::sin(a1);
        figure.verbs.push_back(PathGeometry::Verb::curve);
        figure.points.push_back(onEllipse(c0 - k * s0, s0 + k * c0));
        figure.points.push_back(onEllipse(c1 + k * s1, s1 - k * c1));
        figure.points.push_back(i == segments - 1 ? arc.point : onEllipse(c1, s1));
    }
}

}  // namespace mphost::drawing
