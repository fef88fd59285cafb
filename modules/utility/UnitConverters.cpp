// Two-way unit converters: a change on either side recomputes the other, in single
// precision. Assigning the computed side sends it only when it changes and does not run
// that side's handler, so a conversion does not echo back.
//   Level: dB = 20 log10(V / 10), V = 10 x 10^(dB / 20): 10 V is 0 dB, 0 V is -inf dB.
//   Pitch: Hz = 440 x 2^(Oct - 5), Oct = log2(Hz / 440) + 5: octave 5 is 440 Hz.
#include <cmath>

#include "mp_sdk_gui.h"

namespace {

struct VoltsToDecibels {
    static float forward(float volts) { return 20.0f * std::log10(volts * 0.1f); }
    static float backward(float decibels) { return 10.0f * std::pow(10.0f, decibels * 0.05f); }
};

struct OctavesToHertz {
    static float forward(float octaves) { return 440.0f * std::exp2(octaves - 5.0f); }
    static float backward(float hertz) { return std::log2(hertz / 440.0f) + 5.0f; }
};

// Pin A holds the forward conversion's input, pin B its output. `aFirst`: A is pin 0.
template <class Conversion, bool aFirst>
class TwoWayConverter : public SeGuiInvisibleBase {
    MpGuiPin<float> pinA;
    MpGuiPin<float> pinB;

public:
    TwoWayConverter()
    {
        if (aFirst) {
            initializePin(pinA, &TwoWayConverter::onSetA);
            initializePin(pinB, &TwoWayConverter::onSetB);
        } else {
            initializePin(pinB, &TwoWayConverter::onSetB);
            initializePin(pinA, &TwoWayConverter::onSetA);
        }
    }

    void onSetA() { pinB = Conversion::forward(pinA); }
    void onSetB() { pinA = Conversion::backward(pinB); }
};

class KV_V2dB : public TwoWayConverter<VoltsToDecibels, true> {};    // 0 V, 1 dB
class KV_dB2V : public TwoWayConverter<VoltsToDecibels, false> {};   // 0 dB, 1 V
class KV_Oct2Hz : public TwoWayConverter<OctavesToHertz, true> {};   // 0 Oct, 1 Hz
class KV_Hz2Oct : public TwoWayConverter<OctavesToHertz, false> {};  // 0 Hz, 1 Oct

const bool registered = gmpi::Register<KV_V2dB>::withId(L"KV_V2dB") && gmpi::Register<KV_dB2V>::withId(L"KV_dB2V") &&
                        gmpi::Register<KV_Oct2Hz>::withId(L"KV_Oct2Hz") &&
                        gmpi::Register<KV_Hz2Oct>::withId(L"KV_Hz2Oct");

}  // namespace
