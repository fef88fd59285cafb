// Note names and pitch: Pitch in octaves (5.0 = A 440 Hz), MIDI note number (69 = A 440),
// and Key (0 = A ... 11 = G#) with Octave, kept in step whichever side changes.
#include <cmath>
#include <cstdint>
#include <string>

#include "mp_sdk_gui.h"

namespace {

// trunc(x) as an int, saturating; NaN gives 0.
int truncateToInt(float x)
{
    if (!(x == x))
        return 0;
    if (x >= 2147483648.0f)
        return INT32_MAX;
    if (x <= -2147483648.0f)
        return INT32_MIN;
    return static_cast<int>(x);
}

// 0 Pitch, 1 Midi, 2 Key, 3 KeyList, 4 Octave, 5 OctaveList.
class KV_Note2Pitch : public SeGuiInvisibleBase {
    MpGuiPin<float> pinPitch;
    MpGuiPin<int> pinMidi;
    MpGuiPin<int> pinKey;
    StringGuiPin pinKeyList;
    MpGuiPin<int> pinOctave;
    StringGuiPin pinOctaveList;

    bool busy = false;  // set while onSetKey assigns, so the host's echoes do not recompute the key

public:
    KV_Note2Pitch()
    {
        initializePin(pinPitch, &KV_Note2Pitch::onSetPitch);
        initializePin(pinMidi, &KV_Note2Pitch::onSetMidi);
        initializePin(pinKey, &KV_Note2Pitch::onSetKey);
        initializePin(pinKeyList);
        initializePin(pinOctave, &KV_Note2Pitch::onSetKey);
        initializePin(pinOctaveList);
    }

    std::int32_t initialize() override
    {
        pinKeyList = L"A,A#,B,C,C#,D,D#,E,F,F#,G,G#";
        pinOctaveList = L"range 0,9";
        return SeGuiInvisibleBase::initialize();
    }

    void onSetKey()
    {
        busy = true;
        pinPitch = static_cast<float>(pinKey) / 12.0f + static_cast<float>(pinOctave);
        // In 64 bits, then wrapped: out-of-range keys and octaves must not overflow.
        const std::int64_t midi = std::int64_t{pinKey} + 12 * std::int64_t{pinOctave} + 9;
        pinMidi = static_cast<int>(static_cast<std::uint32_t>(midi));
        busy = false;
    }

    void onSetPitch()
    {
        if (busy)
            return;
        const int n = truncateToInt(pinPitch * 12.0f);
        pinKey = n % 12;
        pinOctave = truncateToInt(pinPitch);
        pinMidi = static_cast<int>(static_cast<std::uint32_t>(n) + 9u);
    }

    void onSetMidi()
    {
        if (busy)
            return;
        const std::int64_t m = std::int64_t{pinMidi} - 9;
        pinKey = static_cast<int>(m % 12);
        pinOctave = static_cast<int>(m / 12);
        pinPitch = static_cast<float>(m) / 12.0f;
    }
};

const bool registered = gmpi::Register<KV_Note2Pitch>::withId(L"KV_Note2Pitch");

}  // namespace
