// Derivator: the first difference, y = x - x[-1]. Sleeps once In is static and the
// difference has reached exactly 0.
#include <algorithm>

#include "mp_sdk_audio.h"

class Derivator : public MpBase2 {
    AudioInPin pinIn;
    AudioOutPin pinOut;

    float previousInput = 0.0f;
    bool asleep = false;

public:
    Derivator()
    {
        initializePin(pinIn);
        initializePin(pinOut);
        setSubProcess(&Derivator::subProcess);
    }

    void onSetPins() override
    {
        pinOut.setStreaming(true);
        setSleep(false);
        asleep = false;
    }

    void subProcess(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        if (asleep) {
            std::fill_n(out, sampleFrames, 0.0f);
            return;
        }
        const float* in = pinIn.getBuffer() + blockPos;
        const bool inputStreams = pinIn.isStreaming();
        float x1 = previousInput;
        for (int i = 0; i < sampleFrames; ++i) {
            const float y = in[i] - x1;
            out[i] = y;
            x1 = in[i];
            if (!asleep && y == 0.0f && !inputStreams) {
                asleep = true;
                setSleep(true);
                pinOut.setStreaming(false, blockPos + i);
            }
        }
        previousInput = x1;
    }
};

namespace {
const bool registered = gmpi::Register<Derivator>::withId(L"Derivator");
}
