// Value wrappers over the host's drawing interfaces, for drawing modules.
//
// Each wrapper holds one reference to the interface it wraps and releases it when
// destroyed; copying a wrapper adds a reference. A wrapper may be null (failed creation,
// default construction); calling a drawing operation through a null wrapper does
// nothing. Geometry types (Point, Size, Rect, Color) are the contract's records with
// constructors. Colours are linear light; Color::FromBytes and hexStringToColor convert
// sRGB bytes through the shared gamma tables. User-interface thread only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "mp_drawing_api.h"

namespace se_sdk {

// Four tables of 256 floats, filled once on first use: [0, 256) sRGB byte to linear,
// [256, 512) byte ^ 2.2, [512, 768) sRGB to linear of (i - 0.5) / 255, [768, 1024)
// linear-to-sRGB of (i / 255) ^ 2.2. Entry 0 of each table is 0.
const std::array<float, 1024>& gammaLookupTables();

}  // namespace se_sdk

namespace GmpiDrawing {

// ---------------------------------------------------------------------------------
// Geometry and colour

class PointBase : public GmpiDrawing_API::MP1_POINT {
public:
    constexpr PointBase(float x = 0.0f, float y = 0.0f) : MP1_POINT{x, y} {}
    constexpr PointBase(GmpiDrawing_API::MP1_POINT point) : MP1_POINT(point) {}
    friend constexpr bool operator==(const PointBase& a, const PointBase& b) { return a.x == b.x && a.y == b.y; }
};
using Point = PointBase;

class Size : public GmpiDrawing_API::MP1_SIZE {
public:
    constexpr Size(float width = 0.0f, float height = 0.0f) : MP1_SIZE{width, height} {}
    constexpr Size(GmpiDrawing_API::MP1_SIZE size) : MP1_SIZE(size) {}
};

class SizeU : public GmpiDrawing_API::MP1_SIZE_U {
public:
    constexpr SizeU(std::uint32_t width = 0, std::uint32_t height = 0) : MP1_SIZE_U{width, height} {}
};

class RectBase : public GmpiDrawing_API::MP1_RECT {
public:
    constexpr RectBase(float left = 0.0f, float top = 0.0f, float right = 0.0f, float bottom = 0.0f)
        : MP1_RECT{left, top, right, bottom}
    {
    }
    constexpr RectBase(GmpiDrawing_API::MP1_RECT rect) : MP1_RECT(rect) {}
    constexpr float getWidth() const { return right - left; }
    constexpr float getHeight() const { return bottom - top; }
    constexpr bool contains(Point point) const
    {
        return point.x >= left && point.x < right && point.y >= top && point.y < bottom;
    }
    friend constexpr bool operator==(const RectBase& a, const RectBase& b)
    {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }
};
using Rect = RectBase;

// Linear-light RGBA, 0 .. 1, alpha straight.
class Color : public GmpiDrawing_API::MP1_COLOR {
public:
    constexpr Color(float red = 0.0f, float green = 0.0f, float blue = 0.0f, float alpha = 1.0f)
        : MP1_COLOR{red, green, blue, alpha}
    {
    }
    constexpr Color(GmpiDrawing_API::MP1_COLOR color) : MP1_COLOR(color) {}
    // sRGB bytes (converted to linear light) and a linear alpha byte.
    static Color FromBytes(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t alpha = 255);
    // 0xAARRGGBB.
    static Color FromArgb(std::uint32_t argb);
    friend constexpr bool operator==(const Color& a, const Color& b)
    {
        return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
    }
};

// A colour from hexadecimal AARRGGBB text, read as one unsigned number with base 16
// (leading white space and a 0x prefix accepted, reading stops at the first other
// character, no digits gives 0: transparent black). Six digits therefore give alpha 0.
Color hexStringToColor(const std::wstring& text);

class Matrix3x2 : public GmpiDrawing_API::MP1_MATRIX_3X2 {
public:
    constexpr Matrix3x2() : MP1_MATRIX_3X2{1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f} {}
    constexpr Matrix3x2(GmpiDrawing_API::MP1_MATRIX_3X2 matrix) : MP1_MATRIX_3X2(matrix) {}
    static constexpr Matrix3x2 Translation(float x, float y)
    {
        return Matrix3x2(GmpiDrawing_API::MP1_MATRIX_3X2{1.0f, 0.0f, 0.0f, 1.0f, x, y});
    }
};

struct FontMetrics : GmpiDrawing_API::MP1_FONT_METRICS {
    FontMetrics() : MP1_FONT_METRICS{} {}
    float bodyHeight() const { return ascent + descent; }
};

// ---------------------------------------------------------------------------------
// Reference holders

// Holds one reference to an interface of type I.
template <class I>
class Object {
public:
    Object() = default;
    // Takes over a reference the caller owns.
    explicit Object(I* owned) : object(owned) {}
    Object(const Object& other) : object(other.object)
    {
        if (object)
            object->addRef();
    }
    Object(Object&& other) noexcept : object(std::exchange(other.object, nullptr)) {}
    Object& operator=(Object other) noexcept
    {
        std::swap(object, other.object);
        return *this;
    }
    ~Object()
    {
        if (object)
            object->release();
    }

    I* Get() const { return object; }
    bool isNull() const { return object == nullptr; }
    explicit operator bool() const { return object != nullptr; }
    // Releases the current reference and gives the slot for an out parameter.
    I** GetAddressOf()
    {
        *this = Object();
        return &object;
    }

protected:
    I* object = nullptr;
};

class Factory;

// ---------------------------------------------------------------------------------
// Resources

class Brush : public Object<GmpiDrawing_API::IMpBrush> {
public:
    Brush() = default;
    explicit Brush(GmpiDrawing_API::IMpBrush* owned) : Object(owned) {}
};

class SolidColorBrush : public Brush {
public:
    SolidColorBrush() = default;
    explicit SolidColorBrush(GmpiDrawing_API::IMpSolidColorBrush* owned) : Brush(owned) {}
    void SetColor(Color color);
};

class LinearGradientBrush : public Brush {
public:
    LinearGradientBrush() = default;
    explicit LinearGradientBrush(GmpiDrawing_API::IMpLinearGradientBrush* owned) : Brush(owned) {}
};

class RadialGradientBrush : public Brush {
public:
    RadialGradientBrush() = default;
    explicit RadialGradientBrush(GmpiDrawing_API::IMpRadialGradientBrush* owned) : Brush(owned) {}
};

class GradientStopCollection : public Object<GmpiDrawing_API::IMpGradientStopCollection> {
public:
    using Object::Object;
};

enum class FigureBegin : std::int32_t { Filled = GmpiDrawing_API::MP1_FIGURE_BEGIN_FILLED, Hollow = GmpiDrawing_API::MP1_FIGURE_BEGIN_HOLLOW };
enum class FigureEnd : std::int32_t { Open = GmpiDrawing_API::MP1_FIGURE_END_OPEN, Closed = GmpiDrawing_API::MP1_FIGURE_END_CLOSED };

class GeometrySink : public Object<GmpiDrawing_API::IMpGeometrySink> {
public:
    using Object::Object;
    void BeginFigure(Point startPoint, FigureBegin figureBegin = FigureBegin::Filled);
    void AddLine(Point point);
    void AddLines(const std::vector<Point>& points);
    void AddBezier(Point point1, Point point2, Point point3);
    void AddQuadraticBezier(Point point1, Point point2);
    void AddArc(const GmpiDrawing_API::MP1_ARC_SEGMENT& arc);
    void EndFigure(FigureEnd figureEnd = FigureEnd::Closed);
    void SetFillMode(std::int32_t fillMode);
    void Close();
};

class PathGeometry : public Object<GmpiDrawing_API::IMpPathGeometry> {
public:
    using Object::Object;
    // A sink for the geometry's figures (null when already opened or null).
    GeometrySink Open();
    bool FillContainsPoint(Point point) const;
    bool StrokeContainsPoint(Point point, float strokeWidth) const;
};

// Pixels of a locked bitmap: 32-bit premultiplied B, G, R, A. Unlocks when destroyed.
class BitmapPixels : public Object<GmpiDrawing_API::IMpBitmapPixels> {
public:
    using Object::Object;
    std::uint8_t* getAddress() const { return object ? object->getAddress() : nullptr; }
    std::int32_t getBytesPerRow() const { return object ? object->getBytesPerRow() : 0; }
    std::int32_t getPixelFormat() const { return object ? object->getPixelFormat() : 0; }
};

class Bitmap : public Object<GmpiDrawing_API::IMpBitmap> {
public:
    using Object::Object;
    SizeU GetSize() const;
    Size GetSizeF() const;
    // `flags`: MP1_BITMAP_LOCK_FLAGS (read by default).
    BitmapPixels lockPixels(std::int32_t flags = GmpiDrawing_API::MP1_BITMAP_LOCK_READ);
    Factory GetFactory() const;
};

class TextFormat_readonly : public Object<GmpiDrawing_API::IMpTextFormat> {
public:
    using Object::Object;
    // The extent of `text` (UTF-8) on one line.
    Size GetTextExtentU(const std::string& text) const;
    FontMetrics GetFontMetrics() const;
};

class TextFormat : public TextFormat_readonly {
public:
    using TextFormat_readonly::TextFormat_readonly;
    // MP1_TEXT_ALIGNMENT, MP1_PARAGRAPH_ALIGNMENT, MP1_WORD_WRAPPING.
    void SetTextAlignment(std::int32_t alignment);
    void SetParagraphAlignment(std::int32_t alignment);
    void SetWordWrapping(std::int32_t wrapping);
    void SetLineSpacing(float lineSpacing, float baseline);
};

// Font families tried in order.
using FontStack = std::vector<std::string>;

class Factory : public Object<GmpiDrawing_API::IMpFactory> {
public:
    using Object::Object;
    // A text format whose body (ascent + descent), or capital height with `fitCapHeight`,
    // is `height` pixels, in the first family of `families` the factory has ("Arial"
    // when it has none). Each family is measured once per wrapper (and its copies):
    // ratio A = 32 / (ascent + descent), ratio B = 32 / cap height at 32 pixels. The
    // installed families come from the factory's second interface; without it only the
    // first family of the stack counts as installed. Null when creation fails.
    TextFormat CreateTextFormat2(float height, const FontStack& families,
                                 std::int32_t weight = GmpiDrawing_API::MP1_FONT_WEIGHT_NORMAL,
                                 std::int32_t style = GmpiDrawing_API::MP1_FONT_STYLE_NORMAL,
                                 std::int32_t stretch = GmpiDrawing_API::MP1_FONT_STRETCH_NORMAL,
                                 bool fitCapHeight = false);
    PathGeometry CreatePathGeometry() const;
    // A text format of `family` at `height` pixels.
    TextFormat CreateTextFormat(float height, const char* family = "Arial",
                                std::int32_t weight = GmpiDrawing_API::MP1_FONT_WEIGHT_NORMAL,
                                std::int32_t style = GmpiDrawing_API::MP1_FONT_STYLE_NORMAL,
                                std::int32_t stretch = GmpiDrawing_API::MP1_FONT_STRETCH_NORMAL) const;
    Bitmap CreateImage(std::int32_t width, std::int32_t height) const;
    // Loads an image file (UTF-8 path); null when it cannot be loaded.
    Bitmap LoadImageU(const std::string& path) const;
    // Installed font family `index`, through the factory's second interface; false past
    // the last one or when the factory has no second interface.
    bool GetFontFamilyName(std::int32_t index, std::string& name) const;

    // What CreateTextFormat2 learnt about the factory: installed families and their two
    // measured ratios (0 until measured).
    struct FamilyTable {
        bool listed = false;
        std::vector<std::pair<std::string, std::pair<float, float>>> families;
    };
    const std::shared_ptr<FamilyTable>& familyTable() const { return table; }

private:
    std::shared_ptr<FamilyTable> table;
};

class BitmapRenderTarget;

// Draws into a device context. Graphics wraps the context handed to OnRender.
class Graphics_base : public Object<GmpiDrawing_API::IMpDeviceContext> {
public:
    using Object::Object;

    Factory GetFactory() const;

    SolidColorBrush CreateSolidColorBrush(Color color);
    GradientStopCollection CreateGradientStopCollection(const std::vector<GmpiDrawing_API::MP1_GRADIENT_STOP>& stops);
    // Two stops: `color1` at `point1` (position 0) to `color2` at `point2` (position 1).
    LinearGradientBrush CreateLinearGradientBrush(Color color1, Color color2, Point point1, Point point2);
    LinearGradientBrush CreateLinearGradientBrush(const GradientStopCollection& stops, Point point1, Point point2);
    // `color1` at the centre to `color2` at `radius`.
    RadialGradientBrush CreateRadialGradientBrush(Point center, float radius, Color color1, Color color2);

    void Clear(Color color);
    void FillRectangle(const Rect& rect, const Brush& brush);
    void DrawRectangle(const Rect& rect, const Brush& brush, float strokeWidth = 1.0f);
    void DrawLine(Point point0, Point point1, const Brush& brush, float strokeWidth = 1.0f);
    void DrawPolyline(const std::vector<Point>& points, const Brush& brush, float strokeWidth = 1.0f);
    void FillGeometry(const PathGeometry& geometry, const Brush& brush);
    void DrawGeometry(const PathGeometry& geometry, const Brush& brush, float strokeWidth = 1.0f);
    void FillEllipse(Point center, float radiusX, float radiusY, const Brush& brush);
    void DrawEllipse(Point center, float radiusX, float radiusY, const Brush& brush, float strokeWidth = 1.0f);
    void FillRoundedRectangle(const Rect& rect, float radius, const Brush& brush);
    void DrawRoundedRectangle(const Rect& rect, float radius, const Brush& brush, float strokeWidth = 1.0f);
    // `text` (UTF-8) laid out in `layoutRect`; `options` MP1_DRAW_TEXT_OPTIONS.
    void DrawTextU(const std::string& text, const TextFormat_readonly& format, const Rect& layoutRect,
                   const Brush& brush, std::int32_t options = GmpiDrawing_API::MP1_DRAW_TEXT_OPTIONS_NONE);
    // All of `bitmap` at `destination` (or part `source` of it), at `opacity`.
    void DrawBitmap(const Bitmap& bitmap, const Rect& destination, const Rect& source, float opacity = 1.0f);
    void DrawBitmap(const Bitmap& bitmap, Point topLeft);

    void SetTransform(const Matrix3x2& transform);
    Matrix3x2 GetTransform() const;
    void PushAxisAlignedClip(const Rect& clip);
    void PopAxisAlignedClip();
    Rect GetAxisAlignedClip() const;

    // An offscreen target of `size` pixels drawing with the same factory.
    BitmapRenderTarget CreateCompatibleRenderTarget(Size size);
    void BeginDraw();
    void EndDraw();
};

class Graphics : public Graphics_base {
public:
    Graphics() = default;
    // Wraps the context passed to OnRender (adds a reference).
    explicit Graphics(GmpiDrawing_API::IMpDeviceContext* context);
};

// An offscreen drawing target; its bitmap can be drawn into the context that created it.
class BitmapRenderTarget : public Graphics_base {
public:
    BitmapRenderTarget() = default;
    explicit BitmapRenderTarget(GmpiDrawing_API::IMpBitmapRenderTarget* owned) : Graphics_base(owned) {}
    // The bitmap drawn so far.
    Bitmap GetBitmap();
};

}  // namespace GmpiDrawing
