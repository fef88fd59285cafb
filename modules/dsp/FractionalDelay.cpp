// FracDelay: delays In by 0 to 5000 samples, fractions of a sample included. The whole
// samples come from a ring buffer; the fraction f from a first-order all-pass
// interpolator with coefficient (1 - f) / (1 + f):
//   y = (ring[delay L] - y_previous) x alpha + ring[delay L + 1]
// When In stops streaming the output keeps streaming for the delay and then until two
// successive output samples differ by less than 1e-6; then it holds its last value.
//
// Non-finite samples never stay in the interpolator: a NaN or infinite output is
// passed on once but the interpolator continues from 0, so the output is finite again
// once the bad input samples have left the delay (at most 5002 samples later).
#include <algorithm>
#include <cmath>

#include "mp_sdk_audio.h"

class FracDelay : public MpBase2 {
    static constexpr int maxDelay = 5000;  // samples
    static constexpr int ringSize = maxDelay + 1;
    static constexpr float settledDifference = 1e-6f;

    AudioInPin pinIn;
    FloatInPin pinDelay;  // samples, limited to [0, 5000]; NaN gives 0
    AudioOutPin pinOut;

    float ring[ringSize] = {};
    int writeIndex = 0;
    float delay = 0.0f;       // samples, within [0, 5000]
    float lastOutput = 0.0f;  // the interpolator's state, finite
    float heldOutput = 0.0f;  // the last sample written, held while Out is static
    int tailCountdown = -1;   // samples of tail before the settle check; -1: no tail running

public:
    FracDelay()
    {
        initializePin(pinIn);
        initializePin(pinDelay);
        initializePin(pinOut);
        setSubProcess(&FracDelay::subProcess);
    }

    void onSetPins() override
    {
        if (pinDelay.isUpdated()) {
            const float value = pinDelay.getValue();
            // Values between 5000 and 5001 are limited too: their all-pass would read the
            // sample just written.
            delay = value > 0.0f ? std::min(value, static_cast<float>(maxDelay)) : 0.0f;
        }
        // A new delay over a static input replays older samples: a new tail, as when In
        // has just stopped.
        const bool newDelayOverStaticInput = pinDelay.isUpdated() && !pinIn.isStreaming();
        if (!pinIn.isStreamingChanged() && !newDelayOverStaticInput)
            return;
        if (!pinOut.isStreaming() && !pinIn.isStreaming()) {
            // The ring was not written while Out was static: as far as the delay can see,
            // the input has been the static value all that time.
            std::fill(std::begin(ring), std::end(ring), pinIn.getValue());
        }
        pinOut.setStreaming(true);
        // A streaming input ends any tail still running: only a static input settles.
        tailCountdown = pinIn.isStreaming() ? -1 : static_cast<int>(delay + 0.5f);
    }

    void subProcess(int sampleFrames)
    {
        const float* in = pinIn.getBuffer() + blockPos;
        float* out = pinOut.getBuffer() + blockPos;
        if (!pinOut.isStreaming()) {
            std::fill_n(out, sampleFrames, heldOutput);
            return;
        }
        const int whole = static_cast<int>(delay);
        const float fraction = delay - static_cast<float>(whole);
        const float alpha = (1.0f - fraction) / (1.0f + fraction);

        int write = writeIndex;
        float previous = lastOutput;
        bool settled = false;
        for (int i = 0; i < sampleFrames; ++i) {
            ring[write] = in[i];
            int read = write - whole;
            if (read < 0)
                read += ringSize;
            float y;
            if (alpha >= 1.0f) {
                y = ring[read];
            } else {
                const float older = read == 0 ? ring[maxDelay] : ring[read - 1];
                y = (ring[read] - previous) * alpha + older;
            }
            out[i] = y;
            if (++write > maxDelay)
                write = 0;
            if (!std::isfinite(y))
                y = 0.0f;  // the interpolator goes on from rest
            if (tailCountdown > 0) {
                --tailCountdown;
            } else if (tailCountdown == 0 && std::fabs(y - previous) < settledDifference) {
                tailCountdown = -1;
                settled = true;
            }
            previous = y;
        }
        writeIndex = write;
        lastOutput = previous;
        if (sampleFrames > 0)
            heldOutput = out[sampleFrames - 1];
        if (settled)
            pinOut.setStreaming(false, blockPos + sampleFrames);
    }
};

namespace {
const bool registered = gmpi::Register<FracDelay>::withId(L"FracDelay");
}
