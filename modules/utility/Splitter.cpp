// Splitters: a value arriving at any pin is relayed to all the others. Only pin 0
// (Common) is bound; pins 1, 2, ... exist on the host side and become known to the module
// as the host sets them, which it does for every pin at start-up.
#include <algorithm>
#include <string>

#include "mp_sdk_gui.h"

namespace {

template <class Pin>
class Splitter : public SeGuiInvisibleBase {
    Pin pinCommon;
    int highestPin = 0;     // highest pin index the host has set
    bool relaying = false;  // set while this module transmits, so values echoed back stop here

public:
    Splitter() { initializePin(pinCommon); }

    std::int32_t setPin(std::int32_t pinId, std::int32_t voice, std::int32_t size, const void* data) override
    {
        highestPin = std::max(highestPin, static_cast<int>(pinId));
        if (pinId == 0) {
            relaying = true;
            for (int pin = 1; pin <= highestPin; ++pin)
                pinTransmit(pin, size, data, 0);
        } else if (relaying) {
            return SeGuiInvisibleBase::setPin(pinId, voice, size, data);  // an echo of our own relay
        } else {
            pinTransmit(0, size, data, 0);
            relaying = true;
            for (int pin = 1; pin <= highestPin; ++pin)
                if (pin != pinId)
                    pinTransmit(pin, size, data, 0);
        }
        relaying = false;
        // Stores the value for pin 0; unbound indices are rejected.
        return SeGuiInvisibleBase::setPin(pinId, voice, size, data);
    }
};

class SplitterInt : public Splitter<MpGuiPin<int>> {};
class SplitterFloat : public Splitter<MpGuiPin<float>> {};
class SplitterText : public Splitter<StringGuiPin> {};
class SplitterBool : public Splitter<MpGuiPin<bool>> {};
class SplitterBlob : public Splitter<MpGuiPin<MpBlob>> {};

const bool registered = gmpi::Register<SplitterInt>::withId(L"SplitterInt") &&
                        gmpi::Register<SplitterFloat>::withId(L"SplitterFloat") &&
                        gmpi::Register<SplitterText>::withId(L"SplitterText") &&
                        gmpi::Register<SplitterBool>::withId(L"SplitterBool") &&
                        gmpi::Register<SplitterBlob>::withId(L"SplitterBlob");

}  // namespace
