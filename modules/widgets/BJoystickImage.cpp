// "Better Joystick Image": a two-axis joystick whose handle is a skin image dragged
// inside the module's area. PosX and PosY are normalised positions of the handle (0 .. 1,
// PosY growing upwards), limited to [XMin, XMax] and [YMin, YMax]. A drag moves the
// handle by the pointer's movement (FineFactor times as far while the fine-adjustment key
// is held); with JumpToClick a press first centres the handle under the pointer, and with
// WholeArea a press anywhere starts a drag. Without a loaded handle image the joystick
// takes no presses and reports no hit.
//
// Coordinates are module pixels; the handle's travel is the module's size less the
// handle's frame size. User-interface thread.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "Drawing.h"
#include "HandleImage.h"

using namespace GmpiDrawing;
using GmpiDrawing_API::MP1_POINT;

namespace {

// A range limit from its pin: within 0 .. 1, `fallback` when not finite.
float limit(float pinned, float fallback)
{
    return std::clamp(std::isfinite(pinned) ? pinned : fallback, 0.0f, 1.0f);
}

}  // namespace

class BJoystickImage : public HandleImage {
    MpGuiPin<float> pinPosX;
    MpGuiPin<float> pinPosY;
    MpGuiPin<bool> pinJumpToClick;
    MpGuiPin<bool> pinWholeArea;
    MpGuiPin<float> pinXMin;
    MpGuiPin<float> pinXMax;
    MpGuiPin<float> pinYMin;
    MpGuiPin<float> pinYMax;
    MpGuiPin<float> pinFineFactor;

    float positionX = 0.0f;  // normalised, within the limits
    float positionY = 0.0f;
    float xMin = 0.0f, xMax = 1.0f, yMin = 0.0f, yMax = 1.0f;
    float lastU = 0.0f;  // the pointer at the last press or move, normalised
    float lastV = 0.0f;

public:
    BJoystickImage()
    {
        initializeHandlePins();
        initializePin(pinPosX, &BJoystickImage::onSetPosX);
        initializePin(pinPosY, &BJoystickImage::onSetPosY);
        initializePin(pinJumpToClick);
        initializePin(pinWholeArea);
        initializePin(pinXMin, &BJoystickImage::onSetXMin);
        initializePin(pinXMax, &BJoystickImage::onSetXMax);
        initializePin(pinYMin, &BJoystickImage::onSetYMin);
        initializePin(pinYMax, &BJoystickImage::onSetYMax);
        initializePin(pinBackgroundColor, &HandleImage::onSetColors);
        initializePin(pinLineColor, &HandleImage::onSetColors);
        initializePin(pinFineFactor);
    }

    // ---------------------------------------------------------------------------------
    // Pins

    void onSetPosX()
    {
        const float position = clampX(pinPosX);
        if (position != positionX) {
            positionX = position;
            invalidateRect();
        }
    }

    void onSetPosY()
    {
        const float position = clampY(pinPosY);
        if (position != positionY) {
            positionY = position;
            invalidateRect();
        }
    }

    void onSetXMin() { xMin = limit(pinXMin, 0.0f); }
    void onSetXMax() { xMax = limit(pinXMax, 1.0f); }
    void onSetYMin() { yMin = limit(pinYMin, 0.0f); }
    void onSetYMax() { yMax = limit(pinYMax, 1.0f); }

    // ---------------------------------------------------------------------------------
    // Pointer

    std::int32_t hitTest(MP1_POINT point) override
    {
        if (!bitmap)
            return gmpi::MP_FAIL;
        return handleHit(point) || pinWholeArea || pinJumpToClick ? gmpi::MP_OK : gmpi::MP_FAIL;
    }

    std::int32_t onPointerDown(std::int32_t flags, MP1_POINT point) override
    {
        if (!(flags & gmpi_gui_api::GG_POINTER_FLAG_FIRSTBUTTON) || !bitmap || !std::isfinite(point.x) ||
            !std::isfinite(point.y))
            return gmpi::MP_FAIL;
        if (!handleHit(point) && !pinWholeArea && !pinJumpToClick)
            return gmpi::MP_FAIL;
        setCapture();
        pinMouseDown = true;
        pinPointerFlags = flags;
        lastU = normalisedX(point.x);
        lastV = normalisedY(point.y);
        if (pinJumpToClick) {
            const Size handle = frameSize();
            const float travelX = travel().width;
            const float travelY = travel().height;
            if (travelX > 0.0f)
                moveTo(clampX((point.x - handle.width * 0.5f) / travelX), positionY);
            if (travelY > 0.0f)
                moveTo(positionX, clampY(1.0f - (point.y - handle.height * 0.5f) / travelY));
        }
        return gmpi::MP_OK;
    }

    std::int32_t onPointerMove(std::int32_t flags, MP1_POINT point) override
    {
        if (!getCapture() || !std::isfinite(point.x) || !std::isfinite(point.y))
            return gmpi::MP_OK;
        const float fine = finiteOr(pinFineFactor, 1.0f);
        const float factor = (flags & gmpi_gui_api::GG_POINTER_KEY_CONTROL) ? fine : 1.0f;
        const float u = normalisedX(point.x);
        const float v = normalisedY(point.y);
        moveTo(clampX(positionX + (u - lastU) * factor), clampY(positionY + (v - lastV) * factor));
        lastU = u;
        lastV = v;
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
        if (backgroundColor.a > 0.0f)
            g.FillRectangle(Rect(0, 0, area.width, area.height), g.CreateSolidColorBrush(backgroundColor));
        if (bitmap && lineColor.a > 0.0f) {
            // Cross hairs through the handle's centre.
            const Point centre = handleTopLeft();
            const Size handle = frameSize();
            const float cx = centre.x + handle.width * 0.5f;
            const float cy = centre.y + handle.height * 0.5f;
            const SolidColorBrush brush = g.CreateSolidColorBrush(lineColor);
            g.DrawLine(Point(cx, 0), Point(cx, area.height), brush);
            g.DrawLine(Point(0, cy), Point(area.width, cy), brush);
        }
        drawHandle(g, handleTopLeft());
        return gmpi::MP_OK;
    }

private:
    float clampX(float value) const
    {
        return std::clamp(finiteOr(value, xMin), std::min(xMin, xMax), std::max(xMin, xMax));
    }
    float clampY(float value) const
    {
        return std::clamp(finiteOr(value, yMin), std::min(yMin, yMax), std::max(yMin, yMax));
    }

    // The pointer in normalised coordinates (v upwards); 0 on an axis without travel.
    float normalisedX(float x) const
    {
        const float span = travel().width;
        return span > 0.0f ? x / span : 0.0f;
    }
    float normalisedY(float y) const
    {
        const float span = travel().height;
        return span > 0.0f ? 1.0f - y / span : 0.0f;
    }

    Point handleTopLeft() const
    {
        const Size span = travel();
        return Point(positionX * span.width, (1.0f - positionY) * span.height);
    }

    bool handleHit(MP1_POINT point)
    {
        const Point at = handleTopLeft();
        return bitmapHitTestLocal(MP1_POINT{point.x - at.x, point.y - at.y});
    }

    void moveTo(float x, float y)
    {
        if (x == positionX && y == positionY)
            return;
        positionX = x;
        positionY = y;
        pinPosX = x;
        pinPosY = y;
        invalidateRect();
    }
};

namespace {
const bool registered = gmpi::Register<BJoystickImage>::withId(L"Better Joystick Image");
}
