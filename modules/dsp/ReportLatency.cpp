// KV_RepLat: passes In unchanged and reports LatencyValue (samples, at least 0) to the
// host as the processing latency of the path.
#include <algorithm>

#include "mp_sdk_audio.h"

class KV_RepLat : public MpBase2 {
    AudioInPin pinIn;
    IntInPin pinLatencyValue;  // samples
    AudioOutPin pinOut;

public:
    KV_RepLat()
    {
        initializePin(pinIn);
        initializePin(pinLatencyValue);
        initializePin(pinOut);
        setSubProcess(&KV_RepLat::subProcess);
    }

    void onSetPins() override
    {
        if (pinIn.isStreamingChanged())
            pinOut.setStreaming(pinIn.isStreaming());
        if (pinLatencyValue.isUpdated() && getProcessorHost())
            getProcessorHost()->hostSetLatency(std::max(0, pinLatencyValue.getValue()));
    }

    void subProcess(int sampleFrames)
    {
        const float* in = pinIn.getBuffer() + blockPos;
        float* out = pinOut.getBuffer() + blockPos;
        std::copy_n(in, sampleFrames, out);
    }
};

namespace {
const bool registered = gmpi::Register<KV_RepLat>::withId(L"KV_RepLat");
}
