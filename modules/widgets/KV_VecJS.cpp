// KV_VecJS: an endless rotary knob drawn with vector graphics. Dragging the pointer
// round the knob's centre changes Value between Min and Max; Turns full turns of the
// pointer cover the whole range. While held, Touched is true and Delta tells how much
// the last move changed Value (0 after release). A context menu (MenuItems, an
// enumeration list) reports the chosen item's id on MenuSelection as a pulse (the id,
// then -1), and the tooltip is the Tooltip text.
//
// Angles are in turns (0 .. 1), measured clockwise on screen from 12 o'clock. The knob
// is a disc of diameter min(width, height) centred in the module. User-interface thread.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "Drawing.h"
#include "it_enum_list.h"
#include "mp_sdk_gfx.h"
#include "unicode_conversion.h"

using namespace GmpiDrawing;
using GmpiDrawing_API::MP1_POINT;

namespace {

constexpr std::uint32_t defaultKnobColor = 0xFFA0C8FF;
constexpr float smallestTurns = 0.001f;

float finiteOr(float value, float fallback) { return std::isfinite(value) ? value : fallback; }

// A float pin value as a float within range (non-finite values saturate, NaN gives 0).
float saturate(double value)
{
    if (std::isnan(value))
        return 0.0f;
    const double largest = std::numeric_limits<float>::max();
    return static_cast<float>(std::clamp(value, -largest, largest));
}

Color opaque(Color color)
{
    color.a = 1.0f;
    return color;
}

Color mix(Color a, Color b, float t)
{
    return Color(a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t);
}

}  // namespace

class KV_VecJS : public gmpi_gui::MpGuiGfxBase {
    MpGuiPin<float> pinValue;
    MpGuiPin<float> pinMin;
    MpGuiPin<float> pinMax;
    MpGuiPin<float> pinTurns;
    MpGuiPin<float> pinStartAngle;
    StringGuiPin pinColor;
    StringGuiPin pinColor2;
    MpGuiPin<bool> pinRadial;     // body shaded with a radial gradient (else linear)
    MpGuiPin<bool> pinRadialRim;  // rim shaded with a radial gradient (else linear)
    MpGuiPin<float> pinRimWidth;  // rim width as a fraction of the radius, 0 .. 0.5
    MpGuiPin<float> pinShine;     // strength of the light from the top left, 0 .. 1
    StringGuiPin pinTooltip;
    StringGuiPin pinMenuItems;
    MpGuiPin<int> pinMenuSelection;
    MpGuiPin<bool> pinTouched;
    MpGuiPin<float> pinDelta;

    float minimum = 0.0f;
    float maximum = 1.0f;
    float value = 0.0f;      // Value clamped to the range
    float turns = 1.0f;      // > 0
    float startAngle = 0.0f; // turns, 0 .. 1
    float lastAngle = 0.0f;  // of the pointer, turns

    Color color = Color::FromArgb(defaultKnobColor);
    Color color2 = Color::FromArgb(defaultKnobColor);
    bool radial = false;
    bool radialRim = false;
    float rimWidth = 0.1f;
    float shine = 0.5f;

    Bitmap body;          // the knob without its indicator, bodySize x bodySize
    float bodySize = 0.0f;

public:
    KV_VecJS()
    {
        initializePin(pinValue, &KV_VecJS::onSetValue);
        initializePin(pinMin, &KV_VecJS::onSetMinMax);
        initializePin(pinMax, &KV_VecJS::onSetMinMax);
        initializePin(pinTurns, &KV_VecJS::onSetTurns);
        initializePin(pinStartAngle, &KV_VecJS::onSetStartAngle);
        initializePin(pinColor, &KV_VecJS::onSetCosmetics);
        initializePin(pinColor2, &KV_VecJS::onSetCosmetics);
        initializePin(pinRadial, &KV_VecJS::onSetCosmetics);
        initializePin(pinRadialRim, &KV_VecJS::onSetCosmetics);
        initializePin(pinRimWidth, &KV_VecJS::onSetCosmetics);
        initializePin(pinShine, &KV_VecJS::onSetCosmetics);
        initializePin(pinTooltip);
        initializePin(pinMenuItems);
        initializePin(pinMenuSelection);
        initializePin(pinTouched);
        initializePin(pinDelta);
    }

    // The angle of (x, y) in turns, 0 <= a < 1, from the positive y axis towards the
    // positive x axis; (0, 0) and non-finite vectors give 0. The arctangent is a
    // five-term odd series of at most tan(pi/8), after rotating steeper ratios by pi/8:
    // the result is within 1e-6 turns of the exact angle.
    static float fastAngle(float x, float y)
    {
        if (!std::isfinite(x) || !std::isfinite(y))
            return 0.0f;
        constexpr float tanEighthPi = 0.41421357f;
        constexpr float cosEighthPi = 0.9238795f;
        constexpr float sinEighthPi = 0.38268343f;
        constexpr float eighthPi = 0.3926991f;
        constexpr float halfPi = 1.5707964f;
        constexpr float twoPi = 6.2831855f;
        const float ax = std::fabs(x);
        const float ay = std::fabs(y);
        if (ax == 0.0f && ay == 0.0f)
            return 0.0f;
        float small = std::min(ax, ay);
        float large = std::max(ax, ay);
        float added = 0.0f;
        if (small / large >= tanEighthPi) {
            const float rotatedSmall = small * cosEighthPi - large * sinEighthPi;
            const float rotatedLarge = large * cosEighthPi + small * sinEighthPi;
            small = rotatedSmall;
            large = rotatedLarge;
            added = eighthPi;
        }
        const float t = small / large;
        const float t2 = t * t;
        const float series = t * (1.0f - t2 * (1.0f / 3.0f - t2 * (1.0f / 5.0f - t2 * (1.0f / 7.0f - t2 / 9.0f))));
        const float atanSmallOverLarge = series + added;
        // The angle from the y axis within the quadrant.
        const float alpha = ax <= ay ? atanSmallOverLarge : halfPi - atanSmallOverLarge;
        const float turn = alpha / twoPi;
        float result;
        if (y >= 0.0f)
            result = x >= 0.0f ? turn : 1.0f - turn;
        else
            result = x >= 0.0f ? 0.5f - turn : 0.5f + turn;
        if (result >= 1.0f)
            result -= 1.0f;
        return std::max(0.0f, result);
    }

    // ---------------------------------------------------------------------------------
    // Pins

    void onSetValue() { takeRange(); }
    void onSetMinMax() { takeRange(); }

    void onSetTurns()
    {
        const float pinned = pinTurns;
        turns = std::isfinite(pinned) && pinned > 0.0f ? pinned : (pinned > 0.0f ? std::numeric_limits<float>::max()
                                                                                 : smallestTurns);
        invalidateRect();
    }

    void onSetStartAngle()
    {
        const float pinned = finiteOr(pinStartAngle, 0.0f);
        startAngle = pinned - std::floor(pinned);
        if (!(startAngle >= 0.0f && startAngle < 1.0f))
            startAngle = 0.0f;
        invalidateRect();
    }

    void onSetCosmetics()
    {
        color = opaque(pinColor.getValue().empty() ? Color::FromArgb(defaultKnobColor)
                                                   : hexStringToColor(pinColor.getValue()));
        color2 = pinColor2.getValue().empty() ? color : opaque(hexStringToColor(pinColor2.getValue()));
        radial = pinRadial;
        radialRim = pinRadialRim;
        rimWidth = std::clamp(finiteOr(pinRimWidth, 0.1f), 0.0f, 0.5f);
        shine = std::clamp(finiteOr(pinShine, 0.5f), 0.0f, 1.0f);
        body = Bitmap();
        invalidateRect();
    }

    // ---------------------------------------------------------------------------------
    // Pointer

    std::int32_t hitTest(MP1_POINT point) override
    {
        const Rect rect = getRect();
        const float radius = diameter() * 0.5f;
        const float dx = point.x - rect.getWidth() * 0.5f;
        const float dy = point.y - rect.getHeight() * 0.5f;
        return dx * dx + dy * dy < radius * radius ? gmpi::MP_OK : gmpi::MP_FAIL;
    }

    std::int32_t onPointerDown(std::int32_t flags, MP1_POINT point) override
    {
        if (!(flags & gmpi_gui_api::GG_POINTER_FLAG_FIRSTBUTTON) || !std::isfinite(point.x) || !std::isfinite(point.y))
            return gmpi::MP_FAIL;
        lastAngle = pointerAngle(point);
        setCapture();
        pinTouched = true;
        return gmpi::MP_OK;
    }

    std::int32_t onPointerMove(std::int32_t /*flags*/, MP1_POINT point) override
    {
        if (!getCapture() || !std::isfinite(point.x) || !std::isfinite(point.y))
            return gmpi::MP_OK;
        const float angle = pointerAngle(point);
        float change = angle - lastAngle;
        lastAngle = angle;
        if (change == 0.0f)
            return gmpi::MP_OK;
        // The short way round: crossing 12 o'clock is a small step, not most of a turn.
        if (change > 0.5f)
            change -= 1.0f;
        else if (change < -0.5f)
            change += 1.0f;
        const double low = std::min(minimum, maximum);
        const double high = std::max(minimum, maximum);
        const double range = static_cast<double>(maximum) - minimum;
        const double moved = std::clamp(value + range * change / turns, low, high);
        const float newValue = static_cast<float>(moved);
        pinDelta = saturate(static_cast<double>(newValue) - value);
        setValue(newValue);
        return gmpi::MP_OK;
    }

    std::int32_t onPointerUp(std::int32_t /*flags*/, MP1_POINT /*point*/) override
    {
        if (!getCapture())
            return gmpi::MP_FAIL;
        releaseCapture();
        pinDelta = 0.0f;
        pinTouched = false;
        return gmpi::MP_OK;
    }

    // ---------------------------------------------------------------------------------
    // Context menu and tooltip

    std::int32_t populateContextMenu(float /*x*/, float /*y*/, gmpi::IMpUnknown* contextMenuItemsSink) override
    {
        if (!contextMenuItemsSink)
            return gmpi::MP_FAIL;
        gmpi::IMpContextItemSink* sink = nullptr;
        if (contextMenuItemsSink->queryInterface(gmpi::MP_IID_CONTEXT_ITEMS_SINK, reinterpret_cast<void**>(&sink)) !=
                gmpi::MP_OK ||
            !sink)
            return gmpi::MP_FAIL;
        it_enum_list items(pinMenuItems.getValue());
        for (items.First(); !items.IsDone(); items.Next()) {
            const std::string text = WStringToUtf8(items.CurrentItem()->text);
            sink->AddItem(text.c_str(), items.CurrentItem()->value, 0);
        }
        sink->release();
        return gmpi::MP_OK;
    }

    std::int32_t onContextMenu(std::int32_t selection) override
    {
        pinMenuSelection = selection;
        pinMenuSelection = -1;
        return gmpi::MP_OK;
    }

    std::int32_t getToolTip(MP1_POINT /*point*/, gmpi::IString* returnString) override
    {
        const std::string tip = pinTooltip;
        if (!returnString || tip.empty())
            return gmpi::MP_FAIL;
        returnString->setData(tip.data(), static_cast<std::int32_t>(tip.size()));
        return gmpi::MP_OK;
    }
    using gmpi_gui::MpGuiGfxBase::getToolTip;

    // ---------------------------------------------------------------------------------
    // Drawing

    std::int32_t OnRender(GmpiDrawing_API::IMpDeviceContext* drawingContext) override
    {
        Graphics g(drawingContext);
        const float size = diameter();
        if (!g || size < 1.0f)
            return gmpi::MP_OK;
        const Rect rect = getRect();
        const float width = rect.getWidth();
        const float height = rect.getHeight();
        if (!body || bodySize != size) {
            bodySize = size;
            body = drawBody(g, size);
        }
        if (body)
            g.DrawBitmap(body, Point(std::floor((width - size) * 0.5f), std::floor((height - size) * 0.5f)));

        // The indicator: a dot at the value's angle.
        const float dot = 0.3f * size;
        const float radius = ((size - 2.0f * dot) * 0.2f + size) / 4.0f;
        const double span = static_cast<double>(maximum) - minimum;
        double angle = startAngle;
        if (span != 0.0) {
            const double turned = (static_cast<double>(value) - minimum) * turns / span;
            if (std::isfinite(turned))
                angle += turned - std::floor(turned);
        }
        constexpr double twoPi = 6.283185307179586;
        const Point centre(width * 0.5f + radius * static_cast<float>(std::sin(twoPi * angle)),
                           height * 0.5f - radius * static_cast<float>(std::cos(twoPi * angle)));
        const float luminance = 0.2126f * color.r + 0.7152f * color.g + 0.0722f * color.b;
        const Color mark = luminance > 0.35f ? mix(color, Color(0, 0, 0), 0.75f) : mix(color, Color(1, 1, 1), 0.8f);
        g.FillEllipse(centre, dot * 0.5f, dot * 0.5f, g.CreateSolidColorBrush(mark));
        return gmpi::MP_OK;
    }

private:
    float diameter() const
    {
        const Rect rect = getRect();
        const float size = std::min(rect.getWidth(), rect.getHeight());
        return std::isfinite(size) && size > 0.0f ? size : 0.0f;
    }

    // The pointer's angle around the module's centre (upwards positive).
    float pointerAngle(MP1_POINT point) const
    {
        const Rect rect = getRect();
        return fastAngle(point.x - rect.getWidth() * 0.5f, rect.getHeight() * 0.5f - point.y);
    }

    // Min, Max and Value from the pins; redraws when the shown value changed.
    void takeRange()
    {
        minimum = finiteOr(pinMin, 0.0f);
        maximum = finiteOr(pinMax, 0.0f);
        const float pinned = pinValue;
        const float low = std::min(minimum, maximum);
        const float high = std::max(minimum, maximum);
        const float clamped = std::isnan(pinned) ? low : std::clamp(pinned, low, high);
        if (clamped != value) {
            value = clamped;
            invalidateRect();
        }
    }

    // Sends the new value (also when only the pin still held an out-of-range value).
    void setValue(float newValue)
    {
        pinValue = newValue;
        if (newValue == value)
            return;
        value = newValue;
        invalidateRect();
    }

    // The knob's body: a shaded disc inside a rim shaded the other way.
    Bitmap drawBody(Graphics& g, float size)
    {
        BitmapRenderTarget layer = g.CreateCompatibleRenderTarget(Size(size, size));
        if (!layer)
            return Bitmap();
        layer.BeginDraw();
        layer.Clear(Color(0.0f, 0.0f, 0.0f, 0.0f));
        const float r = size * 0.5f;
        const Point centre(r, r);
        const Color lit = mix(color, Color(1, 1, 1), shine * 0.6f);
        const Color shaded = mix(color2, Color(0, 0, 0), shine * 0.6f);
        const auto shading = [&](bool useRadial, Color from, Color to, float radius) -> Brush {
            if (useRadial)
                return layer.CreateRadialGradientBrush(Point(r - radius * 0.35f, r - radius * 0.35f), radius * 1.4f,
                                                       from, to);
            return layer.CreateLinearGradientBrush(from, to, Point(r - radius, r - radius), Point(r + radius, r + radius));
        };
        // Rim: dark at the top left, light at the bottom right.
        layer.FillEllipse(centre, r, r, shading(radialRim, shaded, lit, r));
        const float inner = r * (1.0f - rimWidth);
        if (inner > 0.0f)
            layer.FillEllipse(centre, inner, inner, shading(radial, lit, shaded, inner));
        layer.EndDraw();
        return layer.GetBitmap();
    }
};

namespace {
const bool registered = gmpi::Register<KV_VecJS>::withId(L"KV_VecJS");
}
