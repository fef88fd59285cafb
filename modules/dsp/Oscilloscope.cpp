// Oscilloscope: the DSP half captures X/Y points into frames of about 1/30 s and sends
// each frame to the GUI half as the Points blob; the GUI half plots the points as pixels
// into a persistent bitmap that fades from frame to frame, a phosphor look.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "ScopeCapture.h"
#include "ScopeDrawing.h"
#include "mp_sdk_audio.h"
#include "mp_sdk_gfx.h"

class Oscilloscope : public MpBase2 {
    AudioInPin pinX;
    AudioInPin pinY;
    EnumInPin pinXMode;      // 0: internal sweep; otherwise X from the input
    FloatInPin pinSweepRate; // Hz
    BoolInPin pinClearTrace;
    BlobOutPin pinPoints;    // a frame of MsgPt, oldest first; empty: nothing to show

    ScopeCapture capture;
    bool firstCall = true;

public:
    Oscilloscope()
    {
        initializePin(pinX);
        initializePin(pinY);
        initializePin(pinXMode);
        initializePin(pinSweepRate);
        initializePin(pinClearTrace);
        initializePin(pinPoints);
        setSubProcess(&Oscilloscope::subProcess);
        setSleep(false);
    }

    std::int32_t open() override
    {
        capture.reserve(hostSampleRate(getHost()));
        return MpBase2::open();
    }

    void onSetPins() override
    {
        if (firstCall || (pinClearTrace.isUpdated() && pinClearTrace)) {
            firstCall = false;
            capture.sendEmpty(pinPoints);
        }
        capture.update(hostSampleRate(getHost()), pinSweepRate, pinSweepRate.isUpdated(), pinXMode,
                       pinXMode.isUpdated());
    }

    void subProcess(int sampleFrames)
    {
        capture.capture(pinX.getBuffer() + blockPos, pinY.getBuffer() + blockPos, blockPos, sampleFrames, pinPoints);
    }
};

class OscilloscopeGUI : public gmpi_gui::MpGuiGfxBase {
    using Backdrop = scope_drawing::ScopeBackdrop;

    MpGuiPin<MpBlob> pinPoints;
    StringGuiPin pinColours[Backdrop::roleCount];  // BackgroundTop .. AxisColor
    MpGuiPin<float> pinXRng;
    MpGuiPin<float> pinYRng;
    MpGuiPin<float> pinPersistence;  // the trace shows about 10 x Persistence + 1 points

    Backdrop backdrop;
    GmpiDrawing::Bitmap trace;  // W x H pixels, faded and plotted into on every frame
    bool newData = false;

public:
    OscilloscopeGUI()
    {
        initializePin(0, pinPoints, &OscilloscopeGUI::onBlob);
        for (int role = 0; role < Backdrop::roleCount; ++role)
            initializePin(1 + role, pinColours[role], &OscilloscopeGUI::onSetColors);
        initializePin(6, pinXRng, &OscilloscopeGUI::onSetXRng);
        initializePin(7, pinYRng, &OscilloscopeGUI::onSetYRng);
        initializePin(8, pinPersistence);
    }

    void onBlob()
    {
        if (pinPoints.getValue().getSize() >= static_cast<int>(sizeof(MsgPt)))
            newData = true;
        else
            trace = GmpiDrawing::Bitmap();
        invalidateRect();
    }

    void onSetColors()
    {
        for (int role = 0; role < Backdrop::roleCount; ++role)
            backdrop.colours[role] = scope_drawing::colourOf(pinColours[role], Backdrop::defaults[role]);
        backdrop.background = GmpiDrawing::Bitmap();
        backdrop.gridLines = GmpiDrawing::Bitmap();
        invalidateRect();
    }

    void onSetXRng() { takeRange(backdrop.xRange, pinXRng); }
    void onSetYRng() { takeRange(backdrop.yRange, pinYRng); }

    std::int32_t OnRender(GmpiDrawing_API::IMpDeviceContext* drawingContext) override
    {
        GmpiDrawing::Graphics g(drawingContext);
        int W = 0, H = 0;
        if (!g || !scope_drawing::pixelSize(getRect(), W, H))
            return gmpi::MP_OK;
        if (backdrop.fitTo(W, H))
            trace = GmpiDrawing::Bitmap();
        backdrop.draw(g, W, H);

        if (!trace) {
            trace = g.GetFactory().CreateImage(W, H);
            if (!trace)
                return gmpi::MP_OK;
            clearBitmap(trace, H);
        }
        if (newData) {
            plotFrame(W, H);
            newData = false;
        }
        g.DrawBitmap(trace, GmpiDrawing::Point(0.0f, 0.0f));
        return gmpi::MP_OK;
    }

private:
    void takeRange(float& range, float value)
    {
        if (!Backdrop::takeRange(range, value))
            return;
        trace = GmpiDrawing::Bitmap();
        backdrop.gridLines = GmpiDrawing::Bitmap();
        invalidateRect();
    }

    static void clearBitmap(GmpiDrawing::Bitmap& bitmap, int height)
    {
        auto pixels = bitmap.lockPixels(GmpiDrawing_API::MP1_BITMAP_LOCK_WRITE);
        if (std::uint8_t* address = pixels.getAddress())
            std::memset(address, 0, static_cast<std::size_t>(pixels.getBytesPerRow()) * static_cast<std::size_t>(height));
    }

    // Fades the whole trace, then plots the frame from its newest point to its oldest,
    // each point dimmer than the one after it; a pixel keeps the more opaque of what it
    // holds and the new point.
    void plotFrame(int W, int H)
    {
        const MpBlob& frame = pinPoints.getValue();
        const int count = frame.getSize() / static_cast<int>(sizeof(MsgPt));
        auto pixels = trace.lockPixels(GmpiDrawing_API::MP1_BITMAP_LOCK_READ | GmpiDrawing_API::MP1_BITMAP_LOCK_WRITE);
        std::uint8_t* address = pixels.getAddress();
        const int stride = pixels.getBytesPerRow();
        if (!address || count <= 0 || stride < 4 * W)
            return;

        const float persistence = std::isfinite(pinPersistence.getValue()) ? std::max(0.0f, pinPersistence.getValue()) : 0.0f;
        const float k = 1.0f / (10.0f * persistence + 1.0f);  // alpha lost per point
        const float fade = std::min(255.0f, static_cast<float>(count) * k * 255.0f);
        const int reduction = static_cast<int>(fade);
        if (reduction > 0) {
            for (int row = 0; row < H; ++row) {
                std::uint8_t* p = address + static_cast<std::size_t>(row) * stride;
                for (int i = 0; i < 4 * W; ++i)
                    p[i] = static_cast<std::uint8_t>(std::max(0, p[i] - reduction));
            }
        }

        const auto colour = scope_drawing::pixelColour(backdrop.colours[Backdrop::trace], pixels.getPixelFormat());
        const float xScale = 10.0f / backdrop.xRange;
        const float yScale = 10.0f / backdrop.yRange;
        float alpha = colour.alpha;
        for (int i = count - 1; i >= 0 && alpha > 0.0f; --i, alpha -= k) {
            MsgPt point;
            std::memcpy(&point, frame.getData() + static_cast<std::size_t>(i) * sizeof(MsgPt), sizeof point);
            const float column = (point.x * xScale + 1.0f) * 0.5f * static_cast<float>(W - 1);
            const float row = (1.0f - point.y * yScale) * 0.5f * static_cast<float>(H - 1);
            if (!(column >= 0.0f && column < static_cast<float>(W) && row >= 0.0f && row < static_cast<float>(H)))
                continue;
            std::uint8_t* line = address + static_cast<std::size_t>(static_cast<int>(row)) * stride;
            const int x = static_cast<int>(column);
            const std::uint32_t pixel = scope_drawing::argb2Native_BGRA(colour, alpha);
            if ((pixel >> 24) > line[4 * x + 3])
                scope_drawing::writePixel(line, x, pixel);
        }
    }
};

namespace {
const bool registeredDsp = gmpi::Register<Oscilloscope>::withId(L"Oscilloscope");
const bool registeredGui = gmpi::Register<OscilloscopeGUI>::withId(L"Oscilloscope");
}
