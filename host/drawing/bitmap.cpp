// Bitmaps: cairo ARGB32 image surfaces (premultiplied, B G R A in memory on this
// little-endian host) with locked pixel access.
#include "drawing/drawing_objects.h"

namespace mphost::drawing {

namespace {

// Direct access to a bitmap's pixels; a write lock marks the surface changed when it
// goes, so that cairo sees what the module wrote.
class BitmapPixels final : public Object<api::IMpBitmapPixels> {
public:
    BitmapPixels(ComPtr<Bitmap> bitmap, std::int32_t flags) : bitmap(std::move(bitmap)), flags(flags)
    {
        cairo_surface_flush(this->bitmap->surface());
    }
    ~BitmapPixels() override
    {
        // Anything but a pure read lock may have written.
        if (flags != api::MP1_BITMAP_LOCK_READ)
            cairo_surface_mark_dirty(bitmap->surface());
    }
    std::uint8_t* getAddress() override { return cairo_image_surface_get_data(bitmap->surface()); }
    std::int32_t getBytesPerRow() override { return cairo_image_surface_get_stride(bitmap->surface()); }
    std::int32_t getPixelFormat() override { return api::MP1_PIXEL_FORMAT_BGRA_SRGB; }

private:
    ComPtr<Bitmap> bitmap;
    std::int32_t flags;
};

}  // namespace

const Bitmap* bitmapOf(const api::IMpBitmap* bitmap)
{
    return bitmap ? dynamic_cast<const Bitmap*>(bitmap) : nullptr;
}

api::MP1_SIZE Bitmap::GetSizeF()
{
    return {static_cast<float>(cairo_image_surface_get_width(image)),
            static_cast<float>(cairo_image_surface_get_height(image))};
}

std::int32_t Bitmap::GetSize(api::MP1_SIZE_U* returnSize)
{
    if (!returnSize)
        return gmpi::MP_FAIL;
    *returnSize = {static_cast<std::uint32_t>(cairo_image_surface_get_width(image)),
                   static_cast<std::uint32_t>(cairo_image_surface_get_height(image))};
    return gmpi::MP_OK;
}

std::int32_t Bitmap::lockPixels(api::IMpBitmapPixels** returnPixels, std::int32_t flags)
{
    if (!returnPixels)
        return gmpi::MP_FAIL;
    *returnPixels = nullptr;
    addRef();
    return handOut(ComPtr<BitmapPixels>::adopt(new BitmapPixels(ComPtr<Bitmap>::adopt(this), flags)), returnPixels);
}

}  // namespace mphost::drawing
