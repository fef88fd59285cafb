// SampleValueDSP: outputs the value of frame Pos of a sample blob when Pos changes. A
// Pos outside the sample, or no valid sample, leaves Value as it was; a new sample alone
// does not update Value.
#include <cstring>

#include "mp_sdk_audio.h"

namespace {

class SampleValueDSP : public MpBase2 {
    BlobInPin pinSample;
    IntInPin pinPos;  // frame
    FloatOutPin pinValue;

public:
    SampleValueDSP()
    {
        initializePin(pinSample);
        initializePin(pinPos);
        initializePin(pinValue);
    }

    void onSetPins() override
    {
        if (!pinPos.isUpdated())
            return;
        const MpBlob& blob = pinSample;
        const int size = blob.getSize();
        const int pos = pinPos;
        if (size <= 0 || size % 4 != 0 || !blob.getData() || pos < 0 || pos >= size / 4)
            return;
        float value;
        std::memcpy(&value, blob.getData() + 4 * static_cast<std::size_t>(pos), sizeof value);
        pinValue = value;  // published only when it differs
    }
};

const bool registered = gmpi::Register<SampleValueDSP>::withId(L"SampleValueDSP");

}  // namespace
