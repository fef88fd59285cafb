// WavDisp: one channel of a sample blob drawn as a filled min/max envelope over a gradient
// background. A drag selects a range to zoom into (with DragZoom), ZoomOut doubles the
// visible range and Home shows the whole sample. The view (first visible frame, visible
// frames, total frames) is published on Offset, Visible and Total, so that markers laid
// over the display line up with its waveform. Registered as "WavDisp" and "WavDispC".
//
// The display keeps its own copy of the sample (the blob pin's storage changes with every
// value the host sets) with non-finite values made 0 or limited, and a min/max pyramid of
// it, so that a redraw costs a few steps per pixel column at any zoom. Background and
// waveform are cached as bitmaps until their inputs change.
// User-interface thread only.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "../dsp/ScopeDrawing.h"
#include "Drawing.h"
#include "MinMaxPyramid.h"
#include "SampleView.h"
#include "mp_sdk_gfx.h"

using namespace GmpiDrawing;
using namespace GmpiDrawing_API;

namespace {

class WavDisp : public gmpi_gui::MpGuiGfxBase {
    enum ColourRole { bgMid, bgEdge, line, fillTop, fillBottom, zeroLine, select, colourCount };
    static constexpr std::uint32_t defaultColours[colourCount] = {0xFF000000, 0xFF505050, 0xFF00D0FF, 0xFF00D0FF,
                                                                  0x00000000, 0xFF808080, 0x8080FF00};
    // Fewer visible frames than this cannot be zoomed into further.
    static constexpr int minimumDragFrames = 21;

    MpGuiPin<MpBlob> pinData;
    MpGuiPin<float> pinYRng;
    MpGuiPin<bool> pinDragZoom;
    MpGuiPin<bool> pinMouseDown;
    MpGuiPin<int> pinOffset;
    MpGuiPin<int> pinVisible;
    MpGuiPin<int> pinTotal;
    MpGuiPin<bool> pinZoomOut;
    MpGuiPin<bool> pinHome;
    StringGuiPin colourPins[colourCount];

    std::vector<float> samples;  // the display's own copy, every value finite
    sample_view::MinMaxPyramid pyramid;
    std::int64_t frames = 0;
    std::int64_t offset = 0;   // first visible frame, >= 0
    std::int64_t visible = 0;  // visible frames, >= 0
    float scale = 0.5f;        // the sample value at the top edge
    Color colours[colourCount];

    float drawnWidth = 0.0f, drawnHeight = 0.0f;
    float selectionStart = 0.0f, selectionEnd = 0.0f;  // pixels; equal when no drag is on
    float lastX = -1.0f;
    Bitmap background;
    Bitmap waveform;

public:
    WavDisp()
    {
        initializePin(pinData, &WavDisp::onSetData);
        initializePin(pinYRng, &WavDisp::onSetYRng);
        initializePin(pinDragZoom);
        initializePin(pinMouseDown);
        initializePin(pinOffset, &WavDisp::onSetOffset);
        initializePin(pinVisible, &WavDisp::onSetVisible);
        initializePin(pinTotal);
        initializePin(pinZoomOut, &WavDisp::onSetZoomOut);
        initializePin(pinHome, &WavDisp::onSetHome);
        for (auto& pin : colourPins)
            initializePin(pin, &WavDisp::onSetColors);
        for (int role = 0; role < colourCount; ++role)
            colours[role] = Color::FromArgb(defaultColours[role]);
    }

    // The host sets every pin before this, Data first and the view after it: a stored
    // view that fits the sample stays, anything else (the defaults: nothing visible)
    // shows the whole sample.
    std::int32_t initialize() override
    {
        if (frames > 0 && !viewIsValid())
            onSetHome(true);
        return MpGuiGfxBase::initialize();
    }

    // A blob with no data, size 0 or a size not a multiple of 4 leaves the previous sample.
    void onSetData()
    {
        const MpBlob& blob = pinData;
        const int size = blob.getSize();
        if (size <= 0 || size % 4 != 0 || !blob.getData())
            return;
        frames = size / 4;
        samples.resize(static_cast<std::size_t>(frames));
        std::memcpy(samples.data(), blob.getData(), static_cast<std::size_t>(size));
        for (float& x : samples) {
            if (!(x >= -sample_view::sampleLimit && x <= sample_view::sampleLimit))
                x = x > 0.0f ? sample_view::sampleLimit : (x < 0.0f ? -sample_view::sampleLimit : 0.0f);
        }
        pyramid.build(samples.data(), frames);
        offset = 0;
        visible = frames;
        pinTotal = static_cast<int>(frames);
        pinVisible = static_cast<int>(frames);
        // -1 first, so that 0 is sent even when Offset already holds 0.
        pinOffset = -1;
        pinOffset = 0;
        redrawWaveform();
    }

    // Full height is +-(YRng x 0.1); a value that is not finite keeps the present scale.
    void onSetYRng()
    {
        const float range = pinYRng;
        if (!std::isfinite(range))
            return;
        scale = std::max(range * 0.1f, 0.00001f);
        if (!std::isfinite(scale))
            scale = 0.00001f;
        redrawWaveform();
    }

    void onSetOffset()
    {
        offset = std::max(0, pinOffset.getValue());
        redrawWaveform();
    }

    void onSetVisible()
    {
        visible = std::max(0, pinVisible.getValue());
        redrawWaveform();
    }

    void onSetZoomOut()
    {
        if (!pinZoomOut || visible >= frames)
            return;
        offset -= visible / 2;
        visible *= 2;
        if (visible > frames) {
            visible = frames;
            offset = 0;
        } else {
            offset = std::clamp<std::int64_t>(offset, 0, frames - visible);
        }
        pinVisible = static_cast<int>(visible);
        pinOffset = static_cast<int>(offset);
        redrawWaveform();
    }

    void onSetHome() { onSetHome(pinHome); }

    void onSetHome(bool home)
    {
        if (!home)
            return;
        visible = frames;
        offset = 0;
        pinTotal = static_cast<int>(frames);
        pinVisible = static_cast<int>(frames);
        pinOffset = 0;
        redrawWaveform();
    }

    void onSetColors()
    {
        for (int role = 0; role < colourCount; ++role) {
            const std::wstring& text = colourPins[role].getValue();
            colours[role] = text.empty() ? Color::FromArgb(defaultColours[role]) : hexStringToColor(text);
        }
        background = Bitmap();
        waveform = Bitmap();
        invalidateRect();
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
        const float mid = h * 0.5f;

        if (w != drawnWidth || h != drawnHeight) {
            drawnWidth = w;
            drawnHeight = h;
            background = Bitmap();
            waveform = Bitmap();
        }

        if (colours[bgMid].a > 0.0f || colours[bgEdge].a > 0.0f) {
            if (!background)
                background = scope_drawing::drawLayer(g, static_cast<int>(std::ceil(w)), static_cast<int>(std::ceil(h)),
                                                      [&](Graphics_base& layer) { drawBackground(layer, w, h); });
            if (background)
                g.DrawBitmap(background, Point(0.0f, 0.0f));
        }

        if (colours[zeroLine].a > 0.0f)
            g.DrawLine(Point(0.0f, mid), Point(w - 1.0f, mid), g.CreateSolidColorBrush(colours[zeroLine]), 1.0f);

        if (viewIsValid()) {
            if (!waveform)
                waveform = drawWaveform(g, w, h);
            if (waveform)
                g.DrawBitmap(waveform, Point(0.0f, 0.0f));
        }

        if (selectionStart != selectionEnd) {
            const Rect area(std::min(selectionStart, selectionEnd), 0.0f, std::max(selectionStart, selectionEnd), h - 1.0f);
            g.FillRectangle(area, g.CreateSolidColorBrush(colours[select]));
        }
        return gmpi::MP_OK;
    }

    std::int32_t onPointerDown(std::int32_t /*flags*/, MP1_POINT point) override
    {
        pinMouseDown = true;
        const float w = rect.right - rect.left;
        if (!pinDragZoom || visible < minimumDragFrames || !std::isfinite(point.x) || !(w >= 2.0f))
            return gmpi::MP_FAIL;
        // A press on the edge (or outside, as a host may deliver) starts inside the view.
        const float x = std::clamp(point.x, 0.0f, w - 1.0f);
        selectionStart = selectionEnd = lastX = x;
        setCapture();
        return gmpi::MP_OK;
    }

    std::int32_t onPointerMove(std::int32_t /*flags*/, MP1_POINT point) override
    {
        if (!getCapture() || !std::isfinite(point.x))
            return gmpi::MP_OK;
        const float w = rect.right - rect.left;
        const float x = std::clamp(point.x, 0.0f, std::max(0.0f, w - 1.0f));
        if (x != lastX) {
            selectionEnd = lastX = x;
            invalidateRect();
        }
        return gmpi::MP_OK;
    }

    std::int32_t onPointerUp(std::int32_t /*flags*/, MP1_POINT /*point*/) override
    {
        if (getCapture())
            releaseCapture();
        const float w = rect.right - rect.left;
        if (selectionStart != selectionEnd && w >= 2.0f) {
            const double lo = std::min(selectionStart, selectionEnd);
            const double hi = std::max(selectionStart, selectionEnd);
            const double k = static_cast<double>(visible - 1) / (static_cast<double>(w) - 1.0);
            const std::int64_t oldOffset = offset;
            // Within what an int pin can carry, whatever view the host has set.
            constexpr std::int64_t largest = std::numeric_limits<int>::max();
            offset = std::clamp<std::int64_t>(oldOffset + static_cast<std::int64_t>(lo * k), 0, largest);
            visible = std::clamp<std::int64_t>(static_cast<std::int64_t>(hi * k) + oldOffset - offset + 1, 0, largest);
            pinOffset = static_cast<int>(offset);
            pinVisible = static_cast<int>(visible);
            waveform = Bitmap();
        }
        selectionStart = selectionEnd = 0.0f;
        invalidateRect();
        pinMouseDown = false;
        return gmpi::MP_OK;
    }

private:
    void redrawWaveform()
    {
        waveform = Bitmap();
        invalidateRect();
    }

    // A view inside the sample with something in it.
    bool viewIsValid() const { return frames > 0 && visible > 0 && offset >= 0 && offset + visible <= frames; }

    // Edge colour at the top and bottom, centre colour in the middle; the two halves meet
    // without a gap.
    void drawBackground(Graphics_base& g, float w, float h)
    {
        const float mid = h * 0.5f;
        auto upper = g.CreateLinearGradientBrush(colours[bgEdge], colours[bgMid], Point(0.0f, 0.0f), Point(0.0f, mid - 1.0f));
        g.FillRectangle(Rect(0.0f, 0.0f, w, mid), upper);
        auto lower = g.CreateLinearGradientBrush(colours[bgMid], colours[bgEdge], Point(0.0f, mid), Point(0.0f, h - 1.0f));
        g.FillRectangle(Rect(0.0f, mid, w, h), lower);
    }

    // Each pixel column's smallest and largest value, as y coordinates {top, bottom}.
    // Column c covers the frames from the running index up to offset + trunc((c + 1) x
    // visible / w) - 1; with more columns than frames it repeats the frame at the index.
    void columnExtremes(float w, float h)
    {
        const float mid = h * 0.5f;
        // Far outside the view every y draws the same; limiting keeps the arithmetic small.
        const auto yOf = [&](float s) { return std::clamp((1.0f - s / scale) * mid, -2.0f, h + 2.0f); };
        columns.clear();
        std::int64_t index = offset;
        for (int c = 0; c + 1 <= w; ++c) {
            const std::int64_t end = offset + static_cast<std::int64_t>((c + 1.0) * static_cast<double>(visible) / w);
            sample_view::MinMaxPyramid::Range range;
            if (index < end) {
                range = pyramid.query(index, end);
                index = end;
            } else if (index < frames) {
                range.min = range.max = samples[static_cast<std::size_t>(index)];
            } else {
                break;
            }
            columns.push_back({yOf(range.max), yOf(range.min)});  // the largest value is highest up
        }
    }

    // The waveform layer, written pixel by pixel from the column extremes: the outline
    // (LineColor, 1 pixel wide) joins each column's top and bottom and the previous
    // column's last point; the fill (FillTopColor at the top edge to FillBottomColor at the
    // bottom) lies between the centre line and the line from one column's bottom to the
    // next column's top, drawn over the outline. A few steps per column at any zoom.
    Bitmap drawWaveform(Graphics& g, float w, float h)
    {
        const int W = static_cast<int>(std::ceil(w)), H = static_cast<int>(std::ceil(h));
        Bitmap bitmap = g.GetFactory().CreateImage(W, H);
        if (!bitmap)
            return bitmap;
        auto pixels = bitmap.lockPixels(GmpiDrawing_API::MP1_BITMAP_LOCK_WRITE);
        std::uint8_t* address = pixels.getAddress();
        const int stride = pixels.getBytesPerRow();
        if (!address || stride < 4 * W)
            return Bitmap();
        std::memset(address, 0, static_cast<std::size_t>(stride) * static_cast<std::size_t>(H));

        columnExtremes(w, h);
        const auto outline = scope_drawing::pixelColour(colours[line], pixels.getPixelFormat());
        const auto top = scope_drawing::pixelColour(colours[fillTop], pixels.getPixelFormat());
        const auto bottom = scope_drawing::pixelColour(colours[fillBottom], pixels.getPixelFormat());
        const float mid = h * 0.5f;
        const int count = static_cast<int>(columns.size());
        for (int x = 0; x < count && x < W; ++x) {
            float lineTop = columns[static_cast<std::size_t>(x)].first;
            float lineBottom = columns[static_cast<std::size_t>(x)].second;
            if (x > 0) {
                lineTop = std::min(lineTop, columns[static_cast<std::size_t>(x - 1)].second);
                lineBottom = std::max(lineBottom, columns[static_cast<std::size_t>(x - 1)].second);
            }
            lineTop -= 0.5f;  // half the line width above and below
            lineBottom += 0.5f;
            // The fill's edge at the column's centre; the last column has none.
            const bool filled = x + 1 < count;
            const float edge =
                filled ? 0.5f * (columns[static_cast<std::size_t>(x)].second + columns[static_cast<std::size_t>(x + 1)].first)
                       : mid;
            const float fillFrom = std::min(edge, mid), fillTo = std::max(edge, mid);
            const int first = std::max(0, static_cast<int>(std::floor(std::min(lineTop, fillFrom))));
            const int last = std::min(H - 1, static_cast<int>(std::ceil(std::max(lineBottom, fillTo))));
            for (int y = first; y <= last; ++y) {
                const float lineCover = coverage(y, lineTop, lineBottom) * outline.alpha;
                const float t = (static_cast<float>(y) + 0.5f) / h;
                scope_drawing::PixelColour fill;
                fill.red = top.red + (bottom.red - top.red) * t;
                fill.green = top.green + (bottom.green - top.green) * t;
                fill.blue = top.blue + (bottom.blue - top.blue) * t;
                const float fillCover = filled ? coverage(y, fillFrom, fillTo) * (top.alpha + (bottom.alpha - top.alpha) * t) : 0.0f;
                if (lineCover <= 0.0f && fillCover <= 0.0f)
                    continue;
                // Fill over outline, premultiplied.
                const float alpha = fillCover + lineCover * (1.0f - fillCover);
                scope_drawing::PixelColour mixed;
                mixed.red = (fill.red * fillCover + outline.red * lineCover * (1.0f - fillCover)) / alpha;
                mixed.green = (fill.green * fillCover + outline.green * lineCover * (1.0f - fillCover)) / alpha;
                mixed.blue = (fill.blue * fillCover + outline.blue * lineCover * (1.0f - fillCover)) / alpha;
                scope_drawing::writePixel(address + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride), x,
                                          scope_drawing::argb2Native_BGRA(mixed, alpha));
            }
        }
        return bitmap;
    }

    // How much of pixel row y (y .. y + 1) lies within from .. to.
    static float coverage(int y, float from, float to)
    {
        const float row = static_cast<float>(y);
        return std::clamp(std::min(to, row + 1.0f) - std::max(from, row), 0.0f, 1.0f);
    }

    std::vector<std::pair<float, float>> columns;  // per pixel column: {top, bottom} y
};

const bool registered = gmpi::Register<WavDisp>::withId(L"WavDisp");
const bool registeredC = gmpi::Register<WavDisp>::withId(L"WavDispC");

}  // namespace
