// Morph2D: fades around a ring of audio inputs by Position and blends, by Focus, between
// the crossfade of the two neighbours at that position (Focus 1) and the equal mix of all
// inputs (Focus 0). The end of the Position range wraps back to the first input. The
// weights are recomputed only when Position or Focus change; the inputs are the ones the
// host instantiated, found with the pin iterator when the module opens.
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "MorphCurve.h"
#include "mp_sdk_audio.h"

class Morph2D : public MpBase2 {
    AudioInPin pinPosition;  // [0, 1] around the ring
    AudioInPin pinFocus;     // [0, 1]: equal mix .. neighbour crossfade
    EnumInPin pinCurve;      // non-zero: shape the weights by the curve table
    AudioOutPin pinOut;

    std::vector<std::unique_ptr<AudioInPin>> inputs;  // created in open(), in pin order
    std::vector<const float*> cursors;                // one per input, reused every call
    std::vector<float> weights;                       // one per input, for lastPosition/lastFocus
    // What the weights were computed for; NaN compares unequal to everything, so the first
    // sample (and the first after a curve change) always computes them.
    float lastPosition = std::numeric_limits<float>::quiet_NaN();
    float lastFocus = std::numeric_limits<float>::quiet_NaN();
    bool curve = false;
    const float* curveTable = nullptr;  // shared; null when the host has none (curve off)

public:
    std::int32_t open() override
    {
        const std::int32_t result = MpBase2::open();
        initializePin(0, pinPosition);
        initializePin(1, pinFocus);
        initializePin(2, pinCurve);
        initializePin(3, pinOut);
        setSubProcess(&Morph2D::subProcess);

        PinIterator it(this);
        int audioInputs = 0;
        for (bool more = it.first(); more; more = it.next()) {
            if (it.getDirection() != gmpi::MP_IN || it.getDatatype() != gmpi::MP_AUDIO)
                continue;
            if (++audioInputs <= 2)
                continue;  // Position and Focus
            inputs.push_back(std::make_unique<AudioInPin>());
            initializePin(4 + audioInputs - 3, *inputs.back());
        }
        cursors.resize(inputs.size());
        weights.assign(inputs.size(), 0.0f);
        curveTable = morph_curve::request(getHost());
        return result;
    }

    void onSetPins() override
    {
        if (pinCurve.isUpdated()) {
            curve = pinCurve != 0;
            lastPosition = lastFocus = std::numeric_limits<float>::quiet_NaN();
        }
        bool streaming = pinPosition.isStreaming() || pinFocus.isStreaming();
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
        const float* focus = pinFocus.getBuffer() + blockPos;
        for (int k = 0; k < n; ++k)
            cursors[k] = inputs[k]->getBuffer() + blockPos;
        for (int i = 0; i < sampleFrames; ++i) {
            const float y = morph_curve::unitRange(focus[i]);
            const float x = morph_curve::unitRange(position[i]);
            if (x != lastPosition || y != lastFocus) {
                lastPosition = x;
                lastFocus = y;
                computeWeights(x, y);
            }
            float sum = 0.0f;
            for (int k = 0; k < n; ++k)
                sum += weights[k] * cursors[k][i];
            out[i] = sum;
        }
    }

private:
    // At most three inputs lie within one of the position e = x * n (the two around it,
    // and the first input again past the last): they get their own weight; every other
    // input has t = 0 and shares one weight. The arithmetic per weight is the same.
    void computeWeights(float x, float y)
    {
        const int n = static_cast<int>(inputs.size());
        const float count = static_cast<float>(n);
        const float e = x * count;
        const float share = 1.0f / count;
        const float* table = curve ? curveTable : nullptr;
        const auto weightOf = [&](int k) {
            const float compared = (k == 0 && e > count - 1.0f) ? e - count : e;
            const float t = std::fmax(0.0f, 1.0f - std::fabs(compared - static_cast<float>(k)));
            const float o = t * y + 1.0f - y;
            const float w = o * y + share * o * (1.0f - y);
            return table ? morph_curve::shape(table, morph_curve::unitRange(w)) : w;
        };
        const float outside = [&] {
            const float o = 1.0f - y;
            const float w = o * y + share * o * (1.0f - y);
            return table ? morph_curve::shape(table, morph_curve::unitRange(w)) : w;
        }();
        std::fill(weights.begin(), weights.end(), outside);
        const int below = std::min(static_cast<int>(e), n - 1);
        weights[below] = weightOf(below);
        if (below + 1 < n)
            weights[below + 1] = weightOf(below + 1);
        weights[0] = weightOf(0);
    }
};

namespace {
const bool registered = gmpi::Register<Morph2D>::withId(L"Morph2D");
}
