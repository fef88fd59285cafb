// The bundle's cache of skin images: each image is loaded once per drawing factory, made
// transparent the way older skins ask (a "_mask.bmp" beside a BMP, a transparent pixel),
// read with its metadata text and shared by every widget of the bundle. Entries live
// until the last client (ImageCacheClient) is gone. User-interface thread only; no lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Drawing.h"
#include "ImageMetadata.h"
#include "mp_sdk_gui.h"

namespace gmpi_gui {
class IMpGraphicsHost;
}

// One cache entry.
struct ImageData {
    GmpiDrawing_API::IMpFactory* factory = nullptr;  // kept alive by the bitmap
    std::string name;                                // resolved (full) name
    GmpiDrawing::Bitmap bitmap;
    std::shared_ptr<ImageMetadata> metadata;
};

// Makes a bitmap transparent by its mask: for every pixel alpha = 255 - the mask pixel's
// first byte, and the three colour bytes are multiplied by alpha / 255 (premultiplied).
// With `pixelFormat` MP1_PIXEL_FORMAT_BGRA_SRGB the product is taken in linear light and
// converted back to the nearest sRGB byte; otherwise on the bytes, rounded. Both images
// are `width` x `height` 32-bit pixels, rows `stride` / `maskStride` bytes apart.
void ApplyImageMask(std::uint8_t* pixels, std::int32_t stride, const std::uint8_t* mask, std::int32_t maskStride,
                    std::int32_t width, std::int32_t height, std::int32_t pixelFormat);

// The nearest sRGB byte of a linear-light value (0 .. 1), by binary search of the shared
// sRGB-to-linear table.
std::uint8_t LinearToSrgbByte(float linear);

// The mask file name of an image: the name up to its extension plus "_mask.bmp".
std::string ImageMaskName(const std::string& imageName);
// The metadata file name of an image: the name up to its extension plus ".txt".
std::string ImageMetadataName(const std::string& imageName);

class ImageCache {
public:
    // The bundle's cache, created on first use.
    static ImageCache* instance();

    // The bitmap of skin image `name` (resolved with kind "Image") for the module's
    // drawing factory, loading it on first request; null when the name cannot be
    // resolved or loaded. `*metadata` (when given) receives the entry's metadata, owned by
    // the cache, or null.
    GmpiDrawing::Bitmap GetImage(gmpi::IMpUserInterfaceHost2* uiHost, gmpi_gui::IMpGraphicsHost* graphicsHost,
                                 const char* name, ImageMetadata** metadata);
    // A bitmap a module made itself, under `name`, with default metadata.
    void RegisterCustomImage(const char* name, GmpiDrawing::Bitmap bitmap);
    // The registered bitmap of `name` for `factory` (a new reference), or null.
    GmpiDrawing::Bitmap GetCustomImage(GmpiDrawing_API::IMpFactory* factory, const char* name);

    void AddClient() { ++clientCount; }
    // The last client gone destroys every entry.
    void RemoveClient();

    std::size_t entryCount() const { return entries.size(); }

private:
    std::vector<ImageData> entries;  // searched linearly
    std::int32_t clientCount = 0;
};

// Mixin of modules that use skin images: a cache client from construction to destruction.
// The module must be a drawing module (gmpi_gui::MpGuiGfxBase) for GetImage to find its
// hosts.
class ImageCacheClient {
public:
    ImageCacheClient() { ImageCache::instance()->AddClient(); }
    ImageCacheClient(const ImageCacheClient&) = delete;
    ImageCacheClient& operator=(const ImageCacheClient&) = delete;
    virtual ~ImageCacheClient() { ImageCache::instance()->RemoveClient(); }

    // ImageCache::GetImage with this module's GUI and graphics hosts.
    GmpiDrawing::Bitmap GetImage(const char* name, ImageMetadata** metadata);
};
