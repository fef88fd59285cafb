// Shape string modifier on the interface side: up to four groups each tie one node
// coordinate of a shape to a Value pin, in both directions. A shape arriving on either
// shape pin is passed to the other one and its node coordinates are written to the
// Value pins; a change on any group pin moves the nodes to the Value pins and writes the
// new shape to both shape pins. Values the node limits changed are written back.
#include <algorithm>

#include "ShapeString.h"
#include "mp_sdk_gui.h"

namespace {

// 0 ShapeL, then per group g = 1 .. 4 at 3g-2, 3g-1, 3g: NodeIndex, Axis (0 x, 1 y,
// other values leave the group idle), Value (shape units); 13 ShapeR.
class SSModGUI : public SeGuiInvisibleBase {
    static constexpr int groupCount = 4;

    // Selects no node until the host sets it.
    struct NodeIndexPin : MpGuiPin<int> {
        NodeIndexPin() { value = -1; }
    };

    struct Group {
        NodeIndexPin nodeIndex;
        MpGuiPin<int> axis;
        MpGuiPin<float> value;
    };

    StringGuiPin pinShapeL;
    Group groups[groupCount];
    StringGuiPin pinShapeR;

    Node nodes[maxShapeNodes] = {};  // shape units
    int count = 0;                   // 0 until a valid shape arrived
    bool updating = false;           // set while this module writes its own pins
    ShapeWriter writer;

    // Blocks the handlers while the module's own writes may come back through the host.
    struct UpdateGuard {
        bool& flag;
        explicit UpdateGuard(bool& flag) : flag(flag) { flag = true; }
        ~UpdateGuard() { flag = false; }
    };

public:
    SSModGUI()
    {
        initializePin(pinShapeL, &SSModGUI::onSetShapeL);
        for (Group& group : groups) {
            initializePin(group.nodeIndex, &SSModGUI::onSetModifier);
            initializePin(group.axis, &SSModGUI::onSetModifier);
            initializePin(group.value, &SSModGUI::onSetModifier);
        }
        initializePin(pinShapeR, &SSModGUI::onSetShapeR);
    }

    void onSetShapeL() { takeShape(pinShapeL, pinShapeR); }
    void onSetShapeR() { takeShape(pinShapeR, pinShapeL); }

    void onSetModifier()
    {
        if (updating || count == 0)
            return;
        const UpdateGuard guard(updating);
        applyModifiers();
        const std::wstring& shape = writer.write(nodes, count);
        pinShapeR = shape;
        pinShapeL = shape;
    }

private:
    // A valid shape on `from` becomes the loaded shape and goes on to `to`; an invalid
    // one leaves everything as it is.
    void takeShape(const StringGuiPin& from, StringGuiPin& to)
    {
        if (updating)
            return;
        Node parsed[maxShapeNodes];
        const int parsedCount = parseNodes(from.getValue(), -5.0f, 5.0f, -5.0f, 5.0f, parsed);
        if (parsedCount == 0)
            return;
        std::copy_n(parsed, parsedCount, nodes);
        count = parsedCount;
        const UpdateGuard guard(updating);
        updateModifiers();
        to = from.getValue();
    }

    // The Value pins follow the nodes their groups select.
    void updateModifiers()
    {
        for (Group& group : groups) {
            const int n = group.nodeIndex;
            if (n < 0 || n >= count)
                continue;
            if (group.axis == 0)
                group.value = nodes[n].x;
            else if (group.axis == 1)
                group.value = nodes[n].y;
        }
    }

    // The nodes follow the Value pins, in group order; a value the limits changed is
    // written back to its pin.
    void applyModifiers()
    {
        for (Group& group : groups) {
            const int n = group.nodeIndex;
            if (n < 0 || n >= count || (group.axis != 0 && group.axis != 1))
                continue;
            const float wanted = group.value;
            float applied;
            if (group.axis == 0)
                applied = nodes[n].x = limitX(n, wanted);
            else
                applied = nodes[n].y = limitY(wanted);
            if (!(applied == wanted))  // also replaces a value that is not a number
                group.value = applied;
        }
    }

    // The end nodes stay at -5 and +5; an inner node keeps at least 0.01 from both
    // neighbours, and stays where it is when they are closer than that allows. A value
    // that is not a number counts as -5.
    float limitX(int n, float v) const
    {
        if (n == 0)
            return -5.0f;
        if (n == count - 1)
            return 5.0f;
        const float low = nodes[n - 1].x + 0.01f;
        const float high = nodes[n + 1].x - 0.01f;
        if (!(low <= high))
            return nodes[n].x;
        return v >= low ? std::min(v, high) : low;
    }

    // Shape units; a value that is not a number counts as -5.
    static float limitY(float v) { return v > 5.0f ? 5.0f : (v >= -5.0f ? v : -5.0f); }
};

const bool registered = gmpi::Register<SSModGUI>::withId(SHAPE_MODULE_ID("SSModGUI"));

}  // namespace
