// The shape editor's pointer editing and drawing, through the graphics harness: a
// 400 x 300 editor with the default border (5 %, plot half-extent 0.45), so node (X, Y)
// in editor units sits at pixel (20 + 3.6 X, 15 + 2.7 Y).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "drawing/drawing_surface.h"
#include "harness/gui_module.h"
#include "platform/clock.h"
#include "shape_test_support.h"

namespace {

using GmpiDrawing_API::MP1_POINT;
using mphost::PinValue;

constexpr std::int32_t primaryButton = 0x10;
constexpr std::int32_t fineAdjust = 0x20000;
constexpr const wchar_t* diagonal = L"(-5,-5)(-4,-4)(-3,-3)(-2,-2)(-1,-1)(0,0)(1,1)(2,2)(3,3)(4,4)(5,5)";

std::unique_ptr<mphost::GuiModule> makeEditor(shape_test::Flavour flavour = shape_test::Flavour::current)
{
    auto module = shape_test::makeGui(flavour, "ShapeEditor4");
    module->arrange({0.0f, 0.0f, 400.0f, 300.0f});
    module->setPin("Shape", std::wstring(diagonal));
    module->takeTransmissions();
    return module;
}

std::wstring shapeText(const mphost::GuiModule& editor) { return std::get<std::wstring>(editor.value("Shape")); }

// Pixel centre of a node given in shape units.
MP1_POINT at(float x, float y) { return {20.0f + 3.6f * (x + 5.0f) * 10.0f, 15.0f + 2.7f * (5.0f - y) * 10.0f}; }

class ShapeEditorPointer : public testing::Test {
protected:
    void SetUp() override { platform::setVirtualTime(1'000'000'000); }
    void TearDown() override { platform::useRealTime(); }
    void advance(std::int64_t milliseconds)
    {
        platform::setVirtualTime(platform::monotonicNanoseconds() + milliseconds * 1'000'000);
    }
    void click(mphost::GuiModule& editor, MP1_POINT point, std::int32_t flags = primaryButton)
    {
        editor.pointerDown(flags, point);
        editor.pointerUp(flags, point);
    }
};

TEST_F(ShapeEditorPointer, DragMovesTheNodeUpToItsNeighbourAndFineModeMovesTenTimesLess)
{
    auto editor = makeEditor();
    MP1_POINT point = at(0, 0);
    EXPECT_EQ(editor->pointerDown(primaryButton, point), gmpi::MP_OK);
    EXPECT_EQ(std::get<std::int32_t>(editor->value("ActiveNode")), 5);
    EXPECT_EQ(std::get<bool>(editor->value("MouseDown")), true);
    // 40 pixels are a tenth of the width: 10 editor units, stopped 0.1 short of node 6.
    editor->pointerMove(primaryButton, {point.x + 40.0f, point.y});
    EXPECT_EQ(shapeText(*editor), L"(-5,-5)(-4,-4)(-3,-3)(-2,-2)(-1,-1)(0.99,0)(1,1)(2,2)(3,3)(4,4)(5,5)");
    editor->pointerUp(primaryButton, {point.x + 40.0f, point.y});
    EXPECT_EQ(std::get<bool>(editor->value("MouseDown")), false);

    // Moves after the release change nothing.
    editor->pointerMove(primaryButton, {point.x + 80.0f, point.y + 80.0f});
    EXPECT_EQ(shapeText(*editor), L"(-5,-5)(-4,-4)(-3,-3)(-2,-2)(-1,-1)(0.99,0)(1,1)(2,2)(3,3)(4,4)(5,5)");

    advance(1000);
    point = at(-1, -1);
    editor->pointerDown(primaryButton | fineAdjust, point);
    editor->pointerMove(primaryButton | fineAdjust, {point.x + 40.0f, point.y - 30.0f});
    editor->pointerUp(primaryButton | fineAdjust, {point.x + 40.0f, point.y - 30.0f});
    EXPECT_EQ(shapeText(*editor), L"(-5,-5)(-4,-4)(-3,-3)(-2,-2)(-0.9,-0.9)(0.99,0)(1,1)(2,2)(3,3)(4,4)(5,5)");
    EXPECT_FLOAT_EQ(std::get<float>(editor->value("EditX_L")), -0.9f);

    // The end nodes move only vertically, and not beyond the MaxY band.
    advance(1000);
    editor->setPin("MaxY", 4.0f);
    point = at(-5, -5);
    editor->pointerDown(primaryButton, point);
    editor->pointerMove(primaryButton, {point.x + 100.0f, point.y - 300.0f});
    editor->pointerUp(primaryButton, {point.x + 100.0f, point.y - 300.0f});
    EXPECT_EQ(shapeText(*editor).substr(0, 7), L"(-5,4)(");
}

TEST_F(ShapeEditorPointer, DoubleClicksRemoveInnerNodesFlattenEndNodesAndAddNodes)
{
    auto editor = makeEditor();
    click(*editor, at(0, 0));
    advance(300);  // within 301 ms: a double click removes the inner node
    click(*editor, at(0, 0));
    EXPECT_EQ(shapeText(*editor), L"(-5,-5)(-4,-4)(-3,-3)(-2,-2)(-1,-1)(1,1)(2,2)(3,3)(4,4)(5,5)");
    EXPECT_EQ(std::get<std::int32_t>(editor->value("ActiveNode")), -1);

    advance(1000);
    click(*editor, at(5, 5));
    advance(100);
    click(*editor, at(5, 5));  // the last node goes to the baseline instead
    EXPECT_EQ(shapeText(*editor), L"(-5,-5)(-4,-4)(-3,-3)(-2,-2)(-1,-1)(1,1)(2,2)(3,3)(4,4)(5,0)");

    advance(1000);
    const MP1_POINT empty = at(2.5f, -3.0f);
    click(*editor, empty);
    advance(301);  // too slow: no double click, nothing added
    click(*editor, empty);
    EXPECT_EQ(shapeText(*editor), L"(-5,-5)(-4,-4)(-3,-3)(-2,-2)(-1,-1)(1,1)(2,2)(3,3)(4,4)(5,0)");
    advance(100);
    click(*editor, empty);
    EXPECT_EQ(shapeText(*editor), L"(-5,-5)(-4,-4)(-3,-3)(-2,-2)(-1,-1)(1,1)(2,2)(2.5,-3)(3,3)(4,4)(5,0)");
    EXPECT_EQ(std::get<std::int32_t>(editor->value("ActiveNode")), 7);

    // With LockAddRem any double-clicked node goes to the baseline and empty space adds none.
    advance(1000);
    editor->setPin("LockAddRem", true);
    editor->setPin("Baseline", 1.0f);
    click(*editor, at(2, 2));
    advance(100);
    click(*editor, at(2, 2));
    EXPECT_EQ(shapeText(*editor), L"(-5,-5)(-4,-4)(-3,-3)(-2,-2)(-1,-1)(1,1)(2,1)(2.5,-3)(3,3)(4,4)(5,0)");
    EXPECT_NE(editor->hitTest(at(0, 4)), gmpi::MP_OK);
    EXPECT_EQ(editor->hitTest(at(2, 1)), gmpi::MP_OK);

    // EnableEdit off: nothing is hit and nothing edits.
    editor->setPin("EnableEdit", false);
    EXPECT_NE(editor->hitTest(at(2, 1)), gmpi::MP_OK);
    EXPECT_NE(editor->pointerDown(primaryButton, at(2, 1)), gmpi::MP_OK);
}

TEST_F(ShapeEditorPointer, OnlyTwoQuickClicksOnOneNodeWithoutADragAreADoubleClick)
{
    auto editor = makeEditor();
    const std::wstring before = shapeText(*editor);
    // A drag of node 5, then at once a click on node 6 and another on node 5: no removal.
    MP1_POINT point = at(0, 0);
    editor->pointerDown(primaryButton, point);
    editor->pointerMove(primaryButton, {point.x, point.y - 30.0f});
    editor->pointerUp(primaryButton, {point.x, point.y - 30.0f});
    advance(100);
    click(*editor, at(1, 1));
    advance(100);
    click(*editor, at(0, 1));
    EXPECT_EQ(shapeText(*editor), L"(-5,-5)(-4,-4)(-3,-3)(-2,-2)(-1,-1)(0,1)(1,1)(2,2)(3,3)(4,4)(5,5)");

    // A triple click removes one node, not two.
    editor->setPin("Shape", before);
    advance(1000);
    click(*editor, at(0, 0));
    advance(50);
    click(*editor, at(0, 0));
    advance(50);
    click(*editor, at(1, 1));
    EXPECT_EQ(shapeText(*editor), L"(-5,-5)(-4,-4)(-3,-3)(-2,-2)(-1,-1)(1,1)(2,2)(3,3)(4,4)(5,5)");
}

TEST_F(ShapeEditorPointer, ToolTipComesFromItsPin)
{
    auto editor = makeEditor();
    editor->setPin("ToolTip", std::wstring(L"Draw the wave \u2013 here"));
    EXPECT_EQ(editor->toolTip({10.0f, 10.0f}), "Draw the wave \xE2\x80\x93 here");
}

// sRGB bytes within a small tolerance (gradients and antialiasing).
void expectColour(const mphost::DrawingSurface& surface, int x, int y, int r, int g, int b, int tolerance = 3)
{
    const auto pixel = surface.pixel(x, y);
    EXPECT_NEAR(pixel.r, r, tolerance) << "at " << x << "," << y;
    EXPECT_NEAR(pixel.g, g, tolerance) << "at " << x << "," << y;
    EXPECT_NEAR(pixel.b, b, tolerance) << "at " << x << "," << y;
}

TEST(ShapeEditorDrawing, GradientCurveFillAndMarkers)
{
    auto editor = makeEditor();
    editor->setPin("ActiveNode", std::int32_t{5});
    editor->setPin("FillNodes", true);
    const mphost::DrawingSurface surface = editor->renderAlone(400, 300);

    // Background gradient: colour FF303030 at the top, black at the bottom.
    expectColour(surface, 5, 0, 0x30, 0x30, 0x30);
    expectColour(surface, 5, 299, 0, 0, 0);
    // The curve (FF002830) between nodes 5 and 6 at column 218 passes row 136.
    expectColour(surface, 218, 136, 0x00, 0x28, 0x30, 6);
    // Below it, down to the baseline at row 150, the fill tints the background; on the
    // same row left of the centre the curve lies below the baseline, so no fill there.
    EXPECT_GT(surface.pixel(218, 146).b, surface.pixel(150, 146).b + 3);
    // The active node's filled white box, 10 pixels wide around (200, 150).
    expectColour(surface, 197, 147, 255, 255, 255);
    expectColour(surface, 203, 153, 255, 255, 255);
    EXPECT_LT(surface.pixel(207, 147).r, 100);

    // Colours follow their pins.
    editor->setPin("ColorBgTop", std::wstring(L"FFFF0000"));
    editor->setPin("ColorBgBottom", std::wstring(L"FFFF0000"));
    const mphost::DrawingSurface red = editor->renderAlone(400, 300);
    expectColour(red, 5, 100, 255, 0, 0);
}

TEST(ShapeEditorDrawing, CachedLayersFollowEditsAndSizeChanges)
{
    auto editor = makeEditor();
    const mphost::DrawingSurface before = editor->renderAlone(400, 300);
    editor->setPin("Shape", std::wstring(L"(-5,5)(5,5)"));  // a flat line at the top
    const mphost::DrawingSurface after = editor->renderAlone(400, 300);
    EXPECT_NE(before.pixel(218, 136).g, after.pixel(218, 136).g);
    expectColour(after, 218, 15, 0x00, 0x28, 0x30, 6);

    editor->arrange({0.0f, 0.0f, 200.0f, 100.0f});
    const mphost::DrawingSurface small = editor->renderAlone(200, 100);
    // Plot top at 50 - 0.45 * 100 = 5: the line now runs along row 5.
    expectColour(small, 100, 5, 0x00, 0x28, 0x30, 12);
}

}  // namespace
