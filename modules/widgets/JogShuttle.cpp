// JogShuttle: a wheel turned by dragging the pointer around its centre. One full turn of
// the pointer moves Value by (Max - Min) / Turns; Value stays within [Min, Max]. The skin
// image is an animation strip of one rotation of the wheel: the frame shown is the
// fractional part of the turns Value stands for, so the picture wraps around while Value
// keeps counting.
//
// Pins: 0 animation position (0 .. 1, written by the module), 1 image, 2 hint, 3 menu
// items, 4 menu selection, 5 Value, 6 Min, 7 Max, 8 Turns, 9 and 10 MouseDown (both set
// on a press, both cleared on release), 11 Delta (turns of the wheel in the last drag
// step, clockwise positive), 12 and 13 the image's frame count (0 without image).
// User-interface thread only.
#include <cmath>
#include <cstdint>

#include "ImageBase.h"
#include "WidgetGeometry.h"

using GmpiDrawing_API::MP1_POINT;

namespace {

constexpr float pi = 3.14159265358979f;

// The pointer's angle around the centre of a width x height box, in radians 0 .. 2 pi
// (0 at 9 o'clock, growing clockwise on screen).
float pointerAngle(MP1_POINT point, float width, float height)
{
    return std::atan2(point.y - height * 0.5f, point.x - width * 0.5f) + pi;
}

}  // namespace

class JogShuttle : public ImageBase {
    MpGuiPin<float> pinAnimationPosition;
    MpGuiPin<float> pinValue;
    MpGuiPin<float> pinMin;
    MpGuiPin<float> pinMax;
    MpGuiPin<float> pinTurns;
    MpGuiPin<float> pinDelta;
    MpGuiPin<int> pinFrameCount;
    MpGuiPin<int> pinFrameCount2;

    // The range and the value within it; non-finite pin values leave the previous ones.
    float minimum = 0.0f;
    float maximum = 1.0f;
    float turns = 1.0f;
    float value = 0.0f;
    float lastAngle = 0.0f;  // radians, 0 .. 2 pi

public:
    JogShuttle()
    {
        initializePin(pinAnimationPosition, &JogShuttle::calcDrawAt);
        initializePin(pinFilename, &JogShuttle::onSetImage);
        initializePin(pinHint);
        initializePin(pinMenuItems);
        initializePin(pinMenuSelection);
        initializePin(pinValue, &JogShuttle::onSetValue);
        initializePin(pinMin, &JogShuttle::onSetMin);
        initializePin(pinMax, &JogShuttle::onSetMax);
        initializePin(pinTurns, &JogShuttle::onSetTurns);
        initializePin(pinMouseDown);
        initializePin(pinMouseOver);
        initializePin(pinDelta);
        initializePin(pinFrameCount);
        initializePin(pinFrameCount2);
    }

    // Circular dragging.
    std::int32_t getMouseResponse() const { return 3; }

    // ---------------------------------------------------------------------------------
    // Pins

    void onSetValue()
    {
        const float clamped = clampToRange(pinValue.getValue());
        if (clamped != value) {
            value = clamped;
            updateJog();
        }
    }

    // The range pins re-read Value, so that a Value delivered before its range is kept.
    void onSetMin()
    {
        if (std::isfinite(pinMin.getValue()))
            minimum = pinMin.getValue();
        value = clampToRange(pinValue.getValue());
        updateJog();
    }

    void onSetMax()
    {
        if (std::isfinite(pinMax.getValue()))
            maximum = pinMax.getValue();
        value = clampToRange(pinValue.getValue());
        updateJog();
    }

    void onSetTurns()
    {
        if (std::isfinite(pinTurns.getValue()))
            turns = pinTurns.getValue();
        updateJog();
    }

    void onSetImage()
    {
        onSetFilename();
        publishFrameCount();
    }

    // The host delivers every pin's stored value before this, the frame-count outputs
    // included: the image's count is sent again so that it is what the host keeps.
    std::int32_t initialize() override
    {
        const std::int32_t result = ImageBase::initialize();
        publishFrameCount();
        return result;
    }

    // ---------------------------------------------------------------------------------
    // Pointer

    std::int32_t onPointerDown(std::int32_t flags, MP1_POINT point) override
    {
        if (!(flags & gmpi_gui_api::GG_POINTER_FLAG_FIRSTBUTTON) || !finite(point) || hitTest(point) != gmpi::MP_OK)
            return gmpi::MP_FAIL;
        lastAngle = pointerAngle(point, width(), height());
        pinMouseDown = true;
        pinMouseOver = true;
        setCapture();
        return gmpi::MP_OK;
    }

    std::int32_t onPointerMove(std::int32_t /*flags*/, MP1_POINT point) override
    {
        if (!getCapture() || !finite(point))
            return gmpi::MP_FAIL;
        const float angle = pointerAngle(point, width(), height());
        float step = angle - lastAngle;
        if (step > pi)
            step -= 2.0f * pi;
        else if (step < -pi)
            step += 2.0f * pi;
        lastAngle = angle;
        const float stepTurns = step / (2.0f * pi);
        // Turns 0 holds the wheel still rather than throwing Value to an end.
        if (turns == 0.0f)
            return gmpi::MP_OK;
        const double moved = static_cast<double>(maximum - minimum) * stepTurns / turns;
        const float newValue = clampToRange(static_cast<float>(value + moved));
        if (newValue != value) {
            value = newValue;
            pinValue = value;
            updateJog();
            pinDelta = stepTurns;
        }
        return gmpi::MP_OK;
    }

protected:
    float getAnimationPos() override { return pinAnimationPosition.getValue(); }

private:
    void publishFrameCount()
    {
        const std::int32_t frames = bitmap ? getLastFrame() + 1 : 0;
        pinFrameCount = frames;
        pinFrameCount2 = frames;
    }

    static bool finite(MP1_POINT point) { return std::isfinite(point.x) && std::isfinite(point.y); }

    float width() const { return finiteSide(getRect().getWidth()); }
    float height() const { return finiteSide(getRect().getHeight()); }

    // `v` within [Min, Max] (either order); a non-finite `v` keeps the current value.
    float clampToRange(float v) const
    {
        const float low = std::fmin(minimum, maximum);
        const float high = std::fmax(minimum, maximum);
        if (!std::isfinite(v))
            v = value;
        return std::fmin(std::fmax(v, low), high);
    }

    // The animation position: the fractional part of the turns Value stands for, 0 .. 1
    // (below 1). An empty range shows position 0.
    void updateJog()
    {
        const double range = static_cast<double>(maximum) - minimum;
        double position = 0.0;
        if (range != 0.0) {
            const double p = (static_cast<double>(value) - minimum) * turns / range;
            if (std::isfinite(p)) {
                position = p - std::trunc(p);
                if (position < 0.0)
                    position += 1.0;
            }
        }
        float shown = static_cast<float>(position);
        if (!(shown < 1.0f))
            shown = 0.0f;  // a tiny negative fraction rounds up to a whole turn
        pinAnimationPosition = shown;
        calcDrawAt();
    }
};

namespace {
const bool registered = gmpi::Register<JogShuttle>::withId(L"JogShuttle");
}
