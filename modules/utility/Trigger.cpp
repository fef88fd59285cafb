// Triggers: copy an input value to an output when a trigger pin is set true. Every true
// notification samples again, so repeated triggers keep the output following the input;
// the output transmits only when its value changes.
#include <string>

#include "mp_sdk_gui.h"

namespace {

// First generation: 0 Out, 1 In, 2 TrgL, 3 TrgR.
template <class Pin>
class Trigger : public SeGuiInvisibleBase {
    Pin pinOut;
    Pin pinIn;
    MpGuiPin<bool> pinTrgL;
    MpGuiPin<bool> pinTrgR;

public:
    Trigger()
    {
        initializePin(pinOut);
        initializePin(pinIn);
        initializePin(pinTrgL, &Trigger::onSetTrgL);
        initializePin(pinTrgR, &Trigger::onSetTrgR);
    }

    void onSetTrgL()
    {
        if (pinTrgL)
            pinOut = pinIn;
    }
    void onSetTrgR()
    {
        if (pinTrgR)
            pinOut = pinIn;
    }
};

// Second generation: 0 In, 1 Out, 2 TrgL, 3 TrgR, 4 Held (the sampled value).
template <class Pin>
class Trigger2 : public SeGuiInvisibleBase {
    Pin pinIn;
    Pin pinOut;
    MpGuiPin<bool> pinTrgL;
    MpGuiPin<bool> pinTrgR;
    Pin pinHeld;

public:
    Trigger2()
    {
        initializePin(pinIn);
        initializePin(pinOut);
        initializePin(pinTrgL, &Trigger2::onSetTrgL);
        initializePin(pinTrgR, &Trigger2::onSetTrgR);
        initializePin(pinHeld);
    }

    void onSetTrgL()
    {
        if (pinTrgL)
            sample();
    }
    void onSetTrgR()
    {
        if (pinTrgR)
            sample();
    }

private:
    void sample()
    {
        pinHeld = pinIn;
        pinOut = pinHeld;
    }
};

class TriggerInt : public Trigger<MpGuiPin<int>> {};
class TriggerFloat : public Trigger<MpGuiPin<float>> {};
class TriggerString : public Trigger<StringGuiPin> {};
class TriggerBool : public Trigger<MpGuiPin<bool>> {};
class TriggerBlob : public Trigger<MpGuiPin<MpBlob>> {};
class KV_TriggerInt2 : public Trigger2<MpGuiPin<int>> {};
class KV_TriggerFloat2 : public Trigger2<MpGuiPin<float>> {};
class KV_TriggerString2 : public Trigger2<StringGuiPin> {};
class KV_TriggerBool2 : public Trigger2<MpGuiPin<bool>> {};
class KV_TriggerBlob2 : public Trigger2<MpGuiPin<MpBlob>> {};

const bool registered = gmpi::Register<TriggerInt>::withId(L"TriggerInt") &&
                        gmpi::Register<TriggerFloat>::withId(L"TriggerFloat") &&
                        gmpi::Register<TriggerString>::withId(L"TriggerString") &&
                        gmpi::Register<TriggerBool>::withId(L"TriggerBool") &&
                        gmpi::Register<TriggerBlob>::withId(L"TriggerBlob") &&
                        gmpi::Register<KV_TriggerInt2>::withId(L"KV_TriggerInt2") &&
                        gmpi::Register<KV_TriggerFloat2>::withId(L"KV_TriggerFloat2") &&
                        gmpi::Register<KV_TriggerString2>::withId(L"KV_TriggerString2") &&
                        gmpi::Register<KV_TriggerBool2>::withId(L"KV_TriggerBool2") &&
                        gmpi::Register<KV_TriggerBlob2>::withId(L"KV_TriggerBlob2");

}  // namespace
