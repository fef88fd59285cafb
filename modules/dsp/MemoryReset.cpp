// Memory/Reset: a latch that outputs A or B. Set >= 0.5 selects B, Reset >= 0.5 selects
// A (with both high the selection alternates every sample). Out streams exactly when the
// selected input does.
#include "mp_sdk_audio.h"

class MemoryReset : public MpBase2 {
    AudioInPin pinA;
    AudioInPin pinB;
    AudioInPin pinSet;
    AudioInPin pinReset;
    AudioOutPin pinOut;

    bool bSelected = false;
    bool streamUpdatePending = false;  // the selected input changed its streaming state

public:
    MemoryReset()
    {
        initializePin(pinA);
        initializePin(pinB);
        initializePin(pinSet);
        initializePin(pinReset);
        initializePin(pinOut);
        setSubProcess(&MemoryReset::subProcess);
    }

    void onSetPins() override
    {
        if ((pinA.isStreamingChanged() && !bSelected) || (pinB.isStreamingChanged() && bSelected))
            streamUpdatePending = true;
        setSleep(false);
    }

    void subProcess(int sampleFrames)
    {
        const float* a = pinA.getBuffer() + blockPos;
        const float* b = pinB.getBuffer() + blockPos;
        const float* set = pinSet.getBuffer() + blockPos;
        const float* reset = pinReset.getBuffer() + blockPos;
        float* out = pinOut.getBuffer() + blockPos;
        for (int i = 0; i < sampleFrames; ++i) {
            if (bSelected) {
                if (reset[i] >= 0.5f) {
                    out[i] = a[i];
                    bSelected = false;
                    pinOut.setStreaming(pinA.isStreaming(), blockPos + i);
                } else {
                    out[i] = b[i];
                    if (streamUpdatePending) {
                        streamUpdatePending = false;
                        pinOut.setStreaming(pinB.isStreaming(), blockPos + i);
                    }
                }
            } else {
                if (set[i] >= 0.5f) {
                    out[i] = b[i];
                    bSelected = true;
                    pinOut.setStreaming(pinB.isStreaming(), blockPos + i);
                } else {
                    out[i] = a[i];
                    if (streamUpdatePending) {
                        streamUpdatePending = false;
                        pinOut.setStreaming(pinA.isStreaming(), blockPos + i);
                    }
                }
            }
        }
        if (!pinA.isStreaming() && !pinB.isStreaming() && !pinSet.isStreaming() && !pinReset.isStreaming())
            setSleep(true);
    }
};

namespace {
const bool registered = gmpi::Register<MemoryReset>::withId(L"Memory/Reset");
}
