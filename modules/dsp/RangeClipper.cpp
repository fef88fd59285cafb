// RngClp: clips In to [Low, High] per sample; when Low exceeds High the result is High.
// Sleeps automatically once all three inputs are static.
#include <algorithm>

#include "mp_sdk_audio.h"

class RngClp : public MpBase2 {
    AudioInPin pinIn;
    AudioInPin pinLow;
    AudioInPin pinHigh;
    AudioOutPin pinOut;

public:
    RngClp()
    {
        initializePin(pinIn);
        initializePin(pinLow);
        initializePin(pinHigh);
        initializePin(pinOut);
        setSubProcess(&RngClp::subProcess);
    }

    void onSetPins() override
    {
        pinOut.setStreaming(pinIn.isStreaming() || pinLow.isStreaming() || pinHigh.isStreaming());
    }

    void subProcess(int sampleFrames)
    {
        const float* in = pinIn.getBuffer() + blockPos;
        const float* low = pinLow.getBuffer() + blockPos;
        const float* high = pinHigh.getBuffer() + blockPos;
        float* out = pinOut.getBuffer() + blockPos;
        for (int i = 0; i < sampleFrames; ++i)
            out[i] = std::min(high[i], std::max(low[i], in[i]));
    }
};

namespace {
const bool registered = gmpi::Register<RngClp>::withId(L"RngClp");
}
