// Shape string modifier: sets up to four node coordinates of a shape from pins. Each
// group names a node, an axis and a value; moved nodes stay moved until the next shape
// arrives, even after a group's node index points elsewhere.
#include "ShapeOutPin.h"
#include "mp_sdk_audio.h"

class SSMod : public MpBase2 {
    static constexpr int groupCount = 4;

    struct Group {
        IntInPin nodeIndex;
        EnumInPin axis;  // 0 x, any other value y
        FloatInPin value;  // shape units, limited to -5 .. +5
        int lastIndex = -1;
        int lastAxis = 0;
        float lastValue = 0;
    };

    StringInPin pinShape;
    Group groups[groupCount];
    ShapeOutPin pinShapeOut;

    Node nodes[maxShapeNodes] = {};  // shape units, modified in place
    int count = 0;
    ShapeWriter writer;

public:
    SSMod()
    {
        initializePin(pinShape);
        for (Group& group : groups) {
            initializePin(group.nodeIndex);
            initializePin(group.axis);
            initializePin(group.value);
        }
        initializePin(pinShapeOut);
    }

    void onSetPins() override
    {
        bool changed = false;
        if (pinShape.isUpdated()) {
            count = parseNodes(pinShape.getValue(), -5.0f, 5.0f, -5.0f, 5.0f, nodes);
            changed = true;
        }
        for (Group& group : groups) {
            if (group.nodeIndex.isUpdated()) {
                changed |= group.nodeIndex < count && group.nodeIndex != group.lastIndex;
                group.lastIndex = group.nodeIndex;
            }
            if (group.axis.isUpdated() && group.axis != group.lastAxis) {
                group.lastAxis = group.axis;
                changed |= group.lastIndex >= 0;
            }
            if (group.value.isUpdated()) {
                const float v = group.value;
                const float limited = v > 5.0f ? 5.0f : (v >= -5.0f ? v : -5.0f);  // not-a-number: -5
                if (limited != group.lastValue) {
                    group.lastValue = limited;
                    changed |= group.lastIndex >= 0;
                }
            }
        }
        if (changed)
            genStr();
    }

private:
    void genStr()
    {
        for (const Group& group : groups) {
            const int n = group.lastIndex;
            if (n < 0 || n >= count)
                continue;
            if (group.lastAxis != 0)
                nodes[n].y = group.lastValue;
            else if (n > 0 && n < count - 1)  // the end nodes stay at -5 and +5
                nodes[n].x = limitInnerX(n, group.lastValue);
        }
        pinShapeOut = writer.write(nodes, count);
    }

    // An inner node's x kept clear of its neighbours.
    float limitInnerX(int n, float v) const
    {
        if (v <= nodes[n - 1].x)
            return nodes[n - 1].x + 0.01f;
        if (v >= nodes[n + 1].x)
            return nodes[n + 1].x - 0.01f;
        return v;
    }
};

namespace {
const bool registered = gmpi::Register<SSMod>::withId(SHAPE_MODULE_ID("SSMod"));
}
