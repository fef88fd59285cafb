// The binary contract of drawing: the graphics interface of drawing GUI modules, the
// graphics host that serves them, and the host's drawing interfaces (a small retained-
// resource 2D API: a device context that draws with brushes, path geometries, bitmaps
// and text formats, all created by the host).
//
// Same rules as mp_api.h: abstract classes in slot order (Itanium C++ ABI, x86-64), no
// implementation, plain records with asserted layouts. Every operation here is
// [ui-thread]: drawing happens inside IMpGraphics::OnRender or on bitmaps and render
// targets the module owns, all on the host's user-interface thread.
//
// Conventions of the drawing interfaces:
// - Coordinates are float pixels in the module's space (origin at the top-left of the
//   module rectangle, y down). Pixel centres are at half-pixel positions, so a 1-pixel
//   line at y = 3.5 covers row 3 exactly.
// - Colours are linear-light RGBA floats (0 .. 1, alpha not premultiplied); the host
//   converts them to the sRGB of its surfaces.
// - Text is UTF-8 with an explicit byte count (a negative count means zero-terminated).
// - Objects are reference counted; an operation that returns an object through an out
//   parameter hands the caller one reference, and writes null on failure.
// - Results: MP_OK, MP_FAIL (bad arguments, failed creation), MP_NOSUPPORT.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mp_api.h"
#include "mp_gui_api.h"

namespace GmpiDrawing_API {

inline constexpr gmpi::MpGuid SE_IID_DEVICECONTEXT_MPGUI = {0xA1D9751D, 0x0C43, 0x4F57, {0x89, 0x58, 0xE0, 0xBC, 0xE3, 0x59, 0xB2, 0xFD}};
inline constexpr gmpi::MpGuid SE_IID_FACTORY2_MPGUI =      {0x61568E7F, 0x5256, 0x49C6, {0x95, 0xE6, 0x10, 0x32, 0x7E, 0xB3, 0x3E, 0xC4}};
inline constexpr gmpi::MpGuid SE_IID_TEXTFORMAT_MPGUI =    {0xED903255, 0x3FE0, 0x4CE4, {0x8C, 0xD1, 0x97, 0xD7, 0x2D, 0x51, 0xB7, 0xCB}};

// ---------------------------------------------------------------------------------
// Records

struct MP1_POINT {
    float x;
    float y;
};
struct MP1_SIZE {
    float width;
    float height;
};
struct MP1_SIZE_U {
    std::uint32_t width;
    std::uint32_t height;
};
struct MP1_RECT {
    float left;
    float top;
    float right;
    float bottom;
};
// Linear light, 0 .. 1, alpha straight (not premultiplied).
struct MP1_COLOR {
    float r;
    float g;
    float b;
    float a;
};
struct MP1_ELLIPSE {
    MP1_POINT point;  // centre
    float radiusX;
    float radiusY;
};
struct MP1_ROUNDED_RECT {
    MP1_RECT rect;
    float radiusX;
    float radiusY;
};
// Affine transform: x' = x * _11 + y * _21 + _31, y' = x * _12 + y * _22 + _32.
struct MP1_MATRIX_3X2 {
    float _11, _12;
    float _21, _22;
    float _31, _32;
};
// One stop of a gradient: position 0 .. 1 along the gradient and its colour.
struct MP1_GRADIENT_STOP {
    float position;
    MP1_COLOR color;
};
struct MP1_LINEAR_GRADIENT_BRUSH_PROPERTIES {
    MP1_POINT startPoint;
    MP1_POINT endPoint;
};
struct MP1_RADIAL_GRADIENT_BRUSH_PROPERTIES {
    MP1_POINT center;
    MP1_POINT gradientOriginOffset;  // offset of the gradient's origin from the centre
    float radiusX;
    float radiusY;
};
// Cubic Bezier segment from the sink's current point.
struct MP1_BEZIER_SEGMENT {
    MP1_POINT point1;
    MP1_POINT point2;
    MP1_POINT point3;
};
// Quadratic Bezier segment from the sink's current point.
struct MP1_QUADRATIC_BEZIER_SEGMENT {
    MP1_POINT point1;
    MP1_POINT point2;
};
// Elliptical arc from the sink's current point to `point`.
struct MP1_ARC_SEGMENT {
    MP1_POINT point;
    MP1_SIZE size;                 // the ellipse's radii
    float rotationAngle;           // degrees, of the ellipse's x axis
    std::int32_t sweepDirection;   // 0 counter-clockwise, 1 clockwise
    std::int32_t arcSize;          // 0 small arc, 1 large arc
};
// Font metrics in pixels for a text format's size (text format slot 7).
struct MP1_FONT_METRICS {
    float ascent;      // baseline to the top of the tallest glyphs
    float descent;     // baseline to the bottom of the lowest glyphs (positive)
    float lineGap;     // extra space between lines
    float capHeight;   // height of capital letters
    float xHeight;     // height of lower-case letters
    float underlinePosition;
    float underlineThickness;
    float strikethroughPosition;
    float strikethroughThickness;
};

static_assert(sizeof(MP1_RECT) == 16 && sizeof(MP1_COLOR) == 16 && sizeof(MP1_GRADIENT_STOP) == 20);
static_assert(sizeof(MP1_MATRIX_3X2) == 24 && sizeof(MP1_ARC_SEGMENT) == 28 && sizeof(MP1_FONT_METRICS) == 36);

// Enumerations passed as int32.
enum MP1_FONT_WEIGHT : std::int32_t { MP1_FONT_WEIGHT_LIGHT = 300, MP1_FONT_WEIGHT_NORMAL = 400, MP1_FONT_WEIGHT_BOLD = 700 };
enum MP1_FONT_STYLE : std::int32_t { MP1_FONT_STYLE_NORMAL = 0, MP1_FONT_STYLE_OBLIQUE = 1, MP1_FONT_STYLE_ITALIC = 2 };
enum MP1_FONT_STRETCH : std::int32_t { MP1_FONT_STRETCH_NORMAL = 5 };
enum MP1_TEXT_ALIGNMENT : std::int32_t { MP1_TEXT_ALIGNMENT_LEADING = 0, MP1_TEXT_ALIGNMENT_TRAILING = 1, MP1_TEXT_ALIGNMENT_CENTER = 2 };
enum MP1_PARAGRAPH_ALIGNMENT : std::int32_t { MP1_PARAGRAPH_ALIGNMENT_NEAR = 0, MP1_PARAGRAPH_ALIGNMENT_FAR = 1, MP1_PARAGRAPH_ALIGNMENT_CENTER = 2 };
enum MP1_WORD_WRAPPING : std::int32_t { MP1_WORD_WRAPPING_WRAP = 0, MP1_WORD_WRAPPING_NO_WRAP = 1 };
enum MP1_FIGURE_BEGIN : std::int32_t { MP1_FIGURE_BEGIN_FILLED = 0, MP1_FIGURE_BEGIN_HOLLOW = 1 };
enum MP1_FIGURE_END : std::int32_t { MP1_FIGURE_END_OPEN = 0, MP1_FIGURE_END_CLOSED = 1 };
enum MP1_FILL_MODE : std::int32_t { MP1_FILL_MODE_ALTERNATE = 0, MP1_FILL_MODE_WINDING = 1 };
enum MP1_BITMAP_INTERPOLATION_MODE : std::int32_t { MP1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR = 0, MP1_BITMAP_INTERPOLATION_MODE_LINEAR = 1 };
// DrawTextU options: bit 0 clips the text to its layout rectangle.
enum MP1_DRAW_TEXT_OPTIONS : std::int32_t { MP1_DRAW_TEXT_OPTIONS_NONE = 0, MP1_DRAW_TEXT_OPTIONS_CLIP = 1 };
// Bitmap lock flags.
enum MP1_BITMAP_LOCK_FLAGS : std::int32_t { MP1_BITMAP_LOCK_READ = 1, MP1_BITMAP_LOCK_WRITE = 2 };
// Pixel formats reported by IMpBitmapPixels::getPixelFormat. Every format is 32 bits per
// pixel, premultiplied, bytes B, G, R, A in memory (alpha in byte 3).
enum MP1_PIXEL_FORMAT : std::int32_t { MP1_PIXEL_FORMAT_BGRA_LINEAR = 0, MP1_PIXEL_FORMAT_BGRA_SRGB = 4 };

class IMpFactory;

// ---------------------------------------------------------------------------------
// Resources

// Anything the factory or a device context created: knows its factory.
class IMpResource : public gmpi::IMpUnknown {
public:
    // The factory that created the resource (one reference). MP_OK.
    virtual void GetFactory(IMpFactory** factory) = 0;  // slot 3
};

class IMpBrush : public IMpResource {};

class IMpSolidColorBrush : public IMpBrush {
public:
    virtual void SetColor(const MP1_COLOR* color) = 0;  // slot 4
    virtual MP1_COLOR GetColor() = 0;                   // slot 5
};

// The stops of a gradient, ordered by position (the host sorts them).
class IMpGradientStopCollection : public IMpResource {
public:
    virtual std::uint32_t GetGradientStopCount() = 0;  // slot 4
};

class IMpLinearGradientBrush : public IMpBrush {
public:
    virtual void SetStartPoint(MP1_POINT startPoint) = 0;  // slot 4
    virtual void SetEndPoint(MP1_POINT endPoint) = 0;      // slot 5
};

class IMpRadialGradientBrush : public IMpBrush {
public:
    virtual void SetCenter(MP1_POINT center) = 0;                  // slot 4
    virtual void SetGradientOriginOffset(MP1_POINT offset) = 0;    // slot 5
    virtual void SetRadiusX(float radiusX) = 0;                    // slot 6
    virtual void SetRadiusY(float radiusY) = 0;                    // slot 7
};

// Receives the figures of a path geometry between IMpPathGeometry::Open and Close.
class IMpGeometrySink : public gmpi::IMpUnknown {
public:
    // Starts a figure at `startPoint`; `figureBegin` is an MP1_FIGURE_BEGIN.
    virtual void BeginFigure(MP1_POINT startPoint, std::int32_t figureBegin) = 0;  // slot 3
    // Ends the current figure; `figureEnd` is an MP1_FIGURE_END (closed adds the
    // closing line).
    virtual void EndFigure(std::int32_t figureEnd) = 0;  // slot 4
    // MP1_FILL_MODE for filling the geometry (alternate by default).
    virtual void SetFillMode(std::int32_t fillMode) = 0;  // slot 5
    // Finishes the geometry; later calls on the sink are ignored. MP_OK, or MP_FAIL when
    // a figure is still open (it is ended open).
    virtual std::int32_t Close() = 0;  // slot 6
    virtual void AddLine(MP1_POINT point) = 0;                                          // slot 7
    virtual void AddBezier(const MP1_BEZIER_SEGMENT* bezier) = 0;                       // slot 8
    virtual void AddQuadraticBezier(const MP1_QUADRATIC_BEZIER_SEGMENT* bezier) = 0;    // slot 9
    virtual void AddLines(const MP1_POINT* points, std::uint32_t pointsCount) = 0;      // slot 10
    virtual void AddArc(const MP1_ARC_SEGMENT* arc) = 0;                                // slot 11
};

class IMpPathGeometry : public IMpResource {
public:
    // A sink for the geometry's figures (one reference). A geometry is opened once;
    // MP_FAIL on a second call.
    virtual std::int32_t Open(IMpGeometrySink** geometrySink) = 0;  // slot 4
    // Whether the outline stroked at `strokeWidth` contains `point` (optionally through
    // `worldTransform`, may be null).
    virtual std::int32_t StrokeContainsPoint(MP1_POINT point, float strokeWidth, const MP1_MATRIX_3X2* worldTransform,
                                             bool* returnContains) = 0;  // slot 5
    virtual std::int32_t FillContainsPoint(MP1_POINT point, const MP1_MATRIX_3X2* worldTransform,
                                           bool* returnContains) = 0;  // slot 6
    // Bounds of the outline stroked at `strokeWidth`.
    virtual std::int32_t GetWidenedBounds(float strokeWidth, const MP1_MATRIX_3X2* worldTransform,
                                          MP1_RECT* returnBounds) = 0;  // slot 7
};

// Direct access to a bitmap's pixels while the object lives; written pixels reach the
// bitmap when the object is released.
class IMpBitmapPixels : public gmpi::IMpUnknown {
public:
    // The first row; rows are getBytesPerRow() apart, 4 bytes per pixel.
    virtual std::uint8_t* getAddress() = 0;     // slot 3
    virtual std::int32_t getBytesPerRow() = 0;  // slot 4
    // An MP1_PIXEL_FORMAT.
    virtual std::int32_t getPixelFormat() = 0;  // slot 5
};

class IMpBitmap : public gmpi::IMpUnknown {
public:
    // The size in pixels, as floats.
    virtual MP1_SIZE GetSizeF() = 0;  // slot 3
    // Locks the pixels; `flags` is a combination of MP1_BITMAP_LOCK_FLAGS.
    virtual std::int32_t lockPixels(IMpBitmapPixels** returnPixels, std::int32_t flags) = 0;  // slot 4
    // Nothing to correct on this host; kept for modules that call it after writing pixels.
    virtual void ApplyAlphaCorrection() = 0;  // slot 5
    // The size in pixels.
    virtual std::int32_t GetSize(MP1_SIZE_U* returnSize) = 0;  // slot 6
    // The factory that created the bitmap (one reference).
    virtual void GetFactory(IMpFactory** returnFactory) = 0;  // slot 7
};

// A font at a size with its layout settings (SE_IID_TEXTFORMAT_MPGUI).
class IMpTextFormat : public gmpi::IMpUnknown {
public:
    // MP1_TEXT_ALIGNMENT: horizontal placement in the layout rectangle. MP_OK.
    virtual std::int32_t SetTextAlignment(std::int32_t textAlignment) = 0;  // slot 3
    // MP1_PARAGRAPH_ALIGNMENT: vertical placement in the layout rectangle. MP_OK.
    virtual std::int32_t SetParagraphAlignment(std::int32_t paragraphAlignment) = 0;  // slot 4
    // MP1_WORD_WRAPPING. MP_OK.
    virtual std::int32_t SetWordWrapping(std::int32_t wordWrapping) = 0;  // slot 5
    // The size of `text` laid out on one line: width of the advance, height of one line
    // (ascent + descent + line gap). MP_OK.
    virtual std::int32_t GetTextExtentU(const char* utf8String, std::int32_t stringLength,
                                        MP1_SIZE* returnSize) = 0;  // slot 6
    virtual std::int32_t GetFontMetrics(MP1_FONT_METRICS* returnFontMetrics) = 0;  // slot 7
    // Line spacing in pixels (a negative value restores the font's own) and the baseline's
    // distance from the line's top.
    virtual std::int32_t SetLineSpacing(float lineSpacing, float baseline) = 0;  // slot 8
};

// ---------------------------------------------------------------------------------
// Factory

// Creates the resources that do not belong to one device context. One per host window;
// resources of one factory may be used with every device context of it.
class IMpFactory : public gmpi::IMpUnknown {
public:
    virtual std::int32_t CreatePathGeometry(IMpPathGeometry** pathGeometry) = 0;  // slot 3
    // A text format of `fontFamilyName` (UTF-8; an unknown family falls back to the
    // host's default sans-serif face) at `fontSize` pixels (above 0). `fontWeight`
    // (100 .. 900), `fontStyle` MP1_FONT_STYLE, `fontStretch` 1 .. 9 (5 normal).
    virtual std::int32_t CreateTextFormat(const char* fontFamilyName, void* unusedFontCollection,
                                          std::int32_t fontWeight, std::int32_t fontStyle,
                                          std::int32_t fontStretch, float fontSize, void* unusedLocaleName,
                                          IMpTextFormat** textFormat) = 0;  // slot 4
    // A new transparent bitmap of width x height pixels (each 1 .. 16384).
    virtual std::int32_t CreateImage(std::int32_t width, std::int32_t height, IMpBitmap** returnBitmap) = 0;  // 5
    // Loads a PNG, BMP or JPEG image from a file (UTF-8 path). MP_FAIL when it cannot.
    virtual std::int32_t LoadImageU(const char* utf8Uri, IMpBitmap** returnBitmap) = 0;  // slot 6
};

// The factory's second interface (SE_IID_FACTORY2_MPGUI): font family enumeration.
class IMpFactory2 : public IMpFactory {
public:
    // The name of installed font family `fontIndex` (0 ..) into `returnName` (an
    // IString, UTF-8). MP_FAIL past the last family.
    virtual std::int32_t GetFontFamilyName(std::int32_t fontIndex, gmpi::IString* returnName) = 0;  // slot 7
};

// ---------------------------------------------------------------------------------
// Device context (SE_IID_DEVICECONTEXT_MPGUI) and bitmap render target

class IMpBitmapRenderTarget;

class IMpDeviceContext : public IMpResource {
public:
    // slot 3 (IMpResource::GetFactory): the drawing factory.
    virtual void DrawRectangle(const MP1_RECT* rect, const IMpBrush* brush, float strokeWidth) = 0;  // slot 4
    virtual void FillRectangle(const MP1_RECT* rect, const IMpBrush* brush) = 0;                     // slot 5
    // `gradientStops`: `gradientStopsCount` stops in any order.
    virtual std::int32_t CreateGradientStopCollection(const MP1_GRADIENT_STOP* gradientStops,
                                                      std::uint32_t gradientStopsCount,
                                                      IMpGradientStopCollection** collection) = 0;  // slot 6
    virtual std::int32_t CreateLinearGradientBrush(const MP1_LINEAR_GRADIENT_BRUSH_PROPERTIES* properties,
                                                   const IMpGradientStopCollection* collection,
                                                   IMpLinearGradientBrush** brush) = 0;  // slot 7
    virtual std::int32_t CreateRadialGradientBrush(const MP1_RADIAL_GRADIENT_BRUSH_PROPERTIES* properties,
                                                   const IMpGradientStopCollection* collection,
                                                   IMpRadialGradientBrush** brush) = 0;  // slot 8
    virtual std::int32_t CreateSolidColorBrush(const MP1_COLOR* color, IMpSolidColorBrush** brush) = 0;  // slot 9
    // Replaces every pixel of the current clip with `clearColor` (null: transparent).
    virtual void Clear(const MP1_COLOR* clearColor) = 0;  // slot 10
    virtual void DrawLine(MP1_POINT point0, MP1_POINT point1, const IMpBrush* brush, float strokeWidth) = 0;  // 11
    virtual void DrawGeometry(const IMpPathGeometry* geometry, const IMpBrush* brush, float strokeWidth) = 0;  // 12
    virtual void FillGeometry(const IMpPathGeometry* geometry, const IMpBrush* brush) = 0;  // slot 13
    virtual void DrawEllipse(const MP1_ELLIPSE* ellipse, const IMpBrush* brush, float strokeWidth) = 0;  // 14
    virtual void FillEllipse(const MP1_ELLIPSE* ellipse, const IMpBrush* brush) = 0;                     // 15
    virtual void DrawRoundedRectangle(const MP1_ROUNDED_RECT* roundedRect, const IMpBrush* brush,
                                      float strokeWidth) = 0;  // slot 16
    virtual void FillRoundedRectangle(const MP1_ROUNDED_RECT* roundedRect, const IMpBrush* brush) = 0;  // 17
    // Draws `string` laid out in `layoutRect` with the format's alignment and wrapping;
    // `options` is MP1_DRAW_TEXT_OPTIONS.
    virtual void DrawTextU(const char* utf8String, std::int32_t stringLength, const IMpTextFormat* textFormat,
                           const MP1_RECT* layoutRect, const IMpBrush* brush, std::int32_t options) = 0;  // 18
    // Draws the part `sourceRectangle` of `bitmap` (null: all of it) scaled into
    // `destinationRectangle` (null: at the origin, unscaled), at `opacity` 0 .. 1.
    virtual void DrawBitmap(const IMpBitmap* bitmap, const MP1_RECT* destinationRectangle, float opacity,
                            std::int32_t interpolationMode, const MP1_RECT* sourceRectangle) = 0;  // slot 19
    virtual void SetTransform(const MP1_MATRIX_3X2* transform) = 0;  // slot 20
    virtual void GetTransform(MP1_MATRIX_3X2* transform) = 0;        // slot 21
    // Clips later drawing to `clipRect` (in current coordinates, intersected with the
    // clip in force) until the matching pop.
    virtual void PushAxisAlignedClip(const MP1_RECT* clipRect) = 0;  // slot 22
    virtual void PopAxisAlignedClip() = 0;                           // slot 23
    // The clip in force, in current coordinates.
    virtual void GetAxisAlignedClip(MP1_RECT* returnClipRect) = 0;  // slot 24
    // An offscreen target of `desiredSize` pixels (rounded up, at least 1) drawing with
    // the same factory; its bitmap can be drawn into this context.
    virtual std::int32_t CreateCompatibleRenderTarget(const MP1_SIZE* desiredSize,
                                                      IMpBitmapRenderTarget** bitmapRenderTarget) = 0;  // 25
    // Brackets drawing into a render target the module created. The host brackets the
    // device context it passes to OnRender itself.
    virtual void BeginDraw() = 0;               // slot 26
    virtual std::int32_t EndDraw() = 0;         // slot 27
    // Strokes the open polyline through `points` (one figure, miter joins).
    virtual void DrawPolyline(const MP1_POINT* points, std::uint32_t pointsCount, const IMpBrush* brush,
                              float strokeWidth) = 0;  // slot 28
};

class IMpBitmapRenderTarget : public IMpDeviceContext {
public:
    // The bitmap drawn so far (one reference); later drawing does not change it.
    virtual std::int32_t GetBitmap(IMpBitmap** returnBitmap) = 0;  // slot 29
};

}  // namespace GmpiDrawing_API

// ---------------------------------------------------------------------------------
// Graphics interface of drawing GUI modules, and the graphics host

namespace gmpi_gui_api {

inline constexpr gmpi::MpGuid SE_IID_GRAPHICS_MPGUI =  {0x4540C6EE, 0x98AB, 0x4C79, {0xB8, 0x57, 0x66, 0xAE, 0x64, 0x24, 0x91, 0x25}};
inline constexpr gmpi::MpGuid SE_IID_GRAPHICS_MPGUI2 = {0x6AEF51B9, 0xC92A, 0x472B, {0xA5, 0x3E, 0x4A, 0x47, 0x6D, 0xF8, 0x5C, 0x85}};

// Pointer flags of the pointer operations (other bits are the host's and ignored).
inline constexpr std::int32_t GG_POINTER_FLAG_FIRSTBUTTON = 0x10;   // primary button
inline constexpr std::int32_t GG_POINTER_KEY_CONTROL = 0x20000;     // fine-adjustment modifier held

using GmpiDrawing_API::MP1_POINT;
using GmpiDrawing_API::MP1_RECT;
using GmpiDrawing_API::MP1_SIZE;

// The host asks a drawing module for its size, gives it its rectangle, has it draw and
// passes it pointer input. Coordinates are the host's (the module's rectangle is
// where arrange put it); results MP_OK unless noted.
class IMpGraphics : public gmpi::IMpUnknown {
public:
    // The size the module wants within `availableSize` (may be 0 x 0).
    virtual std::int32_t measure(MP1_SIZE availableSize, MP1_SIZE* returnDesiredSize) = 0;  // slot 3
    virtual std::int32_t arrange(MP1_RECT finalRect) = 0;                                   // slot 4
    // Draws the module into `drawingContext`, whose origin is the module's top-left.
    virtual std::int32_t OnRender(GmpiDrawing_API::IMpDeviceContext* drawingContext) = 0;  // slot 5
    // Pointer input: MP_OK when the module handled it, anything else when it did not.
    virtual std::int32_t onPointerDown(std::int32_t flags, MP1_POINT point) = 0;  // slot 6
    virtual std::int32_t onPointerMove(std::int32_t flags, MP1_POINT point) = 0;  // slot 7
    virtual std::int32_t onPointerUp(std::int32_t flags, MP1_POINT point) = 0;    // slot 8
};

class IMpGraphics2 : public IMpGraphics {
public:
    // MP_OK when `point` counts as inside the module (it then receives the pointer).
    virtual std::int32_t hitTest(MP1_POINT point) = 0;  // slot 9
    // The tooltip at `point` into `returnString` (UTF-8). MP_FAIL when there is none.
    virtual std::int32_t getToolTip(MP1_POINT point, gmpi::IString* returnString) = 0;  // slot 10
};

}  // namespace gmpi_gui_api

namespace gmpi_gui {

inline constexpr gmpi::MpGuid SE_IID_GRAPHICS_HOST =      {0xE394AF51, 0xC4D0, 0x4885, {0x84, 0xF1, 0x96, 0x3C, 0xA8, 0x18, 0x29, 0x64}};
inline constexpr gmpi::MpGuid SE_IID_GRAPHICS_HOST_BASE = {0xE4717EA4, 0xCA6D, 0x4FAE, {0x9D, 0x35, 0xBA, 0x95, 0xEB, 0xAA, 0xEA, 0x2B}};
inline constexpr gmpi::MpGuid SE_IID_COMPLETION_CALLBACK = {0x709582BA, 0xAF65, 0x43E6, {0xA2, 0x4C, 0xAB, 0x05, 0xF8, 0xD6, 0x98, 0x0B}};

// The graphics host of one drawing module (SE_IID_GRAPHICS_HOST, queried on the module's
// GUI host). Requests take effect later: invalidated areas are redrawn at the host's
// next frame, a measure request brings measure and arrange before it.
class IMpGraphicsHost : public gmpi::IMpUnknown {
public:
    virtual std::int32_t reserved3() = 0;  // slot 3, not used by modules
    // The drawing factory of the module's window (one reference).
    virtual void GetDrawingFactory(GmpiDrawing_API::IMpFactory** returnFactory) = 0;  // slot 4
    // Redraw `invalidRect` (module coordinates; null: the whole module).
    virtual void invalidateRect(const GmpiDrawing_API::MP1_RECT* invalidRect) = 0;  // slot 5
    // Measure and arrange the module again before the next frame.
    virtual void invalidateMeasure() = 0;  // slot 6
    // All pointer input goes to this module until it releases the capture.
    virtual std::int32_t setCapture() = 0;  // slot 7
    // Non-zero in `returnValue` while this module holds the capture.
    virtual std::int32_t getCapture(std::int32_t& returnValue) = 0;  // slot 8
    virtual std::int32_t releaseCapture() = 0;                        // slot 9
};

// Kinds of file dialog (IMpGraphicsHostBase::createFileDialog).
enum MpFileDialogType : std::int32_t {
    MP_FILE_DIALOG_OPEN = 0,    // choose an existing file
    MP_FILE_DIALOG_SAVE = 1,    // choose a file name to write
    MP_FILE_DIALOG_FOLDER = 2,  // choose a folder
};

// Told when an asynchronous host operation finishes (SE_IID_COMPLETION_CALLBACK, queried
// on the object the module passes). [ui-thread]
class IMpCompletionCallback : public gmpi::IMpUnknown {
public:
    // `result` MP_OK when the user confirmed (a file dialog then has a selected path),
    // anything else when the user cancelled or the operation failed. Called once, at one of
    // the host's later event-loop turns, never from inside the call that started it.
    virtual void OnComplete(std::int32_t result) = 0;  // slot 3
};

// A file dialog created by IMpGraphicsHostBase::createFileDialog. The module owns the
// reference it received; the host keeps its own while the dialog shows. [ui-thread]
class IMpFileDialog : public gmpi::IMpUnknown {
public:
    // Offers files with `extension` (UTF-8, without the dot; "*" any file) described by
    // `description` (UTF-8, may be null or empty). MP_OK, MP_FAIL for a null or empty
    // extension. Before ShowAsync only.
    virtual std::int32_t AddExtension(const char* extension, const char* description) = 0;  // slot 3
    // The file (full path or bare name, UTF-8) the dialog starts at; null or empty: the
    // host's choice. MP_OK. Before ShowAsync only.
    virtual std::int32_t SetInitialFullPath(const char* fullPath) = 0;  // slot 4
    // Shows the dialog without waiting for the user: returns at once, and the host calls
    // OnComplete of `callback` (queried for SE_IID_COMPLETION_CALLBACK) later, holding a
    // reference to it until then. MP_OK; MP_FAIL when `callback` offers no completion
    // callback or the dialog was shown before (a dialog shows once).
    virtual std::int32_t ShowAsync(gmpi::IMpUnknown* callback) = 0;  // slot 5
    // The path the user chose (UTF-8) into `returnPath` (an IString). MP_OK after a
    // successful completion, MP_FAIL before it or after a cancel.
    virtual std::int32_t GetSelectedFilename(gmpi::IMpUnknown* returnPath) = 0;  // slot 6
};

// The window services of any GUI module, drawing or not (SE_IID_GRAPHICS_HOST_BASE,
// queried on the module's GUI host). [ui-thread]
class IMpGraphicsHostBase : public gmpi::IMpUnknown {
public:
    // A new file dialog of `dialogType` (MpFileDialogType): `*returnFileDialog` receives an
    // owned reference, or null. MP_OK; MP_FAIL for an unknown type or a null argument.
    virtual std::int32_t createFileDialog(std::int32_t dialogType, IMpFileDialog** returnFileDialog) = 0;  // slot 3
};

}  // namespace gmpi_gui
