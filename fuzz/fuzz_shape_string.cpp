// Shape strings in both parser forms: any text gives a valid shape or 0, never more
// than 100 nodes; a valid shape's nodes keep the format's invariants, its written form
// parses back to the same count or (numbers collapsed by six-digit rounding) to 0, and
// every interpolation mode fills a table with finite values only.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ShapeInterpolation.h"
#include "ShapeString.h"

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void exercise(ShapeParserForm form, const std::wstring& text)
{
    Node nodes[maxShapeNodes + 1];
    nodes[maxShapeNodes] = {123.0f, 456.0f};  // guard: never written
    const int count = parseNodes(form, text, -5.0f, 5.0f, -5.0f, 5.0f, nodes);
    check(count == 0 || (count >= 2 && count <= maxShapeNodes));
    check(nodes[maxShapeNodes].x == 123.0f && nodes[maxShapeNodes].y == 456.0f);
    if (count == 0)
        return;
    check(nodes[0].x == -5.0f && nodes[count - 1].x == 5.0f);
    for (int i = 0; i < count; ++i) {
        check(nodes[i].y >= -5.0f && nodes[i].y <= 5.0f);
        // Strictly increasing in the text; mapping can round neighbours onto one value.
        check(i == 0 || nodes[i].x >= nodes[i - 1].x);
    }

    ShapeWriter writer;
    Node again[maxShapeNodes];
    const int reparsed = parseNodes(ShapeParserForm::strict, writer.write(nodes, count), -5.0f, 5.0f, -5.0f, 5.0f, again);
    check(reparsed == 0 || reparsed == count);

    Node grid[maxShapeNodes];
    check(parseNodes(form, text, 0.0f, 1.0f, -1.0f, 1.0f, grid) == count);
    toTableGrid(grid, count);
    static float table[shapeTableSize];
    for (int mode = 0; mode <= 3; ++mode) {
        interpolateSegments(grid, count, mode, shapeTableSize, [](int index, float value) {
            check(index >= 0 && index < shapeTableSize);
            check(std::isfinite(value));
            table[index] = value;
        });
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Bytes widened one by one reach the grammar quickly; whole 32-bit characters
    // cover text outside Latin-1.
    std::wstring bytes(data, data + size);
    exercise(ShapeParserForm::strict, bytes);
    exercise(ShapeParserForm::classic, bytes);
    std::wstring wide(size / sizeof(wchar_t), L'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
        std::uint32_t c = 0;
        for (std::size_t b = 0; b < 4; ++b)
            c |= static_cast<std::uint32_t>(data[i * 4 + b]) << (8 * b);
        wide[i] = static_cast<wchar_t>(c & 0x7fffffff);
    }
    exercise(ShapeParserForm::strict, wide);
    exercise(ShapeParserForm::classic, wide);
    return 0;
}
