// The device context of the cairo backend: draws into an ARGB32 image surface. Serves
// both as the context handed to a module's OnRender and as an offscreen render target.
#pragma once

#include <vector>

#include "drawing/drawing_objects.h"

namespace mphost::drawing {

class DeviceContext final : public Object<api::IMpBitmapRenderTarget> {
public:
    // Adds its own reference to `target` (an image surface).
    DeviceContext(ComPtr<api::IMpFactory> factory, cairo_surface_t* target);
    ~DeviceContext() override;

    void GetFactory(api::IMpFactory** factory) override { handOutFactory(owner.get(), factory); }
    void DrawRectangle(const api::MP1_RECT* rect, const api::IMpBrush* brush, float strokeWidth) override;
    void FillRectangle(const api::MP1_RECT* rect, const api::IMpBrush* brush) override;
    std::int32_t CreateGradientStopCollection(const api::MP1_GRADIENT_STOP* gradientStops,
                                              std::uint32_t gradientStopsCount,
                                              api::IMpGradientStopCollection** collection) override;
    std::int32_t CreateLinearGradientBrush(const api::MP1_LINEAR_GRADIENT_BRUSH_PROPERTIES* properties,
                                           const api::IMpGradientStopCollection* collection,
                                           api::IMpLinearGradientBrush** brush) override;
    std::int32_t CreateRadialGradientBrush(const api::MP1_RADIAL_GRADIENT_BRUSH_PROPERTIES* properties,
                                           const api::IMpGradientStopCollection* collection,
                                           api::IMpRadialGradientBrush** brush) override;
    std::int32_t CreateSolidColorBrush(const api::MP1_COLOR* color, api::IMpSolidColorBrush** brush) override;
    void Clear(const api::MP1_COLOR* clearColor) override;
    void DrawLine(api::MP1_POINT point0, api::MP1_POINT point1, const api::IMpBrush* brush, float strokeWidth) override;
    void DrawGeometry(const api::IMpPathGeometry* geometry, const api::IMpBrush* brush, float strokeWidth) override;
    void FillGeometry(const api::IMpPathGeometry* geometry, const api::IMpBrush* brush) override;
    void DrawEllipse(const api::MP1_ELLIPSE* ellipse, const api::IMpBrush* brush, float strokeWidth) override;
    void FillEllipse(const api::MP1_ELLIPSE* ellipse, const api::IMpBrush* brush) override;
    void DrawRoundedRectangle(const api::MP1_ROUNDED_RECT* roundedRect, const api::IMpBrush* brush,
                              float strokeWidth) override;
    void FillRoundedRectangle(const api::MP1_ROUNDED_RECT* roundedRect, const api::IMpBrush* brush) override;
    void DrawTextU(const char* utf8String, std::int32_t stringLength, const api::IMpTextFormat* textFormat,
                   const api::MP1_RECT* layoutRect, const api::IMpBrush* brush, std::int32_t options) override;
    void DrawBitmap(const api::IMpBitmap* bitmap, const api::MP1_RECT* destinationRectangle, float opacity,
                    std::int32_t interpolationMode, const api::MP1_RECT* sourceRectangle) override;
    void SetTransform(const api::MP1_MATRIX_3X2* transform) override;
    void GetTransform(api::MP1_MATRIX_3X2* transform) override;
    void PushAxisAlignedClip(const api::MP1_RECT* clipRect) override;
    void PopAxisAlignedClip() override;
    void GetAxisAlignedClip(api::MP1_RECT* returnClipRect) override;
    std::int32_t CreateCompatibleRenderTarget(const api::MP1_SIZE* desiredSize,
                                              api::IMpBitmapRenderTarget** bitmapRenderTarget) override;
    void BeginDraw() override {}
    std::int32_t EndDraw() override;
    void DrawPolyline(const api::MP1_POINT* points, std::uint32_t pointsCount, const api::IMpBrush* brush,
                      float strokeWidth) override;
    std::int32_t GetBitmap(api::IMpBitmap** returnBitmap) override;

    // Origin (surface pixels) and clip (surface pixels, null: none) of the module
    // coordinates; resets the module's transform and clip stack.
    void setFrame(double originX, double originY, const api::MP1_RECT* deviceClip);
    cairo_surface_t* target() const { return surface; }
    std::uint64_t nonFiniteCount() const { return nonFinite; }

protected:
    bool answers(const gmpi::MpGuid& iid) const override { return iid == api::SE_IID_DEVICECONTEXT_MPGUI; }

private:
    // False (and the call is counted) when any value is not finite; false also for
    // absurd magnitudes.
    bool usableValues(std::initializer_list<double> values);
    // usableValues, and false too when the transform is singular.
    bool accept(std::initializer_list<double> values);
    // Applies the module's transform on top of the origin.
    void applyMatrix();
    void applyClip();
    // Strokes or fills the current path with `brush`, then clears the path.
    void finish(const api::IMpBrush* brush, bool stroke, double strokeWidth);
    // Rebuilds the cairo context when a call left it in an error state.
    void recover();
    void addEllipse(double cx, double cy, double rx, double ry);
    void addRoundedRectangle(const api::MP1_ROUNDED_RECT& rounded);

    ComPtr<api::IMpFactory> owner;
    cairo_surface_t* surface;
    cairo_t* context = nullptr;
    double originX = 0.0;
    double originY = 0.0;
    bool hasFrameClip = false;
    api::MP1_RECT frameClip{};             // surface pixels
    std::vector<api::MP1_RECT> clipStack;  // surface pixels, each within the one below
    api::MP1_MATRIX_3X2 transform{1, 0, 0, 1, 0, 0};
    bool transformInvertible = true;
    std::uint64_t nonFinite = 0;
};

}  // namespace mphost::drawing
