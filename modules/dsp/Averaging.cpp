// Averaging: the mean of every input sample since creation or the last Reset, summed in
// float64. Its output always streams and it never sleeps.
#include "mp_sdk_audio.h"

class Averaging : public MpBase2 {
    AudioInPin pinIn;
    BoolInPin pinReset;  // true: start a new average at this sample
    AudioOutPin pinOut;

    double sum = 0.0;
    double count = 0.0;

public:
    Averaging()
    {
        initializePin(pinIn);
        initializePin(pinReset);
        initializePin(pinOut);
        setSubProcess(&Averaging::subProcess);
    }

    void onSetPins() override
    {
        if (pinReset.isUpdated() && pinReset.getValue()) {
            sum = 0.0;
            count = 0.0;
        }
    }

    void subProcess(int sampleFrames)
    {
        const float* in = pinIn.getBuffer() + blockPos;
        float* out = pinOut.getBuffer() + blockPos;
        for (int i = 0; i < sampleFrames; ++i) {
            sum += in[i];
            count += 1.0;
            out[i] = static_cast<float>(sum / count);
        }
    }
};

namespace {
const bool registered = gmpi::Register<Averaging>::withId(L"Averaging");
}
