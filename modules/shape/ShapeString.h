// The shape string and its node model, shared by every shape module.
//
// A shape string is wide text made of node groups "(x,y)" written back to back, both
// coordinates in shape units -5 .. +5, the first node at x = -5, the last at x = +5, x
// strictly increasing, 2 to 100 nodes. Modules turn shapes into signals with the
// convention signal value = shape unit / 10.
//
// Two parser forms exist: the strict form of the current bundles and the lenient
// classic form (text between groups is skipped, empty numbers read as 0, but trailing
// text invalidates the shape). A bundle picks its form with the compile definition
// MP_SHAPE_CLASSIC; shapeBundleForm and SHAPE_MODULE_ID follow it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// One breakpoint of a shape; owners keep nodes sorted by x.
struct Node {
    float x;
    float y;
};
using node = Node;  // the record's name in the classic modules

inline constexpr int maxShapeNodes = 100;
// Characters of the longest shape string ShapeWriter produces: 100 nodes of two numbers
// of at most 12 characters ("-3.40282e+38"), brackets and comma.
inline constexpr int maxShapeTextLength = maxShapeNodes * 32;
inline constexpr int shapeTableSize = 4096;

enum class ShapeParserForm { strict, classic };

// Interpolation modes as the enum pins list them: "Linear,Spline,Lagrange,None".
enum ShapeInterpolation { interpolationLinear = 0, interpolationSpline = 1, interpolationLagrange = 2, interpolationNone = 3 };

#if defined(MP_SHAPE_CLASSIC) && MP_SHAPE_CLASSIC
inline constexpr ShapeParserForm shapeBundleForm = ShapeParserForm::classic;
#define SHAPE_MODULE_ID(name) L"" name
#else
inline constexpr ShapeParserForm shapeBundleForm = ShapeParserForm::strict;
#define SHAPE_MODULE_ID(name) L"KV_" name
#endif

// Parses `text` into `nodes` (capacity maxShapeNodes), mapping shape units onto the
// ranges: x' = (x + 5) * ((xMax - xMin) * 0.1) + xMin, likewise y (a reversed range
// flips the axis). Returns the node count, or 0 when the text is not a valid shape;
// nodes written before a failure stay in the array. Never allocates, never throws.
int parseNodes(ShapeParserForm form, std::wstring_view text, float xMin, float xMax, float yMin, float yMax,
               Node* nodes);

// The bundle's own parser form.
inline int parseNodes(std::wstring_view text, float xMin, float xMax, float yMin, float yMax, Node* nodes)
{
    return parseNodes(shapeBundleForm, text, xMin, xMax, yMin, yMax, nodes);
}

// Moves nodes parsed with x in 0 .. 1 onto the 4096-entry table grid: x becomes
// floor(x * 4095), bumped by one when it equals the previous converted x (the first
// compares against -1), so the first node lands on index 0 and the last on 4095.
void toTableGrid(Node* nodes, int count);

// Writes shape strings without allocating once its buffer has grown: numbers in shape
// units in the default formatting of a wide output stream (general notation, six
// significant digits: 0.5, -4, 1e-05, 0.333333). One writer per module instance.
class ShapeWriter {
public:
    ShapeWriter();
    // Replaces the buffer's contents with the shape string of `nodes`.
    const std::wstring& write(const Node* nodes, int count);
    // The same with every y taken from `yOf(index, node)`.
    template <class YOf>
    const std::wstring& write(const Node* nodes, int count, YOf yOf)
    {
        text.clear();
        for (int i = 0; i < count; ++i)
            appendNode(nodes[i].x, yOf(i, nodes[i]));
        return text;
    }
    const std::wstring& str() const { return text; }
    void clear() { text.clear(); }

    // Appends "(x,y)".
    void appendNode(float x, float y);
    // Appends one number as a wide stream with default settings would.
    void appendNumber(float value);

private:
    std::wstring text;
};
