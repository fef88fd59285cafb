// ScrollBar: edits an integer offset into a range of Total units of which Visible are
// shown at once, Offset being the first. The thumb can be dragged (with the fine-adjust
// key 20 times more slowly), a click beside it pages by Visible, and the Dec and Inc
// pins step the offset by one while held, repeating after 800 ms (15 ticks of the
// default 50 ms GUI timer) on every tick. Horizontal when wider than tall.
//
// Lengths along the bar are pixels of the module's rectangle; offsets are units of the
// range, kept as floats so that a drag moves smoothly between whole units.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "Drawing.h"
#include "TimerManager.h"
#include "mp_sdk_gfx.h"

using namespace GmpiDrawing;
using GmpiDrawing_API::MP1_POINT;
using GmpiDrawing_API::MP1_RECT;

namespace {

// Pointer flag of the fine-adjust key.
constexpr std::int32_t fineAdjustFlag = 0x20000;
constexpr float fineAdjustFactor = 0.05f;
// Ticks of the repeat timer that pass before a held Dec or Inc repeats.
constexpr std::int32_t repeatDelayTicks = 15;

const Color highlightTop(1.0f, 1.0f, 1.0f, 1.0f);
const Color highlightBottom(1.0f, 1.0f, 1.0f, 1.0f);

float finiteOrZero(float value) { return std::isfinite(value) ? value : 0.0f; }

// The whole units of an offset, for the Offset pin. Offsets near the int range's end
// round up in single precision (2147483647 is 2^31 as a float): saturated, not wrapped.
std::int32_t wholeUnits(float offset)
{
    return static_cast<std::int32_t>(std::clamp<double>(finiteOrZero(offset), 0.0, 2147483647.0));
}

}  // namespace

class ScrollBar : public gmpi_gui::MpGuiGfxBase, public TimerClient {
    MpGuiPin<int> pinOffset;
    MpGuiPin<int> pinVisible;
    MpGuiPin<int> pinTotal;
    MpGuiPin<bool> pinDragging;
    MpGuiPin<bool> pinDec;
    MpGuiPin<bool> pinInc;
    StringGuiPin pinBackgroundColor;
    StringGuiPin pinBackgroundColor2;
    StringGuiPin pinThumbFill;
    MpGuiPin<bool> pinFlat;

    // The range, from the pins (negative values count as 0).
    float total = 0.0f;
    float offset = 0.0f;
    float visible = 0.0f;

    Color backgroundColor = Color::FromArgb(0xFF808080);
    Color backgroundColor2 = Color::FromArgb(0xFFFFFFFF);
    Color thumbFill = Color::FromArgb(0xFF0080FF);

    // Geometry along the bar, in pixels (see layOut).
    float drawnWidth = 0.0f;
    float drawnHeight = 0.0f;
    float thumbStart = 0.0f;
    float thumbEnd = 0.0f;
    float thumbLength = 0.0f;

    float pointerAtLastMove = 0.0f;  // along the bar
    std::int32_t lastOffsetSent = 0;
    std::int32_t repeatCounter = 0;
    bool writingOffset = false;  // set while the widget itself writes Offset
    bool pressed = false;
    Bitmap background;

public:
    ScrollBar()
    {
        initializePin(pinOffset, &ScrollBar::onSetOffset);
        initializePin(pinVisible, &ScrollBar::onSetVisible);
        initializePin(pinTotal, &ScrollBar::onSetTotal);
        initializePin(pinDragging);
        initializePin(pinDec, &ScrollBar::onSetDec);
        initializePin(pinInc, &ScrollBar::onSetInc);
        initializePin(pinBackgroundColor, &ScrollBar::onSetColors);
        initializePin(pinBackgroundColor2, &ScrollBar::onSetColors);
        initializePin(pinThumbFill, &ScrollBar::onSetColors);
        initializePin(pinFlat);
    }

    // ---------------------------------------------------------------------------------
    // Pins

    void onSetOffset()
    {
        if (writingOffset)
            return;
        offset = static_cast<float>(std::max(0, pinOffset.getValue()));
        invalidateRect();
    }

    void onSetVisible()
    {
        visible = static_cast<float>(std::max(0, pinVisible.getValue()));
        redrawBackground();
    }

    void onSetTotal()
    {
        total = static_cast<float>(std::max(0, pinTotal.getValue()));
        redrawBackground();
    }

    void onSetDec()
    {
        if (!pinDec) {
            stopRepeatUnlessHeld();
            return;
        }
        if (total <= visible) {
            StopTimer();
            return;
        }
        if (offset > 0.0f)
            writeOffset(offset - 1.0f);
        StartTimer();
        repeatCounter = 0;
    }

    void onSetInc()
    {
        if (!pinInc) {
            stopRepeatUnlessHeld();
            return;
        }
        if (total <= visible) {
            StopTimer();
            return;
        }
        if (total - visible > offset)
            writeOffset(offset + 1.0f);
        StartTimer();
        repeatCounter = 0;
    }

    void onSetColors()
    {
        backgroundColor = colorOr(pinBackgroundColor, 0xFF808080);
        backgroundColor2 = colorOr(pinBackgroundColor2, 0xFFFFFFFF);
        thumbFill = colorOr(pinThumbFill, 0xFF0080FF);
        redrawBackground();
    }

    // The repeat of a held Dec or Inc: nothing for the first ticks, then one unit a tick.
    bool OnTimer() override
    {
        if (repeatCounter < repeatDelayTicks) {
            ++repeatCounter;
        } else {
            if (pinDec && offset > 0.0f)
                writeOffset(offset - 1.0f);
            if (pinInc && total - visible > offset)
                writeOffset(offset + 1.0f);
        }
        return pinDec || pinInc;
    }

    // ---------------------------------------------------------------------------------
    // Graphics

    std::int32_t OnRender(GmpiDrawing_API::IMpDeviceContext* drawingContext) override
    {
        Graphics g(drawingContext);
        layOut();
        if (!g || drawnWidth < 1.0f || drawnHeight < 1.0f)
            return gmpi::MP_OK;
        if (backgroundColor.a > 0.0f || backgroundColor2.a > 0.0f) {
            if (!background)
                background = drawBackground(g);
            if (background)
                g.DrawBitmap(background, Point(0.0f, 0.0f));
        }
        drawThumb(g);
        return gmpi::MP_OK;
    }

    std::int32_t onPointerDown(std::int32_t /*flags*/, MP1_POINT point) override
    {
        layOut();
        const float c = along(point);
        if (!std::isfinite(c))
            return gmpi::MP_OK;
        if (c < thumbStart) {
            writeOffset(std::max(0.0f, offset - visible));
        } else if (c > thumbEnd) {
            // Never below 0, also when the whole range is visible.
            writeOffset(std::max(0.0f, std::min(offset + visible, total - visible)));
        } else {
            pinDragging = true;
            pointerAtLastMove = c;
            lastOffsetSent = wholeUnits(offset);
            setCapture();
            pressed = true;
            redrawBackground();
        }
        return gmpi::MP_OK;
    }

    std::int32_t onPointerMove(std::int32_t flags, MP1_POINT point) override
    {
        if (!getCapture())
            return gmpi::MP_OK;
        layOut();
        const float c = along(point);
        if (!std::isfinite(c))
            return gmpi::MP_OK;
        const float travel = length() - thumbLength;
        const float range = total - visible;
        if (travel > 0.0f && range > 0.0f) {
            const float factor = (flags & fineAdjustFlag) ? fineAdjustFactor : 1.0f;
            offset = std::clamp(offset + (c - pointerAtLastMove) * factor * range / travel, 0.0f, range);
        }
        pointerAtLastMove = c;
        invalidateRect();
        const std::int32_t whole = wholeUnits(offset);
        if (whole != lastOffsetSent) {
            writingOffset = true;
            pinOffset = whole;
            writingOffset = false;
            lastOffsetSent = whole;
        }
        return gmpi::MP_OK;
    }

    std::int32_t onPointerUp(std::int32_t /*flags*/, MP1_POINT /*point*/) override
    {
        if (getCapture())
            releaseCapture();
        pinDragging = false;
        pressed = false;
        redrawBackground();
        return gmpi::MP_OK;
    }

private:
    static Color colorOr(const StringGuiPin& pin, std::uint32_t fallback)
    {
        return pin.getValue().empty() ? Color::FromArgb(fallback) : hexStringToColor(pin.getValue());
    }

    bool horizontal() const { return drawnWidth > drawnHeight; }
    float length() const { return std::max(drawnWidth, drawnHeight); }
    float thickness() const { return std::min(drawnWidth, drawnHeight); }
    float along(MP1_POINT point) const { return horizontal() ? point.x : point.y; }

    void redrawBackground()
    {
        background = Bitmap();
        invalidateRect();
    }

    void writeOffset(float newOffset)
    {
        offset = newOffset;
        writingOffset = true;
        pinOffset = wholeUnits(offset);
        writingOffset = false;
    }

    void stopRepeatUnlessHeld()
    {
        if (!pinDec && !pinInc)
            StopTimer();
    }

    // The thumb along the bar from the module's size and the range. A thumb whose
    // minimum length exceeds a short bar fills it, and then cannot travel.
    void layOut()
    {
        const Rect rect = getRect();
        const float width = std::max(0.0f, finiteOrZero(rect.getWidth()));
        const float height = std::max(0.0f, finiteOrZero(rect.getHeight()));
        if (width != drawnWidth || height != drawnHeight) {
            drawnWidth = width;
            drawnHeight = height;
            background = Bitmap();
        }
        const float barLength = length();
        const float barThickness = thickness();
        const float margin = barThickness * 0.1f;
        const float radius = (barThickness - margin) * 0.5f;
        if (total <= visible) {
            thumbStart = 0.0f;
            thumbLength = barLength;
        } else {
            thumbLength = std::min(barLength, std::max(barThickness - margin + radius + 2.0f, visible * barLength / total));
            const float travel = barLength - thumbLength;
            thumbStart = std::max(0.0f, std::min(travel, offset * travel / (total - visible)));
        }
        thumbEnd = thumbStart + thumbLength - 1.0f;
    }

    // A rectangle from `start` to `end` along the bar and `near` to `far` across it.
    Rect barRect(float start, float end, float near, float far) const
    {
        return horizontal() ? Rect(start, near, end, far) : Rect(near, start, far, end);
    }

    // The track: a gradient across the bar from BackgroundColor2 to BackgroundColor, or
    // BackgroundColor alone when Flat.
    Bitmap drawBackground(Graphics& g)
    {
        BitmapRenderTarget layer = g.CreateCompatibleRenderTarget(Size(drawnWidth, drawnHeight));
        if (!layer)
            return Bitmap();
        layer.BeginDraw();
        layer.Clear(Color(0.0f, 0.0f, 0.0f, 0.0f));
        const Rect whole(0.0f, 0.0f, drawnWidth, drawnHeight);
        if (pinFlat) {
            layer.FillRectangle(whole, layer.CreateSolidColorBrush(backgroundColor));
        } else {
            const Point from(0.0f, 0.0f);
            const Point to = horizontal() ? Point(0.0f, drawnHeight) : Point(drawnWidth, 0.0f);
            layer.FillRectangle(whole, layer.CreateLinearGradientBrush(backgroundColor2, backgroundColor, from, to));
        }
        layer.EndDraw();
        return layer.GetBitmap();
    }

    // A rounded thumb inset by the margin across the bar, with a white rim and, while
    // not pressed, a white sheen on its near half.
    void drawThumb(Graphics& g)
    {
        const float barThickness = thickness();
        const float margin = barThickness * 0.1f;
        const float radius = (barThickness - margin) * 0.5f;
        const Rect thumb = barRect(thumbStart, thumbStart + thumbLength, margin * 0.5f, barThickness - margin * 0.5f);
        g.FillRoundedRectangle(thumb, radius, g.CreateSolidColorBrush(thumbFill));
        if (!pressed && thumbLength > radius * 2.0f) {
            const Rect sheen = barRect(thumbStart + radius * 0.5f, thumbStart + thumbLength - radius * 0.5f,
                                       margin * 0.5f + 1.0f, barThickness * 0.5f);
            const Point from = horizontal() ? Point(0.0f, sheen.top) : Point(sheen.left, 0.0f);
            const Point to = horizontal() ? Point(0.0f, sheen.bottom) : Point(sheen.right, 0.0f);
            Color fadedBottom = highlightBottom;
            fadedBottom.a = 0.0f;
            Color sheenTop = highlightTop;
            sheenTop.a = 0.45f;
            g.FillRoundedRectangle(sheen, radius * 0.5f, g.CreateLinearGradientBrush(sheenTop, fadedBottom, from, to));
        }
        Color rim = highlightTop;
        rim.a = pressed ? 1.0f : 0.6f;
        g.DrawRoundedRectangle(thumb, radius, g.CreateSolidColorBrush(rim), pressed ? 2.0f : 1.0f);
    }
};

namespace {
const bool registered = gmpi::Register<ScrollBar>::withId(L"ScrollBar");
}
