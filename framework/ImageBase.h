// The base of widgets drawn with one skin image: a drawing GUI module with a skinBitmap.
//
// A subclass declares its animation-position pin and binds, first and in this order:
//   0 animation position (float; handler ImageBase::calcDrawAt)
//   1 image file name    (text;  handler ImageBase::onSetFilename)
//   2 hint               (text;  the tooltip)
//   3 menu items         (text, enumeration list: the context menu)
//   4 menu selection     (int32; the chosen menu item, then -1)
// and answers getAnimationPos() with the normalised value (0 .. 1) to show.
// User-interface thread only.
#pragma once

#include <cstdint>

#include "ImageCache.h"
#include "mp_sdk_gfx.h"
#include "skinBitmap.h"

class ImageBase : public gmpi_gui::MpGuiGfxBase, public skinBitmap, public ImageCacheClient {
public:
    // Loads the image named by the file-name pin; after a load, the load hook, a measure
    // request, a new draw position and a redraw.
    void onSetFilename();
    // Recomputes the draw position from getAnimationPos(); redraws when it moved.
    void calcDrawAt();

    // One frame (the image's size without metadata), or the base's answer without image.
    std::int32_t measure(GmpiDrawing_API::MP1_SIZE availableSize, GmpiDrawing_API::MP1_SIZE* returnDesiredSize) override;
    std::int32_t OnRender(GmpiDrawing_API::IMpDeviceContext* drawingContext) override;
    // MP_OK when the point lies on the drawn part of the image.
    std::int32_t hitTest(GmpiDrawing_API::MP1_POINT point) override;
    // Releases a held capture, clears both pointer states and answers MP_OK; MP_FAIL and
    // nothing changed without a capture.
    std::int32_t onPointerUp(std::int32_t flags, GmpiDrawing_API::MP1_POINT point) override;
    // The hint text.
    std::int32_t getToolTip(GmpiDrawing_API::MP1_POINT point, gmpi::IString* returnString) override;
    using gmpi_gui::MpGuiGfxBase::getToolTip;
    // The menu items as context-menu entries (id = the item's value).
    std::int32_t populateContextMenu(float x, float y, gmpi::IMpUnknown* contextMenuItemsSink) override;
    // Sends `selection` on the menu-selection pin, then -1, so a repeated choice is sent again.
    std::int32_t onContextMenu(std::int32_t selection) override;

    // The metadata's mouse response (-1 without an image).
    std::int32_t getMouseResponse() const { return metadata ? metadata->mouseResponse : -1; }

protected:
    // The normalised value the image shows (0 .. 1).
    virtual float getAnimationPos() = 0;
    // Runs after each successful load.
    virtual void onLoaded() {}

    StringGuiPin pinFilename;
    StringGuiPin pinHint;
    StringGuiPin pinMenuItems;
    MpGuiPin<int> pinMenuSelection;
    // Pointer states a subclass may bind and set (pressed, pointer over the image).
    MpGuiPin<bool> pinMouseDown;
    MpGuiPin<bool> pinMouseOver;
};
