// The host's drawing backend (cairo) as the rest of the host sees it: drawing factories
// and DrawingSurface, an image that modules draw into through a device context.
//
//   mphost::DrawingSurface surface(200, 100);
//   surface.deviceContext()->FillRectangle(&rect, brush);  // through the drawing interfaces
//   surface.pixel(10, 10);                                 // {r, g, b, a}, sRGB bytes
//   surface.writePng("panel.png");
//
// User-interface thread only.
#pragma once

#include <cstdint>
#include <filesystem>

#include "common/com_ptr.h"
#include "mp_drawing_api.h"

namespace mphost {

namespace drawing {

class DeviceContext;

// A new drawing factory (IMpFactory2, one reference).
ComPtr<GmpiDrawing_API::IMpFactory> createFactory();
// The factory the host uses unless told otherwise, shared by every graphics host.
ComPtr<GmpiDrawing_API::IMpFactory> sharedFactory();

// Drawing calls ignored because they carried a non-finite coordinate, size, transform or
// opacity, over the whole process.
std::uint64_t nonFiniteCoordinateCount();

}  // namespace drawing

// An sRGB pixel with straight (not premultiplied) alpha.
struct Rgba {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    std::uint8_t a = 0;
    bool operator==(const Rgba&) const = default;
};

// A W x H ARGB32 image (premultiplied sRGB, transparent at first) with a device context
// drawing into it. The origin and clip of the context are settable so that one surface
// can hold a whole panel of modules, each drawing in its own coordinates.
class DrawingSurface {
public:
    // Sides are clamped to 0 .. 16384; a 0-pixel side gives an empty surface whose
    // context draws nothing.
    DrawingSurface(int width, int height, ComPtr<GmpiDrawing_API::IMpFactory> factory = drawing::sharedFactory());
    ~DrawingSurface();
    DrawingSurface(DrawingSurface&& other) noexcept;
    DrawingSurface& operator=(DrawingSurface&& other) noexcept;
    DrawingSurface(const DrawingSurface&) = delete;
    DrawingSurface& operator=(const DrawingSurface&) = delete;

    int width() const { return surfaceWidth; }
    int height() const { return surfaceHeight; }

    // The context drawing into this surface; owned by the surface (borrowed pointer:
    // addRef to keep it longer).
    GmpiDrawing_API::IMpDeviceContext* deviceContext() const;

    // Places the context's origin at surface pixel (x, y), clips it to `clip` (surface
    // pixels; null: the whole surface) and resets its transform and clip stack. Used
    // before each module draws.
    void setOrigin(float x, float y, const GmpiDrawing_API::MP1_RECT* clip = nullptr);
    // Back to origin (0, 0) and no clip.
    void resetOrigin() { setOrigin(0.0f, 0.0f, nullptr); }

    // Fills every pixel (ignoring origin and clip) with `color`.
    void fill(Rgba color);

    // Writes the image as a PNG file; false when it cannot.
    bool writePng(const std::filesystem::path& path) const;
    // The image's pixels as they are now: rows of width() premultiplied ARGB32 words
    // (native byte order, alpha in the top byte), stride() bytes apart; null when empty.
    // Valid until the next drawing call.
    const std::uint8_t* pixels() const;
    int stride() const;
    // The pixel at (x, y) un-premultiplied; transparent black outside the surface.
    Rgba pixel(int x, int y) const;

    // Calls this surface's context ignored for a non-finite value.
    std::uint64_t nonFiniteCoordinates() const;

private:
    int surfaceWidth = 0;
    int surfaceHeight = 0;
    drawing::DeviceContext* context = nullptr;  // one reference
};

}  // namespace mphost
