// KLine: a horizontal line across the module (vertical when Vert is set) at Position
// (0 .. 1 of the height, or of the width), Thickness pixels thick, drawn in the
// foreground colour over the background colour (colour texts AARRGGBB). A press within
// half the thickness of the line's centre sets MouseDown until the release; elsewhere the
// line lets the pointer through to whatever lies below.
//
// Pins: 0 Vert, 1 Position, 2 Thickness (pixels, at least 1), 3 foreground colour,
// 4 background colour, 5 MouseDown. User-interface thread only.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "Drawing.h"
#include "mp_sdk_gfx.h"
#include "WidgetGeometry.h"

using namespace GmpiDrawing;
using GmpiDrawing_API::MP1_POINT;

class Line : public gmpi_gui::MpGuiGfxBase {
    MpGuiPin<bool> pinVert;
    MpGuiPin<float> pinPosition;
    MpGuiPin<int> pinThickness;
    StringGuiPin pinForeground;
    StringGuiPin pinBackground;
    MpGuiPin<bool> pinMouseDown;

    bool vertical = false;
    float position = 0.5f;  // 0 .. 1
    std::int32_t thickness = 1;
    Color foreground = Color::FromArgb(0xFFFFFFFF);
    Color background = Color::FromArgb(0x00000000);

public:
    Line()
    {
        initializePin(pinVert, &Line::onSetVert);
        initializePin(pinPosition, &Line::onSetPosition);
        initializePin(pinThickness, &Line::onSetThickness);
        initializePin(pinForeground, &Line::onSetFG_ARGB);
        initializePin(pinBackground, &Line::onSetBG_ARGB);
        initializePin(pinMouseDown);
    }

    // ---------------------------------------------------------------------------------
    // Pins

    void onSetVert()
    {
        if (vertical != pinVert.getValue()) {
            vertical = pinVert.getValue();
            invalidateRect();
        }
    }

    // Clamped to 0 .. 1; NaN keeps the previous position.
    void onSetPosition()
    {
        const float p = pinPosition.getValue();
        if (std::isnan(p))
            return;
        const float clamped = std::clamp(p, 0.0f, 1.0f);
        if (clamped != position) {
            position = clamped;
            invalidateRect();
        }
    }

    void onSetThickness()
    {
        const std::int32_t t = std::max(1, pinThickness.getValue());
        if (t != thickness) {
            thickness = t;
            invalidateRect();
        }
    }

    void onSetFG_ARGB()
    {
        foreground = hexStringToColor(pinForeground.getValue());
        invalidateRect();
    }

    void onSetBG_ARGB()
    {
        background = hexStringToColor(pinBackground.getValue());
        invalidateRect();
    }

    // ---------------------------------------------------------------------------------
    // Graphics

    std::int32_t OnRender(GmpiDrawing_API::IMpDeviceContext* drawingContext) override
    {
        Graphics g(drawingContext);
        const float w = width();
        const float h = height();
        if (!g || w <= 0.0f || h <= 0.0f)
            return gmpi::MP_OK;
        if (background.a > 0.0f)
            g.FillRectangle(Rect(0.0f, 0.0f, w, h), g.CreateSolidColorBrush(background));
        const float centre = lineCentre();
        const float half = thickness * 0.5f;
        const Rect line = vertical ? Rect(centre - half, 0.0f, centre + half, h) : Rect(0.0f, centre - half, w, centre + half);
        g.FillRectangle(line, g.CreateSolidColorBrush(foreground));
        return gmpi::MP_OK;
    }

    std::int32_t hitTest(MP1_POINT point) override { return isHit(point) ? gmpi::MP_OK : gmpi::MP_FAIL; }

    std::int32_t onPointerDown(std::int32_t flags, MP1_POINT point) override
    {
        if (!(flags & gmpi_gui_api::GG_POINTER_FLAG_FIRSTBUTTON) || !isHit(point))
            return gmpi::MP_FAIL;
        pinMouseDown = true;
        setCapture();
        return gmpi::MP_OK;
    }

    std::int32_t onPointerMove(std::int32_t /*flags*/, MP1_POINT /*point*/) override
    {
        return getCapture() ? gmpi::MP_OK : gmpi::MP_FAIL;
    }

    std::int32_t onPointerUp(std::int32_t /*flags*/, MP1_POINT /*point*/) override
    {
        if (getCapture())
            releaseCapture();
        pinMouseDown = false;
        return gmpi::MP_OK;
    }

private:
    float width() const { return finiteSide(getRect().getWidth()); }
    float height() const { return finiteSide(getRect().getHeight()); }

    // Pixels from the top (horizontal) or the left (vertical).
    float lineCentre() const { return position * (vertical ? width() : height()); }

    // Within half the thickness of the centre, across the line; a NaN point is a miss.
    bool isHit(MP1_POINT point) const
    {
        const float across = vertical ? point.x : point.y;
        return std::fabs(across - lineCentre()) <= thickness * 0.5f;
    }
};

namespace {
const bool registered = gmpi::Register<Line>::withId(L"KLine");
}
