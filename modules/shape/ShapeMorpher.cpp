// Shape morpher: blends two shapes node by node. When the node counts differ, the
// shorter shape is first extended to the longer one's count by splitting its longest
// segments at their midpoints, so both shapes have a node for every index.
#include "ShapeOutPin.h"
#include "mp_sdk_audio.h"

class ShapeMorpher : public MpBase2 {
    StringInPin pinShapeA;
    StringInPin pinShapeB;
    FloatInPin pinMorph;  // 0 = A .. 1 = B
    ShapeOutPin pinShapeOut;

    enum Source { sourceNone, sourceA, sourceB };

    Node nodesA[maxShapeNodes] = {};
    Node nodesB[maxShapeNodes] = {};
    Node extended[maxShapeNodes] = {};  // the shorter shape, extended
    int countA = 0;
    int countB = 0;
    int lastCountA = 0;
    int lastCountB = 0;
    int outputCount = 0;
    Source extendedFrom = sourceNone;
    int extendedCount = 0;
    float morph = 0;
    ShapeWriter writer;

public:
    ShapeMorpher()
    {
        initializePin(pinShapeA);
        initializePin(pinShapeB);
        initializePin(pinMorph);
        initializePin(pinShapeOut);
    }

    void onSetPins() override
    {
        bool changed = false;
        const bool aChanged = pinShapeA.isUpdated();
        const bool bChanged = pinShapeB.isUpdated();
        if (aChanged)
            countA = parseNodes(pinShapeA.getValue(), -5.0f, 5.0f, -5.0f, 5.0f, nodesA);
        if (bChanged)
            countB = parseNodes(pinShapeB.getValue(), -5.0f, 5.0f, -5.0f, 5.0f, nodesB);
        changed = aChanged || bChanged;
        if (pinMorph.isUpdated()) {
            const float m = pinMorph;
            const float limited = m > 1.0f ? 1.0f : (m >= 0.0f ? m : 0.0f);  // not-a-number: 0
            if (limited != morph) {
                morph = limited;
                changed = true;
            }
        }

        if (countA == 0 || countB == 0) {
            // An invalid input leaves the last output in place.
            outputCount = 0;
            lastCountA = countA;
            lastCountB = countB;
            return;
        }
        const bool countAChanged = countA != lastCountA;
        const bool countBChanged = countB != lastCountB;
        lastCountA = countA;
        lastCountB = countB;
        // The extension is redone when its source changed or no longer fits the other
        // shape's count.
        if (countA < countB && (aChanged || countBChanged || extendedFrom != sourceA || extendedCount != countB))
            extend(nodesA, countA, countB, sourceA);
        else if (countB < countA && (bChanged || countAChanged || extendedFrom != sourceB || extendedCount != countA))
            extend(nodesB, countB, countA, sourceB);
        outputCount = std::max(countA, countB);

        if (changed)
            morphShapes();
    }

private:
    // Copies `count` nodes into `extended` and splits the longest segment (the first of
    // equals) at its midpoint until there are `target` nodes.
    void extend(const Node* source, int count, int target, Source from)
    {
        std::copy(source, source + count, extended);
        while (count < target) {
            int longest = 0;
            float longestSquared = -1.0f;
            for (int i = 0; i + 1 < count; ++i) {
                const float dx = extended[i + 1].x - extended[i].x;
                const float dy = extended[i + 1].y - extended[i].y;
                const float squared = dx * dx + dy * dy;
                if (squared > longestSquared) {
                    longestSquared = squared;
                    longest = i;
                }
            }
            const Node midpoint{(extended[longest].x + extended[longest + 1].x) * 0.5f,
                                (extended[longest].y + extended[longest + 1].y) * 0.5f};
            std::copy_backward(extended + longest + 1, extended + count, extended + count + 1);
            extended[longest + 1] = midpoint;
            ++count;
        }
        extendedFrom = from;
        extendedCount = target;
    }

    void morphShapes()
    {
        const Node* a = countA < countB ? extended : nodesA;
        const Node* b = countB < countA ? extended : nodesB;
        writer.clear();
        for (int i = 0; i < outputCount; ++i) {
            writer.appendNode(a[i].x * (1.0f - morph) + b[i].x * morph, a[i].y * (1.0f - morph) + b[i].y * morph);
        }
        pinShapeOut = writer.str();
    }
};

namespace {
const bool registered = gmpi::Register<ShapeMorpher>::withId(SHAPE_MODULE_ID("ShapeMorpher"));
}
