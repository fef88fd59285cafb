// Oscilloscope2: the DSP half captures X/Y points into frames of about 1/30 s and sends
// each frame to the GUI half as the Points blob; the GUI half draws the frame as line
// segments that fade from the newest point to the oldest.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "ScopeCapture.h"
#include "ScopeDrawing.h"
#include "mp_sdk_audio.h"
#include "mp_sdk_gfx.h"

class Oscilloscope2 : public MpBase2 {
    AudioInPin pinX;
    AudioInPin pinY;
    EnumInPin pinXMode;      // 0: internal sweep; otherwise X from the input
    FloatInPin pinSweepRate; // Hz
    BlobOutPin pinPoints;    // a frame of MsgPt, oldest first

    ScopeCapture capture;

public:
    Oscilloscope2()
    {
        initializePin(pinX);
        initializePin(pinY);
        initializePin(pinXMode);
        initializePin(pinSweepRate);
        initializePin(pinPoints);
        setSubProcess(&Oscilloscope2::subProcess);
        setSleep(false);
    }

    std::int32_t open() override
    {
        capture.reserve(hostSampleRate(getHost()));
        return MpBase2::open();
    }

    void onSetPins() override
    {
        capture.update(hostSampleRate(getHost()), pinSweepRate, pinSweepRate.isUpdated(), pinXMode,
                       pinXMode.isUpdated());
    }

    void subProcess(int sampleFrames)
    {
        capture.capture(pinX.getBuffer() + blockPos, pinY.getBuffer() + blockPos, blockPos, sampleFrames, pinPoints);
    }
};

class Oscilloscope2GUI : public gmpi_gui::MpGuiGfxBase {
    using Backdrop = scope_drawing::ScopeBackdrop;

    MpGuiPin<MpBlob> pinPoints;
    StringGuiPin pinColours[Backdrop::roleCount];  // BackgroundTop .. AxisColor
    MpGuiPin<int> pinLineWidth;       // pixels
    MpGuiPin<bool> pinDrawRetrace;    // also draw segments running right to left
    MpGuiPin<float> pinPersistence;   // 0 .. 1: the share of the frame that stays visible
    MpGuiPin<float> pinXRng;
    MpGuiPin<float> pinYRng;

    Backdrop backdrop;
    GmpiDrawing::Bitmap trace;  // redrawn from the frame whenever dropped

public:
    Oscilloscope2GUI()
    {
        initializePin(0, pinPoints, &Oscilloscope2GUI::onBlob);
        for (int role = 0; role < Backdrop::roleCount; ++role)
            initializePin(1 + role, pinColours[role], &Oscilloscope2GUI::onSetColors);
        initializePin(6, pinLineWidth);
        initializePin(7, pinDrawRetrace);
        initializePin(8, pinPersistence);
        initializePin(9, pinXRng, &Oscilloscope2GUI::onSetXRng);
        initializePin(10, pinYRng, &Oscilloscope2GUI::onSetYRng);
    }

    void onBlob()
    {
        trace = GmpiDrawing::Bitmap();
        invalidateRect();
    }

    void onSetColors()
    {
        for (int role = 0; role < Backdrop::roleCount; ++role)
            backdrop.colours[role] = scope_drawing::colourOf(pinColours[role], Backdrop::defaults[role]);
        backdrop.background = GmpiDrawing::Bitmap();
        backdrop.gridLines = GmpiDrawing::Bitmap();
        trace = GmpiDrawing::Bitmap();  // the trace colour may have changed
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
        if (!trace)
            trace = scope_drawing::drawLayer(g, W, H, [&](GmpiDrawing::Graphics_base& layer) { drawTrace(layer, W, H); });
        if (trace)
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

    // Segments from the newest point back, each one step more transparent; the fly-back
    // of a sweep (a segment running right to left) only with DrawRetrace.
    void drawTrace(GmpiDrawing::Graphics_base& g, int W, int H)
    {
        const MpBlob& frame = pinPoints.getValue();
        const int count = frame.getSize() / static_cast<int>(sizeof(MsgPt));
        const int segments = count - 1;
        if (segments < 1)
            return;
        const float persistence = std::clamp(std::isfinite(pinPersistence.getValue()) ? pinPersistence.getValue() : 0.0f, 0.0f, 1.0f);
        const float step = 1.0f / std::max(1.0f, static_cast<float>(segments) * persistence);
        const float width = static_cast<float>(std::clamp(pinLineWidth.getValue(), 1, 64));
        const bool retrace = pinDrawRetrace;
        GmpiDrawing::Color colour = backdrop.colours[Backdrop::trace];
        auto brush = g.CreateSolidColorBrush(colour);

        const float halfWidth = static_cast<float>(W) * 0.5f, halfHeight = static_cast<float>(H) * 0.5f;
        const float xScale = 10.0f / backdrop.xRange, yScale = 10.0f / backdrop.yRange;
        // Far outside coordinates are pulled in so the drawing layer only sees sane numbers.
        const float reach = 4.0f * static_cast<float>(std::max(W, H));
        const auto map = [&](int index) {
            MsgPt point;
            std::memcpy(&point, frame.getData() + static_cast<std::size_t>(index) * sizeof(MsgPt), sizeof point);
            return GmpiDrawing::Point((point.x * xScale + 1.0f) * halfWidth, (1.0f - point.y * yScale) * halfHeight);
        };
        const auto sane = [reach](const GmpiDrawing::Point& p) {
            return std::fabs(p.x) <= reach && std::fabs(p.y) <= reach;
        };

        float alpha = colour.a;
        GmpiDrawing::Point newer = map(count - 1);
        for (int i = count - 2; i >= 0 && alpha > 0.0f; --i, alpha -= step) {
            const GmpiDrawing::Point older = map(i);
            if (sane(newer) && sane(older) && (retrace || newer.x > older.x)) {
                colour.a = alpha;
                brush.SetColor(colour);
                g.DrawLine(older, newer, brush, width);
            }
            newer = older;
        }
    }
};

namespace {
const bool registeredDsp = gmpi::Register<Oscilloscope2>::withId(L"Oscilloscope2");
const bool registeredGui = gmpi::Register<Oscilloscope2GUI>::withId(L"Oscilloscope2");
}
