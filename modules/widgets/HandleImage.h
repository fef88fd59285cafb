// The base of the widgets that move one skin-image handle inside their area (the joystick
// and the polar picker): the handle's pins, the background and line colours, the area and
// the handle's travel in module pixels, and the drawing of the handle's current frame.
//
// A subclass calls initializeHandlePins() first (pins 0 to 6), binds its own pins after
// them, among them pinBackgroundColor and pinLineColor with the handler onSetColors, sets
// pinPointerFlags to the press's flags while it holds the handle, and draws the handle
// with drawHandle(). User-interface thread only.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "Drawing.h"
#include "ImageBase.h"

class HandleImage : public ImageBase {
protected:
    MpGuiPin<float> pinAnimationPosition;
    MpGuiPin<int> pinPointerFlags;    // the pointer flags of the press holding the handle, 0 otherwise
    StringGuiPin pinBackgroundColor;  // colour texts, AARRGGBB as GmpiDrawing::hexStringToColor reads them
    StringGuiPin pinLineColor;
    GmpiDrawing::Color backgroundColor = GmpiDrawing::Color(0, 0, 0, 0);
    GmpiDrawing::Color lineColor = GmpiDrawing::Color(0, 0, 0, 0);

    static float finiteOr(float value, float fallback) { return std::isfinite(value) ? value : fallback; }

    // Pins 0 to 6: animation position, image, hint, menu items, menu selection, mouse
    // down, pointer flags (the ImageBase order with the pointer pins after it).
    void initializeHandlePins()
    {
        initializePin(pinAnimationPosition, &HandleImage::onSetAnimationPosition);
        initializePin(pinFilename, &HandleImage::onSetImage);
        initializePin(pinHint);
        initializePin(pinMenuItems);
        initializePin(pinMenuSelection);
        initializePin(pinMouseDown);
        initializePin(pinPointerFlags);
    }

public:
    void onSetAnimationPosition() { ImageBase::calcDrawAt(); }
    void onSetImage() { ImageBase::onSetFilename(); }
    void onSetColors()
    {
        backgroundColor = GmpiDrawing::hexStringToColor(pinBackgroundColor.getValue());
        lineColor = GmpiDrawing::hexStringToColor(pinLineColor.getValue());
        invalidateRect();
    }

    // Releasing the press that held the handle clears the pointer flags.
    std::int32_t onPointerUp(std::int32_t flags, GmpiDrawing_API::MP1_POINT point) override
    {
        const std::int32_t result = ImageBase::onPointerUp(flags, point);
        if (result == gmpi::MP_OK)
            pinPointerFlags = 0;
        return result;
    }

    // The widget takes the area it is given (not the image's frame size); the handle
    // moves inside it.
    std::int32_t measure(GmpiDrawing_API::MP1_SIZE availableSize, GmpiDrawing_API::MP1_SIZE* returnDesiredSize) override
    {
        return MpGuiGfxBase::measure(availableSize, returnDesiredSize);
    }

protected:
    float getAnimationPos() override { return finiteOr(pinAnimationPosition, 0.0f); }

    // The module's size in pixels, 0 on a side that is negative or not finite.
    GmpiDrawing::Size areaSize() const
    {
        const GmpiDrawing::Rect rect = getRect();
        return GmpiDrawing::Size(std::max(0.0f, finiteOr(rect.getWidth(), 0.0f)),
                                 std::max(0.0f, finiteOr(rect.getHeight(), 0.0f)));
    }

    // The travel of the handle's top-left corner in pixels: the area less one frame of the
    // handle, 0 on an axis the handle fills.
    GmpiDrawing::Size travel() const
    {
        const GmpiDrawing::Size area = areaSize();
        const GmpiDrawing::Size handle = frameSize();
        return GmpiDrawing::Size(std::max(0.0f, area.width - handle.width),
                                 std::max(0.0f, area.height - handle.height));
    }

    // Draws the handle's current frame with its top-left corner at `topLeft`; the image's
    // "X" placeholder instead while no handle image is loaded.
    void drawHandle(GmpiDrawing::Graphics& g, GmpiDrawing::Point topLeft)
    {
        if (!bitmap) {
            renderBitmap(g, GmpiDrawing_API::MP1_SIZE_U{0, 0});
            return;
        }
        const GmpiDrawing::Size handle = frameSize();
        // For sliders and bar graphs the draw position is the handle's pixel offset, not a
        // frame: their handle is the image's first frame.
        const float frameTop = static_cast<float>(
            metadata->type == ABT_SLIDER || metadata->type == ABT_BARGRAPH ? 0 : std::max(0, drawAt));
        g.DrawBitmap(bitmap,
                     GmpiDrawing::Rect(topLeft.x, topLeft.y, topLeft.x + handle.width, topLeft.y + handle.height),
                     GmpiDrawing::Rect(0, frameTop, handle.width, frameTop + handle.height));
    }
};
