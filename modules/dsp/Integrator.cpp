// Integrator: a leaky accumulator, acc = acc * g + x, with the leak g from the Feedback
// input clamped to [-1, 1]. Once In is static it sleeps when the accumulator stops moving.
#include <algorithm>

#include "SettleState.h"
#include "mp_sdk_audio.h"

class Integrator : public MpBase2 {
    AudioInPin pinIn;
    AudioInPin pinFeedback;  // per-sample leak factor
    AudioOutPin pinOut;

    float accumulator = 0.0f;
    float lastOutput = 0.0f;
    SettleState state = SettleState::Active;

public:
    Integrator()
    {
        initializePin(pinIn);
        initializePin(pinFeedback);
        initializePin(pinOut);
        setSubProcess(&Integrator::subProcess);
    }

    void onSetPins() override
    {
        if (pinIn.isStreamingChanged()) {
            state = pinIn.isStreaming() ? SettleState::Active : SettleState::Settling;
            setSleep(false);
            if (!pinOut.isStreaming())
                pinOut.setStreaming(true);
        }
        if (pinFeedback.isStreamingChanged() && state == SettleState::Asleep) {
            setSleep(false);
            pinOut.setStreaming(true);
            state = SettleState::Settling;
        }
    }

    void subProcess(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        if (state == SettleState::Asleep) {
            std::fill_n(out, sampleFrames, lastOutput);
            return;
        }
        const float* in = pinIn.getBuffer() + blockPos;
        const float* feedback = pinFeedback.getBuffer() + blockPos;
        // While Feedback varies, an accumulator that stood still for one sample may move
        // again; only a zero accumulator fed zero stays put whatever the feedback.
        const bool feedbackStreams = pinFeedback.isStreaming();
        float acc = accumulator;
        float previous = lastOutput;
        for (int i = 0; i < sampleFrames; ++i) {
            const float x = in[i];
            acc = acc * std::clamp(feedback[i], -1.0f, 1.0f) + x;
            if (state == SettleState::Settling && acc == previous &&
                (!feedbackStreams || (acc == 0.0f && x == 0.0f))) {
                state = SettleState::Asleep;
                pinOut.setStreaming(false, blockPos + i);
                setSleep(true);
                // Declared static from here: the rest of the block holds the value, whatever
                // the feedback does (a non-finite one would turn 0 into NaN).
                std::fill_n(out + i, sampleFrames - i, acc);
                accumulator = acc;
                lastOutput = acc;
                return;
            }
            out[i] = acc;
            previous = acc;
        }
        accumulator = acc;
        lastOutput = acc;
    }
};

namespace {
const bool registered = gmpi::Register<Integrator>::withId(L"Integrator");
}
