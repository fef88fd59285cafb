// MouseBox: reports where the pointer is while pressed on the box, in whole pixels, as
// fractions of the box's size and as an angle around its centre, together with the
// change since the previous pointer event. FlipMode bit 0 counts Y from the bottom row,
// bit 1 counts X from the right column. The skin image shows frame 0 at rest and its last
// frame while pressed; the whole box takes the pointer, whatever the image covers.
//
// Pins: 0 FlipMode, 1 image, 2 hint, 3 menu items, 4 MouseDown, 5 menu selection, 6 the
// pointer flags of the last press (0 after the release), 7 X, 8 Y (pixels, int), 9 XNorm,
// 10 YNorm (x / W, y / H), 11 Angle (turns 0 .. 1 around the centre, see read), 12 DX,
// 13 DY, 14 DXNorm, 15 DYNorm, 16 DAngle (turns, -0.5 .. 0.5).
// User-interface thread only.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "ImageBase.h"

using GmpiDrawing_API::MP1_POINT;

namespace {

constexpr float twoPi = 6.28318530717959f;

// Pixels of a coordinate: truncated towards zero and saturated to the int32 range; a
// non-finite coordinate gives 0.
std::int32_t wholePixels(double coordinate)
{
    if (!std::isfinite(coordinate))
        return 0;
    if (coordinate >= 2147483647.0)
        return 2147483647;
    if (coordinate <= -2147483648.0)
        return -2147483647 - 1;
    return static_cast<std::int32_t>(coordinate);
}

}  // namespace

class MouseBox : public ImageBase {
    MpGuiPin<int> pinFlipMode;
    MpGuiPin<int> pinFlags;
    MpGuiPin<int> pinX;
    MpGuiPin<int> pinY;
    MpGuiPin<float> pinXNorm;
    MpGuiPin<float> pinYNorm;
    MpGuiPin<float> pinAngle;
    MpGuiPin<int> pinDX;
    MpGuiPin<int> pinDY;
    MpGuiPin<float> pinDXNorm;
    MpGuiPin<float> pinDYNorm;
    MpGuiPin<float> pinDAngle;

    // The point the deltas are measured from: the press, then each later pointer event.
    struct Reading {
        std::int32_t x = 0;
        std::int32_t y = 0;
        float xNorm = 0.0f;
        float yNorm = 0.0f;
        float angle = 0.0f;
    };
    Reading reference;

public:
    MouseBox()
    {
        initializePin(pinFlipMode);
        initializePin(pinFilename, &MouseBox::onSetFilename);
        initializePin(pinHint);
        initializePin(pinMenuItems);
        initializePin(pinMouseDown);
        initializePin(pinMenuSelection);
        initializePin(pinFlags);
        initializePin(pinX);
        initializePin(pinY);
        initializePin(pinXNorm);
        initializePin(pinYNorm);
        initializePin(pinAngle);
        initializePin(pinDX);
        initializePin(pinDY);
        initializePin(pinDXNorm);
        initializePin(pinDYNorm);
        initializePin(pinDAngle);
    }

    // The whole box takes the pointer.
    std::int32_t hitTest(MP1_POINT /*point*/) override { return gmpi::MP_OK; }

    std::int32_t onPointerDown(std::int32_t flags, MP1_POINT point) override
    {
        if (!(flags & gmpi_gui_api::GG_POINTER_FLAG_FIRSTBUTTON))
            return gmpi::MP_FAIL;
        setCapture();
        reference = read(point);
        pinFlags = flags;
        pinMouseDown = true;
        calcDrawAt();
        updatePins(reference);
        return gmpi::MP_OK;
    }

    std::int32_t onPointerMove(std::int32_t /*flags*/, MP1_POINT point) override
    {
        if (!getCapture())
            return gmpi::MP_FAIL;
        const Reading now = read(point);
        updatePins(now);
        reference = now;
        return gmpi::MP_OK;
    }

    std::int32_t onPointerUp(std::int32_t /*flags*/, MP1_POINT /*point*/) override
    {
        if (!getCapture())
            return gmpi::MP_FAIL;
        pinMouseDown = false;
        pinFlags = 0;
        pinDX = 0;
        pinDY = 0;
        pinDXNorm = 0.0f;
        pinDYNorm = 0.0f;
        pinDAngle = 0.0f;
        releaseCapture();
        calcDrawAt();
        return gmpi::MP_OK;
    }

protected:
    float getAnimationPos() override { return pinMouseDown ? 1.0f : 0.0f; }

private:
    // The box's size in whole pixels (0 for a non-finite or negative size).
    std::int32_t widthPixels() const { return std::max(0, wholePixels(getRect().getWidth())); }
    std::int32_t heightPixels() const { return std::max(0, wholePixels(getRect().getHeight())); }

    // A pointer position as the pins report it: flipped, in pixels, normalised and as an
    // angle. Angle is atan2(W/2 - x, y - H/2) in turns plus 0.5: 0.5 straight below the
    // centre, 0 (or 1) straight above it, 0.25 to the right. An empty box normalises to 0.
    Reading read(MP1_POINT point) const
    {
        const std::int32_t w = widthPixels();
        const std::int32_t h = heightPixels();
        double x = wholePixels(point.x);
        double y = wholePixels(point.y);
        const std::int32_t flip = pinFlipMode.getValue();
        if (flip & 1)
            y = h - 1.0 - y;
        if (flip & 2)
            x = w - 1.0 - x;
        Reading r;
        r.x = wholePixels(x);
        r.y = wholePixels(y);
        r.xNorm = w > 0 ? static_cast<float>(r.x / static_cast<double>(w)) : 0.0f;
        r.yNorm = h > 0 ? static_cast<float>(r.y / static_cast<double>(h)) : 0.0f;
        r.angle = static_cast<float>(std::atan2(w * 0.5 - r.x, r.y - h * 0.5)) / twoPi + 0.5f;
        return r;
    }

    void updatePins(const Reading& r)
    {
        pinX = r.x;
        pinY = r.y;
        pinXNorm = r.xNorm;
        pinYNorm = r.yNorm;
        pinAngle = r.angle;
        // Wrapping differences of int32 coordinates are taken in 64 bits and saturated.
        pinDX = wholePixels(static_cast<double>(r.x) - reference.x);
        pinDY = wholePixels(static_cast<double>(r.y) - reference.y);
        pinDXNorm = r.xNorm - reference.xNorm;
        pinDYNorm = r.yNorm - reference.yNorm;
        float turn = r.angle - reference.angle;
        if (turn > 0.5f)
            turn -= 1.0f;
        else if (turn < -0.5f)
            turn += 1.0f;
        pinDAngle = turn;
    }
};

namespace {
const bool registered = gmpi::Register<MouseBox>::withId(L"MouseBox");
}
