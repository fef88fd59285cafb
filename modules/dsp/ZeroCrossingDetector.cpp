// KV_ZXDet: a one-sample pulse of 1.0 where In crosses zero in the selected direction
// (strictly: a signal resting on exactly 0 between the signs gives no pulse).
#include <algorithm>

#include "mp_sdk_audio.h"

class KV_ZXDet : public MpBase2 {
    AudioInPin pinIn;
    EnumInPin pinDirection;  // 0 upward, 1 downward, 2 both; other values never pulse
    AudioOutPin pinOut;

    float previousInput = 0.0f;
    std::int32_t direction = 0;

public:
    KV_ZXDet()
    {
        initializePin(pinIn);
        initializePin(pinDirection);
        initializePin(pinOut);
        setSubProcess(&KV_ZXDet::subProcess);
    }

    void onSetPins() override
    {
        if (pinIn.isStreamingChanged())
            pinOut.setStreaming(true);
        if (pinDirection.isUpdated())
            direction = pinDirection.getValue();
    }

    void subProcess(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        if (!pinOut.isStreaming()) {
            std::fill_n(out, sampleFrames, 0.0f);
            return;
        }
        if (sampleFrames < 1)
            return;
        const float* in = pinIn.getBuffer() + blockPos;
        const bool upward = direction == 0 || direction == 2;
        const bool downward = direction == 1 || direction == 2;
        float p = previousInput;
        for (int i = 0; i < sampleFrames; ++i) {
            const float x = in[i];
            const bool crossed = (upward && p < 0.0f && x > 0.0f) || (downward && p > 0.0f && x < 0.0f);
            out[i] = crossed ? 1.0f : 0.0f;
            p = x;
        }
        previousInput = p;
        // A static input cannot cross again: the output rests at 0 after this stretch.
        if (out[sampleFrames - 1] == 0.0f && !pinIn.isStreaming())
            pinOut.setStreaming(false, blockPos + sampleFrames);
    }
};

namespace {
const bool registered = gmpi::Register<KV_ZXDet>::withId(L"KV_ZXDet");
}
