// KV_AudioCounter: counts edges of Clock; Out = count x 0.1. Reset > 0 holds the count
// at 0. Modes: 0 free, 1 stop at Max, 2 wrap after Max to 0, 3 up to Max and back down.
#include <algorithm>

#include "mp_sdk_audio.h"

class KV_AudioCounter : public MpBase2 {
    AudioInPin pinClock;
    AudioInPin pinReset;  // > 0: count = 0
    EnumInPin pinEdge;    // 0 rising (through 0 upwards), 1 falling; others never count
    EnumInPin pinMode;    // 0 free, 1 stop, 2 wrap, 3 up and down; others never count
    IntInPin pinMax;      // at least 1
    AudioOutPin pinOut;

    std::int32_t edge = 0;
    std::int32_t mode = 0;
    std::uint32_t count = 0;
    std::int32_t max = 0;  // 0 until the Max pin first arrives
    float previousClock = 0.0f;
    bool countingDown = false;

public:
    KV_AudioCounter()
    {
        initializePin(pinClock);
        initializePin(pinReset);
        initializePin(pinEdge);
        initializePin(pinMode);
        initializePin(pinMax);
        initializePin(pinOut);
        setSubProcess(&KV_AudioCounter::subProcess);
    }

    void onSetPins() override
    {
        pinOut.setStreaming(pinClock.isStreaming() || pinReset.isStreaming());
        if (pinEdge.isUpdated())
            edge = pinEdge.getValue();
        if (pinMode.isUpdated())
            mode = pinMode.getValue();
        if (pinMax.isUpdated())
            max = std::max(1, pinMax.getValue());
    }

    void subProcess(int sampleFrames)
    {
        const float* clock = pinClock.getBuffer() + blockPos;
        const float* reset = pinReset.getBuffer() + blockPos;
        float* out = pinOut.getBuffer() + blockPos;
        const auto limit = static_cast<std::uint32_t>(max);
        float previous = previousClock;  // local: output writes cannot touch it
        for (int i = 0; i < sampleFrames; ++i) {
            const float c = clock[i];
            if (reset[i] > 0.0f) {
                count = 0;
            } else if ((edge == 0 && previous <= 0.0f && c > 0.0f) || (edge == 1 && previous >= 0.0f && c < 0.0f)) {
                countEdge(limit);
            }
            out[i] = static_cast<float>(count) * 0.1f;
            previous = c;
        }
        previousClock = previous;
    }

private:
    void countEdge(std::uint32_t limit)
    {
        switch (mode) {
        case 0: ++count; break;
        case 1:
            if (count < limit)
                ++count;
            break;
        case 2: count = count + 1 > limit ? 0 : count + 1; break;
        case 3:
            if (!countingDown) {
                if (count + 1 > limit) {
                    --count;
                    countingDown = true;
                } else {
                    ++count;
                }
            } else if (count == 0) {
                count = 1;
                countingDown = false;
            } else {
                --count;
            }
            break;
        default: break;
        }
    }
};

namespace {
const bool registered = gmpi::Register<KV_AudioCounter>::withId(L"KV_AudioCounter");
}
