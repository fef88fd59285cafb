// CombFlt: a feedback comb filter, y = (1 - g) x + g c, where c is the output delayed
// by the period p (1 to 5000 samples) through a first-order all-pass interpolator:
//   c = (y[n - h] - c) x (h - p + 1) + y[n - h - 1],   h = whole samples of p
// Pitch sets the period as samples / 10 (PitchMode 0) or as a frequency in kHz / 10
// (PitchMode 1); Feedback is g in [-1, 1]. Out goes static once In is static and the
// output has stayed below 1e-5 for 5000 samples.
//
// Non-finite values never stay in the loop: a NaN or infinite output is passed on once
// but enters the ring as 0 and the interpolator continues from 0, so the output is
// finite again on the first finite input sample.
#include <algorithm>
#include <cmath>

#include "mp_sdk_audio.h"

class CombFlt : public MpBase2 {
    static constexpr int ringSize = 5000;
    // The longest period: below 5000, so that the interpolator's second tap is the
    // oldest sample in the ring and not the newest.
    static constexpr float longestPeriod = 4999.9995f;
    static constexpr float quiet = 1e-5f;
    static constexpr int quietSamplesBeforeStatic = ringSize;

    AudioInPin pinIn;
    AudioInPin pinPitch;      // samples / 10, or kHz / 10 with PitchMode 1
    EnumInPin pinPitchMode;   // 0: period, 1: frequency
    AudioInPin pinFeedback;   // g, limited to [-1, 1]; NaN gives 0
    AudioOutPin pinOut;

    float ring[ringSize] = {};  // past outputs
    int writeIndex = 0;
    float interpolated = 0.0f;  // the all-pass interpolator's state c, finite
    int quietSamples = 0;       // consecutive output samples below 1e-5, saturating

public:
    CombFlt()
    {
        initializePin(pinIn);
        initializePin(pinPitch);
        initializePin(pinPitchMode);
        initializePin(pinFeedback);
        initializePin(pinOut);
        setSubProcess(&CombFlt::subProcess);
    }

    void onSetPins() override
    {
        if (pinIn.isStreamingChanged())
            pinOut.setStreaming(true);
    }

    void subProcess(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        if (!pinOut.isStreaming()) {
            std::fill_n(out, sampleFrames, 0.0f);
            return;
        }
        const float* in = pinIn.getBuffer() + blockPos;
        const float* pitch = pinPitch.getBuffer() + blockPos;
        const float* feedback = pinFeedback.getBuffer() + blockPos;
        float sampleRate = 0.0f;
        getHost()->hostGetSampleRate(sampleRate);
        const float kiloHertz = static_cast<float>(sampleRate * 0.001);  // 48 kHz: exactly 48
        const bool pitchIsFrequency = pinPitchMode.getValue() == 1;

        int write = writeIndex;
        float c = interpolated;
        int quietRun = quietSamples;
        for (int i = 0; i < sampleFrames; ++i) {
            float period = 10.0f * pitch[i];
            if (pitchIsFrequency)
                period = kiloHertz / period;
            period = period > 1.0f ? std::min(period, longestPeriod) : 1.0f;  // NaN: 1
            const float g = std::isnan(feedback[i]) ? 0.0f : std::clamp(feedback[i], -1.0f, 1.0f);

            const int whole = static_cast<int>(period);
            int read = write - whole;
            if (read < 0)
                read += ringSize;
            const float older = read == 0 ? ring[ringSize - 1] : ring[read - 1];
            c = (ring[read] - c) * (static_cast<float>(whole) - period + 1.0f) + older;
            if (!std::isfinite(c))
                c = 0.0f;

            const float x = in[i];
            const float y = x + g * (c - x);
            out[i] = y;
            ring[write] = std::isfinite(y) ? y : 0.0f;
            if (++write == ringSize)
                write = 0;
            if (std::fabs(y) < quiet)
                quietRun = std::min(quietRun + 1, quietSamplesBeforeStatic);
            else
                quietRun = 0;
        }
        writeIndex = write;
        interpolated = c;
        quietSamples = quietRun;
        if (quietRun >= quietSamplesBeforeStatic && !pinIn.isStreaming()) {
            // Static from the block's last sample on: that sample (below 1e-5) becomes the
            // exact 0 that the static output holds.
            out[sampleFrames - 1] = 0.0f;
            pinOut.setStreaming(false, blockPos + sampleFrames - 1);
            quietSamples = 0;
        }
    }
};

namespace {
const bool registered = gmpi::Register<CombFlt>::withId(L"CombFlt");
}
