// What both oscilloscopes' DSP halves share: X/Y point capture into frames of
// sampleRate / 30 points (about 30 frames a second at any rate and block size), sent to
// the GUI half as the value of a blob pin. X comes from an internal sawtooth sweep or
// from the X input. Audio thread only; the point buffer is reserved when the module
// opens and resized only when the sample rate changes.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "mp_sdk_audio.h"

// One point of a frame as the GUI half reads it: x then y, 8 bytes.
struct MsgPt {
    float x;
    float y;
};
static_assert(sizeof(MsgPt) == 8);

class ScopeCapture {
public:
    // Sizes the point buffer for `rate` ahead of the first block (no allocation there).
    void reserve(float rate) { points.reserve(frameLengthFor(rate)); }

    // Pin changes: the rate now in effect, the sweep rate in Hz and the X mode (0: sweep).
    void update(float rate, float sweepRate, bool sweepUpdated, int xMode, bool xModeUpdated)
    {
        if (rate != lastRate) {
            lastRate = rate;
            frameLength = frameLengthFor(rate);
            points.resize(static_cast<std::size_t>(frameLength));
            count = std::min(count, frameLength - 1);
            increment = sweepIncrement(rate, sweepRate);
        } else if (sweepUpdated) {
            increment = sweepIncrement(rate, sweepRate);
        }
        if (xModeUpdated)
            internalSweep = xMode == 0;
    }

    // Captures `sampleFrames` samples from blockPos, sending every full frame on `frames`
    // at the position of the sample that completed it.
    void capture(const float* x, const float* y, int blockPos, int sampleFrames, BlobOutPin& frames)
    {
        if (frameLength <= 0)
            return;
        for (int i = 0; i < sampleFrames; ++i) {
            phase += increment;
            if (phase >= 1.0f)
                phase -= 1.0f;
            points[static_cast<std::size_t>(count)] = {internalSweep ? 2.0f * phase - 1.0f : x[i], y[i]};
            if (++count == frameLength) {
                frames.sendPinUpdate(frameLength * static_cast<int>(sizeof(MsgPt)), points.data(), blockPos + i);
                count = 0;
            }
        }
    }

    // Publishes an empty frame now: nothing to show.
    void sendEmpty(BlobOutPin& frames) { frames.sendPinUpdate(0, points.data()); }

private:
    static int frameLengthFor(float rate) { return std::max(1, static_cast<int>(rate / 30.0f)); }
    // Sweeps per sample: the sweep rate limited to [0, rate] (NaN: 0).
    static float sweepIncrement(float rate, float sweepRate)
    {
        const float limited = sweepRate > 0.0f ? std::min(rate, sweepRate) : 0.0f;
        return limited / rate;
    }

    float lastRate = 0.0f;
    int frameLength = 0;  // points per frame
    std::vector<MsgPt> points;
    int count = 0;        // points of the frame being captured
    float phase = 0.0f;   // sweep position 0 .. 1
    float increment = 0.0011337f;  // 50 Hz at 44.1 kHz until SweepRate arrives
    bool internalSweep = false;
};

// The sample rate the host runs at (48 kHz when it cannot say).
inline float hostSampleRate(gmpi::IMpHost* host)
{
    float rate = 0.0f;
    if (host)
        host->hostGetSampleRate(rate);
    return rate > 0.0f && std::isfinite(rate) ? rate : 48000.0f;
}
