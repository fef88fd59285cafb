#include "ImageCache.h"

#include <algorithm>
#include <cstring>

#include "mp_sdk_gfx.h"

using namespace GmpiDrawing_API;

namespace {

// The position of the extension's dot in `name`, or npos when the file name has none.
std::size_t extensionDot(const std::string& name)
{
    const std::size_t separator = name.find_last_of("/\\");
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator))
        return std::string::npos;
    return dot;
}

bool endsWith(const std::string& text, const char* suffix)
{
    const std::size_t length = std::strlen(suffix);
    if (text.size() < length)
        return false;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = text[text.size() - length + i];
        if (std::tolower(static_cast<unsigned char>(c)) != suffix[i])
            return false;
    }
    return true;
}

std::string resolved(gmpi::IMpUserInterfaceHost2* uiHost, const std::string& name, const char* kind)
{
    gmpi_sdk::MpString fullName;
    if (!uiHost || uiHost->resolveSkinResource(name.c_str(), kind, &fullName) != gmpi::MP_OK)
        return {};
    return fullName.str();
}

GmpiDrawing::Factory drawingFactory(gmpi_gui::IMpGraphicsHost* graphicsHost)
{
    GmpiDrawing::Factory factory;
    if (graphicsHost)
        graphicsHost->GetDrawingFactory(factory.GetAddressOf());
    return factory;
}

}  // namespace

std::string ImageMaskName(const std::string& imageName)
{
    const std::size_t dot = extensionDot(imageName);
    return (dot == std::string::npos ? imageName : imageName.substr(0, dot)) + "_mask.bmp";
}

std::string ImageMetadataName(const std::string& imageName)
{
    const std::size_t dot = extensionDot(imageName);
    return (dot == std::string::npos ? imageName : imageName.substr(0, dot)) + ".txt";
}

std::uint8_t LinearToSrgbByte(float linear)
{
    const auto& toLinear = se_sdk::gammaLookupTables();
    if (!(linear > 0.0f))
        return 0;
    if (linear >= 1.0f)
        return 255;
    // First byte whose linear value is not below `linear`, then the nearer of it and
    // the one before.
    int low = 0;
    int high = 255;
    while (low < high) {
        const int middle = (low + high) / 2;
        if (toLinear[static_cast<std::size_t>(middle)] < linear)
            low = middle + 1;
        else
            high = middle;
    }
    if (low > 0 && linear - toLinear[static_cast<std::size_t>(low - 1)] <= toLinear[static_cast<std::size_t>(low)] - linear)
        --low;
    return static_cast<std::uint8_t>(low);
}

void ApplyImageMask(std::uint8_t* pixels, std::int32_t stride, const std::uint8_t* mask, std::int32_t maskStride,
                    std::int32_t width, std::int32_t height, std::int32_t pixelFormat)
{
    if (!pixels || !mask || width < 1 || height < 1)
        return;
    const auto& toLinear = se_sdk::gammaLookupTables();
    const bool srgb = pixelFormat == MP1_PIXEL_FORMAT_BGRA_SRGB;
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* pixel = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        const std::uint8_t* maskPixel = mask + static_cast<std::ptrdiff_t>(y) * maskStride;
        for (std::int32_t x = 0; x < width; ++x, pixel += 4, maskPixel += 4) {
            const int alpha = 255 - maskPixel[0];
            for (int channel = 0; channel < 3; ++channel) {
                if (srgb) {
                    const float linear = toLinear[pixel[channel]] * (static_cast<float>(alpha) / 255.0f);
                    pixel[channel] = LinearToSrgbByte(linear);
                } else {
                    pixel[channel] = static_cast<std::uint8_t>((pixel[channel] * alpha + 127) / 255);
                }
            }
            pixel[3] = static_cast<std::uint8_t>(alpha);
        }
    }
}

ImageCache* ImageCache::instance()
{
    static ImageCache cache;
    return &cache;
}

void ImageCache::RemoveClient()
{
    if (clientCount > 0 && --clientCount == 0)
        entries.clear();
}

GmpiDrawing::Bitmap ImageCache::GetImage(gmpi::IMpUserInterfaceHost2* uiHost, gmpi_gui::IMpGraphicsHost* graphicsHost,
                                         const char* name, ImageMetadata** metadata)
{
    if (metadata)
        *metadata = nullptr;
    if (!name || !*name)
        return {};
    const GmpiDrawing::Factory factory = drawingFactory(graphicsHost);
    if (!factory)
        return {};
    const std::string fullName = resolved(uiHost, name, "Image");
    if (fullName.empty())
        return {};

    for (const ImageData& entry : entries) {
        if (entry.factory == factory.Get() && entry.name == fullName) {
            if (metadata)
                *metadata = entry.metadata.get();
            return entry.bitmap;
        }
    }

    GmpiDrawing::Bitmap bitmap = factory.LoadImageU(fullName);
    if (!bitmap)
        return {};
    const GmpiDrawing::SizeU size = bitmap.GetSize();
    const auto width = static_cast<std::int32_t>(size.width);
    const auto height = static_cast<std::int32_t>(size.height);

    // Older skins give BMP images a mask beside them; a mask of another size is ignored.
    if (endsWith(fullName, "bmp")) {
        const std::string maskName = resolved(uiHost, ImageMaskName(fullName), "Image");
        GmpiDrawing::Bitmap maskBitmap = maskName.empty() ? GmpiDrawing::Bitmap() : factory.LoadImageU(maskName);
        const GmpiDrawing::SizeU maskSize = maskBitmap.GetSize();
        if (maskBitmap && maskSize.width == size.width && maskSize.height == size.height) {
            GmpiDrawing::BitmapPixels maskPixels = maskBitmap.lockPixels(MP1_BITMAP_LOCK_READ);
            GmpiDrawing::BitmapPixels pixels = bitmap.lockPixels(MP1_BITMAP_LOCK_READ | MP1_BITMAP_LOCK_WRITE);
            ApplyImageMask(pixels.getAddress(), pixels.getBytesPerRow(), maskPixels.getAddress(),
                           maskPixels.getBytesPerRow(), width, height, pixels.getPixelFormat());
        }
    }

    auto imageMetadata = std::make_shared<ImageMetadata>();
    imageMetadata->frameWidth = width;
    imageMetadata->frameHeight = height;
    imageMetadata->imageWidth = size.width;
    imageMetadata->imageHeight = size.height;
    const std::string metadataName = resolved(uiHost, ImageMetadataName(fullName), "ImageMeta");
    if (!metadataName.empty()) {
        gmpi_sdk::mp_shared_ptr<gmpi::IProtectedFile2> file;
        if (uiHost->openSkinResource(metadataName.c_str(), file.put()) == gmpi::MP_OK && file)
            imageMetadata->Serialise(file);
    }

    // Old skins name one pixel whose exact value is transparent everywhere.
    const std::int32_t px = imageMetadata->transparentPixelX;
    const std::int32_t py = imageMetadata->transparentPixelY;
    if (px >= 0 && py >= 0 && px < width && py < height) {
        GmpiDrawing::BitmapPixels pixels = bitmap.lockPixels(MP1_BITMAP_LOCK_READ | MP1_BITMAP_LOCK_WRITE);
        std::uint8_t* address = pixels.getAddress();
        const std::int32_t stride = pixels.getBytesPerRow();
        if (address) {
            std::uint32_t key;
            std::memcpy(&key, address + static_cast<std::ptrdiff_t>(py) * stride + px * 4, 4);
            for (std::int32_t y = 0; y < height; ++y) {
                std::uint8_t* row = address + static_cast<std::ptrdiff_t>(y) * stride;
                for (std::int32_t x = 0; x < width; ++x) {
                    std::uint32_t value;
                    std::memcpy(&value, row + x * 4, 4);
                    // The whole pixel becomes transparent: premultiplied colour without
                    // alpha would still add light.
                    if (value == key)
                        std::memset(row + x * 4, 0, 4);
                }
            }
        }
    }

    entries.push_back({factory.Get(), fullName, bitmap, imageMetadata});
    if (metadata)
        *metadata = imageMetadata.get();
    return bitmap;
}

void ImageCache::RegisterCustomImage(const char* name, GmpiDrawing::Bitmap bitmap)
{
    if (!name || !bitmap)
        return;
    const GmpiDrawing::Factory factory = bitmap.GetFactory();
    auto metadata = std::make_shared<ImageMetadata>();
    const GmpiDrawing::SizeU size = bitmap.GetSize();
    metadata->frameWidth = static_cast<std::int32_t>(size.width);
    metadata->frameHeight = static_cast<std::int32_t>(size.height);
    metadata->imageWidth = size.width;
    metadata->imageHeight = size.height;
    entries.push_back({factory.Get(), name, std::move(bitmap), std::move(metadata)});
}

GmpiDrawing::Bitmap ImageCache::GetCustomImage(IMpFactory* factory, const char* name)
{
    if (!name)
        return {};
    for (const ImageData& entry : entries)
        if (entry.factory == factory && entry.name == name)
            return entry.bitmap;
    return {};
}

GmpiDrawing::Bitmap ImageCacheClient::GetImage(const char* name, ImageMetadata** metadata)
{
    auto* module = dynamic_cast<gmpi_gui::MpGuiGfxBase*>(this);
    if (!module) {
        if (metadata)
            *metadata = nullptr;
        return {};
    }
    return ImageCache::instance()->GetImage(module->getHost(), module->getGuiHost(), name, metadata);
}
