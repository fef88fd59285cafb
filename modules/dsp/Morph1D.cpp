// Morph1D: crossfades along a line of audio inputs by one position control. Position 0
// gives the first input alone, 1 the last; in between two neighbours mix linearly, or
// along the shared gain curve. The inputs are the ones the host instantiated, found with
// the pin iterator when the module opens.
#include <cmath>
#include <memory>
#include <vector>

#include "MorphCurve.h"
#include "mp_sdk_audio.h"

class Morph1D : public MpBase2 {
    AudioInPin pinPosition;  // [0, 1]
    EnumInPin pinCurve;      // non-zero: shape the weights by the curve table
    AudioOutPin pinOut;

    std::vector<std::unique_ptr<AudioInPin>> inputs;  // created in open(), in pin order
    std::vector<const float*> cursors;                // one per input, reused every call
    bool curve = false;
    const float* curveTable = nullptr;  // shared; null when the host has none (curve off)

public:
    std::int32_t open() override
    {
        const std::int32_t result = MpBase2::open();
        initializePin(0, pinPosition);
        initializePin(1, pinCurve);
        initializePin(2, pinOut);
        setSubProcess(&Morph1D::subProcess);

        PinIterator it(this);
        int audioInputs = 0;
        for (bool more = it.first(); more; more = it.next()) {
            if (it.getDirection() != gmpi::MP_IN || it.getDatatype() != gmpi::MP_AUDIO)
                continue;
            if (++audioInputs <= 1)
                continue;  // Position
            inputs.push_back(std::make_unique<AudioInPin>());
            initializePin(2 + audioInputs - 1, *inputs.back());
        }
        cursors.resize(inputs.size());
        curveTable = morph_curve::request(getHost());
        return result;
    }

    void onSetPins() override
    {
        if (pinCurve.isUpdated())
            curve = pinCurve != 0;
        bool streaming = pinPosition.isStreaming();
        for (const auto& input : inputs)
            streaming |= input->isStreaming();
        pinOut.setStreaming(streaming, -1);
    }

    void subProcess(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        const int n = static_cast<int>(inputs.size());
        if (n == 0) {
            std::fill_n(out, sampleFrames, 0.0f);
            return;
        }
        const float* position = pinPosition.getBuffer() + blockPos;
        for (int j = 0; j < n; ++j)
            cursors[j] = inputs[j]->getBuffer() + blockPos;
        const float* table = curve ? curveTable : nullptr;
        const float span = static_cast<float>(n - 1);
        if (!table) {
            // Only the two inputs around the position have a weight above 0.
            for (int i = 0; i < sampleFrames; ++i) {
                const float p = morph_curve::unitRange(position[i]) * span;
                const int below = static_cast<int>(p);
                float sum = (1.0f - std::fabs(p - static_cast<float>(below))) * cursors[below][i];
                if (below + 1 < n)
                    sum += std::fmax(0.0f, 1.0f - std::fabs(p - static_cast<float>(below + 1))) * cursors[below + 1][i];
                out[i] = sum;
            }
            return;
        }
        // With the curve every input has a weight: the curve's value at 0 for all but the
        // two around the position.
        const float atZero = morph_curve::shape(table, 0.0f);
        for (int i = 0; i < sampleFrames; ++i) {
            const float p = morph_curve::unitRange(position[i]) * span;
            const int below = static_cast<int>(p);
            float rest = 0.0f;
            for (int j = 0; j < n; ++j)
                if (j != below && j != below + 1)
                    rest += cursors[j][i];
            float sum = 0.0f;
            for (int j = below; j <= below + 1 && j < n; ++j) {
                const float w = std::fmax(0.0f, 1.0f - std::fabs(p - static_cast<float>(j)));
                sum += morph_curve::shape(table, w) * cursors[j][i];
            }
            out[i] = sum + atZero * rest;
        }
    }
};

namespace {
const bool registered = gmpi::Register<Morph1D>::withId(L"Morph1D");
}
