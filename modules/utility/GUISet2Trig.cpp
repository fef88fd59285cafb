// GUISet2Trig: any change of a GUI value becomes one rectangular audio pulse. The GUI half
// flips its Toggle output on every notification of any input; the host carries Toggle to
// the DSP half's Trig input, where every update starts a pulse of PulseLength samples.
#include <algorithm>
#include <string>

#include "mp_sdk_audio.h"
#include "mp_sdk_gui.h"

namespace {

// DSP half: 0 Trig, 1 SkipFirst, 2 PulseLength (samples), 3 Invert, 4 Out (audio).
class GUISet2Trig : public MpBase2 {
    BoolInPin pinTrig;
    BoolInPin pinSkipFirst;
    IntInPin pinPulseLength;
    BoolInPin pinInvert;
    AudioOutPin pinOut;

    int pulseLength = 1000;     // samples, at least 1
    int countdown = 0;          // samples of the current pulse still to write
    bool firstTrigger = true;   // no trigger seen yet (for SkipFirst)
    bool skipFirst = false;
    bool invert = false;        // rest at 1.0 and pulse to 0.0

public:
    GUISet2Trig()
    {
        initializePin(pinTrig);
        initializePin(pinSkipFirst);
        initializePin(pinPulseLength);
        initializePin(pinInvert);
        initializePin(pinOut);
        setSubProcess(&GUISet2Trig::subProcess);
    }

    void onSetPins() override
    {
        if (pinSkipFirst.isUpdated())
            skipFirst = pinSkipFirst;
        if (pinPulseLength.isUpdated())
            pulseLength = std::max(1, pinPulseLength.getValue());
        if (pinInvert.isUpdated() && pinInvert != invert) {
            // The resting level moves: a host holding the static output must read it
            // again. subProcess declares the new level static at once if no pulse runs.
            invert = pinInvert;
            wake();
        }
        if (!pinTrig.isUpdated())
            return;
        if (skipFirst && firstTrigger) {
            firstTrigger = false;  // the value the host sends at start-up is not a change
            return;
        }
        countdown = pulseLength;
        wake();
    }

    void subProcess(int sampleFrames)
    {
        const float active = invert ? 0.0f : 1.0f;
        const float idle = invert ? 1.0f : 0.0f;
        float* out = pinOut.getBuffer() + blockPos;
        for (int i = 0; i < sampleFrames; ++i) {
            if (countdown > 0) {
                out[i] = active;
                --countdown;
                continue;
            }
            if (pinOut.isStreaming())
                pinOut.setStreaming(false, blockPos + i);
            setSleep(true);
            std::fill(out + i, out + sampleFrames, idle);
            return;
        }
    }

private:
    // Output streaming from blockPos, and no sleeping before subProcess has run.
    void wake()
    {
        setSleep(false);
        pinOut.setStreaming(true);
    }
};

// GUI half: 0 to 9 inputs (float, int, text, bool, blob, twice), 10 Toggle (bool out).
class GUISet2TrigGUI : public SeGuiInvisibleBase {
    MpGuiPin<float> pinFloat1;
    MpGuiPin<int> pinInt1;
    StringGuiPin pinText1;
    MpGuiPin<bool> pinBool1;
    MpGuiPin<MpBlob> pinBlob1;
    MpGuiPin<float> pinFloat2;
    MpGuiPin<int> pinInt2;
    StringGuiPin pinText2;
    MpGuiPin<bool> pinBool2;
    MpGuiPin<MpBlob> pinBlob2;
    MpGuiPin<bool> pinToggle;

    int notifications = 0;  // the host's start-up notifications are counted, not acted on
    bool toggle = false;

public:
    GUISet2TrigGUI()
    {
        initializePin(pinFloat1, &GUISet2TrigGUI::onSetPins);
        initializePin(pinInt1, &GUISet2TrigGUI::onSetPins);
        initializePin(pinText1, &GUISet2TrigGUI::onSetPins);
        initializePin(pinBool1, &GUISet2TrigGUI::onSetPins);
        initializePin(pinBlob1, &GUISet2TrigGUI::onSetPins);
        initializePin(pinFloat2, &GUISet2TrigGUI::onSetPins);
        initializePin(pinInt2, &GUISet2TrigGUI::onSetPins);
        initializePin(pinText2, &GUISet2TrigGUI::onSetPins);
        initializePin(pinBool2, &GUISet2TrigGUI::onSetPins);
        initializePin(pinBlob2, &GUISet2TrigGUI::onSetPins);
        initializePin(pinToggle);
    }

    void onSetPins()
    {
        if (notifications < 5) {
            ++notifications;
            return;
        }
        pinToggle = toggle;
        toggle = !toggle;
    }
};

const bool registered = gmpi::Register<GUISet2Trig>::withId(L"GUISet2Trig") &&
                        gmpi::Register<GUISet2TrigGUI>::withId(L"GUISet2Trig");

}  // namespace
