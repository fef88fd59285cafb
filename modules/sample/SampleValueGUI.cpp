// SampleValueGUI: the interface-side reader of one sample frame. When Pos is set, Value
// becomes frame Pos of the sample and is sent when it differs. A Pos outside the sample,
// or no valid sample, leaves Value as it was; a new sample alone does not update Value.
#include <cstring>

#include "mp_sdk_gui.h"

namespace {

class SampleValueGUI : public SeGuiInvisibleBase {
    MpGuiPin<MpBlob> pinSample;
    MpGuiPin<int> pinPos;  // frame
    MpGuiPin<float> pinValue;

public:
    SampleValueGUI()
    {
        initializePin(pinSample);
        initializePin(pinPos, &SampleValueGUI::onSetPos);
        initializePin(pinValue);
    }

    void onSetPos()
    {
        const MpBlob& blob = pinSample;
        const int size = blob.getSize();
        const int pos = pinPos;
        if (size <= 0 || size % 4 != 0 || !blob.getData() || pos < 0 || pos >= size / 4)
            return;
        float value;
        std::memcpy(&value, blob.getData() + 4 * static_cast<std::size_t>(pos), sizeof value);
        pinValue = value;
    }
};

const bool registered = gmpi::Register<SampleValueGUI>::withId(L"SampleValueGUI");

}  // namespace
