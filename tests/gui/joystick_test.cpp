// The endless knob (KV_VecJS), the joystick ("Better Joystick Image") and the polar
// picker through the ui_modules bundle: pointer arithmetic, hits, menus, tooltips and
// hostile values and sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <numbers>
#include <vector>

#include "common/host_error.h"
#include "engine/engine.h"
#include "engine/patch.h"
#include "gui_test_support.h"

using namespace gui_testing;
using mphost::GuiModule;
using mphost::MP1_POINT;

namespace {

constexpr std::int32_t button = 0x10;
constexpr std::int32_t fineKey = 0x20000;
constexpr float inf = std::numeric_limits<float>::infinity();
const float notANumber = std::numeric_limits<float>::quiet_NaN();

mphost::GuiModuleOptions withDefaultSkin()
{
    mphost::GuiModuleOptions options;
    options.host.skinFolder = std::filesystem::path(MP_SOURCE_DIR) / "skins" / "default";
    return options;
}

std::unique_ptr<GuiModule> makeWidget(const std::string& id, float width, float height)
{
    auto module = makeUi(id, withDefaultSkin());
    module->arrange({0, 0, width, height});
    module->takeTransmissions();
    return module;
}

float valueOf(GuiModule& module, const char* pin)
{
    return floatOf(module.value(pin));
}

// A point at `turns` clockwise from 12 o'clock, `radius` from the centre of a 200 x 200 knob.
MP1_POINT onDial(double turns, double radius = 90.0)
{
    const double angle = 2.0 * std::numbers::pi * turns;
    return {static_cast<float>(100.0 + radius * std::sin(angle)), static_cast<float>(100.0 - radius * std::cos(angle))};
}

std::unique_ptr<GuiModule> makeKnob(float minimum, float maximum, float turns, float value)
{
    auto knob = makeWidget("KV_VecJS", 200, 200);
    knob->setPin("Min", minimum);
    knob->setPin("Max", maximum);
    knob->setPin("Turns", turns);
    knob->setPin("Value", value);
    knob->takeTransmissions();
    return knob;
}

bool hasPin(const GuiModule& module, const std::string& name)
{
    for (const auto& pin : module.pins())
        if (pin.name == name)
            return true;
    return false;
}

// Every drawing call of `module` rendered into a small surface carried finite values.
void expectFiniteDrawing(GuiModule& module)
{
    mphost::DrawingSurface surface(64, 64);
    module.render(surface);
    EXPECT_EQ(surface.nonFiniteCoordinates(), 0u) << module.id();
}

}  // namespace

// ---------------------------------------------------------------------------------
// KV_VecJS

TEST(VecJoystickKnob, PointerAngleFollowsAtan2OverADenseGrid)
{
    // Range 2 over 2 turns: Value changes by exactly the angle turned, in turns.
    auto knob = makeKnob(-1.0f, 1.0f, 2.0f, 0.0f);
    const MP1_POINT top{100.0f, 10.0f};  // angle 0 exactly
    double worst = 0.0;
    for (int step = 0; step < 7200; ++step) {
        const double turns = step / 7200.0;
        for (const double radius : {3.0, 90.0}) {
            const MP1_POINT point = onDial(turns, radius);
            // The exact angle of the vector the knob sees (upwards positive y).
            const double x = static_cast<double>(point.x - 100.0f);
            const double y = static_cast<double>(100.0f - point.y);
            double exact = std::atan2(x, y) / (2.0 * std::numbers::pi);
            if (exact < 0.0)
                exact += 1.0;
            if (std::fabs(exact - 0.5) < 1e-5)
                continue;  // half a turn either way
            const double expected = exact > 0.5 ? exact - 1.0 : exact;
            knob->setPin("Value", 0.0f);
            ASSERT_EQ(knob->pointerDown(button, top), gmpi::MP_OK);
            knob->pointerMove(button, point);
            knob->pointerUp(button, point);
            const double error = std::fabs(valueOf(*knob, "Value") - expected);
            worst = std::max(worst, error);
            ASSERT_LT(error, 1.1e-6) << "at " << turns << " turns, radius " << radius;
        }
    }
    EXPECT_GT(worst, 0.0);  // a series, not the library's arctangent
}

TEST(VecJoystickKnob, AFullCircleCoversTheRangeOverTurns)
{
    for (const auto& [turns, expected] : {std::pair{1.0f, 1.0f}, std::pair{4.0f, 0.25f}}) {
        auto knob = makeKnob(0.0f, 1.0f, turns, 0.0f);
        knob->pointerDown(button, onDial(0.0));
        for (int step = 1; step <= 40; ++step)
            knob->pointerMove(button, onDial(step / 40.0));
        EXPECT_NEAR(valueOf(*knob, "Value"), expected, 1e-5) << turns << " turns";
        knob->pointerUp(button, onDial(0.0));
    }
}

TEST(VecJoystickKnob, CrossingTwelveOClockIsASmallStep)
{
    auto knob = makeKnob(0.0f, 1.0f, 1.0f, 0.5f);
    knob->pointerDown(button, onDial(0.95));
    EXPECT_EQ(knob->value("Touched"), mphost::PinValue(true));
    knob->pointerMove(button, onDial(0.05));
    EXPECT_NEAR(valueOf(*knob, "Value"), 0.6f, 1e-5);
    EXPECT_NEAR(valueOf(*knob, "Delta"), 0.1f, 1e-5);
    // And back the other way.
    knob->pointerMove(button, onDial(0.9));
    EXPECT_NEAR(valueOf(*knob, "Value"), 0.45f, 1e-5);
    EXPECT_NEAR(valueOf(*knob, "Delta"), -0.15f, 1e-5);
    knob->pointerUp(button, onDial(0.9));
    EXPECT_EQ(knob->value("Touched"), mphost::PinValue(false));
    EXPECT_EQ(valueOf(*knob, "Delta"), 0.0f);
    // Moves without a press change nothing.
    knob->takeTransmissions();
    knob->pointerMove(button, onDial(0.3));
    EXPECT_TRUE(knob->takeTransmissions().empty());
}

TEST(VecJoystickKnob, NoTurnsMeansTheSmallestDragReachesAnEnd)
{
    for (const float turns : {0.0f, -3.0f}) {
        // One pixel at 3 o'clock, 90 pixels out, is about 0.0018 turns.
        auto knob = makeKnob(0.0f, 1.0f, turns, 0.5f);
        knob->pointerDown(button, {190, 100});
        knob->pointerMove(button, {190, 101});
        EXPECT_EQ(valueOf(*knob, "Value"), 1.0f);
        EXPECT_EQ(valueOf(*knob, "Delta"), 0.5f);
        knob->pointerMove(button, {190, 100});
        EXPECT_EQ(valueOf(*knob, "Value"), 0.0f);
        EXPECT_EQ(valueOf(*knob, "Delta"), -1.0f);
        knob->pointerUp(button, {190, 100});
    }
}

TEST(VecJoystickKnob, ValueIsClampedAndPressesNeedTheButton)
{
    auto knob = makeKnob(0.0f, 1.0f, 1.0f, 5.0f);
    knob->pointerDown(button, onDial(0.1));
    knob->pointerMove(button, onDial(0.15));
    EXPECT_EQ(valueOf(*knob, "Value"), 1.0f);  // clamped 5 + 0.05 stays at Max
    knob->pointerUp(button, onDial(0.15));

    knob->takeTransmissions();
    EXPECT_EQ(knob->pointerDown(0, onDial(0.1)), gmpi::MP_FAIL);
    knob->pointerMove(0, onDial(0.3));
    EXPECT_TRUE(knob->takeTransmissions().empty());
}

TEST(VecJoystickKnob, HitsOnlyStrictlyInsideTheKnob)
{
    auto knob = makeWidget("KV_VecJS", 200, 100);  // a knob of diameter 100 in the middle
    EXPECT_EQ(knob->hitTest({100, 50}), gmpi::MP_OK);
    EXPECT_EQ(knob->hitTest({100, 1}), gmpi::MP_OK);
    EXPECT_EQ(knob->hitTest({150, 50}), gmpi::MP_FAIL);  // on the circle
    EXPECT_EQ(knob->hitTest({40, 50}), gmpi::MP_FAIL);
    EXPECT_EQ(knob->hitTest({10, 10}), gmpi::MP_FAIL);
}

TEST(VecJoystickKnob, ContextMenuPulsesTheChoiceAndTooltipIsTheText)
{
    auto knob = makeWidget("KV_VecJS", 100, 100);
    knob->setPin("MenuItems", std::wstring(L"Reset=3,Random=7,Caf\u00e9"));
    knob->setPin("Tooltip", std::wstring(L"Cutoff \u2013 drag round"));
    const auto items = knob->openContextMenu({50, 50});
    EXPECT_EQ(items, (std::vector<mphost::ContextMenuItem>{{"Reset", 3, 0}, {"Random", 7, 0}, {"Caf\xc3\xa9", 8, 0}}));
    knob->takeTransmissions();
    EXPECT_EQ(knob->chooseContextMenuItem(7), gmpi::MP_OK);
    EXPECT_EQ(sent(*knob), (std::vector<Sent>{{"MenuSelection", 7}, {"MenuSelection", -1}}));
    EXPECT_EQ(knob->chooseContextMenuItem(7), gmpi::MP_OK);  // repeated: sent again
    EXPECT_EQ(sent(*knob).size(), 2u);
    EXPECT_EQ(knob->toolTip({50, 50}), "Cutoff \xe2\x80\x93 drag round");
}

TEST(VecJoystickKnob, HostileValuesAndSizesStayFinite)
{
    const std::vector<float> hostile{notANumber, inf, -inf, 3.4e38f, -3.4e38f, -1.0f, 0.0f, 1e-30f};
    for (const auto& [width, height] : {std::pair{0.0f, 0.0f}, std::pair{4000.0f, 4000.0f}, std::pair{37.0f, 3.0f}}) {
        // The large knob draws a 4000 x 4000 body: fewer rounds.
        for (const float a : width > 1000.0f ? std::vector<float>{notANumber, 3.4e38f} : hostile) {
            auto knob = makeWidget("KV_VecJS", width, height);
            for (const char* pin : {"Min", "Max", "Turns", "StartAngle", "Value", "RimWidth", "Shine"})
                knob->setPin(pin, a);
            knob->setPin("Color", std::wstring(L"zz"));
            knob->setPin("Color2", std::wstring(L"0x"));
            knob->pointerDown(button, {width * 0.5f + 1.0f, 0.0f});
            knob->pointerMove(button, {width, height});
            knob->pointerMove(button, {notANumber, inf});
            knob->pointerMove(button, {0.0f, height});
            knob->pointerUp(button, {0.0f, height});
            for (const auto& transmission : knob->takeTransmissions()) {
                if (const float* value = std::get_if<float>(&transmission.value)) {
                    EXPECT_TRUE(std::isfinite(*value)) << transmission.pinName << " after " << a;
                }
            }
            knob->hitTest({notANumber, notANumber});
            expectFiniteDrawing(*knob);
        }
    }
}

// ---------------------------------------------------------------------------------
// Better Joystick Image (handle 24 x 24; a 124 x 124 module leaves 100 pixels of travel)

TEST(Joystick, DragMovesTheHandleByThePointersNormalisedMovement)
{
    auto joystick = makeWidget("Better Joystick Image", 124, 124);
    // The handle starts in the middle: top-left (50, 50).
    EXPECT_EQ(joystick->hitTest({62, 62}), gmpi::MP_OK);
    EXPECT_EQ(joystick->hitTest({10, 10}), gmpi::MP_FAIL);
    ASSERT_EQ(joystick->pointerDown(button, {62, 62}), gmpi::MP_OK);
    EXPECT_EQ(joystick->value("MouseDown"), mphost::PinValue(true));
    EXPECT_EQ(intOf(joystick->value("PointerFlags")), button);
    joystick->pointerMove(button, {72, 52});  // right 0.1, up 0.1
    EXPECT_NEAR(valueOf(*joystick, "PosX"), 0.6f, 1e-6);
    EXPECT_NEAR(valueOf(*joystick, "PosY"), 0.6f, 1e-6);
    joystick->pointerMove(button, {500, -500});  // far outside: clamped to the corner
    EXPECT_EQ(valueOf(*joystick, "PosX"), 1.0f);
    EXPECT_EQ(valueOf(*joystick, "PosY"), 1.0f);
    joystick->pointerMove(button, {490, -500});  // relative: back 0.1 from the corner
    EXPECT_NEAR(valueOf(*joystick, "PosX"), 0.9f, 1e-6);
    EXPECT_EQ(joystick->pointerUp(button, {490, -500}), gmpi::MP_OK);
    EXPECT_EQ(joystick->value("MouseDown"), mphost::PinValue(false));
    EXPECT_EQ(intOf(joystick->value("PointerFlags")), 0);

    // Pressed beside the handle: nothing.
    joystick->takeTransmissions();
    EXPECT_EQ(joystick->pointerDown(button, {5, 118}), gmpi::MP_FAIL);
    joystick->pointerMove(button, {50, 50});
    EXPECT_TRUE(joystick->takeTransmissions().empty());
}

TEST(Joystick, FineKeyMovesByTheFineFactor)
{
    auto joystick = makeWidget("Better Joystick Image", 124, 124);
    joystick->setPin("FineFactor", 0.1f);
    joystick->pointerDown(button, {62, 62});
    joystick->pointerMove(button | fineKey, {72, 52});
    EXPECT_NEAR(valueOf(*joystick, "PosX"), 0.51f, 1e-6);
    EXPECT_NEAR(valueOf(*joystick, "PosY"), 0.51f, 1e-6);
    joystick->pointerMove(button, {82, 42});  // without the key: full speed again
    EXPECT_NEAR(valueOf(*joystick, "PosX"), 0.61f, 1e-6);
    joystick->pointerUp(button, {82, 42});
}

TEST(Joystick, JumpToClickCentresTheHandleUnderThePointer)
{
    auto joystick = makeWidget("Better Joystick Image", 124, 124);
    joystick->setPin("JumpToClick", true);
    EXPECT_EQ(joystick->hitTest({5, 5}), gmpi::MP_OK);
    ASSERT_EQ(joystick->pointerDown(button, {22, 32}), gmpi::MP_OK);
    EXPECT_NEAR(valueOf(*joystick, "PosX"), 0.1f, 1e-6);
    EXPECT_NEAR(valueOf(*joystick, "PosY"), 0.8f, 1e-6);
    joystick->pointerMove(button, {32, 32});
    EXPECT_NEAR(valueOf(*joystick, "PosX"), 0.2f, 1e-6);
    joystick->pointerUp(button, {32, 32});
}

TEST(Joystick, WholeAreaStartsADragAnywhereWithoutJumping)
{
    auto joystick = makeWidget("Better Joystick Image", 124, 124);
    joystick->setPin("WholeArea", true);
    EXPECT_EQ(joystick->hitTest({5, 118}), gmpi::MP_OK);
    ASSERT_EQ(joystick->pointerDown(button, {5, 118}), gmpi::MP_OK);
    EXPECT_EQ(valueOf(*joystick, "PosX"), 0.5f);
    joystick->pointerMove(button, {25, 118});
    EXPECT_NEAR(valueOf(*joystick, "PosX"), 0.7f, 1e-6);
    EXPECT_EQ(valueOf(*joystick, "PosY"), 0.5f);
    joystick->pointerUp(button, {25, 118});
}

TEST(Joystick, RangesLimitThePositionFromPinsAndDrags)
{
    auto joystick = makeWidget("Better Joystick Image", 124, 124);
    joystick->setPin("XMin", 0.2f);
    joystick->setPin("XMax", 0.4f);
    joystick->setPin("PosX", 0.3f);
    joystick->setPin("JumpToClick", true);
    joystick->takeTransmissions();
    joystick->pointerDown(button, {112, 62});
    EXPECT_EQ(valueOf(*joystick, "PosX"), 0.4f);
    joystick->pointerMove(button, {0, 62});
    EXPECT_EQ(valueOf(*joystick, "PosX"), 0.2f);
    joystick->pointerUp(button, {0, 62});
}

TEST(Joystick, NoHandleImageMeansNoHitAndNoPress)
{
    for (const wchar_t* image : {L"", L"no_such_image"}) {
        auto joystick = makeWidget("Better Joystick Image", 124, 124);
        joystick->setPin("Image", std::wstring(image));
        joystick->setPin("WholeArea", true);
        joystick->setPin("JumpToClick", true);
        joystick->takeTransmissions();
        EXPECT_EQ(joystick->hitTest({62, 62}), gmpi::MP_FAIL);
        EXPECT_EQ(joystick->pointerDown(button, {62, 62}), gmpi::MP_FAIL);
        joystick->pointerMove(button, {70, 70});
        EXPECT_TRUE(joystick->takeTransmissions().empty());
        EXPECT_EQ(joystick->graphicsHost().takeRequests().captures, 0);
        expectFiniteDrawing(*joystick);  // the placeholder
    }
}

// ---------------------------------------------------------------------------------
// PolarPicker (handle 20 x 20; a 120 x 120 module leaves 100 pixels of travel)

TEST(PolarPicker, PointerGivesAngleAndDistance)
{
    auto picker = makeWidget("PolarPicker", 120, 120);
    const struct {
        MP1_POINT at;
        float angle, dist;
    } cases[] = {
        {{60, 60}, 0.0f, 0.0f},   {{60, 10}, 0.25f, 1.0f},  {{110, 60}, 0.0f, 1.0f},
        {{10, 60}, 0.5f, 1.0f},   {{60, 110}, 0.75f, 1.0f}, {{85, 60}, 0.0f, 0.5f},
        {{0, 0}, 0.375f, 1.0f},   {{85, 35}, 0.125f, static_cast<float>(std::numbers::sqrt2 / 2)},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(picker->hitTest(c.at), gmpi::MP_OK);
        ASSERT_EQ(picker->pointerDown(button, c.at), gmpi::MP_OK);
        EXPECT_NEAR(valueOf(*picker, "Angle"), c.angle, 1e-6) << c.at.x << ", " << c.at.y;
        EXPECT_NEAR(valueOf(*picker, "Dist"), c.dist, 1e-6) << c.at.x << ", " << c.at.y;
        EXPECT_EQ(picker->value("MouseDown"), mphost::PinValue(true));
        picker->pointerUp(button, c.at);
        EXPECT_EQ(picker->value("MouseDown"), mphost::PinValue(false));
    }
    // A drag follows the pointer.
    picker->pointerDown(button, {60, 60});
    picker->pointerMove(button, {60, 35});
    EXPECT_NEAR(valueOf(*picker, "Angle"), 0.25f, 1e-6);
    EXPECT_NEAR(valueOf(*picker, "Dist"), 0.5f, 1e-6);
    picker->pointerUp(button, {60, 35});
    picker->takeTransmissions();
    picker->pointerMove(button, {60, 110});  // released: ignored
    EXPECT_TRUE(picker->takeTransmissions().empty());
}

TEST(PolarPicker, NoHandleImageMeansNoHitAndNoPress)
{
    auto picker = makeWidget("PolarPicker", 120, 120);
    picker->setPin("Image", std::wstring(L""));
    picker->takeTransmissions();
    EXPECT_EQ(picker->hitTest({60, 60}), gmpi::MP_FAIL);
    EXPECT_EQ(picker->pointerDown(button, {60, 60}), gmpi::MP_FAIL);
    EXPECT_TRUE(picker->takeTransmissions().empty());
    expectFiniteDrawing(*picker);
}

// ---------------------------------------------------------------------------------
// Both image widgets

TEST(JoystickAndPolarPicker, HostileValuesAndSizesStayFinite)
{
    const float hostile[] = {notANumber, inf, -inf, 3.4e38f, -3.4e38f, -1.0f, 2.0f};
    for (const char* id : {"Better Joystick Image", "PolarPicker"}) {
        for (const auto& [width, height] :
             {std::pair{0.0f, 0.0f}, std::pair{4000.0f, 4000.0f}, std::pair{10.0f, 200.0f}}) {
            for (const float a : hostile) {
                auto widget = makeWidget(id, width, height);
                for (const auto& pin : widget->pins())
                    if (pin.datatype == gmpi::MP_FLOAT32 && pin.direction == 0)
                        widget->setPin(pin.name, a);
                for (const char* pin : {"PosX", "PosY", "Angle", "Dist"})
                    if (hasPin(*widget, pin))
                        widget->setPin(pin, a);
                for (const char* pin : {"BGXOffset", "BGYOffset"})
                    if (hasPin(*widget, pin))
                        widget->setPin(pin, std::numeric_limits<std::int32_t>::min());
                for (const char* pin : {"JumpToClick", "WholeArea"})
                    if (hasPin(*widget, pin))
                        widget->setPin(pin, true);
                widget->pointerDown(button, {width * 0.5f, height * 0.5f});
                widget->pointerMove(button | fineKey, {width, 0.0f});
                widget->pointerMove(button, {notANumber, -inf});
                widget->pointerMove(button, {-width, height * 2.0f});
                widget->pointerUp(button, {0.0f, 0.0f});
                for (const auto& transmission : widget->takeTransmissions()) {
                    if (const float* value = std::get_if<float>(&transmission.value)) {
                        EXPECT_TRUE(std::isfinite(*value) && *value >= 0.0f && *value <= 1.0f)
                            << id << " " << transmission.pinName << " = " << *value << " after " << a;
                    }
                }
                widget->hitTest({inf, notANumber});
                expectFiniteDrawing(*widget);
            }
        }
    }
}

// ---------------------------------------------------------------------------------
// A patch's scripted context menu, on the knob

namespace {

mphost::Patch knobPatch(const std::string& script)
{
    mphost::PatchEnvironment environment;
    environment.bundleFolders = {MP_BUNDLE_DIR};
    return mphost::parsePatch(R"({"seconds": 0.1, "modules": [
        {"name": "knob", "bundle": "ui_modules", "id": "KV_VecJS", "rect": [0, 0, 50, 50],
         "values": {"MenuItems": "Reset=3,Random=7"}}], "script": [)" +
                                  script + "]}",
                              "knob.json", environment);
}

}  // namespace

TEST(ScriptedContextMenu, ChoosesAnItemByIdOrText)
{
    mphost::Engine engine(knobPatch(R"({"time": 0.01, "module": "knob", "context_menu": [25, 25], "choose": 7},
        {"time": 0.05, "module": "knob", "context_menu": [25, 25], "choose": "Reset"})"));
    std::vector<Sent> menu;
    while (engine.processBlock() > 0)
        for (const Sent& s : sent(*engine.gui("knob")))
            if (s.pin == "MenuSelection")
                menu.push_back(s);
    EXPECT_EQ(menu, (std::vector<Sent>{{"MenuSelection", 7}, {"MenuSelection", -1}, {"MenuSelection", 3},
                                       {"MenuSelection", -1}}));
}

TEST(ScriptedContextMenu, AnItemTheMenuLacksIsAClearError)
{
    mphost::Engine engine(knobPatch(R"({"time": 0.01, "module": "knob", "context_menu": [25, 25], "choose": "Undo"})"));
    try {
        while (engine.processBlock() > 0) {
        }
        FAIL() << "no error";
    } catch (const mphost::HostError& error) {
        EXPECT_STREQ(error.what(), "knob.json: at 0.01 s the context menu of module \"knob\" has no item \"Undo\"; "
                                   "it offers \"Reset\" (id 3), \"Random\" (id 7)");
    }
    for (const char* bad : {R"({"time": 0.01, "module": "knob", "context_menu": [25, 25], "choose": 1.5})",
                            R"({"time": 0.01, "module": "knob", "context_menu": [25], "choose": 1})",
                            R"({"time": 0.01, "module": "knob", "context_menu": [25, 25]})"})
        EXPECT_THROW(knobPatch(bad), mphost::HostError) << bad;
}
