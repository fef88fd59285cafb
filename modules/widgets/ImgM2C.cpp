// ImgM2C: passes an image menu's selection on as a choice. An image menu reports -1 while
// nothing is chosen; that leaves Choice as it was, every other selection becomes Choice.
//
// Pins: 0 Choice int (sent), 1 Sel int. All calls arrive on the user-interface thread.
#include "mp_sdk_gui.h"

namespace {

// The selection an image menu reports while nothing is chosen.
constexpr int nothingChosen = -1;

class ImgM2C : public SeGuiInvisibleBase {
    MpGuiPin<int> pinChoice;
    MpGuiPin<int> pinSel;

public:
    ImgM2C()
    {
        initializePin(pinChoice);
        initializePin(pinSel, &ImgM2C::onSetSel);
    }

    void onSetSel()
    {
        if (pinSel != nothingChosen)
            pinChoice = pinSel.getValue();  // sent only when it differs
    }
};

const bool registered = gmpi::Register<ImgM2C>::withId(L"ImgM2C");

}  // namespace
