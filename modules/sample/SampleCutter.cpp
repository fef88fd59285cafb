// SampleCutter: on a true Cut, replaces the Sample blob by the frames Start .. End of
// itself (End beyond the sample means its last frame) and sends the result. A range
// that is empty or starts outside the sample leaves the sample as it is.
#include <cstdint>

#include "mp_sdk_gui.h"

namespace {

class SampleCutter : public SeGuiInvisibleBase {
    MpGuiPin<MpBlob> pinSample;  // read and written
    MpGuiPin<int> pinStart;      // first frame kept; negative counts as 0
    MpGuiPin<int> pinEnd;        // last frame kept
    MpGuiPin<bool> pinCut;

public:
    SampleCutter()
    {
        initializePin(pinSample);
        initializePin(pinStart);
        initializePin(pinEnd);
        initializePin(pinCut, &SampleCutter::onSetCut);
    }

    void onSetCut()
    {
        if (!pinCut)
            return;
        const MpBlob& blob = pinSample;
        const int size = blob.getSize();
        if (size <= 0 || size % 4 != 0 || !blob.getData())
            return;
        const std::int64_t frames = size / 4;
        const std::int64_t first = pinStart > 0 ? pinStart.getValue() : 0;
        const std::int64_t last = pinEnd < frames ? pinEnd.getValue() : frames - 1;
        if (first >= frames || last <= first)
            return;
        pinSample = MpBlob(static_cast<std::size_t>(4 * (last - first + 1)), blob.getData() + 4 * first);
    }
};

const bool registered = gmpi::Register<SampleCutter>::withId(L"SampleCutter");

}  // namespace
