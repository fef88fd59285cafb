// Shape node modulator: offsets one node of a shape. Offsets apply to the shape as
// parsed, so they do not accumulate.
#include "ShapeOutPin.h"
#include "mp_sdk_audio.h"

class SNMod : public MpBase2 {
    StringInPin pinShape;
    IntInPin pinNodeIndex;  // -1 .. 99
    FloatInPin pinOffsetX;  // shape units
    FloatInPin pinOffsetY;  // shape units
    ShapeOutPin pinShapeOut;

    Node nodes[maxShapeNodes] = {};  // shape units, as parsed
    int count = 0;
    int nodeIndex = -1;
    float offsetX = 0;
    float offsetY = 0;
    ShapeWriter writer;

public:
    SNMod()
    {
        initializePin(pinShape);
        initializePin(pinNodeIndex);
        initializePin(pinOffsetX);
        initializePin(pinOffsetY);
        initializePin(pinShapeOut);
    }

    void onSetPins() override
    {
        bool changed = false;
        if (pinShape.isUpdated()) {
            count = parseNodes(pinShape.getValue(), -5.0f, 5.0f, -5.0f, 5.0f, nodes);
            changed = true;
        }
        if (pinNodeIndex.isUpdated()) {
            nodeIndex = std::clamp(pinNodeIndex.getValue(), -1, maxShapeNodes - 1);
            changed = true;
        }
        if (pinOffsetX.isUpdated() && pinOffsetX.getValue() != offsetX) {
            offsetX = pinOffsetX;
            changed |= isInner(nodeIndex);
        }
        if (pinOffsetY.isUpdated() && pinOffsetY.getValue() != offsetY) {
            offsetY = pinOffsetY;
            changed |= nodeIndex >= 0 && nodeIndex < count;
        }
        if (changed)
            genStr();
    }

private:
    bool isInner(int n) const { return n > 0 && n < count - 1; }

    void genStr()
    {
        const int n = nodeIndex;
        const bool selected = n >= 0 && n < count;
        Node moved = selected ? nodes[n] : Node{};
        if (selected && offsetX != 0.0f && isInner(n)) {
            moved.x = std::max(nodes[n - 1].x + 0.01f, moved.x + offsetX);
            moved.x = std::min(moved.x, nodes[n + 1].x - 0.01f);
        }
        if (selected && offsetY != 0.0f) {
            const float y = moved.y + offsetY;
            moved.y = y > 5.0f ? 5.0f : (y >= -5.0f ? y : -5.0f);
        }
        writer.clear();
        for (int i = 0; i < count; ++i) {
            const Node& p = selected && i == n ? moved : nodes[i];
            writer.appendNode(p.x, p.y);
        }
        pinShapeOut = writer.str();
    }
};

namespace {
const bool registered = gmpi::Register<SNMod>::withId(SHAPE_MODULE_ID("SNMod"));
}
