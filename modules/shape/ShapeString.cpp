#include "ShapeString.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cwchar>

namespace {

// The number at the start of `text` as the standard wide-string-to-float conversion
// reads it (sign, digits, point, exponent; also inf and nan); no number gives 0.
// `text` is copied into a bounded, terminated buffer so that wcstof never reads past
// the group. Digits beyond the buffer are dropped, which only matters for numbers
// written with more than a few hundred characters.
float readNumber(std::wstring_view text)
{
    wchar_t buffer[256];
    const std::size_t length = std::min(text.size(), std::size(buffer) - 1);
    text.copy(buffer, length);
    buffer[length] = L'\0';
    return std::wcstof(buffer, nullptr);
}

}  // namespace

int parseNodes(ShapeParserForm form, std::wstring_view text, float xMin, float xMax, float yMin, float yMax,
               Node* nodes)
{
    const bool classic = form == ShapeParserForm::classic;
    const float xFactor = (xMax - xMin) * 0.1f;
    const float yFactor = (yMax - yMin) * 0.1f;
    // Shape units onto shape units: taken as they are, since (x + 5) * 1 - 5 in float
    // drifts (0.1 would come back as 0.0999999 and modifiers would write that).
    const bool xAsIs = xMin == -5.0f && xMax == 5.0f;
    const bool yAsIs = yMin == -5.0f && yMax == 5.0f;
    float prevX = -6.0f;
    int count = 0;
    std::wstring_view rest = text;
    while (count < maxShapeNodes && !rest.empty()) {
        std::size_t open = rest.find(L'(');
        if (classic) {
            // Text before a group is skipped; but whatever follows the last group is read
            // as one more group, and that read can only fail the x test.
            if (rest.front() == L')' || open == std::wstring_view::npos)
                return 0;
            rest.remove_prefix(open);
            open = 0;
        }
        const std::size_t comma = rest.find(L',');
        const std::size_t close = rest.find(L')');
        if (comma == std::wstring_view::npos)
            return classic ? 0 : (count >= 2 && prevX == 5.0f ? count : 0);
        if (!classic && (open != 0 || comma < 2 || (close != std::wstring_view::npos && (close < 4 || comma + 2 > close))))
            break;
        const float x = readNumber(rest.substr(1, comma - 1));
        // Without a ")" after the comma the y number runs to the end of the text.
        const bool closed = close != std::wstring_view::npos && close > comma;
        float y = readNumber(rest.substr(comma + 1, (closed ? close : rest.size()) - comma - 1));
        if (!(x > prevX) || x > 5.0f || x < -5.0f || (count == 0 && x != -5.0f))
            return 0;
        y = y > 5.0f ? 5.0f : (y >= -5.0f ? y : -5.0f);  // a y that is not a number becomes -5
        nodes[count].x = xAsIs ? x : (x + 5.0f) * xFactor + xMin;
        nodes[count].y = yAsIs ? y : (y + 5.0f) * yFactor + yMin;
        prevX = x;
        ++count;
        if (close == std::wstring_view::npos)
            return 0;  // an unclosed group would only re-read itself and fail the x test
        rest.remove_prefix(close + 1);
    }
    return count >= 2 && prevX == 5.0f ? count : 0;
}

void toTableGrid(Node* nodes, int count)
{
    float previous = -1.0f;
    for (int i = 0; i < count; ++i) {
        float index = std::floor(nodes[i].x * 4095.0f);
        if (index == previous)
            index = previous + 1.0f;
        nodes[i].x = index;
        previous = index;
    }
}

ShapeWriter::ShapeWriter()
{
    text.reserve(maxShapeTextLength);
}

const std::wstring& ShapeWriter::write(const Node* nodes, int count)
{
    text.clear();
    for (int i = 0; i < count; ++i)
        appendNode(nodes[i].x, nodes[i].y);
    return text;
}

void ShapeWriter::appendNode(float x, float y)
{
    text.push_back(L'(');
    appendNumber(x);
    text.push_back(L',');
    appendNumber(y);
    text.push_back(L')');
}

void ShapeWriter::appendNumber(float value)
{
    // A wide stream with default settings formats through printf's %g at precision 6
    // in the classic locale; to_chars' general format with precision 6 is the same text.
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value), std::chars_format::general, 6);
    for (const char* c = buffer; c != result.ptr; ++c)
        text.push_back(static_cast<wchar_t>(*c));
}
