// Plotter: a chart recorder. The DSP half sends the minimum and maximum of every
// interval to the GUI half as an 8-byte message; the GUI half scrolls its chart one
// pixel to the left per message and draws a min-to-max bar at the right edge.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "ScopeCapture.h"
#include "ScopeDrawing.h"
#include "mp_sdk_audio.h"
#include "mp_sdk_gfx.h"

namespace {
// The message from the DSP half: id 0, the interval's extremes after the gain.
struct PlotterMessage {
    float minimum;
    float maximum;
};
static_assert(sizeof(PlotterMessage) == 8);
constexpr std::int32_t plotterMessageId = 0;
}  // namespace

class Plotter : public MpBase2 {
    AudioInPin pinIn;
    FloatInPin pinInterval;  // milliseconds per message, at least 10
    FloatInPin pinRange;     // the full-scale value x 10; 0 or less gives the gain 1e5

    float gain = 1.0f;
    int interval = 1000;  // samples
    int count = 0;
    float maximum = -1e30f;
    float minimum = 1e30f;

public:
    Plotter()
    {
        initializePin(pinIn);
        initializePin(pinInterval);
        initializePin(pinRange);
        setSubProcess(&Plotter::subProcess);
        setSleep(false);
    }

    void onSetPins() override
    {
        if (pinInterval.isUpdated()) {
            // At most an hour per message keeps the count within int range at any rate.
            const float milliseconds = std::clamp(pinInterval > 10.0f ? pinInterval.getValue() : 10.0f, 10.0f, 3.6e6f);
            const double samples = static_cast<double>(milliseconds) * hostSampleRate(getHost()) * 0.001;
            interval = std::max(1, static_cast<int>(std::min(samples, static_cast<double>(INT_MAX / 2))));
            count = 0;
        }
        if (pinRange.isUpdated()) {
            const float scaled = pinRange * 0.1f;
            gain = 1.0f / (scaled > 1e-5f ? scaled : 1e-5f);
        }
    }

    void subProcess(int sampleFrames)
    {
        const float* in = pinIn.getBuffer() + blockPos;
        for (int i = 0; i < sampleFrames; ++i) {
            const float v = in[i] * gain;
            maximum = std::max(maximum, v);
            minimum = std::min(minimum, v);
            if (++count >= interval) {
                const PlotterMessage message{minimum, maximum};
                getHost()->hostSendMessageToGui(plotterMessageId, sizeof message, &message);
                maximum = -1e30f;
                minimum = 1e30f;
                count = 0;
            }
        }
    }
};

class PlotterGUI : public gmpi_gui::MpGuiGfxBase {
    enum Role { backgroundTop, backgroundBottom, trace, grid, roleCount };
    static constexpr std::uint32_t defaults[roleCount] = {0xFFD0E0FF, 0xFF2060A0, 0x80000000, 0x40000000};

    MpGuiPin<bool> pinHold;  // freezes the chart; messages still update the last values
    StringGuiPin pinColours[roleCount];

    GmpiDrawing::Color colours[roleCount];
    float lastMinimum = 0.0f;
    float lastMaximum = 0.0f;
    bool newData = false;
    // The messages since the last redraw, oldest first: each becomes one column, so none
    // is lost when several arrive between two redraws. Past the capacity the oldest go.
    static constexpr int pendingCapacity = 4096;
    PlotterMessage pending[pendingCapacity];
    int pendingStart = 0;
    int pendingCount = 0;
    bool hold = false;
    GmpiDrawing::Bitmap backdrop;  // gradient and grid
    GmpiDrawing::Bitmap chart;     // W x H pixels, scrolled by one column per message
    int cachedWidth = 0;
    int cachedHeight = 0;

public:
    PlotterGUI()
    {
        initializePin(0, pinHold, &PlotterGUI::onSetHold);
        for (int role = 0; role < roleCount; ++role) {
            initializePin(1 + role, pinColours[role], &PlotterGUI::onSetColors);
            colours[role] = GmpiDrawing::Color::FromArgb(defaults[role]);
        }
    }

    void onSetHold() { hold = pinHold; }

    void onSetColors()
    {
        for (int role = 0; role < roleCount; ++role)
            colours[role] = scope_drawing::colourOf(pinColours[role], defaults[role]);
        backdrop = GmpiDrawing::Bitmap();
        invalidateRect();
    }

    // Takes the interval's extremes; anything but an 8-byte message of id 0 is refused.
    std::int32_t receiveMessageFromAudio(std::int32_t id, std::int32_t size, const void* data) override
    {
        if (id != plotterMessageId || size < static_cast<std::int32_t>(sizeof(PlotterMessage)) || !data)
            return gmpi::MP_FAIL;
        PlotterMessage message;
        std::memcpy(&message, data, sizeof message);
        lastMinimum = message.minimum;
        lastMaximum = message.maximum;
        newData = true;
        pending[(pendingStart + pendingCount) % pendingCapacity] = message;
        if (pendingCount < pendingCapacity)
            ++pendingCount;
        else
            pendingStart = (pendingStart + 1) % pendingCapacity;
        invalidateRect();
        return gmpi::MP_OK;
    }

    std::int32_t OnRender(GmpiDrawing_API::IMpDeviceContext* drawingContext) override
    {
        GmpiDrawing::Graphics g(drawingContext);
        int W = 0, H = 0;
        if (!g || !scope_drawing::pixelSize(getRect(), W, H))
            return gmpi::MP_OK;
        if (W != cachedWidth || H != cachedHeight) {
            cachedWidth = W;
            cachedHeight = H;
            backdrop = GmpiDrawing::Bitmap();
            chart = GmpiDrawing::Bitmap();
        }
        if (!backdrop)
            backdrop = scope_drawing::drawLayer(g, W, H, [&](GmpiDrawing::Graphics_base& layer) { drawBackdrop(layer, W, H); });
        if (backdrop)
            g.DrawBitmap(backdrop, GmpiDrawing::Point(0.0f, 0.0f));

        if (!chart) {
            chart = g.GetFactory().CreateImage(W, H);
            if (!chart)
                return gmpi::MP_OK;
            auto pixels = chart.lockPixels(GmpiDrawing_API::MP1_BITMAP_LOCK_WRITE);
            if (std::uint8_t* address = pixels.getAddress())
                std::memset(address, 0, static_cast<std::size_t>(pixels.getBytesPerRow()) * static_cast<std::size_t>(H));
        }
        if (newData && !hold)
            scrollAndPlot(W, H);
        newData = false;
        pendingStart = pendingCount = 0;
        g.DrawBitmap(chart, GmpiDrawing::Point(0.0f, 0.0f));
        return gmpi::MP_OK;
    }

private:
    void drawBackdrop(GmpiDrawing::Graphics_base& g, int W, int H)
    {
        scope_drawing::drawGradient(g, W, H, colours[backgroundTop], colours[backgroundBottom]);
        if (colours[grid].a <= 0.0f)
            return;
        auto brush = g.CreateSolidColorBrush(colours[grid]);
        for (int i = 0; i <= 20; ++i)
            scope_drawing::horizontalLine(g, std::min(static_cast<float>(i) / 20.0f * H, H - 1.0f), W, brush);
    }

    // Moves every row left by one pixel per waiting message and fills the freed columns,
    // oldest message first: the bar from the maximum down to the minimum in the trace
    // colour, its end pixels weighted by how much of them the bar covers, transparent
    // elsewhere.
    void scrollAndPlot(int W, int H)
    {
        auto pixels = chart.lockPixels(GmpiDrawing_API::MP1_BITMAP_LOCK_READ | GmpiDrawing_API::MP1_BITMAP_LOCK_WRITE);
        std::uint8_t* address = pixels.getAddress();
        const int stride = pixels.getBytesPerRow();
        if (!address || stride < 4 * W)
            return;
        const int shown = std::min(pendingCount, W);
        const int skipped = pendingCount - shown;  // would scroll out at once
        for (int row = 0; row < H; ++row) {
            std::uint8_t* line = address + static_cast<std::size_t>(row) * stride;
            std::memmove(line, line + 4 * shown, static_cast<std::size_t>(W - shown) * 4);
        }
        const auto colour = scope_drawing::pixelColour(colours[trace], pixels.getPixelFormat());
        for (int k = 0; k < shown; ++k) {
            const PlotterMessage& message = pending[(pendingStart + skipped + k) % pendingCapacity];
            plotColumn(address, stride, W - shown + k, H, message, colour);
        }
    }

    static void plotColumn(std::uint8_t* address, int stride, int column, int H, const PlotterMessage& message,
                           const scope_drawing::PixelColour& colour)
    {
        const float height = static_cast<float>(H);
        // Rows in pixel units (row r covers [r, r + 1)), limited to the chart; NaN: no bar.
        const auto rowOf = [height](float value) {
            const float y = (1.0f - value) * height * 0.5f;
            return y > 0.0f ? (y < height ? y : height) : (y <= 0.0f ? 0.0f : -1.0f);
        };
        float top = rowOf(message.maximum);
        float bottom = rowOf(message.minimum);
        const bool bar = top >= 0.0f && bottom >= 0.0f && top <= bottom;
        if (bar && bottom - top < 1.0f) {
            // A flat interval still shows as one pixel of height around its level.
            const float centre = std::clamp((top + bottom) * 0.5f, 0.5f, height - 0.5f);
            top = centre - 0.5f;
            bottom = centre + 0.5f;
        }
        for (int row = 0; row < H; ++row) {
            std::uint8_t* line = address + static_cast<std::size_t>(row) * stride;
            float coverage = 0.0f;
            if (bar)
                coverage = std::max(0.0f, std::min(row + 1.0f, bottom) - std::max(static_cast<float>(row), top));
            scope_drawing::writePixel(
                line, column, coverage > 0.0f ? scope_drawing::argb2Native_BGRA(colour, colour.alpha * coverage) : 0u);
        }
    }
};

namespace {
const bool registeredDsp = gmpi::Register<Plotter>::withId(L"Plotter");
const bool registeredGui = gmpi::Register<PlotterGUI>::withId(L"Plotter");
}
