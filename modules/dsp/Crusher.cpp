// KV_Crusher: sample-rate and word-length reduction. A new input sample is taken
// whenever the phase passes 1 (CrushRate in Hz; 0 or less: every sample) and quantised
// to the top Bits bits of [-1, 1], offset by half a step so that the levels sit
// symmetrically around 0 (Bits 1: -0.5 and +0.5). Bits 32 does not quantise.
#include <algorithm>
#include <cmath>

#include "mp_sdk_audio.h"

class KV_Crusher : public MpBase2 {
    AudioInPin pinIn;
    FloatInPin pinCrushRate;  // Hz; <= 0: the host's sample rate
    IntInPin pinBits;         // 1 to 32
    AudioOutPin pinOut;

    std::uint32_t mask = 0xFFFFFFFF;
    float phase = 1.0f;      // >= 1: take a new sample
    float increment = 1.0f;  // CrushRate / sample rate
    float heldValue = 0.0f;
    float offset = 0.0f;     // half a quantisation step
    bool stopPending = false;  // In went static: Out goes static once that value is taken

public:
    KV_Crusher()
    {
        initializePin(pinIn);
        initializePin(pinCrushRate);
        initializePin(pinBits);
        initializePin(pinOut);
        setSubProcess(&KV_Crusher::subProcess);
    }

    void onSetPins() override
    {
        if (pinIn.isStreamingChanged()) {
            if (!pinOut.isStreaming())
                phase = 1.0f;  // take the new static value at once
            // A streaming output still holds a sample taken before In went static; it
            // stays streaming until the static value has been taken.
            stopPending = !pinIn.isStreaming() && pinOut.isStreaming();
            if (!stopPending)
                pinOut.setStreaming(pinIn.isStreaming());
        }
        if (pinCrushRate.isUpdated()) {
            float sampleRate = 0.0f;
            getHost()->hostGetSampleRate(sampleRate);
            const float rate = pinCrushRate.getValue() > 0.0f ? pinCrushRate.getValue() : sampleRate;
            increment = rate / sampleRate;
        }
        if (pinBits.isUpdated()) {
            const int bits = std::clamp(pinBits.getValue(), 1, 32);
            if (bits == 32) {
                mask = 0xFFFFFFFF;
                offset = 0.0f;
            } else {
                mask = 0xFFFFFFFFu << (32 - bits);
                offset = 0.5f / std::exp2(static_cast<float>(bits - 1));
            }
            // A static output takes its input again at the new word length and tells
            // the host its new value.
            if (!pinOut.isStreaming() && !stopPending) {
                phase = 1.0f;
                pinOut.setStreaming(false);
            }
        }
    }

    void subProcess(int sampleFrames)
    {
        const float* in = pinIn.getBuffer() + blockPos;
        float* out = pinOut.getBuffer() + blockPos;
        float position = phase;  // locals: output writes cannot touch them
        float held = heldValue;
        for (int i = 0; i < sampleFrames; ++i) {
            if (position >= 1.0f) {
                position -= 1.0f;
                held = quantise(in[i]) + offset;
                if (stopPending) {
                    stopPending = false;
                    pinOut.setStreaming(false, blockPos + i);
                }
            }
            out[i] = held;
            position += increment;
        }
        phase = position;
        heldValue = held;
    }

private:
    float quantise(float x) const
    {
        if (mask == 0xFFFFFFFF)
            return x;
        constexpr float twoTo31 = 2147483648.0f;
        constexpr float twoTo32 = 4294967296.0f;
        // (x + 1) x 2^31 truncated and limited to the unsigned 32-bit range (NaN: 0).
        const float scaled = (std::clamp(x, -1.0f, 1.0f) + 1.0f) * twoTo31;
        std::uint32_t u = 0;
        if (scaled >= twoTo32)
            u = 0xFFFFFFFF;
        else if (scaled > 0.0f)
            u = static_cast<std::uint32_t>(scaled);
        return static_cast<float>(u & mask) * (1.0f / twoTo31) - 1.0f;
    }
};

namespace {
const bool registered = gmpi::Register<KV_Crusher>::withId(L"KV_Crusher");
}
