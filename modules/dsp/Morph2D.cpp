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
    // The weights for lastPosition/lastFocus: `outside` for every input, then value[j]
    // written over input index[j] for j = 0, 1, 2 in that order.
    struct Weights {
        float outside = 0.0f;
        int index[3] = {};
        float value[3] = {};
    };
    Weights weights;
    static constexpr int chunk = 16;  // samples summed together
    std::vector<float> columns;       // weight of input k for chunk sample i at [k * chunk + i]
    float inverseCount = 0.0f;        // 1 / inputs
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
        columns.assign(inputs.size() * chunk, 0.0f);
        inverseCount = inputs.empty() ? 0.0f : 1.0f / static_cast<float>(inputs.size());
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
        // In chunks: first every sample's weights, then the sum input by input over the
        // chunk. Each sample still adds its products in input order from 0, so the result is
        // that of the sample-by-sample sum; the inner loops run over contiguous samples.
        float* column = columns.data();
        Weights current = weights;
        float x0 = lastPosition;
        float y0 = lastFocus;
        for (int first = 0; first < sampleFrames; first += chunk) {
            const int count = std::min(chunk, sampleFrames - first);
            float outside[chunk];
            int slot[3][chunk];  // where value[j][i] goes in `column`
            float value[3][chunk];
            for (int i = 0; i < count; ++i) {
                const float y = morph_curve::unitRange(focus[first + i]);
                const float x = morph_curve::unitRange(position[first + i]);
                if (x != x0 || y != y0) {
                    x0 = x;
                    y0 = y;
                    current = weightsFor(x, y);
                }
                outside[i] = current.outside;
                for (int j = 0; j < 3; ++j) {
                    slot[j][i] = current.index[j] * chunk + i;
                    value[j][i] = current.value[j];
                }
            }
            for (int k = 0; k < n; ++k) {
                if (count == chunk)
                    copyWeights<chunk>(column + k * chunk, outside);
                else
                    std::copy_n(outside, count, column + k * chunk);
            }
            for (int i = 0; i < count; ++i)
                for (int j = 0; j < 3; ++j)
                    column[slot[j][i]] = value[j][i];

            // Summed apart from the output: the host may hand an input's buffer as the output.
            float sum[chunk] = {};
            for (int k = 0; k < n; ++k) {
                if (count == chunk)
                    addProducts<chunk>(sum, column + k * chunk, cursors[k] + first);
                else
                    addProducts(sum, column + k * chunk, cursors[k] + first, count);
            }
            std::copy_n(sum, count, out + first);
        }
        weights = current;
        lastPosition = x0;
        lastFocus = y0;
    }

private:
    // sum[i] += weight[i] x in[i] for `count` samples; the three never overlap.
    static void addProducts(float* __restrict sum, const float* __restrict weight, const float* __restrict in,
                            int count)
    {
        for (int i = 0; i < count; ++i)
            sum[i] += weight[i] * in[i];
    }
    template <int count>
    static void addProducts(float* __restrict sum, const float* __restrict weight, const float* __restrict in)
    {
        for (int i = 0; i < count; ++i)
            sum[i] += weight[i] * in[i];
    }
    template <int count>
    static void copyWeights(float* __restrict to, const float* __restrict from)
    {
        for (int i = 0; i < count; ++i)
            to[i] = from[i];
    }

    // At most three inputs lie within one of the position e = x * n (the two around it,
    // and the first input again past the last): they get their own weight; every other
    // input has t = 0 and shares one weight. The arithmetic per weight is the same.
    Weights weightsFor(float x, float y) const
    {
        const int n = static_cast<int>(inputs.size());
        const float count = static_cast<float>(n);
        const float e = x * count;
        const float share = inverseCount;
        const float* table = curve ? curveTable : nullptr;
        const auto weightOf = [&](int k) {
            const float compared = (k == 0 && e > count - 1.0f) ? e - count : e;
            // 1 - |d| is never -0 or NaN here, so this is fmax(0, 1 - |d|).
            const float distance = 1.0f - std::fabs(compared - static_cast<float>(k));
            const float t = distance > 0.0f ? distance : 0.0f;
            const float o = t * y + 1.0f - y;
            const float w = o * y + share * o * (1.0f - y);
            return table ? morph_curve::shape(table, morph_curve::unitRange(w)) : w;
        };
        const float outside = [&] {
            const float o = 1.0f - y;
            const float w = o * y + share * o * (1.0f - y);
            return table ? morph_curve::shape(table, morph_curve::unitRange(w)) : w;
        }();
        Weights result;
        result.outside = outside;
        const int below = std::min(static_cast<int>(e), n - 1);
        result.index[0] = below;
        result.value[0] = weightOf(below);
        // Without an input past `below`, its entry repeats the first one.
        result.index[1] = below + 1 < n ? below + 1 : below;
        result.value[1] = below + 1 < n ? weightOf(below + 1) : result.value[0];
        result.index[2] = 0;
        result.value[2] = weightOf(0);
        return result;
    }
};

namespace {
const bool registered = gmpi::Register<Morph2D>::withId(L"Morph2D");
}
