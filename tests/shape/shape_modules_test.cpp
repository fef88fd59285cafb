// The waveshaper, the shape amplifier and the text-level shape modifiers.
#include <gtest/gtest.h>

#include <cwchar>

#include "shape_test_support.h"

using namespace shape_test;

namespace {

const Flavour flavours[] = {Flavour::current, Flavour::classic};
const std::wstring diagonal = L"(-5,-5)(-4,-4)(-3,-3)(-2,-2)(-1,-1)(0,0)(1,1)(2,2)(3,3)(4,4)(5,5)";

TEST(Waveshaper, DiagonalPassesInputsThroughAndClipsBeyondTheRange)
{
    for (const Flavour flavour : flavours) {
        auto module = make(flavour, "Waveshaper");
        module->queueValue("Shape", diagonal);
        module->queueStreaming("InL", true);
        auto inL = module->input("InL");
        for (int i = 0; i < 64; ++i)
            inL[i] = -0.75f + 1.5f * static_cast<float>(i) / 63.0f;
        module->fillInput("InR", 0.5f);
        module->process(64);
        const auto outL = module->output("OutL");
        for (int i = 0; i < 64; ++i)
            EXPECT_NEAR(outL[i], std::clamp(inL[i], -0.5f, 0.5f), 1.0f / 4095.0f) << i;
        EXPECT_EQ(module->output("OutR")[0], 0.5f);  // 0.5 reads the last entry
        EXPECT_TRUE(module->outputStreaming("OutL"));
        EXPECT_FALSE(module->outputStreaming("OutR"));
    }
}

TEST(Waveshaper, InterpolationAboveLagrangeActsAsLagrangeAndInvalidShapesSilence)
{
    const auto shapeAt = [](int mode, const std::wstring& shape) {
        auto module = make(Flavour::current, "Waveshaper");
        module->queueValue("Shape", shape);
        module->queueValue("Interpolation", mode);
        module->queueStreaming("InL", true);
        auto in = module->input("InL");
        for (int i = 0; i < 64; ++i)
            in[i] = -0.5f + static_cast<float>(i) / 63.0f;
        module->process(64);
        const auto out = module->output("OutL");
        return std::vector<float>(out.begin(), out.end());
    };
    const std::wstring curve = L"(-5,0)(-2,4)(1,-3)(5,2)";
    const auto lagrange = shapeAt(2, curve);
    EXPECT_EQ(shapeAt(3, curve), lagrange);
    EXPECT_NE(shapeAt(0, curve), lagrange);
    for (const float sample : shapeAt(0, L"(-5,0)(4,0)"))
        EXPECT_EQ(sample, 0.0f);
}

std::wstring amplify(Flavour flavour, const std::wstring& shape, float center, float gain)
{
    auto module = make(flavour, "ShapeAmp");
    module->queueValue("Shape", shape);
    module->queueValue("Center", center);
    module->queueValue("Gain", gain);
    module->process(1);
    return textOutput(*module, "ShapeOut");
}

TEST(ShapeAmp, ScalesAboutTheCentreAndClips)
{
    for (const Flavour flavour : flavours) {
        EXPECT_EQ(amplify(flavour, L"(-5,-1)(5,1)", 0.0f, 2.0f), L"(-5,-2)(5,2)");
        EXPECT_EQ(amplify(flavour, L"(-5,-1)(5,1)", 0.0f, 10.0f), L"(-5,-5)(5,5)");
        EXPECT_EQ(amplify(flavour, L"(-5,-1)(5,1)", 7.0f, 0.0f), L"(-5,5)(5,5)");  // centre limited to 5
        EXPECT_EQ(amplify(flavour, L"(-5,-1)(0,0.5)(5,1)", 1.0f, 0.5f), L"(-5,0)(0,0.75)(5,1)");
        EXPECT_EQ(amplify(flavour, L"(-5,-1)(4,1)", 0.0f, 2.0f), L"");
    }
    // The parser forms differ on separators between groups.
    EXPECT_EQ(amplify(Flavour::current, L"(-5,1) (5,1)", 0.0f, 1.0f), L"");
    EXPECT_EQ(amplify(Flavour::classic, L"(-5,1) (5,1)", 0.0f, 1.0f), L"(-5,1)(5,1)");
}

TEST(SSMod, SetsNodeCoordinatesKeepingEndsAndOrder)
{
    for (const Flavour flavour : flavours) {
        auto module = make(flavour, "SSMod");
        module->queueValue("Shape", std::wstring(L"(-5,0)(0,0)(2,1)(5,0)"));
        module->queueValue("NodeIndex1", 0);
        module->queueValue("Axis1", 0);
        module->queueValue("Value1", 3.0f);  // the first node keeps x = -5
        module->queueValue("NodeIndex2", 1);
        module->queueValue("Axis2", 1);
        module->queueValue("Value2", 8.0f);  // y limited to 5
        module->queueValue("NodeIndex3", 2);
        module->queueValue("Axis3", 0);
        module->queueValue("Value3", -1.0f);  // x not before node 1's 0
        module->process(1);
        EXPECT_EQ(textOutput(*module, "ShapeOut"), L"(-5,0)(0,5)(0.01,1)(5,0)");

        // Moved nodes stay moved after the group points elsewhere (here: node 3).
        module->queueValue("NodeIndex2", 3);
        module->process(1);
        EXPECT_EQ(textOutput(*module, "ShapeOut"), L"(-5,0)(0,5)(0.01,1)(5,5)");
        module->queueValue("Value2", -2.0f);
        module->process(1);
        EXPECT_EQ(textOutput(*module, "ShapeOut"), L"(-5,0)(0,5)(0.01,1)(5,-2)");
    }
}

TEST(SNMod, OffsetsOneNodeWithoutAccumulating)
{
    for (const Flavour flavour : flavours) {
        auto module = make(flavour, "SNMod");
        module->queueValue("Shape", std::wstring(L"(-5,0)(0,1)(5,0)"));
        module->queueValue("NodeIndex", 1);
        module->queueValue("OffsetX", 9.0f);  // stops 0.01 before the next node
        module->queueValue("OffsetY", 2.0f);
        module->process(1);
        EXPECT_EQ(textOutput(*module, "ShapeOut"), L"(-5,0)(4.99,3)(5,0)");
        module->queueValue("OffsetY", 5.0f);
        module->process(1);
        EXPECT_EQ(textOutput(*module, "ShapeOut"), L"(-5,0)(4.99,5)(5,0)");
        module->queueValue("NodeIndex", 150);  // read as 99: beyond this shape
        module->process(1);
        EXPECT_EQ(textOutput(*module, "ShapeOut"), L"(-5,0)(0,1)(5,0)");
    }
}

TEST(ShapeShift, OffsetsEveryY)
{
    for (const Flavour flavour : flavours) {
        auto module = make(flavour, "ShapeShift");
        module->queueValue("Shape", std::wstring(L"(-5,-5)(0,0)(5,4)"));
        module->queueValue("Shift", 1.5f);
        module->process(1);
        EXPECT_EQ(textOutput(*module, "ShapeOut"), L"(-5,-3.5)(0,1.5)(5,5)");
    }
}

TEST(ShapeMorpher, ExtendsTheShorterShapeAndBlends)
{
    for (const Flavour flavour : flavours) {
        auto module = make(flavour, "ShapeMorpher");
        module->queueValue("ShapeA", std::wstring(L"(-5,0)(5,0)"));
        module->queueValue("ShapeB", std::wstring(L"(-5,0)(0,5)(5,0)"));
        module->queueValue("Morph", 0.5f);
        module->process(1);
        EXPECT_EQ(textOutput(*module, "ShapeOut"), L"(-5,0)(0,2.5)(5,0)");

        module->queueValue("Morph", 0.0f);
        module->process(1);
        EXPECT_EQ(textOutput(*module, "ShapeOut"), L"(-5,0)(0,0)(5,0)");  // A as extended

        // The longest segment is split first: (-5,0)-(4,0) before (4,0)-(5,5).
        module->queueValue("ShapeA", std::wstring(L"(-5,0)(4,0)(5,5)"));
        module->queueValue("ShapeB", std::wstring(L"(-5,0)(-4,0)(-3,0)(5,0)"));
        module->process(1);
        EXPECT_EQ(textOutput(*module, "ShapeOut"), L"(-5,0)(-0.5,0)(4,0)(5,5)");

        module->queueValue("ShapeA", std::wstring(L"not a shape"));
        module->queueValue("Morph", 1.0f);
        module->process(1);
        EXPECT_EQ(textOutput(*module, "ShapeOut"), L"(-5,0)(-0.5,0)(4,0)(5,5)");  // unchanged
    }
}

// A 100-node shape with every y equal to `y`; the x positions are the same for every y.
std::wstring hundredNodes(float y)
{
    std::wstring shape;
    for (int i = 0; i < 100; ++i) {
        wchar_t node[64];
        std::swprintf(node, std::size(node), L"(%g,%g)", i == 99 ? 5.0 : -5.0 + i * (10.0 / 99.0), static_cast<double>(y));
        shape += node;
    }
    return shape;
}

TEST(ShapeTextOutputs, PublishLongerShapesFromNumericChangesWithoutAllocating)
{
    // Each module first publishes a 100-node shape with short y numbers, then a numeric
    // pin change lengthens them (0 becomes 1.23456): the text output must already have
    // room, since onSetPins runs on the audio thread.
    struct Case {
        const char* module;
        std::vector<std::pair<std::string, mphost::PinValue>> first;
        std::pair<std::string, mphost::PinValue> lengthen;
    };
    const std::vector<Case> cases = {
        {"ShapeAmp", {{"Shape", hundredNodes(0)}, {"Gain", 0.0f}}, {"Center", 1.23456f}},
        {"ShapeShift", {{"Shape", hundredNodes(0)}}, {"Shift", 1.23456f}},
        {"SNMod", {{"Shape", hundredNodes(0)}, {"NodeIndex", 50}}, {"OffsetY", 1.23456f}},
        {"SSMod", {{"Shape", hundredNodes(0)}, {"NodeIndex1", 50}, {"Axis1", 1}}, {"Value1", 1.23456f}},
        {"ShapeMorpher", {{"ShapeA", hundredNodes(0)}, {"ShapeB", hundredNodes(2.46912f)}}, {"Morph", 0.5f}},
    };
    for (const Flavour flavour : flavours) {
        for (const Case& c : cases) {
            auto module = make(flavour, c.module);
            for (const auto& [pin, value] : c.first)
                module->queueValue(pin, value);
            module->process(1);
            const std::wstring before = textOutput(*module, "ShapeOut");
            module->queueValue(c.lengthen.first, c.lengthen.second);
            module->process(1);
            EXPECT_GT(textOutput(*module, "ShapeOut").size(), before.size()) << c.module;
            EXPECT_NE(textOutput(*module, "ShapeOut").find(L"1.23456"), std::wstring::npos) << c.module;
            EXPECT_EQ(module->allocationsInLastProcess(), 0u) << c.module;
        }
    }
}

}  // namespace
