// WavMarker: one draggable marker over a waveform display: a vertical line with a text
// label at frame MPos, placed with the display's view (Offset, Visible, Total, as a
// WavDisp publishes them) so that a marker of the display's size lines up with its
// waveform. An end marker stands at the end of its frame with its label on the left.
// Dragging the label moves the marker and writes MPos. The marker takes the pointer only
// on its label; the display below gets the rest. Registered as "WavMarker" and
// "WavMarkerC". User-interface thread only.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "Drawing.h"
#include "FontCache.h"
#include "mp_sdk_gfx.h"

using namespace GmpiDrawing;
using namespace GmpiDrawing_API;

namespace {

class WavMarker : public gmpi_gui::MpGuiGfxBase, public FontCacheClient {
    static constexpr std::uint32_t defaultLabelColour = 0xFFFFFFFF;
    static constexpr std::uint32_t defaultTextColour = 0xFF000000;

    MpGuiPin<int> pinOffset;
    MpGuiPin<int> pinVisible;
    MpGuiPin<int> pinTotal;
    MpGuiPin<int> pinMPos;
    StringGuiPin pinMID;
    StringGuiPin pinStyle;
    MpGuiPin<bool> pinEndMarker;
    MpGuiPin<bool> pinMouseDown;
    StringGuiPin pinLabelColor;
    StringGuiPin pinTextColor;

    // The view and the marker's frame, each >= 0.
    std::int64_t offset = 0, visible = 0, total = 0, position = 0;
    bool endMarker = false;
    std::string label;  // UTF-8
    Color labelColour = Color::FromArgb(defaultLabelColour);
    Color textColour = Color::FromArgb(defaultTextColour);

    float drawnWidth = 0.0f, drawnHeight = 0.0f;
    float labelWidth = 2.0f, labelHeight = 0.0f;  // pixels
    float markerX = 0.0f;                         // where the last drawing put the marker
    float grab = 0.0f;                            // pointer x - marker x at the press
    Bitmap labelBitmap;

public:
    WavMarker()
    {
        initializePin(pinOffset, &WavMarker::onSetOffset);
        initializePin(pinVisible, &WavMarker::onSetVisible);
        initializePin(pinTotal, &WavMarker::onSetTotal);
        initializePin(pinMPos, &WavMarker::onSetMPos);
        initializePin(pinMID, &WavMarker::onSetMID);
        initializePin(pinStyle, &WavMarker::onSetStyle);
        initializePin(pinEndMarker, &WavMarker::onSetEndMarker);
        initializePin(pinMouseDown);
        initializePin(pinLabelColor, &WavMarker::onSetColors);
        initializePin(pinTextColor, &WavMarker::onSetColors);
    }

    void onSetOffset() { store(offset, pinOffset); }
    void onSetVisible() { store(visible, pinVisible); }
    void onSetTotal() { store(total, pinTotal); }
    void onSetMPos() { store(position, pinMPos); }

    void onSetMID()
    {
        label = static_cast<std::string>(pinMID);
        redrawLabel();
    }

    void onSetStyle()
    {
        if (pinStyle.getValue().empty())
            pinStyle = std::wstring(L"normal");
        redrawLabel();
    }

    void onSetEndMarker()
    {
        endMarker = pinEndMarker;
        redrawLabel();
    }

    void onSetColors()
    {
        const std::wstring& labelText = pinLabelColor.getValue();
        const std::wstring& textText = pinTextColor.getValue();
        labelColour = labelText.empty() ? Color::FromArgb(defaultLabelColour) : hexStringToColor(labelText);
        textColour = textText.empty() ? Color::FromArgb(defaultTextColour) : hexStringToColor(textText);
        redrawLabel();
    }

    std::int32_t OnRender(IMpDeviceContext* drawingContext) override
    {
        if (!drawingContext)
            return gmpi::MP_FAIL;
        const float w = rect.right - rect.left;
        const float h = rect.bottom - rect.top;
        if (!(w >= 1.0f && h >= 1.0f && w <= 16384.0f && h <= 16384.0f))
            return gmpi::MP_OK;
        Graphics g(drawingContext);

        if (w != drawnWidth || h != drawnHeight) {
            drawnWidth = w;
            drawnHeight = h;
            labelBitmap = Bitmap();
        }
        if (!labelBitmap)
            makeLabel(g, h);

        if (!viewIsValid())
            return gmpi::MP_OK;
        const std::int64_t p = std::min(position, total - 1);
        const double distance = static_cast<double>(p - offset + (endMarker ? 1 : 0));
        float x = static_cast<float>(distance * w / static_cast<double>(visible));
        if (offset >= total - visible && x > w - 2.0f)
            x = w - 2.0f;
        markerX = x;

        const bool shows = endMarker ? (-2.0f < x && x < labelWidth + w - 2.0f) : (-labelWidth < x && x < w);
        if (!shows || !labelBitmap)
            return gmpi::MP_OK;
        g.PushAxisAlignedClip(Rect(0.0f, 0.0f, w, h));
        g.DrawBitmap(labelBitmap, Point(endMarker ? x + 2.0f - labelWidth : x, 0.0f));
        g.PopAxisAlignedClip();
        return gmpi::MP_OK;
    }

    std::int32_t hitTest(MP1_POINT point) override { return isLabelHit(point.x, point.y) ? gmpi::MP_OK : gmpi::MP_FAIL; }

    bool isLabelHit(float x, float y) const
    {
        if (!viewIsValid() || !(y < labelHeight))
            return false;
        const float lo = endMarker ? markerX + 2.0f - labelWidth : markerX;
        const float hi = endMarker ? markerX + 1.0f : markerX + labelWidth - 1.0f;
        return lo <= x && x <= hi;
    }

    std::int32_t onPointerDown(std::int32_t /*flags*/, MP1_POINT point) override
    {
        if (!isLabelHit(point.x, point.y))
            return gmpi::MP_FAIL;
        pinMouseDown = true;
        grab = point.x - markerX;
        setCapture();
        return gmpi::MP_OK;
    }

    std::int32_t onPointerMove(std::int32_t /*flags*/, MP1_POINT point) override
    {
        const float w = rect.right - rect.left;
        if (!getCapture() || total <= 0 || !(w > 0.0f))
            return gmpi::MP_OK;
        const double frame = static_cast<double>(point.x - grab) * static_cast<double>(visible) / w;
        if (!std::isfinite(frame))
            return gmpi::MP_OK;
        // Limited before the conversion, so that any pointer position gives a frame.
        const double limited = std::clamp(std::trunc(frame) + static_cast<double>(offset), 0.0,
                                          static_cast<double>(total - 1));
        position = static_cast<std::int64_t>(limited);
        if (position != pinMPos.getValue()) {
            pinMPos = static_cast<int>(position);
            // The marker follows the pointer without waiting for MPos to come back.
            invalidateRect();
        }
        return gmpi::MP_OK;
    }

    std::int32_t onPointerUp(std::int32_t /*flags*/, MP1_POINT /*point*/) override
    {
        if (getCapture())
            releaseCapture();
        pinMouseDown = false;
        return gmpi::MP_OK;
    }

private:
    void store(std::int64_t& field, const MpGuiPin<int>& pin)
    {
        field = std::max(0, pin.getValue());
        invalidateRect();
    }

    void redrawLabel()
    {
        labelBitmap = Bitmap();
        invalidateRect();
    }

    // A view in which the marker can be placed: a sample, at least two frames shown, all
    // of them inside it.
    bool viewIsValid() const { return total != 0 && visible > 1 && offset + visible <= total; }

    void makeLabel(Graphics& g, float h)
    {
        TextFormat_readonly format = GetTextFormat(static_cast<std::string>(pinStyle));
        const Size extent = format ? format.GetTextExtentU(label) : Size(0.0f, 0.0f);
        const float textWidth = std::isfinite(extent.width) ? std::clamp(extent.width, 0.0f, 4096.0f) : 0.0f;
        const float textHeight = std::isfinite(extent.height) ? std::clamp(extent.height, 0.0f, 4096.0f) : 0.0f;
        labelHeight = std::ceil(textHeight) + 2.0f;
        labelWidth = label.empty() ? 2.0f : std::ceil(textWidth) + 2.0f;

        BitmapRenderTarget layer = g.CreateCompatibleRenderTarget(Size(labelWidth, std::ceil(h)));
        if (!layer)
            return;
        layer.BeginDraw();
        layer.Clear(Color(0.0f, 0.0f, 0.0f, 0.0f));
        auto labelBrush = layer.CreateSolidColorBrush(labelColour);
        if (!label.empty()) {
            layer.FillRectangle(Rect(0.0f, 0.0f, labelWidth - 1.0f, labelHeight - 1.0f), labelBrush);
            if (format)
                layer.DrawTextU(label, format, Rect(1.0f, 1.0f, labelWidth - 1.0f, labelHeight - 2.0f),
                                layer.CreateSolidColorBrush(textColour));
        }
        const float lineX = endMarker ? labelWidth - 1.0f : 0.0f;
        layer.DrawLine(Point(lineX, 0.0f), Point(lineX, h - 1.0f), labelBrush, 2.0f);
        layer.EndDraw();
        labelBitmap = layer.GetBitmap();
    }
};

const bool registered = gmpi::Register<WavMarker>::withId(L"WavMarker");
const bool registeredC = gmpi::Register<WavMarker>::withId(L"WavMarkerC");

}  // namespace
