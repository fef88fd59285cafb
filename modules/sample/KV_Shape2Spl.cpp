// KV_Shape2Spl: renders a shape string into a sample blob of Size frames (10 .. 262144),
// with the shape's Linear, Spline or Lagrange interpolation, or None (only the node
// frames set). Values are limited to -1 .. 1 and scaled by Range x 0.1. Renders when
// the interpolation, range or size is set and when MouseDown falls (the end of an edit
// in a connected shape editor); a new shape alone waits for one of those.
#include <algorithm>
#include <cmath>
#include <memory>

#include "ShapeInterpolation.h"
#include "ShapeString.h"
#include "mp_sdk_gui.h"

namespace {

constexpr int minimumSize = 10;
constexpr int maximumSize = 262144;

class KV_Shape2Spl : public SeGuiInvisibleBase {
    MpGuiPin<std::wstring> pinShape;
    MpGuiPin<int> pinITP;      // 0 Linear, 1 Spline, 2 Lagrange, 3 None
    MpGuiPin<float> pinRange;  // amplitude x 10
    MpGuiPin<int> pinSize;     // frames
    MpGuiPin<MpBlob> pinSample;
    MpGuiPin<bool> pinMouseDown;

    Node nodes[maxShapeNodes] = {};  // x in 0 .. 1, y in -1 .. 1
    int count = 0;
    int mode = interpolationLinear;
    float amplitude = 0.5f;
    int size = 0;
    std::unique_ptr<float[]> samples = std::make_unique<float[]>(maximumSize);  // zeroed

public:
    KV_Shape2Spl()
    {
        initializePin(pinShape, &KV_Shape2Spl::onSetShape);
        initializePin(pinITP, &KV_Shape2Spl::onSetITP);
        initializePin(pinRange, &KV_Shape2Spl::onSetRange);
        initializePin(pinSize, &KV_Shape2Spl::onSetSize);
        initializePin(pinSample);
        initializePin(pinMouseDown, &KV_Shape2Spl::onSetMouseDown);
    }

    void onSetShape()
    {
        // The lenient classic parser: this bundle reads shapes as the classic modules do.
        count = parseNodes(ShapeParserForm::classic, pinShape.getValue(), 0.0f, 1.0f, -1.0f, 1.0f, nodes);
    }
    void onSetITP()
    {
        mode = std::clamp(pinITP.getValue(), 0, 3);
        shape2Spl();
    }
    void onSetRange()
    {
        if (std::isfinite(pinRange.getValue()))  // otherwise the amplitude stays
            amplitude = pinRange.getValue() * 0.1f;
        shape2Spl();
    }
    void onSetSize()
    {
        size = std::clamp(pinSize.getValue(), minimumSize, maximumSize);
        shape2Spl();
    }
    void onSetMouseDown()
    {
        if (!pinMouseDown)
            shape2Spl();
    }

    // Renders the first `size` frames and sends them. Frames outside the first and last
    // node positions keep what an earlier render left there.
    void shape2Spl()
    {
        if (count < 2 || size == 0)
            return;
        Node positioned[maxShapeNodes];
        const float last = static_cast<float>(size - 1);
        for (int k = 0; k < count; ++k)
            positioned[k] = {nodes[k].x * last, nodes[k].y};
        float* out = samples.get();
        if (mode == interpolationNone) {
            std::fill(out, out + size, 0.0f);
            for (int k = 0; k < count; ++k) {
                const float x = positioned[k].x;
                if (x >= 0.0f && x < static_cast<float>(size))
                    out[static_cast<int>(x)] = positioned[k].y * amplitude;
            }
        } else {
            const float scale = amplitude;
            interpolateSegments(positioned, count, mode, size, [out, scale](int index, float value) {
                out[index] = std::clamp(value, -1.0f, 1.0f) * scale;
            });
        }
        pinSample = MpBlob(static_cast<std::size_t>(size) * 4, out);
    }
};

const bool registered = gmpi::Register<KV_Shape2Spl>::withId(L"KV_Shape2Spl");

}  // namespace
