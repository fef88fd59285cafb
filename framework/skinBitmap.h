// One skin image held by a widget: turns a normalised control value (0 .. 1) into the
// part of the image to draw (a frame of a strip, a slider handle position, the lit part
// of a bargraph), draws it and tells whether a point lies on it. The image and its
// metadata belong to the bundle's ImageCache. User-interface thread only.
#pragma once

#include <cstdint>

#include "Drawing.h"
#include "ImageMetadata.h"
#include "mp_sdk_gui.h"

namespace gmpi_gui {
class IMpGraphicsHost;
}

class skinBitmap {
public:
    virtual ~skinBitmap() = default;

    // Loads skin image `name` through the cache: 0, or -1 for an empty name or an image
    // that cannot be loaded (the widget then draws a placeholder).
    std::int32_t Load(gmpi::IMpUserInterfaceHost2* uiHost, gmpi_gui::IMpGraphicsHost* graphicsHost, const char* name);
    // Moves to the draw position of `value` (clamped to 0 .. 1); true when it changed.
    bool calcDrawAt(float value);
    // Quantises knob values to `steps` positions before choosing the frame (0: off).
    void setStepCount(std::int32_t steps) { stepCount = steps; }

    const GmpiDrawing::Bitmap& getDrawBitmap() const { return bitmap; }
    const ImageMetadata* getMetadata() const { return metadata; }
    std::int32_t getDrawAt() const { return drawAt; }
    std::int32_t getLastFrame() const { return lastFrame; }
    // The size of one frame in pixels (the image's size when the metadata gives none).
    GmpiDrawing::Size frameSize() const;

    // Draws the current part of the image with its top-left at `offset` (moved by the
    // padding). Without an image: a filled rectangle over the clip with an "X".
    void renderBitmap(GmpiDrawing::Graphics& graphics, GmpiDrawing_API::MP1_SIZE_U offset);
    // Whether `point` (module pixels) lies on the drawn part: always for bargraphs, the
    // moved handle for sliders, an opaque pixel of the current frame otherwise.
    bool bitmapHitTestLocal(GmpiDrawing_API::MP1_POINT point);

protected:
    // Slider handle: where it lies in the bitmap, and where it is drawn for the current
    // position (its leading edge at the position along the slider's axis, its other
    // side at the frame's edge), in frame pixels.
    GmpiDrawing::Rect handleSource() const;
    GmpiDrawing::Rect handlePlace() const;

    GmpiDrawing::Bitmap bitmap;
    ImageMetadata* metadata = nullptr;  // owned by the cache
    std::int32_t drawAt = -1;           // vertical frame offset, or the handle position
    std::int32_t lastFrame = 0;
    std::int32_t stepCount = 0;
};
