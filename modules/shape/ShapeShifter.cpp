// Shape shifter: offsets every node's y of a shape (limited to -5 .. +5).
#include "ShapeOutPin.h"
#include "mp_sdk_audio.h"

class ShapeShift : public MpBase2 {
    StringInPin pinShape;
    FloatInPin pinShift;  // shape units
    ShapeOutPin pinShapeOut;

    Node nodes[maxShapeNodes] = {};
    int count = 0;
    ShapeWriter writer;

public:
    ShapeShift()
    {
        initializePin(pinShape);
        initializePin(pinShift);
        initializePin(pinShapeOut);
    }

    void onSetPins() override
    {
        if (pinShape.isUpdated())
            count = parseNodes(pinShape.getValue(), -5.0f, 5.0f, -5.0f, 5.0f, nodes);
        if (pinShape.isUpdated() || pinShift.isUpdated()) {
            const float shift = pinShift;
            pinShapeOut = writer.write(nodes, count, [shift](int, const Node& n) {
                const float y = n.y + shift;
                return y > 5.0f ? 5.0f : (y >= -5.0f ? y : -5.0f);
            });
        }
    }
};

namespace {
const bool registered = gmpi::Register<ShapeShift>::withId(SHAPE_MODULE_ID("ShapeShift"));
}
