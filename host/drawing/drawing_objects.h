// The objects of the cairo drawing backend, shared by its sources. Not included by
// anything outside host/drawing: the host and tests use drawing_surface.h.
//
// Every object is reference counted (count 1 at creation, deleted on the last release)
// and used on the user-interface thread only.
#pragma once

#include <cairo-ft.h>
#include <cairo.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "common/com_ptr.h"
#include "mp_drawing_api.h"

namespace mphost::drawing {

namespace api = GmpiDrawing_API;

// ---------------------------------------------------------------------------------
// Reference counting

template <class Interface> class Object : public Interface {
public:
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object() = default;

    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
    {
        if (!returnInterface)
            return gmpi::MP_FAIL;
        *returnInterface = nullptr;
        if (iid != gmpi::MP_IID_UNKNOWN && !answers(iid))
            return gmpi::MP_NOSUPPORT;
        *returnInterface = static_cast<Interface*>(this);
        addRef();
        return gmpi::MP_OK;
    }
    std::int32_t addRef() override { return ++references; }
    std::int32_t release() override
    {
        const std::int32_t count = --references;
        if (count == 0)
            delete this;
        return count;
    }

protected:
    // Interface identifiers the object answers besides MP_IID_UNKNOWN.
    virtual bool answers(const gmpi::MpGuid&) const { return false; }

private:
    std::int32_t references = 1;
};

// Hands `object` (owned by the caller's ComPtr) out through an out parameter with a new
// reference.
template <class Interface, class Concrete> std::int32_t handOut(const ComPtr<Concrete>& object, Interface** out)
{
    if (!out)
        return gmpi::MP_FAIL;
    *out = nullptr;
    if (!object)
        return gmpi::MP_FAIL;
    object->addRef();
    *out = object.get();
    return gmpi::MP_OK;
}

// ---------------------------------------------------------------------------------
// Values

// Coordinates beyond this magnitude are refused: cairo works in 24.8 fixed point, and
// nothing a module draws legitimately lies this far out.
inline constexpr double maximumCoordinate = 1.0e7;
// Largest side of a bitmap or render target in pixels.
inline constexpr std::int32_t maximumBitmapSide = 16384;
// Largest font size in pixels.
inline constexpr float maximumFontSize = 2048.0f;

inline bool usable(double value)
{
    return std::isfinite(value) && std::fabs(value) <= maximumCoordinate;
}

// Linear light (0 .. 1) to the sRGB transfer curve, clamped; NaN gives 0.
double linearToSrgb(double linear);

// Sets `color` (linear light, straight alpha) as cairo's source.
void setSourceColor(cairo_t* context, const api::MP1_COLOR& color);
void addColorStop(cairo_pattern_t* pattern, double offset, const api::MP1_COLOR& color);

// A cairo matrix from an affine transform record.
inline cairo_matrix_t toCairo(const api::MP1_MATRIX_3X2& m)
{
    cairo_matrix_t result;
    cairo_matrix_init(&result, m._11, m._12, m._21, m._22, m._31, m._32);
    return result;
}
bool isInvertible(const api::MP1_MATRIX_3X2& m);
bool isUsable(const api::MP1_MATRIX_3X2& m);

// Counts a call ignored for a non-finite coordinate (process-wide total).
void countNonFinite();

// ---------------------------------------------------------------------------------
// Factory

class Factory final : public Object<api::IMpFactory2> {
public:
    std::int32_t CreatePathGeometry(api::IMpPathGeometry** pathGeometry) override;
    std::int32_t CreateTextFormat(const char* fontFamilyName, void* unusedFontCollection, std::int32_t fontWeight,
                                  std::int32_t fontStyle, std::int32_t fontStretch, float fontSize,
                                  void* unusedLocaleName, api::IMpTextFormat** textFormat) override;
    std::int32_t CreateImage(std::int32_t width, std::int32_t height, api::IMpBitmap** returnBitmap) override;
    std::int32_t LoadImageU(const char* utf8Uri, api::IMpBitmap** returnBitmap) override;
    std::int32_t GetFontFamilyName(std::int32_t fontIndex, gmpi::IString* returnName) override;

    // The factory as a plain reference for resources that point back to it.
    ComPtr<api::IMpFactory> self();

protected:
    bool answers(const gmpi::MpGuid& iid) const override { return iid == api::SE_IID_FACTORY2_MPGUI; }

private:
    std::vector<std::string> families;  // sorted, filled on first enumeration
    bool familiesListed = false;
};

// Returns a new reference to `factory` through `out` (null `out` is ignored).
void handOutFactory(api::IMpFactory* factory, api::IMpFactory** out);

// ---------------------------------------------------------------------------------
// Brushes

// What every brush of this backend can do: become cairo's source.
class BrushSource {
public:
    virtual ~BrushSource() = default;
    virtual void applyTo(cairo_t* context) const = 0;
};

// A brush handed in by a module, or null when it is not one of ours.
const BrushSource* brushSource(const api::IMpBrush* brush);

class GradientStops final : public Object<api::IMpGradientStopCollection> {
public:
    GradientStops(ComPtr<api::IMpFactory> factory, std::vector<api::MP1_GRADIENT_STOP> stops);
    void GetFactory(api::IMpFactory** factory) override { handOutFactory(owner.get(), factory); }
    std::uint32_t GetGradientStopCount() override { return static_cast<std::uint32_t>(stops.size()); }
    const std::vector<api::MP1_GRADIENT_STOP>& list() const { return stops; }

private:
    ComPtr<api::IMpFactory> owner;
    std::vector<api::MP1_GRADIENT_STOP> stops;  // sorted by position, positions 0 .. 1
};

class SolidBrush final : public Object<api::IMpSolidColorBrush>, public BrushSource {
public:
    SolidBrush(ComPtr<api::IMpFactory> factory, const api::MP1_COLOR& color) : owner(std::move(factory)), color(color)
    {
    }
    void GetFactory(api::IMpFactory** factory) override { handOutFactory(owner.get(), factory); }
    void SetColor(const api::MP1_COLOR* newColor) override;
    api::MP1_COLOR GetColor() override { return color; }
    void applyTo(cairo_t* context) const override { setSourceColor(context, color); }

private:
    ComPtr<api::IMpFactory> owner;
    api::MP1_COLOR color;
};

class LinearBrush final : public Object<api::IMpLinearGradientBrush>, public BrushSource {
public:
    LinearBrush(ComPtr<api::IMpFactory> factory, const api::MP1_LINEAR_GRADIENT_BRUSH_PROPERTIES& properties,
                std::vector<api::MP1_GRADIENT_STOP> stops)
        : owner(std::move(factory)), properties(properties), stops(std::move(stops))
    {
    }
    void GetFactory(api::IMpFactory** factory) override { handOutFactory(owner.get(), factory); }
    void SetStartPoint(api::MP1_POINT startPoint) override;
    void SetEndPoint(api::MP1_POINT endPoint) override;
    void applyTo(cairo_t* context) const override;

private:
    ComPtr<api::IMpFactory> owner;
    api::MP1_LINEAR_GRADIENT_BRUSH_PROPERTIES properties;
    std::vector<api::MP1_GRADIENT_STOP> stops;
};

class RadialBrush final : public Object<api::IMpRadialGradientBrush>, public BrushSource {
public:
    RadialBrush(ComPtr<api::IMpFactory> factory, const api::MP1_RADIAL_GRADIENT_BRUSH_PROPERTIES& properties,
                std::vector<api::MP1_GRADIENT_STOP> stops)
        : owner(std::move(factory)), properties(properties), stops(std::move(stops))
    {
    }
    void GetFactory(api::IMpFactory** factory) override { handOutFactory(owner.get(), factory); }
    void SetCenter(api::MP1_POINT center) override;
    void SetGradientOriginOffset(api::MP1_POINT offset) override;
    void SetRadiusX(float radiusX) override;
    void SetRadiusY(float radiusY) override;
    void applyTo(cairo_t* context) const override;

private:
    ComPtr<api::IMpFactory> owner;
    api::MP1_RADIAL_GRADIENT_BRUSH_PROPERTIES properties;
    std::vector<api::MP1_GRADIENT_STOP> stops;
};

// ---------------------------------------------------------------------------------
// Path geometry

class PathGeometry final : public Object<api::IMpPathGeometry> {
public:
    explicit PathGeometry(ComPtr<api::IMpFactory> factory) : owner(std::move(factory)) {}
    void GetFactory(api::IMpFactory** factory) override { handOutFactory(owner.get(), factory); }
    std::int32_t Open(api::IMpGeometrySink** geometrySink) override;
    std::int32_t StrokeContainsPoint(api::MP1_POINT point, float strokeWidth, const api::MP1_MATRIX_3X2* worldTransform,
                                     bool* returnContains) override;
    std::int32_t FillContainsPoint(api::MP1_POINT point, const api::MP1_MATRIX_3X2* worldTransform,
                                   bool* returnContains) override;
    std::int32_t GetWidenedBounds(float strokeWidth, const api::MP1_MATRIX_3X2* worldTransform,
                                  api::MP1_RECT* returnBounds) override;

    // One path element: a move, line, cubic curve (three points) or close.
    enum class Verb : std::uint8_t { move, line, curve, close };
    struct Figure {
        bool hollow = false;  // left out of fills
        std::vector<Verb> verbs;
        std::vector<api::MP1_POINT> points;
    };

    // Builds the path in `context` (figures that are hollow only when `forStroke`).
    void addTo(cairo_t* context, bool forStroke) const;
    cairo_fill_rule_t fillRule() const
    {
        return fillMode == api::MP1_FILL_MODE_WINDING ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD;
    }

    // Written by the sink.
    std::vector<Figure> figures;
    std::int32_t fillMode = api::MP1_FILL_MODE_ALTERNATE;
    bool opened = false;

private:
    ComPtr<api::IMpFactory> owner;
};

// A geometry from a module, or null when it is not one of ours.
const PathGeometry* pathGeometry(const api::IMpPathGeometry* geometry);

// Appends the cubic curves of an elliptical arc from `from` to figure (endpoint form).
void appendArc(PathGeometry::Figure& figure, api::MP1_POINT from, const api::MP1_ARC_SEGMENT& arc);

// ---------------------------------------------------------------------------------
// Bitmaps

class Bitmap final : public Object<api::IMpBitmap> {
public:
    // Takes over one reference to `surface` (an ARGB32 image surface).
    Bitmap(ComPtr<api::IMpFactory> factory, cairo_surface_t* surface) : owner(std::move(factory)), image(surface) {}
    ~Bitmap() override { cairo_surface_destroy(image); }

    api::MP1_SIZE GetSizeF() override;
    std::int32_t lockPixels(api::IMpBitmapPixels** returnPixels, std::int32_t flags) override;
    void ApplyAlphaCorrection() override {}
    std::int32_t GetSize(api::MP1_SIZE_U* returnSize) override;
    void GetFactory(api::IMpFactory** returnFactory) override { handOutFactory(owner.get(), returnFactory); }

    cairo_surface_t* surface() const { return image; }

private:
    ComPtr<api::IMpFactory> owner;
    cairo_surface_t* image;
};

// A bitmap from a module, or null when it is not one of ours.
const Bitmap* bitmapOf(const api::IMpBitmap* bitmap);

// A new ARGB32 image surface, or null when the size is out of range or memory is short.
cairo_surface_t* createImageSurface(std::int32_t width, std::int32_t height);
// A copy of an image surface's pixels (null on failure).
cairo_surface_t* copyImageSurface(cairo_surface_t* source);

// ---------------------------------------------------------------------------------
// Text

class TextFormat final : public Object<api::IMpTextFormat> {
public:
    TextFormat(cairo_font_face_t* face, double size);  // takes over the face reference
    ~TextFormat() override;

    std::int32_t SetTextAlignment(std::int32_t textAlignment) override;
    std::int32_t SetParagraphAlignment(std::int32_t paragraphAlignment) override;
    std::int32_t SetWordWrapping(std::int32_t wordWrapping) override;
    std::int32_t GetTextExtentU(const char* utf8String, std::int32_t stringLength, api::MP1_SIZE* returnSize) override;
    std::int32_t GetFontMetrics(api::MP1_FONT_METRICS* returnFontMetrics) override;
    std::int32_t SetLineSpacing(float lineSpacing, float baseline) override;

    bool valid() const { return scaledFont != nullptr; }
    // Draws `text` (valid UTF-8) laid out in `layout` with the current source of `context`.
    void draw(cairo_t* context, const std::string& text, const api::MP1_RECT& layout, bool clip) const;

protected:
    bool answers(const gmpi::MpGuid& iid) const override { return iid == api::SE_IID_TEXTFORMAT_MPGUI; }

private:
    double advance(const std::string& text) const;
    std::vector<std::string> lines(const std::string& text, double width) const;
    double lineHeight() const;

    cairo_font_face_t* face;
    cairo_scaled_font_t* scaledFont = nullptr;
    cairo_font_options_t* options = nullptr;
    double size;
    api::MP1_FONT_METRICS metrics{};
    std::int32_t textAlignment = api::MP1_TEXT_ALIGNMENT_LEADING;
    std::int32_t paragraphAlignment = api::MP1_PARAGRAPH_ALIGNMENT_NEAR;
    std::int32_t wordWrapping = api::MP1_WORD_WRAPPING_WRAP;
    double lineSpacing = -1.0;  // pixels; negative: the font's own
    double baseline = -1.0;     // pixels from a line's top; negative: the ascent
};

// A text format from a module, or null when it is not one of ours.
const TextFormat* textFormatOf(const api::IMpTextFormat* format);

// `length` bytes of `text` (negative: up to the terminator) as valid UTF-8: malformed
// sequences become U+FFFD, control characters other than line feed are dropped.
std::string cleanUtf8(const char* text, std::int32_t length);

}  // namespace mphost::drawing
