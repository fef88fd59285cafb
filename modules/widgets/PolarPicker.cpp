// PolarPicker: a skin-image handle placed by the pointer and reported in polar form:
// Angle in turns counter-clockwise from the positive x axis (0 .. 1) and Dist, the
// distance from the centre of the area, 0 at the centre and 1 at the edge of the
// inscribed ellipse (beyond it the handle stays on the edge). Behind the handle a disc
// (BackgroundColor, rimmed with LineColor) marks the reachable area, shrunk by BGShrink
// pixels and moved by BGXOffset and BGYOffset. Without a loaded handle image the picker
// takes no presses and reports no hit.
//
// Coordinates are module pixels; the handle's centre travels over the module's size less
// the handle's frame size. User-interface thread.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "Drawing.h"
#include "HandleImage.h"

using namespace GmpiDrawing;
using GmpiDrawing_API::MP1_POINT;

namespace {

constexpr double twoPi = 6.283185307179586;
// Offsets and shrink beyond this many pixels are treated as this many.
constexpr float largestOffset = 100000.0f;

float unitRange(float value) { return std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : 0.0f; }

}  // namespace

class PolarPicker : public HandleImage {
    MpGuiPin<float> pinAngle;
    MpGuiPin<float> pinDist;
    MpGuiPin<float> pinBGShrink;
    MpGuiPin<int> pinBGXOffset;
    MpGuiPin<int> pinBGYOffset;

    float angle = 0.0f;  // turns, 0 .. 1
    float dist = 0.0f;   // 0 .. 1
    float shrink = 0.0f;
    float offsetX = 0.0f;
    float offsetY = 0.0f;

public:
    PolarPicker()
    {
        initializeHandlePins();
        initializePin(pinAngle, &PolarPicker::onSetAngle);
        initializePin(pinDist, &PolarPicker::onSetDist);
        initializePin(pinBackgroundColor, &HandleImage::onSetColors);
        initializePin(pinLineColor, &HandleImage::onSetColors);
        initializePin(pinBGShrink, &PolarPicker::onSetBGShrink);
        initializePin(pinBGXOffset, &PolarPicker::onSetBGXOff);
        initializePin(pinBGYOffset, &PolarPicker::onSetBGYOff);
    }

    // ---------------------------------------------------------------------------------
    // Pins

    void onSetAngle()
    {
        angle = unitRange(pinAngle);
        invalidateRect();
    }

    void onSetDist()
    {
        dist = unitRange(pinDist);
        invalidateRect();
    }

    void onSetBGShrink()
    {
        shrink = std::clamp(finiteOr(pinBGShrink, 0.0f), 0.0f, largestOffset);
        invalidateRect();
    }

    void onSetBGXOff()
    {
        offsetX = std::clamp(static_cast<float>(pinBGXOffset.getValue()), -largestOffset, largestOffset);
        invalidateRect();
    }

    void onSetBGYOff()
    {
        offsetY = std::clamp(static_cast<float>(pinBGYOffset.getValue()), -largestOffset, largestOffset);
        invalidateRect();
    }

    // ---------------------------------------------------------------------------------
    // Pointer

    std::int32_t hitTest(MP1_POINT /*point*/) override
    {
        // The whole area picks a position.
        return bitmap ? gmpi::MP_OK : gmpi::MP_FAIL;
    }

    std::int32_t onPointerDown(std::int32_t flags, MP1_POINT point) override
    {
        if (!(flags & gmpi_gui_api::GG_POINTER_FLAG_FIRSTBUTTON) || !bitmap || !std::isfinite(point.x) ||
            !std::isfinite(point.y))
            return gmpi::MP_FAIL;
        setCapture();
        pinMouseDown = true;
        pinPointerFlags = flags;
        pick(point);
        return gmpi::MP_OK;
    }

    std::int32_t onPointerMove(std::int32_t /*flags*/, MP1_POINT point) override
    {
        if (getCapture() && std::isfinite(point.x) && std::isfinite(point.y))
            pick(point);
        return gmpi::MP_OK;
    }

    // ---------------------------------------------------------------------------------
    // Drawing

    std::int32_t OnRender(GmpiDrawing_API::IMpDeviceContext* drawingContext) override
    {
        Graphics g(drawingContext);
        if (!g)
            return gmpi::MP_OK;
        const Size area = areaSize();
        // The reachable area: an ellipse inside the module, shrunk and moved.
        const float radiusX = area.width * 0.5f - shrink;
        const float radiusY = area.height * 0.5f - shrink;
        if (radiusX > 0.0f && radiusY > 0.0f) {
            const Point centre(area.width * 0.5f + offsetX, area.height * 0.5f + offsetY);
            if (backgroundColor.a > 0.0f)
                g.FillEllipse(centre, radiusX, radiusY, g.CreateSolidColorBrush(backgroundColor));
            if (lineColor.a > 0.0f) {
                const SolidColorBrush brush = g.CreateSolidColorBrush(lineColor);
                g.DrawEllipse(centre, radiusX, radiusY, brush);
                g.DrawLine(Point(centre.x - radiusX, centre.y), Point(centre.x + radiusX, centre.y), brush);
                g.DrawLine(Point(centre.x, centre.y - radiusY), Point(centre.x, centre.y + radiusY), brush);
            }
        }
        // The handle's centre at (nx, ny) in -1 .. 1, mapped back into the area.
        const Size span = travel();
        const double nx = dist * std::cos(twoPi * angle);
        const double ny = dist * std::sin(twoPi * angle);
        const float left = static_cast<float>((nx + 1.0) * 0.5 * span.width);
        const float top = static_cast<float>((1.0 - (ny + 1.0) * 0.5) * span.height);
        drawHandle(g, Point(left, top));
        return gmpi::MP_OK;
    }

private:
    // Angle and Dist of the pointer. An axis without travel contributes 0.
    void pick(MP1_POINT point)
    {
        const Size handle = frameSize();
        const Size span = travel();
        const double nx = span.width > 0.0f ? 2.0 * (point.x - handle.width * 0.5) / span.width - 1.0 : 0.0;
        const double ny =
            span.height > 0.0f ? 2.0 * (1.0 - (point.y - handle.height * 0.5) / span.height) - 1.0 : 0.0;
        const double distance = std::min(1.0, std::hypot(nx, ny));
        double turns = 0.0;
        if (distance > 0.0) {
            turns = std::atan2(ny, nx) / twoPi;
            if (turns < 0.0)
                turns += 1.0;
            if (turns >= 1.0)
                turns = 0.0;
        }
        angle = static_cast<float>(turns);
        if (angle >= 1.0f)
            angle = 0.0f;
        dist = static_cast<float>(distance);
        pinAngle = angle;
        pinDist = dist;
        invalidateRect();
    }
};

namespace {
const bool registered = gmpi::Register<PolarPicker>::withId(L"PolarPicker");
}
