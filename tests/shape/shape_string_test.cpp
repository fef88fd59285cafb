// The shape string model: both parser forms, range mapping, the writer, the table grid
// and the four interpolation modes.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "ShapeInterpolation.h"
#include "ShapeString.h"

namespace {

const std::wstring defaultShape = L"(-5,-5)(-4,-4)(-3,-3)(-2,-2)(-1,-1)(0,0)(1,1)(2,2)(3,3)(4,4)(5,5)";

int parseUnits(ShapeParserForm form, const std::wstring& text, Node* nodes)
{
    return parseNodes(form, text, -5.0f, 5.0f, -5.0f, 5.0f, nodes);
}

struct ParseCase {
    const wchar_t* text;
    int strict;
    int classic;
};

TEST(ShapeString, ParserFormsAcceptAndRejectAsDocumented)
{
    const ParseCase cases[] = {
        {defaultShape.c_str(), 11, 11},
        {L"(-5,0)(5,0)", 2, 2},
        {L"(-5,0)", 0, 0},                    // fewer than two nodes
        {L"(-5,0)(4,0)", 0, 0},               // last x is not 5
        {L"(-4.9,0)(5,0)", 0, 0},             // first x is not -5
        {L"(-5,0)(0,1)(0,2)(5,0)", 0, 0},     // x not strictly increasing
        {L"(-5,0)(6,0)", 0, 0},               // x beyond 5
        {L"(-5,0) (5,0)", 0, 2},              // separator between groups
        {L"junk(-5,0)(5,0)", 0, 2},           // leading text
        {L"(-5,0)(5,0)xyz", 2, 0},            // trailing text
        {L"(-5,0)(5,0)\n", 2, 0},
        {L"(-5,)(5,1)", 0, 2},                // empty number: a stop, or 0
        {L"(-5,0))(5,0)", 0, 0},              // stray ")"
        {L"(-5,0)(5,0", 0, 0},                // unclosed group
        {L"(-5,0)(5 0)", 0, 0},               // no comma
        {L"(-5e0,0)(0.5e1,0)", 2, 2},         // exponents
        {L"", 0, 0},
        {L"(nan,0)(5,0)", 0, 0},
        {L"(-5,0)(inf,0)", 0, 0},
    };
    for (const ParseCase& c : cases) {
        Node nodes[maxShapeNodes];
        EXPECT_EQ(parseUnits(ShapeParserForm::strict, c.text, nodes), c.strict) << "strict: " << c.text;
        EXPECT_EQ(parseUnits(ShapeParserForm::classic, c.text, nodes), c.classic) << "classic: " << c.text;
    }
}

TEST(ShapeString, ValuesAreClampedAndMappedOntoTheRequestedRanges)
{
    Node nodes[maxShapeNodes];
    ASSERT_EQ(parseUnits(ShapeParserForm::strict, L"(-5,-9)(0,nan)(5,9)", nodes), 3);
    EXPECT_EQ(nodes[0].y, -5.0f);
    EXPECT_EQ(nodes[1].y, -5.0f);  // not a number
    EXPECT_EQ(nodes[2].y, 5.0f);

    ASSERT_EQ(parseNodes(defaultShape, 0.0f, 1.0f, -1.0f, 1.0f, nodes), 11);
    EXPECT_FLOAT_EQ(nodes[5].x, 0.5f);
    EXPECT_FLOAT_EQ(nodes[5].y, 0.0f);
    EXPECT_FLOAT_EQ(nodes[10].y, 1.0f);

    ASSERT_EQ(parseNodes(defaultShape, 0.0f, 4095.0f, 0.0f, 1.0f, nodes), 11);
    EXPECT_EQ(nodes[10].x, 4095.0f);
    EXPECT_FLOAT_EQ(nodes[1].x, 409.5f);

    // A reversed range flips the axis (the editor's y counts from the top).
    ASSERT_EQ(parseNodes(defaultShape, 0.0f, 100.0f, 100.0f, 0.0f, nodes), 11);
    EXPECT_EQ(nodes[0].y, 100.0f);
    EXPECT_EQ(nodes[10].y, 0.0f);
}

TEST(ShapeString, OnlyTheFirstHundredGroupsAreRead)
{
    const auto groups = [](int count, float lastX) {
        std::wstring text;
        wchar_t buffer[32];
        for (int i = 0; i < count - 1; ++i) {
            std::swprintf(buffer, 32, L"(%g,0)", -5.0 + i * 0.05);
            text += buffer;
        }
        std::swprintf(buffer, 32, L"(%g,0)", static_cast<double>(lastX));
        return text + buffer;
    };
    Node nodes[maxShapeNodes + 1];
    nodes[maxShapeNodes] = {42.0f, 42.0f};
    EXPECT_EQ(parseUnits(ShapeParserForm::strict, groups(100, 5.0f), nodes), 100);
    EXPECT_EQ(parseUnits(ShapeParserForm::strict, groups(100, 5.0f) + L"(5.5,0)", nodes), 100);
    EXPECT_EQ(parseUnits(ShapeParserForm::strict, groups(101, 5.0f), nodes), 0);  // 100th x is 4.95
    EXPECT_EQ(parseUnits(ShapeParserForm::classic, groups(101, 5.0f), nodes), 0);
    EXPECT_EQ(nodes[maxShapeNodes].x, 42.0f);
}

TEST(ShapeString, WriterUsesDefaultStreamFormattingAndRoundTrips)
{
    ShapeWriter writer;
    const Node nodes[] = {{-5.0f, 0.5f}, {0.00001f, 1.0f / 3.0f}, {5.0f, -4.0f}};
    EXPECT_EQ(writer.write(nodes, 3), L"(-5,0.5)(1e-05,0.333333)(5,-4)");
    EXPECT_EQ(writer.write(nodes, 0), L"");

    Node parsed[maxShapeNodes];
    ASSERT_EQ(parseUnits(ShapeParserForm::strict, defaultShape, parsed), 11);
    EXPECT_EQ(writer.write(parsed, 11), defaultShape);

    // Parsed in shape units and written again, decimals come back as they were written.
    const std::wstring decimals = L"(-5,0.1)(0.005,-0.3)(4.9,2.7)(5,0)";
    ASSERT_EQ(parseNodes(ShapeParserForm::strict, decimals, -5.0f, 5.0f, -5.0f, 5.0f, parsed), 4);
    EXPECT_EQ(writer.write(parsed, 4), decimals);
}

TEST(ShapeString, TableGridSeparatesCrowdedNodesAndSkipsBackwardSegments)
{
    Node nodes[] = {{0.0f, 0.0f}, {0.0001f, 1.0f}, {0.0002f, 0.0f}, {1.0f, 1.0f}};
    toTableGrid(nodes, 4);
    EXPECT_EQ(nodes[0].x, 0.0f);
    EXPECT_EQ(nodes[1].x, 1.0f);
    EXPECT_EQ(nodes[2].x, 0.0f);
    EXPECT_EQ(nodes[3].x, 4095.0f);

    for (int mode = 0; mode < 3; ++mode) {
        std::vector<int> writes;
        interpolateSegments(nodes, 4, mode, shapeTableSize, [&](int index, float value) {
            EXPECT_TRUE(std::isfinite(value));
            writes.push_back(index);
        });
        // Segment 0 writes index 0, segment 1 (from 1 back to 0) nothing, the last
        // segment every index from 0 to 4095.
        EXPECT_EQ(writes.size(), 1u + 4096u) << "mode " << mode;
    }
}

// Asymmetric nodes in table units, so that every mode gives different values.
const Node curve[] = {{0, 0}, {10, 10}, {20, 4}, {40, 0}};

std::vector<float> table(int mode)
{
    std::vector<float> values(41, -99.0f);
    interpolateSegments(curve, 4, mode, 41, [&](int index, float value) { values[index] = value; });
    return values;
}

TEST(ShapeInterpolation, LinearSplineAndLagrangeValuesAtChosenPoints)
{
    const auto linear = table(interpolationLinear);
    EXPECT_FLOAT_EQ(linear[5], 5.0f);
    EXPECT_FLOAT_EQ(linear[15], 7.0f);
    EXPECT_FLOAT_EQ(linear[30], 2.0f);

    const auto spline = table(interpolationSpline);
    EXPECT_NEAR(spline[5], 7.0f, 1e-5);       // chord and the tangent at node 1
    EXPECT_NEAR(spline[15], 23.0f / 3.0f, 1e-5);  // two tangents blended with the chord
    EXPECT_NEAR(spline[30], 4.0f / 3.0f, 1e-5);
    EXPECT_FLOAT_EQ(spline[10], 10.0f);        // passes through the nodes

    const auto lagrange = table(interpolationLagrange);
    EXPECT_NEAR(lagrange[5], 7.0f, 1e-5);          // the parabola through nodes 0, 1, 2
    EXPECT_NEAR(lagrange[15], 47.0f / 6.0f, 1e-5);  // two overlapping parabolas blended
    EXPECT_NEAR(lagrange[30], 2.0f / 3.0f, 1e-5);
    EXPECT_NEAR(lagrange[20], 4.0f, 1e-5);

    for (const auto& values : {linear, spline, lagrange})
        EXPECT_FLOAT_EQ(values[40], 0.0f);  // the last node's own position is written
}

TEST(ShapeInterpolation, TwoNodesGiveAStraightLineInEveryMode)
{
    const Node line[] = {{0, -1}, {10, 1}};
    for (int mode = 0; mode < 3; ++mode) {
        float values[11];
        interpolateSegments(line, 2, mode, 11, [&](int index, float value) { values[index] = value; });
        EXPECT_FLOAT_EQ(values[5], 0.0f);
        EXPECT_FLOAT_EQ(values[10], 1.0f);
    }
}

}  // namespace
