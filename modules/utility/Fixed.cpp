// Fixed values: Val is pushed to both sides, L and R; with Lock set, a change made to
// either side from outside is answered with Val again.
#include <string>

#include "mp_sdk_gui.h"

namespace {

// 0 Val, 1 Lock, 2 L, 3 R.
template <class Pin>
class Fixed : public SeGuiInvisibleBase {
    Pin pinVal;
    MpGuiPin<bool> pinLock;
    Pin pinL;
    Pin pinR;

public:
    Fixed()
    {
        initializePin(pinVal, &Fixed::onSetVal);
        initializePin(pinLock);
        initializePin(pinL, &Fixed::onSetL);
        initializePin(pinR, &Fixed::onSetR);
    }

    void onSetVal()
    {
        pinR = pinVal;
        pinL = pinR;
    }
    void onSetL()
    {
        if (pinLock)
            pinL = pinVal;
    }
    void onSetR()
    {
        if (pinLock)
            pinR = pinVal;
    }
};

class Fixed_Int : public Fixed<MpGuiPin<int>> {};
class Fixed_Float : public Fixed<MpGuiPin<float>> {};
class Fixed_String : public Fixed<StringGuiPin> {};
class Fixed_Bool : public Fixed<MpGuiPin<bool>> {};

const bool registered = gmpi::Register<Fixed_Int>::withId(L"Fixed_Int") &&
                        gmpi::Register<Fixed_Float>::withId(L"Fixed_Float") &&
                        gmpi::Register<Fixed_String>::withId(L"Fixed_String") &&
                        gmpi::Register<Fixed_Bool>::withId(L"Fixed_Bool");

}  // namespace
