// A list of text rows in a skin font: shows the items of an enumeration-list text,
// highlights the item whose value equals Choice, picks an item on a click and scrolls
// row by row with a thin bar at its right edge. GUI only; user-interface thread.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "Drawing.h"
#include "FontCache.h"
#include "it_enum_list.h"
#include "mp_sdk_gfx.h"
#include "unicode_conversion.h"

using namespace GmpiDrawing;
using namespace GmpiDrawing_API;

namespace {

// Colour text (AARRGGBB) of a pin, or its default while the text is empty.
Color hexStringToColor(const std::wstring& text, std::uint32_t defaultArgb)
{
    return text.empty() ? Color::FromArgb(defaultArgb) : GmpiDrawing::hexStringToColor(text);
}

// A skin font colour: bytes R, G, B, A in memory (0xAABBGGRR), sRGB colour bytes.
Color skinFontColour(std::uint32_t value)
{
    return Color::FromBytes(static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24));
}

class BetterListBox : public gmpi_gui::MpGuiGfxBase, public FontCacheClient {
    // Width of the scroll bar at the right edge, in pixels.
    static constexpr float scrollBarWidth = 12.0f;

    MpGuiPin<int> pinChoice;
    StringGuiPin pinItems;
    MpGuiPin<bool> pinMouseDown;
    StringGuiPin pinStyle;
    StringGuiPin pinTextColor;
    StringGuiPin pinBackgroundTop;
    StringGuiPin pinBackgroundBottom;
    StringGuiPin pinHighlightColor;
    StringGuiPin pinThumbColor;
    StringGuiPin pinTrackColor;
    MpGuiPin<bool> pinAutoHideScrollBar;

    Color textColor = Color::FromArgb(0x00000000);
    Color backgroundTop = Color::FromArgb(0xFF40B0FF);
    Color backgroundBottom = Color::FromArgb(0xFF005080);
    Color highlightColor = Color::FromArgb(0xFFFFFFFF);
    Color thumbColor = Color::FromArgb(0xFF80D0FF);
    Color trackColor = Color::FromArgb(0xFF004070);

    float rowHeight = 1.0f;    // pixels
    int firstRow = 0;          // the first item shown
    int itemCount = 0;         // entries of the list
    int visibleRows = 0;       // whole rows that fit
    bool pressInScrollBar = false;
    Point lastPoint;

public:
    BetterListBox()
    {
        initializePin(pinChoice, &BetterListBox::reDraw);
        initializePin(pinItems, &BetterListBox::onSetItemList);
        initializePin(pinMouseDown);
        initializePin(pinStyle, &BetterListBox::onSetStyle);
        initializePin(pinTextColor, &BetterListBox::onSetColors);
        initializePin(pinBackgroundTop, &BetterListBox::onSetColors);
        initializePin(pinBackgroundBottom, &BetterListBox::onSetColors);
        initializePin(pinHighlightColor, &BetterListBox::onSetColors);
        initializePin(pinThumbColor, &BetterListBox::onSetColors);
        initializePin(pinTrackColor, &BetterListBox::onSetColors);
        initializePin(pinAutoHideScrollBar);
    }

    void reDraw() { invalidateRect(); }

    void onSetItemList()
    {
        firstRow = 0;
        calcScrollBars();
        invalidateRect();
    }

    void onSetStyle()
    {
        if (pinStyle.getValue().empty())
            pinStyle = std::wstring(L"normal");
        invalidateMeasure();
        calcScrollBars();
        invalidateRect();
    }

    void onSetColors()
    {
        textColor = hexStringToColor(pinTextColor.getValue(), 0x00000000);
        backgroundTop = hexStringToColor(pinBackgroundTop.getValue(), 0xFF40B0FF);
        backgroundBottom = hexStringToColor(pinBackgroundBottom.getValue(), 0xFF005080);
        highlightColor = hexStringToColor(pinHighlightColor.getValue(), 0xFFFFFFFF);
        thumbColor = hexStringToColor(pinThumbColor.getValue(), 0xFF80D0FF);
        trackColor = hexStringToColor(pinTrackColor.getValue(), 0xFF004070);
        invalidateRect();
    }

    std::int32_t measure(MP1_SIZE availableSize, MP1_SIZE* returnDesiredSize) override
    {
        if (returnDesiredSize) {
            returnDesiredSize->width = std::max(4.0f, availableSize.width);  // NaN gives 4
            returnDesiredSize->height = std::max(4.0f, availableSize.height);
        }
        return gmpi::MP_OK;
    }

    std::int32_t arrange(MP1_RECT finalRect) override
    {
        MpGuiGfxBase::arrange(finalRect);
        calcScrollBars();
        return gmpi::MP_OK;
    }

    std::int32_t OnRender(IMpDeviceContext* drawingContext) override
    {
        if (!drawingContext)
            return gmpi::MP_FAIL;
        Graphics graphics(drawingContext);
        const float width = rect.right - rect.left;
        const float height = rect.bottom - rect.top;
        if (!(width > 0.0f && height > 0.0f))
            return gmpi::MP_OK;

        const std::string style = pinStyle;
        TextFormat_readonly format = GetTextFormat(style);
        Color brushColour = textColor;
        if (textColor.a == 0.0f) {
            const FontMetadata* font = GetFontMetatdata(style);
            brushColour = skinFontColour(font ? font->fontColor : 0xFFFFFFFF);
        }
        SolidColorBrush textBrush = graphics.CreateSolidColorBrush(brushColour);

        // The scroll bar, unless hidden while every item fits.
        const int count = itemCount;
        const float ratio = count > 0 ? static_cast<float>(visibleRows) / static_cast<float>(count) : 1.0f;
        float contentWidth = width;
        if (scrollBarShown()) {
            contentWidth = width - scrollBarWidth;
            graphics.FillRectangle(Rect(width - scrollBarWidth, 0.0f, width, height),
                                   graphics.CreateSolidColorBrush(trackColor));
            // No items: the track alone (the thumb's place would divide by zero).
            if (count > 0) {
                const float top = (height - 4.0f) * static_cast<float>(firstRow) / static_cast<float>(count);
                const float length = std::min(1.0f, ratio) * (height - 4.0f);
                graphics.FillRectangle(Rect(width - 10.0f, top + 2.0f, width - 2.0f, top + length + 3.0f),
                                       graphics.CreateSolidColorBrush(thumbColor));
            }
        }

        graphics.PushAxisAlignedClip(Rect(0.0f, 0.0f, contentWidth, height));
        if (backgroundTop.a > 0.0f || backgroundBottom.a > 0.0f) {
            auto gradient =
                graphics.CreateLinearGradientBrush(backgroundTop, backgroundBottom, Point(0.0f, 0.0f), Point(0.0f, height - 1.0f));
            graphics.FillRectangle(Rect(0.0f, 0.0f, contentWidth, height), gradient);
        }

        SolidColorBrush highlightBrush = graphics.CreateSolidColorBrush(highlightColor);
        it_enum_list items(pinItems.getValue());
        int itemIndex = 0;
        float y = 0.0f;
        for (items.First(); !items.IsDone(); items.Next()) {
            const enum_entry* item = items.CurrentItem();
            if (item->getType() != 0)
                continue;
            if (itemIndex++ < firstRow)
                continue;
            if (y > height)
                break;
            const Rect row(0.0f, y, contentWidth, y + rowHeight);
            if (item->value == pinChoice.getValue())
                graphics.FillRectangle(row, highlightBrush);
            graphics.DrawTextU(WStringToUtf8(item->text), format, row, textBrush, MP1_DRAW_TEXT_OPTIONS_CLIP);
            y += rowHeight;
        }
        graphics.PopAxisAlignedClip();
        return gmpi::MP_OK;
    }

    std::int32_t onPointerDown(std::int32_t flags, MP1_POINT point) override
    {
        if (!(flags & gmpi_gui_api::GG_POINTER_FLAG_FIRSTBUTTON))
            return gmpi::MP_FAIL;
        setCapture();
        const float width = rect.right - rect.left;
        // A hidden bar leaves the whole width to the rows.
        pressInScrollBar = scrollBarShown() && point.x > width - scrollBarWidth;
        lastPoint = Point(point.x, point.y);
        if (pressInScrollBar)
            return gmpi::MP_OK;

        if (!(point.y >= 0.0f) || !(rowHeight > 0.0f))
            return gmpi::MP_OK;  // above the first row (or a NaN coordinate)
        const double rowAtPointer = std::floor(static_cast<double>(point.y) / rowHeight) + firstRow;
        if (rowAtPointer > 1.0e9)
            return gmpi::MP_OK;
        const int row = static_cast<int>(rowAtPointer);
        it_enum_list items(pinItems.getValue());
        int itemIndex = 0;
        for (items.First(); !items.IsDone(); items.Next()) {
            const enum_entry* item = items.CurrentItem();
            if (item->getType() != 0)
                continue;
            if (itemIndex++ == row) {
                if (item->value != pinChoice.getValue())
                    pinChoice = item->value;
                pinMouseDown = true;
                break;
            }
        }
        return gmpi::MP_OK;
    }

    std::int32_t onPointerMove(std::int32_t /*flags*/, MP1_POINT point) override
    {
        if (!getCapture() || !pressInScrollBar)
            return gmpi::MP_OK;
        const float distance = point.y - lastPoint.y;
        const int lastFirstRow = std::max(0, itemCount - visibleRows);
        if (distance > rowHeight) {
            lastPoint.y += rowHeight;
            ++firstRow;
            invalidateRect();
            firstRow = std::min(firstRow, lastFirstRow);
        } else if (distance < -rowHeight) {
            lastPoint.y -= rowHeight;
            --firstRow;
            invalidateRect();
            firstRow = std::max(0, firstRow);
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
    // Shown unless AutoHideScrollBar is set and every item fits (an empty list fits).
    bool scrollBarShown() const
    {
        const bool allFit = itemCount <= 0 || visibleRows >= itemCount;
        return !(allFit && pinAutoHideScrollBar.getValue());
    }

    void calcScrollBars()
    {
        itemCount = it_enum_list(pinItems.getValue()).size();
        const FontMetrics metrics = GetTextFormat(pinStyle).GetFontMetrics();
        const float height = metrics.ascent + metrics.descent + metrics.lineGap + 2.0f;
        rowHeight = std::isfinite(height) && height >= 1.0f ? height : 1.0f;
        const double rows = std::floor(static_cast<double>(rect.bottom - rect.top) / rowHeight);
        visibleRows = std::isfinite(rows) ? static_cast<int>(std::clamp(rows, 0.0, 1.0e9)) : 0;
        firstRow = std::min(firstRow, std::max(0, itemCount - visibleRows));
    }
};

const bool registered = gmpi::Register<BetterListBox>::withId(L"BetterListBox");

}  // namespace
