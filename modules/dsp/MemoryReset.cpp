// Memory/Reset: a latch that outputs A or B. Set >= 0.5 selects B, Reset >= 0.5 selects
// A (with both high the selection alternates every sample). Out streams exactly when the
// selected input does.
#include "AbLatch.h"
#include "mp_sdk_audio.h"

class MemoryReset : public MpBase2 {
    AudioInPin pinA;
    AudioInPin pinB;
    AudioInPin pinSet;
    AudioInPin pinReset;
    AudioOutPin pinOut;

    AbLatch latch;

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
        latch.noteStreamingChanges(pinA, pinB);
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
            out[i] = latch.next(set[i] >= 0.5f, reset[i] >= 0.5f, a[i], b[i], pinA, pinB, pinOut, blockPos + i);
        }
        if (!pinA.isStreaming() && !pinB.isStreaming() && !pinSet.isStreaming() && !pinReset.isStreaming())
            setSleep(true);
    }
};

namespace {
const bool registered = gmpi::Register<MemoryReset>::withId(L"Memory/Reset");
}
