// DC_Blocker: a one-pole high-pass, y = c * y[-1] + (x - x[-1]).
// Once the input is static the output decays; it sleeps when the decay reaches exactly 0.
// An output below 1e-20 in magnitude (some 400 dB under full scale) is taken as 0, so the
// decay ends there instead of running on through subnormal values, which are slow on most
// processors and would keep the module awake on hosts that do not flush them.
#include <algorithm>

#include "SettleState.h"
#include "mp_sdk_audio.h"

class DCBlocker : public MpBase2 {
    AudioInPin pinIn;
    FloatInPin pinCoefficient;  // pole, clamped to [0, 1]; 1 passes the input unchanged
    AudioOutPin pinOut;

    float previousInput = 0.0f;   // x[-1]
    float previousOutput = 0.0f;  // y[-1]
    SettleState state = SettleState::Active;

    static constexpr float restThreshold = 1e-20f;

public:
    DCBlocker()
    {
        initializePin(pinIn);
        initializePin(pinCoefficient);
        initializePin(pinOut);
        setSubProcess(&DCBlocker::subProcess);
    }

    void onSetPins() override
    {
        // A new coefficient can move a sleeping output (1 passes a non-zero static input).
        const bool wakeForCoefficient = pinCoefficient.isUpdated() && state == SettleState::Asleep;
        if (!pinIn.isStreamingChanged() && !wakeForCoefficient)
            return;
        state = pinIn.isStreaming() ? SettleState::Active : SettleState::Settling;
        setSleep(false);
        if (!pinOut.isStreaming())
            pinOut.setStreaming(true);
    }

    void subProcess(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        if (state == SettleState::Asleep) {
            std::fill_n(out, sampleFrames, 0.0f);
            return;
        }
        const float* in = pinIn.getBuffer() + blockPos;
        const float c = std::clamp(pinCoefficient.getValue(), 0.0f, 1.0f);
        const bool passThrough = c == 1.0f;
        float x1 = previousInput;
        float y1 = previousOutput;
        for (int i = 0; i < sampleFrames; ++i) {
            const float x = in[i];
            float y = passThrough ? x : c * y1 + (x - x1);
            if (!passThrough && y < restThreshold && y > -restThreshold)
                y = 0.0f;
            out[i] = y;
            x1 = x;
            y1 = y;
            if (state == SettleState::Settling && y == 0.0f) {
                // At rest: report the output static here; the rest of the call still computes.
                state = SettleState::Asleep;
                setSleep(true);
                pinOut.setStreaming(false, blockPos + i);
            }
        }
        previousInput = x1;
        previousOutput = y1;
    }
};

namespace {
const bool registered = gmpi::Register<DCBlocker>::withId(L"DC_Blocker");
}
