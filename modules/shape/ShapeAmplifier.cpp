// Shape amplifier: scales every node's y of a shape about a centre level and outputs
// the new shape string (x unchanged, y limited to -5 .. +5).
#include "ShapeOutPin.h"
#include "mp_sdk_audio.h"

class ShapeAmp : public MpBase2 {
    StringInPin pinShape;
    FloatInPin pinCenter;  // pivot level in shape units, -5 .. +5
    FloatInPin pinGain;    // y scale factor
    ShapeOutPin pinShapeOut;

    Node nodes[maxShapeNodes] = {};  // shape units
    int count = 0;
    float center = 0;
    float gain = 0;
    ShapeWriter writer;

public:
    ShapeAmp()
    {
        initializePin(pinShape);
        initializePin(pinCenter);
        initializePin(pinGain);
        initializePin(pinShapeOut);
    }

    void onSetPins() override
    {
        bool changed = false;
        if (pinShape.isUpdated()) {
            count = parseNodes(pinShape.getValue(), -5.0f, 5.0f, -5.0f, 5.0f, nodes);
            changed = true;
        }
        if (pinCenter.isUpdated()) {
            const float value = pinCenter;
            const float c = value > 5.0f ? 5.0f : (value >= -5.0f ? value : -5.0f);  // not-a-number: -5
            if (c != center) {
                center = c;
                changed = true;
            }
        }
        if (pinGain.isUpdated() && pinGain.getValue() != gain) {
            gain = pinGain;
            changed = true;
        }
        if (changed) {
            pinShapeOut = writer.write(nodes, count, [this](int, const Node& n) {
                const float y = (n.y - center) * gain + center;
                return y > 5.0f ? 5.0f : (y >= -5.0f ? y : -5.0f);
            });
        }
    }
};

namespace {
const bool registered = gmpi::Register<ShapeAmp>::withId(SHAPE_MODULE_ID("ShapeAmp"));
}
