// OFF Delay: a gate with a release hold. While Gate is above 0 the output follows
// OnValue; after Gate falls it keeps following OnValue for HoldTime milliseconds, then
// follows OffValue. A gate that rises again during the hold restarts it on its next fall.
#include <algorithm>
#include <cmath>
#include <limits>

#include "mp_sdk_audio.h"

class OFFDelay : public MpBase2 {
    AudioInPin pinOffValue;
    AudioInPin pinOnValue;
    FloatInPin pinHoldTime;  // milliseconds; below 0 (or NaN) gives 0
    AudioInPin pinGate;      // high above 0
    AudioOutPin pinOut;

    int holdSamples = 0;
    int countdown = 0;  // samples of hold left after the gate fell
    bool gateWasHigh = false;

public:
    OFFDelay()
    {
        initializePin(pinOffValue);
        initializePin(pinOnValue);
        initializePin(pinHoldTime);
        initializePin(pinGate);
        initializePin(pinOut);
        setSubProcess(&OFFDelay::subProcess);
    }

    void onSetPins() override
    {
        if (pinOffValue.isStreamingChanged() || pinOnValue.isStreamingChanged() || pinGate.isStreamingChanged())
            pinOut.setStreaming(true);
        if (pinHoldTime.isUpdated()) {
            float sampleRate = 0.0f;
            getHost()->hostGetSampleRate(sampleRate);
            const double samples = std::max(0.0, static_cast<double>(pinHoldTime.getValue()) * 0.001 * sampleRate);
            // NaN and holds beyond the int range (about 12 hours at 48 kHz) are limited.
            constexpr double longest = std::numeric_limits<int>::max();
            holdSamples = samples < longest ? static_cast<int>(samples) : std::numeric_limits<int>::max();
        }
    }

    void subProcess(int sampleFrames)
    {
        const float* off = pinOffValue.getBuffer() + blockPos;
        const float* on = pinOnValue.getBuffer() + blockPos;
        const float* gate = pinGate.getBuffer() + blockPos;
        float* out = pinOut.getBuffer() + blockPos;
        bool lastWasOff = false;
        for (int i = 0; i < sampleFrames; ++i) {
            const bool high = gate[i] > 0.0f;
            lastWasOff = false;
            if (high) {
                if (!gateWasHigh) {
                    countdown = holdSamples;
                    if (!pinOut.isStreaming())
                        pinOut.setStreaming(true, blockPos + i);
                }
                out[i] = on[i];
            } else if (countdown > 0) {
                --countdown;
                out[i] = on[i];
            } else {
                out[i] = off[i];
                lastWasOff = true;
            }
            gateWasHigh = high;
        }
        if (lastWasOff && !pinOffValue.isStreaming() && pinOut.isStreaming())
            pinOut.setStreaming(false, blockPos + sampleFrames);
    }
};

namespace {
const bool registered = gmpi::Register<OFFDelay>::withId(L"OFF Delay");
}
