// The drawing factory: path geometries, text formats (fontconfig matching), bitmaps
// (blank or decoded by stb_image) and the installed font families. Also the colour and
// matrix helpers every part of the backend shares.
#include <fontconfig/fontconfig.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "drawing/drawing_objects.h"
#include "drawing/drawing_surface.h"

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig keeps a few blocks of its parsed configuration unreachable for the life of
// the process; they are not ours to free.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
#endif

namespace mphost::drawing {

namespace {
std::atomic<std::uint64_t> nonFiniteTotal{0};
}

void countNonFinite()
{
    nonFiniteTotal.fetch_add(1, std::memory_order_relaxed);
}

std::uint64_t nonFiniteCoordinateCount()
{
    return nonFiniteTotal.load(std::memory_order_relaxed);
}

double linearToSrgb(double linear)
{
    if (!(linear > 0.0))  // also NaN
        return 0.0;
    if (linear >= 1.0)
        return 1.0;
    if (linear <= 0.0031308)
        return linear * 12.92;
    return 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
}

namespace {
double clampedAlpha(float alpha)
{
    return alpha > 0.0f ? std::min(1.0, static_cast<double>(alpha)) : 0.0;  // NaN gives 0
}
}  // namespace

void setSourceColor(cairo_t* context, const api::MP1_COLOR& color)
{
    cairo_set_source_rgba(context, linearToSrgb(color.r), linearToSrgb(color.g), linearToSrgb(color.b),
                          clampedAlpha(color.a));
}

void addColorStop(cairo_pattern_t* pattern, double offset, const api::MP1_COLOR& color)
{
    cairo_pattern_add_color_stop_rgba(pattern, offset, linearToSrgb(color.r), linearToSrgb(color.g),
                                      linearToSrgb(color.b), clampedAlpha(color.a));
}

bool isUsable(const api::MP1_MATRIX_3X2& m)
{
    for (const float value : {m._11, m._12, m._21, m._22, m._31, m._32})
        if (!std::isfinite(value))
            return false;
    return true;
}

bool isInvertible(const api::MP1_MATRIX_3X2& m)
{
    if (!isUsable(m))
        return false;
    cairo_matrix_t matrix = toCairo(m);
    return cairo_matrix_invert(&matrix) == CAIRO_STATUS_SUCCESS;
}

void handOutFactory(api::IMpFactory* factory, api::IMpFactory** out)
{
    if (!out)
        return;
    *out = factory;
    if (factory)
        factory->addRef();
}

// ---------------------------------------------------------------------------------

ComPtr<api::IMpFactory> Factory::self()
{
    addRef();
    return ComPtr<api::IMpFactory>::adopt(this);
}

std::int32_t Factory::CreatePathGeometry(api::IMpPathGeometry** pathGeometry)
{
    return handOut(ComPtr<PathGeometry>::adopt(new PathGeometry(self())), pathGeometry);
}

std::int32_t Factory::CreateTextFormat(const char* fontFamilyName, void*, std::int32_t fontWeight,
                                       std::int32_t fontStyle, std::int32_t, float fontSize, void*,
                                       api::IMpTextFormat** textFormat)
{
    if (!textFormat)
        return gmpi::MP_FAIL;
    *textFormat = nullptr;
    // Glyphs are rasterised as masks of about size x size pixels: keep them bounded.
    if (!std::isfinite(fontSize) || fontSize <= 0.0f || fontSize > maximumFontSize)
        return gmpi::MP_FAIL;

    const std::string family = fontFamilyName ? cleanUtf8(fontFamilyName, -1) : std::string("sans-serif");
    FcPattern* pattern = FcPatternCreate();
    if (!pattern)
        return gmpi::MP_FAIL;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));  // fallback
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(std::clamp(fontWeight, 1, 1000)));
    FcPatternAddInteger(pattern, FC_SLANT,
                        fontStyle == api::MP1_FONT_STYLE_ITALIC    ? FC_SLANT_ITALIC
                        : fontStyle == api::MP1_FONT_STYLE_OBLIQUE ? FC_SLANT_OBLIQUE
                                                                   : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match)
        return gmpi::MP_FAIL;
    cairo_font_face_t* face = cairo_ft_font_face_create_for_pattern(match);
    FcPatternDestroy(match);  // the face keeps its own reference
    if (cairo_font_face_status(face) != CAIRO_STATUS_SUCCESS) {
        cairo_font_face_destroy(face);
        return gmpi::MP_FAIL;
    }
    const auto format = ComPtr<TextFormat>::adopt(new TextFormat(face, fontSize));
    if (!format->valid())
        return gmpi::MP_FAIL;
    return handOut(format, textFormat);
}

cairo_surface_t* createImageSurface(std::int32_t width, std::int32_t height)
{
    if (width < 1 || height < 1 || width > maximumBitmapSide || height > maximumBitmapSide)
        return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return surface;
}

cairo_surface_t* copyImageSurface(cairo_surface_t* source)
{
    cairo_surface_flush(source);
    const int width = cairo_image_surface_get_width(source);
    const int height = cairo_image_surface_get_height(source);
    cairo_surface_t* copy = createImageSurface(width, height);
    if (!copy)
        return nullptr;
    const int sourceStride = cairo_image_surface_get_stride(source);
    const int copyStride = cairo_image_surface_get_stride(copy);
    const unsigned char* from = cairo_image_surface_get_data(source);
    unsigned char* to = cairo_image_surface_get_data(copy);
    for (int y = 0; y < height; ++y)
        std::memcpy(to + y * copyStride, from + y * sourceStride, static_cast<std::size_t>(width) * 4);
    cairo_surface_mark_dirty(copy);
    return copy;
}

std::int32_t Factory::CreateImage(std::int32_t width, std::int32_t height, api::IMpBitmap** returnBitmap)
{
    if (!returnBitmap)
        return gmpi::MP_FAIL;
    *returnBitmap = nullptr;
    cairo_surface_t* surface = createImageSurface(width, height);
    if (!surface)
        return gmpi::MP_FAIL;
    return handOut(ComPtr<Bitmap>::adopt(new Bitmap(self(), surface)), returnBitmap);
}

std::int32_t Factory::LoadImageU(const char* utf8Uri, api::IMpBitmap** returnBitmap)
{
    if (!returnBitmap)
        return gmpi::MP_FAIL;
    *returnBitmap = nullptr;
    if (!utf8Uri || !*utf8Uri)
        return gmpi::MP_FAIL;
    int width = 0;
    int height = 0;
    int channels = 0;
    // Refuse oversized images before decoding them.
    if (!stbi_info(utf8Uri, &width, &height, &channels) || width < 1 || height < 1 || width > maximumBitmapSide ||
        height > maximumBitmapSide)
        return gmpi::MP_FAIL;
    unsigned char* rgba = stbi_load(utf8Uri, &width, &height, &channels, 4);
    if (!rgba)
        return gmpi::MP_FAIL;
    cairo_surface_t* surface = createImageSurface(width, height);
    if (!surface) {
        stbi_image_free(rgba);
        return gmpi::MP_FAIL;
    }
    // Straight RGBA bytes to premultiplied B, G, R, A (native-endian ARGB32).
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        const unsigned char* from = rgba + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 4;
        auto* to =
            reinterpret_cast<std::uint32_t*>(data + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride));
        for (int x = 0; x < width; ++x, from += 4) {
            const std::uint32_t alpha = from[3];
            const auto premultiply = [alpha](std::uint32_t channel) { return (channel * alpha + 127) / 255; };
            to[x] = (alpha << 24) | (premultiply(from[0]) << 16) | (premultiply(from[1]) << 8) | premultiply(from[2]);
        }
    }
    stbi_image_free(rgba);
    cairo_surface_mark_dirty(surface);
    return handOut(ComPtr<Bitmap>::adopt(new Bitmap(self(), surface)), returnBitmap);
}

namespace {
// The family of the face fontconfig chooses for `name`, or empty.
std::string matchedFamily(const char* name)
{
    std::string result;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(name));
    if (!pattern)
        return result;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult outcome = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &outcome)) {
        FcChar8* family = nullptr;
        if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch && family)
            result = reinterpret_cast<const char*>(family);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return result;
}
}  // namespace

std::int32_t Factory::GetFontFamilyName(std::int32_t fontIndex, gmpi::IString* returnName)
{
    if (!familiesListed) {
        familiesListed = true;
        std::set<std::string> names;
        FcPattern* pattern = FcPatternCreate();
        FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
        if (FcFontSet* fonts = FcFontList(nullptr, pattern, objects)) {
            for (int i = 0; i < fonts->nfont; ++i) {
                FcChar8* name = nullptr;
                if (FcPatternGetString(fonts->fonts[i], FC_FAMILY, 0, &name) == FcResultMatch && name)
                    names.insert(reinterpret_cast<const char*>(name));
            }
            FcFontSetDestroy(fonts);
        }
        FcObjectSetDestroy(objects);
        FcPatternDestroy(pattern);
        // Common family names served by metric-compatible faces: "Arial" and "Verdana"
        // always resolve; other names count when fontconfig maps them to a face of their
        // own rather than to the default sans-serif one.
        names.insert("Arial");
        names.insert("Verdana");
        const std::string fallback = matchedFamily("sans-serif");
        for (const char* alias : {"Helvetica", "Times New Roman", "Courier New"}) {
            const std::string family = matchedFamily(alias);
            if (!family.empty() && family != fallback)
                names.insert(alias);
        }
        families.assign(names.begin(), names.end());
    }
    if (!returnName || fontIndex < 0 || static_cast<std::size_t>(fontIndex) >= families.size())
        return gmpi::MP_FAIL;
    const std::string& name = families[static_cast<std::size_t>(fontIndex)];
    returnName->setData(name.data(), static_cast<std::int32_t>(name.size()));
    return gmpi::MP_OK;
}

ComPtr<api::IMpFactory> createFactory()
{
    return ComPtr<api::IMpFactory>::adopt(new Factory());
}

ComPtr<api::IMpFactory> sharedFactory()
{
    static const ComPtr<api::IMpFactory> factory = createFactory();
    return factory;
}

}  // namespace mphost::drawing
