// Memory/Reset2: Memory/Reset with edge-triggered control: B is selected on a sample
// where Set rises across 0.5, A where Reset does. Out streams exactly when the selected
// input does.
#include "AbLatch.h"
#include "mp_sdk_audio.h"

class MemoryReset2 : public MpBase2 {
    AudioInPin pinA;
    AudioInPin pinB;
    AudioInPin pinSet;
    AudioInPin pinReset;
    AudioOutPin pinOut;

    AbLatch latch;
    float previousSet = 0.0f;
    float previousReset = 0.0f;

public:
    MemoryReset2()
    {
        initializePin(pinA);
        initializePin(pinB);
        initializePin(pinSet);
        initializePin(pinReset);
        initializePin(pinOut);
        setSubProcess(&MemoryReset2::subProcess);
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
            const bool setRises = previousSet < 0.5f && set[i] >= 0.5f;
            const bool resetRises = previousReset < 0.5f && reset[i] >= 0.5f;
            previousSet = set[i];
            previousReset = reset[i];
            out[i] = latch.next(setRises, resetRises, a[i], b[i], pinA, pinB, pinOut, blockPos + i);
        }
        if (!pinA.isStreaming() && !pinB.isStreaming() && !pinSet.isStreaming() && !pinReset.isStreaming())
            setSleep(true);
    }
};

namespace {
const bool registered = gmpi::Register<MemoryReset2>::withId(L"Memory/Reset2");
}
