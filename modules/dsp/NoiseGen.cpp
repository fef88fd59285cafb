// NoiseGen: white or pink noise from a 32-bit xorshift generator (shifts 13, 17, 5).
// White: each generator value scaled to [-0.5, 0.5]. Pink: the generator is kept to 29
// bits and summed with seven older values refreshed every 2, 4, ... 128 samples, scaled
// to [-1, 1]. Seed sets the generator state; the state carries on across Enable and
// Color changes, so a seeded patch plays the same sequence every time.
//
// The generator never leaves the state 0, which would make the output a constant, so a
// Seed of 0 sets the fixed state 0x92D68CA2 instead; that is also the state before any
// Seed arrives. Pink noise likewise never keeps a masked state of 0.
#include <algorithm>
#include <cstdint>

#include "mp_sdk_audio.h"

class NoiseGen : public MpBase2 {
    static constexpr std::uint32_t stateForSeedZero = 0x92D68CA2u;
    static constexpr std::uint32_t pinkMask = 0x1FFFFFFFu;  // 29 bits: eight terms fit in 32
    static constexpr double whiteScale = 1.0 / 4294967295.0;
    static constexpr double pinkScale = 1.0 / 2147483644.0;
    static constexpr int pinkRows = 7;

    EnumInPin pinColor;  // 0 white, otherwise pink
    BoolInPin pinEnable;
    IntInPin pinSeed;    // taken as uint32; 0 gives the fixed state above
    AudioOutPin pinOut;

    std::uint32_t state = stateForSeedZero;
    std::uint32_t counter = 0;  // 0 to 255: which pink rows take the new value
    std::uint32_t rows[pinkRows] = {};

public:
    NoiseGen()
    {
        initializePin(pinColor);
        initializePin(pinEnable);
        initializePin(pinSeed);
        initializePin(pinOut);
        setSubProcess(&NoiseGen::subProcessSleep);
    }

    void onSetPins() override
    {
        if (pinSeed.isUpdated()) {
            const auto seed = static_cast<std::uint32_t>(pinSeed.getValue());
            state = seed != 0 ? seed : stateForSeedZero;
        }
        // The colour selects a noise routine only while enabled: a disabled generator
        // stays silent and its state does not advance.
        if (pinColor.isUpdated() && pinEnable.getValue())
            selectNoise();
        if (pinEnable.isUpdated()) {
            if (pinEnable.getValue()) {
                selectNoise();
                pinOut.setStreaming(true);
            } else {
                setSubProcess(&NoiseGen::subProcessSleep);
                pinOut.setStreaming(false);
            }
        }
    }

    void subProcessWhite(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        std::uint32_t s = state;
        for (int i = 0; i < sampleFrames; ++i) {
            s = advance(s);
            out[i] = static_cast<float>(static_cast<double>(s) * whiteScale - 0.5);
        }
        state = s;
    }

    void subProcessPink(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        std::uint32_t s = state;
        for (int i = 0; i < sampleFrames; ++i) {
            s = advance(s) & pinkMask;
            if (s == 0)
                s = stateForSeedZero & pinkMask;  // only from a state with bits above the 29
            std::uint32_t sum = s;
            for (int j = 0; j < pinkRows; ++j) {
                if ((counter & ((2u << j) - 1u)) == 0)
                    rows[j] = s;
                sum += rows[j];
            }
            out[i] = static_cast<float>(static_cast<double>(sum) * pinkScale - 1.0);
            counter = (counter + 1) & 0xFF;
        }
        state = s;
    }

    void subProcessSleep(int sampleFrames) { std::fill_n(pinOut.getBuffer() + blockPos, sampleFrames, 0.0f); }

private:
    static std::uint32_t advance(std::uint32_t s)
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }

    void selectNoise()
    {
        if (pinColor.getValue() != 0)
            setSubProcess(&NoiseGen::subProcessPink);
        else
            setSubProcess(&NoiseGen::subProcessWhite);
    }
};

namespace {
const bool registered = gmpi::Register<NoiseGen>::withId(L"NoiseGen");
}
