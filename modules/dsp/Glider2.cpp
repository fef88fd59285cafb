// Glider2: Glider with separate rise and fall times (TimeUp, TimeDown, each in tenths
// of a second). A time of 0 in the direction of travel jumps; both 0, or Jump >= 0.5,
// follows the target at once.
#include <algorithm>

#include "GlideStep.h"
#include "SettleState.h"
#include "mp_sdk_audio.h"

class Glider2 : public MpBase2 {
    AudioInPin pinIn;
    AudioInPin pinTimeUp;    // rise time / 10 seconds
    AudioInPin pinTimeDown;  // fall time / 10 seconds
    EnumInPin pinMode;       // 0 Constant Time, otherwise Constant Rate
    AudioInPin pinJump;      // >= 0.5: no glide
    AudioOutPin pinOut;

    float current = 0.0f;
    float previousTarget = 0.0f;
    float step = 0.0f;
    SettleState state = SettleState::Active;
    bool constantTime = true;

public:
    Glider2()
    {
        initializePin(pinIn);
        initializePin(pinTimeUp);
        initializePin(pinTimeDown);
        initializePin(pinMode);
        initializePin(pinJump);
        initializePin(pinOut);
        setSubProcess(&Glider2::subProcess);
    }

    // Times and Jump do not wake the module: at rest they cannot move the output.
    void onSetPins() override
    {
        if (pinMode.isUpdated())
            constantTime = pinMode.getValue() == 0;
        if (!pinIn.isStreamingChanged())
            return;
        if (pinIn.isStreaming()) {
            setSleep(false);
            pinOut.setStreaming(true);
            state = SettleState::Active;
        } else {
            if (state != SettleState::Active) {
                setSleep(false);
                pinOut.setStreaming(true);
            }
            state = SettleState::Settling;
        }
    }

    void subProcess(int sampleFrames)
    {
        float sampleRate = 0.0f;
        getHost()->hostGetSampleRate(sampleRate);
        float* out = pinOut.getBuffer() + blockPos;
        if (state == SettleState::Asleep) {
            std::fill_n(out, sampleFrames, current);
            return;
        }
        const float* in = pinIn.getBuffer() + blockPos;
        const float* timeUp = pinTimeUp.getBuffer() + blockPos;
        const float* timeDown = pinTimeDown.getBuffer() + blockPos;
        const float* jump = pinJump.getBuffer() + blockPos;
        // Locals, so that writing the output cannot be assumed to change the state.
        float output = current;
        float lastTarget = previousTarget;
        float currentStep = step;
        for (int i = 0; i < sampleFrames; ++i) {
            const float target = in[i];
            const float rise = std::max(0.0f, 10.0f * timeUp[i]);
            const float fall = std::max(0.0f, 10.0f * timeDown[i]);
            if ((rise == 0.0f && fall == 0.0f) || jump[i] >= 0.5f) {
                output = target;
            } else {
                const float seconds = output < target ? rise : fall;
                glideStep(output, target, lastTarget, seconds * sampleRate, constantTime, currentStep);
            }
            if (output == target && state == SettleState::Settling) {
                pinOut.setStreaming(false, blockPos + i);
                setSleep(true);
                state = SettleState::Asleep;
            }
            out[i] = output;
            lastTarget = target;
        }
        current = output;
        previousTarget = lastTarget;
        step = currentStep;
    }
};

namespace {
const bool registered = gmpi::Register<Glider2>::withId(L"Glider2");
}
