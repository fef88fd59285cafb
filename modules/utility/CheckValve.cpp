// Check valves: a value passes from one pin to the other in one direction only. Both pins
// hold the raw 32 bits (int, float and bool values alike) and copy them bit for bit.
#include "mp_sdk_gui.h"

namespace {

// fromPin 0: left to right; fromPin 1: right to left.
template <int fromPin>
class CheckValve : public SeGuiInvisibleBase {
    MpGuiPin<int> pinL;
    MpGuiPin<int> pinR;

public:
    CheckValve()
    {
        initializePin(pinL);
        initializePin(pinR);
    }

    // The copy happens as the value is stored, not in a notification handler.
    std::int32_t setPin(std::int32_t pinId, std::int32_t voice, std::int32_t size, const void* data) override
    {
        const std::int32_t result = SeGuiInvisibleBase::setPin(pinId, voice, size, data);
        if (result == gmpi::MP_OK && pinId == fromPin) {
            if constexpr (fromPin == 0)
                pinR = pinL;
            else
                pinL = pinR;
        }
        return result;
    }
};

class CheckValveLR : public CheckValve<0> {};
class CheckValveRL : public CheckValve<1> {};

const bool registered = gmpi::Register<CheckValveLR>::withId(L"CheckValveLR_Int") &&
                        gmpi::Register<CheckValveLR>::withId(L"CheckValveLR_Float") &&
                        gmpi::Register<CheckValveLR>::withId(L"CheckValveLR_Bool") &&
                        gmpi::Register<CheckValveRL>::withId(L"CheckValveRL_Int") &&
                        gmpi::Register<CheckValveRL>::withId(L"CheckValveRL_Float") &&
                        gmpi::Register<CheckValveRL>::withId(L"CheckValveRL_Bool");

}  // namespace
