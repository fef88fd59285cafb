// Glider: slews its output towards the In value (the target). Time is in tenths of the
// glide time (Time 0.1 = 1 second). Constant Time: every new target is reached in that
// time from wherever the output is; Constant Rate: the output moves 0.1 per glide time.
// Jump >= 0.5, or a time of 0, follows the target at once. Once In is static the module
// sleeps as soon as the output reaches the target.
#include <algorithm>

#include "GlideStep.h"
#include "SettleState.h"
#include "mp_sdk_audio.h"

class Glider : public MpBase2 {
    AudioInPin pinIn;
    AudioInPin pinTime;  // glide time / 10 seconds
    EnumInPin pinMode;   // 0 Constant Time, otherwise Constant Rate
    AudioInPin pinJump;  // >= 0.5: no glide
    AudioOutPin pinOut;

    float current = 0.0f;
    float previousTarget = 0.0f;
    float step = 0.0f;
    SettleState state = SettleState::Active;
    bool constantTime = true;

public:
    Glider()
    {
        initializePin(pinIn);
        initializePin(pinTime);
        initializePin(pinMode);
        initializePin(pinJump);
        initializePin(pinOut);
        setSubProcess(&Glider::subProcess);
    }

    // Time and Jump do not wake the module: at rest they cannot move the output.
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
        const float* time = pinTime.getBuffer() + blockPos;
        const float* jump = pinJump.getBuffer() + blockPos;
        // Locals, so that writing the output cannot be assumed to change the state.
        float output = current;
        float lastTarget = previousTarget;
        float currentStep = step;
        for (int i = 0; i < sampleFrames; ++i) {
            const float target = in[i];
            const float seconds = std::max(0.0f, 10.0f * time[i]);
            if (seconds == 0.0f || jump[i] >= 0.5f)
                output = target;
            else
                glideStep(output, target, lastTarget, seconds * sampleRate, constantTime, currentStep);
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
const bool registered = gmpi::Register<Glider>::withId(L"Glider");
}
