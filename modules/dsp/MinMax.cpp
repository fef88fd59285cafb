// MinMax: the running minimum and maximum of In since creation. Both start at 0, so the
// minimum never rises above 0 and the maximum never falls below it.
#include "mp_sdk_audio.h"

class MinMax : public MpBase2 {
    AudioInPin pinIn;
    AudioOutPin pinMin;
    AudioOutPin pinMax;

    float minimum = 0.0f;
    float maximum = 0.0f;

public:
    MinMax()
    {
        initializePin(pinIn);
        initializePin(pinMin);
        initializePin(pinMax);
        setSubProcess(&MinMax::subProcess);
    }

    void onSetPins() override
    {
        const bool streaming = pinIn.isStreaming();
        setSleep(!streaming);
        pinMin.setStreaming(streaming);
        pinMax.setStreaming(streaming);
    }

    void subProcess(int sampleFrames)
    {
        const float* in = pinIn.getBuffer() + blockPos;
        float* outMin = pinMin.getBuffer() + blockPos;
        float* outMax = pinMax.getBuffer() + blockPos;
        float low = minimum;
        float high = maximum;
        for (int i = 0; i < sampleFrames; ++i) {
            const float x = in[i];
            if (x < low)
                low = x;
            if (x > high)
                high = x;
            outMin[i] = low;
            outMax[i] = high;
        }
        minimum = low;
        maximum = high;
    }
};

namespace {
const bool registered = gmpi::Register<MinMax>::withId(L"MinMax");
}
