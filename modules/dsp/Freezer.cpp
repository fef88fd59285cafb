// Freezer: passes In, or holds one input value while the gate says freeze. Polarity 0
// freezes while Gate > 0, Polarity 1 while Gate <= 0. HoldPrevious 1 holds the sample
// before the gate changed instead of the one where it changed. Values are copied as
// they are, never computed.
#include "mp_sdk_audio.h"

class Freezer : public MpBase2 {
    AudioInPin pinIn;
    AudioInPin pinGate;
    EnumInPin pinPolarity;      // 0 freeze while high, 1 freeze while low
    EnumInPin pinHoldPrevious;  // 1: hold the previous sample
    AudioOutPin pinOut;

    bool polarity = false;      // true: passes while Gate > 0
    bool holdPrevious = false;
    bool frozen = false;
    float previousInput = 0.0f;
    float heldValue = 0.0f;

public:
    Freezer()
    {
        initializePin(pinIn);
        initializePin(pinGate);
        initializePin(pinPolarity);
        initializePin(pinHoldPrevious);
        initializePin(pinOut);
        setSubProcess(&Freezer::subProcess);
    }

    void onSetPins() override
    {
        if (pinPolarity.isUpdated())
            polarity = pinPolarity.getValue() == 1;
        if (pinHoldPrevious.isUpdated())
            holdPrevious = pinHoldPrevious.getValue() == 1;
        pinOut.setStreaming(pinIn.isStreaming());
    }

    void subProcess(int sampleFrames)
    {
        const float* in = pinIn.getBuffer() + blockPos;
        const float* gate = pinGate.getBuffer() + blockPos;
        float* out = pinOut.getBuffer() + blockPos;
        float previous = previousInput;  // locals: output writes cannot touch them
        float held = heldValue;
        for (int i = 0; i < sampleFrames; ++i) {
            const float x = in[i];
            const bool passing = (gate[i] > 0.0f) == polarity;
            if (passing) {
                out[i] = x;
                if (frozen)
                    pinOut.setStreaming(pinIn.isStreaming(), blockPos + i);
            } else {
                if (!frozen) {
                    held = holdPrevious ? previous : x;
                    pinOut.setStreaming(false, blockPos + i);
                }
                out[i] = held;
            }
            frozen = !passing;
            previous = x;
        }
        previousInput = previous;
        heldValue = held;
    }
};

namespace {
const bool registered = gmpi::Register<Freezer>::withId(L"Freezer");
}
