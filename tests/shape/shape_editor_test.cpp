// The shape editor of both shape bundles, driven through its pins as a host does.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "harness/gui_module.h"
#include "shape_test_support.h"

namespace {

using mphost::PinValue;

struct EditorBundle {
    shape_test::Flavour flavour;
    const char* name;
};

std::unique_ptr<mphost::GuiModule> makeEditor(const EditorBundle& which)
{
    return shape_test::makeGui(which.flavour, which.name);
}

std::wstring text(const mphost::GuiModule& module, const char* pin)
{
    return std::get<std::wstring>(module.value(pin));
}

float number(const mphost::GuiModule& module, const char* pin) { return std::get<float>(module.value(pin)); }

class ShapeEditorPins : public testing::TestWithParam<EditorBundle> {};

TEST_P(ShapeEditorPins, SelectionWritesTheEditPinsAndEditPinsMoveTheNode)
{
    auto editor = makeEditor(GetParam());
    editor->setPin("Shape", std::wstring(L"(-5,-5)(-1,2)(1,3)(5,5)"));
    editor->setPin("ActiveNode", std::int32_t{1});
    EXPECT_EQ(number(*editor, "EditX_L"), -1.0f);
    EXPECT_EQ(number(*editor, "EditY_R"), 2.0f);

    // Beyond the right neighbour: stops 0.01 before it and is written back to both pins.
    editor->setPin("EditX_L", 4.0f);
    EXPECT_FLOAT_EQ(number(*editor, "EditX_L"), 0.99f);
    EXPECT_FLOAT_EQ(number(*editor, "EditX_R"), 0.99f);
    EXPECT_EQ(text(*editor, "Shape"), L"(-5,-5)(0.99,2)(1,3)(5,5)");

    editor->setPin("EditY_R", 9.0f);  // limited to +5
    EXPECT_EQ(number(*editor, "EditY_L"), 5.0f);
    EXPECT_EQ(text(*editor, "Shape"), L"(-5,-5)(0.99,5)(1,3)(5,5)");

    // The end nodes keep their x whatever the pins say.
    editor->setPin("ActiveNode", std::int32_t{0});
    editor->setPin("EditX_R", 2.0f);
    EXPECT_EQ(number(*editor, "EditX_R"), -5.0f);
    EXPECT_EQ(text(*editor, "Shape"), L"(-5,-5)(0.99,5)(1,3)(5,5)");

    // A shape with fewer nodes drops the selection; an invalid one is ignored.
    editor->setPin("ActiveNode", std::int32_t{3});
    editor->setPin("Shape", std::wstring(L"(-5,0)(5,0)"));
    editor->setPin("EditY_L", 1.0f);
    EXPECT_EQ(text(*editor, "Shape"), L"(-5,0)(5,0)");
    editor->setPin("Shape", std::wstring(L"(0,0)"));
    editor->setPin("ActiveNode", std::int32_t{1});
    editor->setPin("EditY_L", 1.0f);
    EXPECT_EQ(text(*editor, "Shape"), L"(-5,0)(5,1)");
}

TEST_P(ShapeEditorPins, FlipsResetAndTheInterpolationList)
{
    auto editor = makeEditor(GetParam());
    editor->setPin("Reset", true);  // the built-in rising diagonal
    EXPECT_EQ(text(*editor, "Shape"), L"(-5,-5)(-4,-4)(-3,-3)(-2,-2)(-1,-1)(0,0)(1,1)(2,2)(3,3)(4,4)(5,5)");
    editor->setPin("ActiveNode", std::int32_t{2});

    editor->setPin("FlipHoriz", true);
    EXPECT_EQ(text(*editor, "Shape"), L"(-5,5)(-4,4)(-3,3)(-2,2)(-1,1)(0,0)(1,-1)(2,-2)(3,-3)(4,-4)(5,-5)");
    EXPECT_EQ(number(*editor, "EditX_L"), 3.0f);  // node 2 became node 8
    EXPECT_EQ(number(*editor, "EditY_L"), -3.0f);

    editor->setPin("FlipVert", true);
    EXPECT_EQ(text(*editor, "Shape"), L"(-5,-5)(-4,-4)(-3,-3)(-2,-2)(-1,-1)(0,0)(1,1)(2,2)(3,3)(4,4)(5,5)");
    EXPECT_EQ(number(*editor, "EditY_R"), 3.0f);

    editor->setPin("ResetVal", std::wstring(L"(-5,1)(5,1)"));
    editor->setPin("Reset", false);
    editor->setPin("Reset", true);
    EXPECT_EQ(text(*editor, "Shape"), L"(-5,1)(5,1)");

    editor->setPin("ITP_IL", std::wstring(L"anything"));
    EXPECT_EQ(text(*editor, "ITP_IL"), L"Linear,Spline,Lagrange,None");
}

INSTANTIATE_TEST_SUITE_P(BothBundles, ShapeEditorPins,
                         testing::Values(EditorBundle{shape_test::Flavour::current, "ShapeEditor4"},
                                         EditorBundle{shape_test::Flavour::classic, "ShapeEditor4c"}),
                         [](const auto& info) {
                             return std::string(info.param.flavour == shape_test::Flavour::current ? "current" : "classic");
                         });

}  // namespace
