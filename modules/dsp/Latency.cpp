// Latency: delays In by 0 to 5000 whole samples. When In stops streaming the output
// keeps streaming until the delayed tail has left the buffer.
#include <algorithm>

#include "mp_sdk_audio.h"

class Latency : public MpBase2 {
    static constexpr std::int32_t maxDelay = 5000;
    static constexpr std::int32_t ringSize = maxDelay + 1;

    AudioInPin pinIn;
    IntInPin pinDelay;  // samples, clamped to [0, 5000]
    AudioOutPin pinOut;

    float ring[ringSize] = {};
    std::int32_t writeIndex = 0;
    std::int32_t delay = 0;
    std::int32_t tailCountdown = -1;  // samples until Out goes static; -1: none pending

public:
    Latency()
    {
        initializePin(pinIn);
        initializePin(pinDelay);
        initializePin(pinOut);
        setSubProcess(&Latency::subProcess);
    }

    void onSetPins() override
    {
        if (pinDelay.isUpdated())
            delay = std::clamp(pinDelay.getValue(), 0, maxDelay);
        // A new delay over a static input replays older samples: a new tail, as when In
        // has just stopped.
        const bool newDelayOverStaticInput = pinDelay.isUpdated() && !pinIn.isStreaming();
        if (!pinIn.isStreamingChanged() && !newDelayOverStaticInput)
            return;
        if (pinIn.isStreaming()) {
            pinOut.setStreaming(true);
        } else {
            pinOut.setStreaming(delay > 0);
            tailCountdown = delay;
        }
    }

    void subProcess(int sampleFrames)
    {
        const float* in = pinIn.getBuffer() + blockPos;
        float* out = pinOut.getBuffer() + blockPos;
        if (pinIn.isStreaming())
            delayStretch(in, out, sampleFrames);
        else
            delayTail(in, out, sampleFrames);
    }

private:
    // The delay line while In streams, in runs where neither the write nor the read
    // position wraps around the ring.
    void delayStretch(const float* in, float* out, int sampleFrames)
    {
        std::int32_t write = writeIndex;
        for (int done = 0; done < sampleFrames;) {
            std::int32_t read = write - delay;
            if (read < 0)
                read += ringSize;
            const int run = std::min({sampleFrames - done, ringSize - write, ringSize - read});
            float* written = ring + write;
            const float* delayed = ring + read;
            for (int i = 0; i < run; ++i) {
                written[i] = in[done + i];
                out[done + i] = delayed[i];
            }
            done += run;
            write += run;
            if (write > maxDelay)
                write = 0;
        }
        writeIndex = write;
    }

    // The same sample by sample while In is static, counting down the tail: Out goes
    // static on the sample where the first static input sample comes out.
    void delayTail(const float* in, float* out, int sampleFrames)
    {
        std::int32_t write = writeIndex;
        for (int i = 0; i < sampleFrames; ++i) {
            ring[write] = in[i];
            std::int32_t read = write - delay;
            if (read < 0)
                read += ringSize;
            out[i] = ring[read];
            if (++write > maxDelay)
                write = 0;
            if (tailCountdown == 0) {
                pinOut.setStreaming(false, blockPos + i);
                tailCountdown = -1;
            } else if (tailCountdown > 0) {
                --tailCountdown;
            }
        }
        writeIndex = write;
    }
};

namespace {
const bool registered = gmpi::Register<Latency>::withId(L"Latency");
}
