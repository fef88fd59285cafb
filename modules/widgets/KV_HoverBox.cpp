// KV_HoverBox: reports where the pointer hovers over the module without taking it. Each
// hit test (the host asks one whenever the pointer moves over the module) writes the
// point to X and Y, in pixels from the module's top-left, and pulses Hover (true, then
// false at once), then answers a miss so that presses reach whatever lies below. It
// draws nothing. Pointer moves delivered to it report the same way.
//
// Pins: 0 X, 1 Y, 2 Hover. User-interface thread only.
#include <cmath>
#include <cstdint>

#include "mp_sdk_gfx.h"

using GmpiDrawing_API::MP1_POINT;

class KV_HoverBox : public gmpi_gui::MpGuiGfxBase {
    MpGuiPin<float> pinX;
    MpGuiPin<float> pinY;
    MpGuiPin<bool> pinHover;

public:
    KV_HoverBox()
    {
        initializePin(pinX);
        initializePin(pinY);
        initializePin(pinHover);
    }

    // A non-finite point is not reported; it is a miss all the same.
    std::int32_t hitTest(MP1_POINT point) override
    {
        if (std::isfinite(point.x) && std::isfinite(point.y)) {
            pinX = point.x;
            pinY = point.y;
            pinHover = true;
            pinHover = false;
        }
        return gmpi::MP_FAIL;
    }

    std::int32_t onPointerMove(std::int32_t /*flags*/, MP1_POINT point) override { return hitTest(point); }
    std::int32_t onPointerDown(std::int32_t /*flags*/, MP1_POINT /*point*/) override { return gmpi::MP_FAIL; }
    std::int32_t onPointerUp(std::int32_t /*flags*/, MP1_POINT /*point*/) override { return gmpi::MP_FAIL; }
};

namespace {
const bool registered = gmpi::Register<KV_HoverBox>::withId(L"KV_HoverBox");
}
