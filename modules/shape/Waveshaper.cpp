// Waveshaper: a shape as a transfer curve on two independent channels. An input of
// shape x / 10 (-0.5 .. +0.5) comes out as the curve's y / 10; inputs beyond that range
// take the curve's end values.
#include <cstring>

#include "ShapeInterpolation.h"
#include "ShapeString.h"
#include "mp_sdk_audio.h"

class Waveshaper : public MpBase2 {
    StringInPin pinShape;
    AudioInPin pinInL;
    AudioInPin pinInR;
    EnumInPin pinInterpolation;  // Linear, Spline, Lagrange; larger values act as Lagrange
    AudioOutPin pinOutL;
    AudioOutPin pinOutR;

    static constexpr int tableSize = shapeTableSize;
    static constexpr int lastIndex = tableSize - 1;

    float table[tableSize] = {};  // curve y in -1 .. +1 nominal, unclamped
    Node nodes[maxShapeNodes] = {};
    int count = 0;
    int mode = interpolationLinear;

public:
    Waveshaper()
    {
        initializePin(pinShape);
        initializePin(pinInL);
        initializePin(pinInR);
        initializePin(pinInterpolation);
        initializePin(pinOutL);
        initializePin(pinOutR);
        setSubProcess(&Waveshaper::subProcess);
    }

    void onSetPins() override
    {
        if (pinShape.isUpdated()) {
            count = parseNodes(pinShape.getValue(), 0.0f, 1.0f, -1.0f, 1.0f, nodes);
            if (count > 0) {
                toTableGrid(nodes, count);
                fillLUT();
            } else {
                std::memset(table, 0, sizeof table);
            }
        }
        if (pinInterpolation.isUpdated()) {
            const int m = std::min(pinInterpolation.getValue(), static_cast<int>(interpolationLagrange));
            if (m != mode) {
                mode = m;
                if (count > 0)
                    fillLUT();
            }
        }
        pinOutL.setStreaming(pinInL.isStreaming());
        pinOutR.setStreaming(pinInR.isStreaming());
    }

    void subProcess(int sampleFrames)
    {
        shapeChannel(pinInL.getBuffer() + blockPos, pinOutL.getBuffer() + blockPos, sampleFrames);
        shapeChannel(pinInR.getBuffer() + blockPos, pinOutR.getBuffer() + blockPos, sampleFrames);
    }

private:
    void shapeChannel(const float* in, float* out, int sampleFrames) const
    {
        for (int s = 0; s < sampleFrames; ++s) {
            float a = in[s] + 0.5f;
            a = a > 1.0f ? 1.0f : (a >= 0.0f ? a : 0.0f);  // not-a-number reads as 0
            a *= static_cast<float>(lastIndex);
            const int i = static_cast<int>(a);
            const float t = a - static_cast<float>(i);
            out[s] = i == lastIndex ? 0.5f * table[lastIndex] : 0.5f * (t * table[i + 1] + (1.0f - t) * table[i]);
        }
    }

    void fillLUT()
    {
        std::memset(table, 0, sizeof table);
        interpolateSegments(nodes, count, mode, tableSize, [this](int index, float value) { table[index] = value; });
    }
};

namespace {
const bool registered = gmpi::Register<Waveshaper>::withId(SHAPE_MODULE_ID("Waveshaper"));
}
