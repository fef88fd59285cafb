// The pointer widgets of ui_modules through the built bundle and the host's harness: the
// jog shuttle's turns and wrap, the mouse box's flips and deltas, the line's hit zone and
// clamping, the hover box's pulse; and all of them under hostile values and sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

#include "gui/gui_test_support.h"

using namespace gui_testing;
using mphost::GuiModule;
using mphost::Rgba;
namespace fs = std::filesystem;

namespace {

constexpr std::int32_t button = 0x10;
constexpr float notANumber = std::numeric_limits<float>::quiet_NaN();
constexpr float inf = std::numeric_limits<float>::infinity();
constexpr double pi = 3.14159265358979;

mphost::GuiModuleOptions defaultSkin()
{
    mphost::GuiModuleOptions options;
    options.host.skinFolder = fs::path(MP_SOURCE_DIR) / "skins" / "default";
    return options;
}

std::unique_ptr<GuiModule> makeSized(const std::string& id, float width, float height,
                                     mphost::GuiModuleOptions options = defaultSkin())
{
    auto module = makeUi(id, std::move(options));
    module->arrange({0, 0, width, height});
    module->takeTransmissions();
    return module;
}

float floatPin(GuiModule& module, const char* name) { return floatOf(module.value(name)); }
std::int32_t intPin(GuiModule& module, const char* name) { return intOf(module.value(name)); }
bool boolPin(GuiModule& module, const char* name) { return std::get<bool>(module.value(name)); }

// A point on the circle of `radius` around the centre of a 64 x 64 jog wheel, at
// `degrees` clockwise from 12 o'clock.
mphost::MP1_POINT onWheel(double degrees, double radius = 24.0)
{
    const double a = degrees * pi / 180.0;
    return {static_cast<float>(32.0 + radius * std::sin(a)), static_cast<float>(32.0 - radius * std::cos(a))};
}

}  // namespace

// ---------------------------------------------------------------------------------------
// JogShuttle

TEST(JogShuttle, ShowsTheFractionOfTheTurnValueStandsFor)
{
    auto jog = makeSized("JogShuttle", 64, 64);
    jog->setPin("Turns", 2.0f);
    jog->setPin("Value", 0.75f);
    EXPECT_FLOAT_EQ(floatPin(*jog, "AnimationPosition"), 0.5f);
    // A whole number of turns wraps to the first frame.
    jog->setPin("Value", 0.5f);
    EXPECT_FLOAT_EQ(floatPin(*jog, "AnimationPosition"), 0.0f);
    // Values outside the range are clamped before the turns are counted.
    jog->setPin("Value", 7.0f);
    EXPECT_FLOAT_EQ(floatPin(*jog, "AnimationPosition"), 0.0f);
    jog->setPin("Turns", 1.5f);
    EXPECT_FLOAT_EQ(floatPin(*jog, "AnimationPosition"), 0.5f);
    // Negative turns count backwards; the position stays in 0 .. 1.
    jog->setPin("Turns", -0.25f);
    EXPECT_FLOAT_EQ(floatPin(*jog, "AnimationPosition"), 0.75f);
}

TEST(JogShuttle, ValueDeliveredBeforeItsRangeIsKept)
{
    auto jog = makeUi("JogShuttle", defaultSkin(), false);
    jog->start({{"Value", 5.0f}, {"Min", 0.0f}, {"Max", 10.0f}, {"Turns", 1.0f}});
    EXPECT_FLOAT_EQ(floatPin(*jog, "AnimationPosition"), 0.5f);
    // The skin's strip has 32 frames; both frame-count pins say so.
    EXPECT_EQ(intPin(*jog, "FrameCount"), 32);
    EXPECT_EQ(intPin(*jog, "FrameCount2"), 32);
}

TEST(JogShuttle, AClockwiseCircleWithOneTurnSweepsTheRange)
{
    auto jog = makeSized("JogShuttle", 64, 64);
    ASSERT_EQ(jog->pointerDown(button, onWheel(0)), gmpi::MP_OK);
    EXPECT_TRUE(jog->graphicsHost().requests().captured);
    EXPECT_TRUE(boolPin(*jog, "MouseDown"));
    EXPECT_TRUE(boolPin(*jog, "MouseDown2"));
    // Ten degrees a step, past 9 o'clock where the angle wraps, back to 12 o'clock.
    for (int step = 1; step <= 36; ++step) {
        jog->pointerMove(button, onWheel(step * 10.0));
        ASSERT_NEAR(floatPin(*jog, "Value"), step / 36.0f, 1e-4f) << step;
        ASSERT_NEAR(floatPin(*jog, "Delta"), 1.0f / 36.0f, 1e-4f) << step;
    }
    // Further on, Value stays at Max and nothing more is sent.
    jog->pointerMove(button, onWheel(370.0));
    jog->takeTransmissions();
    jog->pointerMove(button, onWheel(380.0));
    EXPECT_TRUE(sent(*jog).empty());
    EXPECT_EQ(floatPin(*jog, "Value"), 1.0f);
    // Counter-clockwise turns it back.
    jog->pointerMove(button, onWheel(290.0));
    EXPECT_NEAR(floatPin(*jog, "Value"), 0.75f, 1e-4f);
    EXPECT_NEAR(floatPin(*jog, "Delta"), -0.25f, 1e-4f);
    EXPECT_NEAR(floatPin(*jog, "AnimationPosition"), 0.75f, 1e-4f);
    jog->pointerUp(button, onWheel(290.0));
    EXPECT_FALSE(boolPin(*jog, "MouseDown"));
    EXPECT_FALSE(boolPin(*jog, "MouseDown2"));
    EXPECT_FALSE(jog->graphicsHost().requests().captured);
    // Moves after the release turn nothing.
    sent(*jog);
    jog->pointerMove(button, onWheel(0.0));
    EXPECT_TRUE(sent(*jog).empty());
}

TEST(JogShuttle, MoreTurnsMoveValueMoreSlowly)
{
    auto jog = makeSized("JogShuttle", 64, 64);
    jog->setPin("Min", -1.0f);
    jog->setPin("Max", 3.0f);
    jog->setPin("Turns", 4.0f);
    jog->setPin("Value", 1.0f);
    jog->pointerDown(button, onWheel(0));
    jog->pointerMove(button, onWheel(90));  // a quarter turn: a sixteenth of the range
    EXPECT_NEAR(floatPin(*jog, "Value"), 1.25f, 1e-4f);
    EXPECT_NEAR(floatPin(*jog, "Delta"), 0.25f, 1e-4f);
    // Turns 0: the wheel turns nothing (rather than throwing Value to an end).
    jog->setPin("Turns", 0.0f);
    jog->takeTransmissions();
    jog->pointerMove(button, onWheel(180));
    EXPECT_TRUE(sent(*jog).empty());
    EXPECT_EQ(floatPin(*jog, "AnimationPosition"), 0.0f);
}

TEST(JogShuttle, PressesOnlyOnTheImageWithThePrimaryButton)
{
    auto jog = makeSized("JogShuttle", 64, 64);
    // The transparent corner of the wheel, and the secondary button: no press.
    EXPECT_NE(jog->pointerDown(button, {1, 1}), gmpi::MP_OK);
    EXPECT_NE(jog->pointerDown(0x20, onWheel(0)), gmpi::MP_OK);
    EXPECT_TRUE(sent(*jog).empty());
    EXPECT_FALSE(jog->graphicsHost().requests().captured);
    // Without an image: no hit, no press, no frames, and the "X" placeholder is drawn.
    auto bare = makeSized("JogShuttle", 64, 64);
    bare->setPin("Image", std::wstring(L"no-such-image"));
    EXPECT_EQ(intPin(*bare, "FrameCount"), 0);
    EXPECT_NE(bare->hitTest({32, 32}), gmpi::MP_OK);
    EXPECT_NE(bare->pointerDown(button, {32, 32}), gmpi::MP_OK);
    EXPECT_FALSE(bare->graphicsHost().requests().captured);
    const auto surface = bare->renderAlone(64, 64);
    int drawn = 0;
    for (int y = 0; y < 64; y += 4)
        for (int x = 0; x < 64; x += 4)
            drawn += surface.pixel(x, y).a > 0;
    EXPECT_GT(drawn, 100);
}

TEST(JogShuttle, HostileValuesKeepThePositionFinite)
{
    auto jog = makeSized("JogShuttle", 64, 64);
    jog->setPin("Value", 0.25f);
    const float hostile[] = {notANumber, inf, -inf, 1e38f, -1e38f, 0.0f, -0.0f, 1e-38f};
    for (const char* pin : {"Value", "Min", "Max", "Turns"}) {
        for (float v : hostile) {
            jog->setPin(pin, v);
            const float p = floatPin(*jog, "AnimationPosition");
            ASSERT_TRUE(p >= 0.0f && p < 1.0f) << pin << " " << v << " -> " << p;
        }
    }
    jog->setPin("Min", 0.0f);
    jog->setPin("Max", 1.0f);
    jog->setPin("Turns", 1.0f);
    jog->setPin("Value", 0.5f);
    EXPECT_FLOAT_EQ(floatPin(*jog, "AnimationPosition"), 0.5f);
    // Min above Max still clamps into the range between them.
    jog->setPin("Min", 1.0f);
    jog->setPin("Max", 0.0f);
    jog->setPin("Value", 3.0f);
    jog->pointerDown(button, onWheel(0));
    jog->pointerMove(button, {notANumber, 3});
    jog->pointerMove(button, {inf, -inf});
    jog->pointerMove(button, onWheel(45));
    EXPECT_TRUE(std::isfinite(floatPin(*jog, "Value")));
    EXPECT_GE(floatPin(*jog, "Value"), 0.0f);
    EXPECT_LE(floatPin(*jog, "Value"), 1.0f);
    jog->pointerUp(button, onWheel(45));
}

// ---------------------------------------------------------------------------------------
// MouseBox

TEST(MouseBox, FlipModeCountsFromTheOtherEdge)
{
    auto box = makeSized("MouseBox", 100, 100);
    const auto pressAt = [&](int flip, mphost::MP1_POINT point) {
        box->setPin("FlipMode", flip);
        box->pointerDown(button, point);
        box->pointerUp(button, point);
        return std::pair(intPin(*box, "X"), intPin(*box, "Y"));
    };
    EXPECT_EQ(pressAt(0, {10.7f, 0.0f}), std::pair(10, 0));
    EXPECT_EQ(pressAt(1, {10.7f, 0.0f}), std::pair(10, 99));
    EXPECT_EQ(pressAt(2, {10.7f, 0.0f}), std::pair(89, 0));
    EXPECT_EQ(pressAt(3, {10.7f, 99.9f}), std::pair(89, 0));
    EXPECT_FLOAT_EQ(floatPin(*box, "XNorm"), 0.89f);
    EXPECT_FLOAT_EQ(floatPin(*box, "YNorm"), 0.0f);
}

TEST(MouseBox, DeltasReportTheChangeSinceThePreviousEvent)
{
    auto box = makeSized("MouseBox", 100, 100);
    box->pointerDown(button, {50, 50});
    EXPECT_TRUE(boolPin(*box, "MouseDown"));
    EXPECT_EQ(intPin(*box, "Flags"), button);
    EXPECT_TRUE(box->graphicsHost().requests().captured);
    box->takeTransmissions();
    box->pointerMove(button, {53, 50});
    const auto moved = sent(*box);
    EXPECT_NE(std::find(moved.begin(), moved.end(), Sent{"DX", 3}), moved.end());
    EXPECT_EQ(intPin(*box, "X"), 53);
    EXPECT_EQ(intPin(*box, "DY"), 0);
    EXPECT_FLOAT_EQ(floatPin(*box, "DXNorm"), 0.53f - 0.5f);
    // The same point again: no change since the previous event.
    box->pointerMove(button, {53.4f, 50});
    EXPECT_EQ(intPin(*box, "DX"), 0);
    box->pointerMove(button, {53, 40});
    EXPECT_EQ(intPin(*box, "DX"), 0);
    EXPECT_EQ(intPin(*box, "DY"), -10);
    box->pointerUp(button, {53, 40});
    EXPECT_EQ(intPin(*box, "DX"), 0);
    EXPECT_EQ(intPin(*box, "DY"), 0);
    EXPECT_EQ(floatPin(*box, "DYNorm"), 0.0f);
    EXPECT_FALSE(boolPin(*box, "MouseDown"));
    EXPECT_EQ(intPin(*box, "Flags"), 0);
    EXPECT_FALSE(box->graphicsHost().requests().captured);
    // Position pins keep the last point.
    EXPECT_EQ(intPin(*box, "Y"), 40);
}

TEST(MouseBox, AngleGoesRoundTheCentreAndItsDeltaWraps)
{
    auto box = makeSized("MouseBox", 100, 100);
    box->pointerDown(button, {50, 90});  // straight below
    EXPECT_FLOAT_EQ(floatPin(*box, "Angle"), 0.5f);
    box->pointerMove(button, {90, 50});  // right
    EXPECT_FLOAT_EQ(floatPin(*box, "Angle"), 0.25f);
    EXPECT_FLOAT_EQ(floatPin(*box, "DAngle"), -0.25f);
    box->pointerMove(button, {10, 50});  // left
    EXPECT_FLOAT_EQ(floatPin(*box, "Angle"), 0.75f);
    // Just left of straight up, then just right of it: a small step, not most of a turn.
    box->pointerMove(button, {49, 0});
    const float before = floatPin(*box, "Angle");
    box->pointerMove(button, {51, 0});
    const float after = floatPin(*box, "Angle");
    EXPECT_GT(before, 0.99f);
    EXPECT_LT(after, 0.01f);
    EXPECT_NEAR(floatPin(*box, "DAngle"), after + 1.0f - before, 1e-5f);
    box->pointerUp(button, {51, 0});
    EXPECT_EQ(floatPin(*box, "DAngle"), 0.0f);
}

TEST(MouseBox, PointerEventsWithoutAPressChangeNothing)
{
    auto box = makeSized("MouseBox", 100, 100);
    EXPECT_NE(box->pointerMove(button, {20, 20}), gmpi::MP_OK);
    EXPECT_NE(box->pointerUp(button, {20, 20}), gmpi::MP_OK);
    EXPECT_NE(box->pointerDown(0x20, {20, 20}), gmpi::MP_OK);  // not the primary button
    EXPECT_TRUE(sent(*box).empty());
    // The whole box takes the pointer, also where its image does not reach.
    EXPECT_EQ(box->hitTest({99, 99}), gmpi::MP_OK);
}

TEST(MouseBox, HostilePointsAndSizesGiveFiniteValues)
{
    for (const float side : {0.0f, 1.0f, 4000.0f, notANumber, -50.0f}) {
        auto box = makeSized("MouseBox", side, side);
        box->setPin("FlipMode", 3);
        for (const mphost::MP1_POINT point : {mphost::MP1_POINT{0, 0}, {notANumber, notANumber}, {inf, -inf}, {3e9f, -3e9f},
                                              {-5, 4500}, {2147483520.0f, 2147483520.0f}}) {
            box->pointerDown(button, point);
            box->pointerMove(button, point);
            for (const char* pin : {"XNorm", "YNorm", "Angle", "DXNorm", "DYNorm", "DAngle"})
                ASSERT_TRUE(std::isfinite(floatPin(*box, pin))) << side << " " << pin;
            box->pointerUp(button, point);
        }
        box->renderAlone(side > 1000 ? 400 : 10, side > 1000 ? 400 : 10);
    }
    // An empty box normalises to 0.
    auto empty = makeSized("MouseBox", 0, 0);
    empty->pointerDown(button, {5, 5});
    EXPECT_EQ(floatPin(*empty, "XNorm"), 0.0f);
    EXPECT_EQ(intPin(*empty, "X"), 5);
}

TEST(MouseBox, DrawsItsPressedFrameWhilePressed)
{
    auto box = makeSized("MouseBox", 96, 96);
    const Rgba rest = box->renderAlone(96, 96).pixel(48, 20);
    box->pointerDown(button, {48, 48});
    const Rgba pressed = box->renderAlone(96, 96).pixel(48, 20);
    EXPECT_NE(rest, pressed);
    box->pointerUp(button, {48, 48});
    EXPECT_EQ(box->renderAlone(96, 96).pixel(48, 20), rest);
}

// ---------------------------------------------------------------------------------------
// KLine

TEST(KLine, HitZoneIsHalfTheThicknessEitherSideOfTheCentre)
{
    auto line = makeSized("KLine", 200, 100);
    line->setPin("Position", 0.25f);
    line->setPin("Thickness", 6);
    EXPECT_EQ(line->hitTest({150, 22.0f}), gmpi::MP_OK);
    EXPECT_EQ(line->hitTest({0, 28.0f}), gmpi::MP_OK);
    EXPECT_NE(line->hitTest({0, 28.5f}), gmpi::MP_OK);
    EXPECT_NE(line->hitTest({0, 21.5f}), gmpi::MP_OK);
    // Vertical: the centre is a quarter of the width.
    line->setPin("Vert", true);
    EXPECT_EQ(line->hitTest({53.0f, 99}), gmpi::MP_OK);
    EXPECT_NE(line->hitTest({56.0f, 25}), gmpi::MP_OK);
    EXPECT_NE(line->hitTest({notANumber, 25}), gmpi::MP_OK);
}

TEST(KLine, PositionAndThicknessAreClamped)
{
    auto line = makeSized("KLine", 100, 100);
    line->setPin("Thickness", -7);  // at least 1 pixel
    line->setPin("Position", 2.0f);
    EXPECT_EQ(line->hitTest({5, 99.5f}), gmpi::MP_OK);
    EXPECT_NE(line->hitTest({5, 99.0f}), gmpi::MP_OK);
    line->setPin("Position", -inf);
    EXPECT_EQ(line->hitTest({5, 0.5f}), gmpi::MP_OK);
    line->setPin("Position", notANumber);  // keeps the previous position
    EXPECT_EQ(line->hitTest({5, 0.5f}), gmpi::MP_OK);
    line->setPin("Thickness", 2147483647);
    EXPECT_EQ(line->hitTest({5, 1e6f}), gmpi::MP_OK);
}

TEST(KLine, PressOnTheLineSetsMouseDownUntilRelease)
{
    auto line = makeSized("KLine", 100, 40);
    line->setPin("Thickness", 4);
    EXPECT_NE(line->pointerDown(button, {50, 5}), gmpi::MP_OK);  // off the line
    EXPECT_TRUE(sent(*line).empty());
    EXPECT_EQ(line->pointerDown(button, {50, 21}), gmpi::MP_OK);
    EXPECT_EQ(sent(*line), (std::vector<Sent>{{"MouseDown", true}}));
    EXPECT_TRUE(line->graphicsHost().requests().captured);
    line->pointerMove(button, {50, 39});
    line->pointerUp(button, {50, 39});
    EXPECT_EQ(sent(*line), (std::vector<Sent>{{"MouseDown", false}}));
    EXPECT_FALSE(line->graphicsHost().requests().captured);
    // A release without a press sends nothing.
    line->pointerUp(button, {50, 21});
    EXPECT_TRUE(sent(*line).empty());
}

TEST(KLine, DrawsTheLineOverTheBackground)
{
    auto line = makeSized("KLine", 40, 40);
    line->setPin("FG_ARGB", std::wstring(L"FFFF0000"));
    line->setPin("BG_ARGB", std::wstring(L"FF0000FF"));
    line->setPin("Position", 0.5f);
    line->setPin("Thickness", 4);
    auto surface = line->renderAlone(40, 40);
    EXPECT_EQ(surface.pixel(10, 20), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(surface.pixel(10, 5), (Rgba{0, 0, 255, 255}));
    line->setPin("Vert", true);
    line->setPin("BG_ARGB", std::wstring(L"not a colour"));  // transparent black
    surface = line->renderAlone(40, 40);
    EXPECT_EQ(surface.pixel(20, 5), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(surface.pixel(5, 5).a, 0);
}

// ---------------------------------------------------------------------------------------
// KV_HoverBox

TEST(KV_HoverBox, HitTestReportsThePointPulsesHoverAndMisses)
{
    auto hover = makeSized("KV_HoverBox", 100, 100);
    EXPECT_NE(hover->hitTest({12.5f, 40}), gmpi::MP_OK);
    EXPECT_EQ(sent(*hover), (std::vector<Sent>{{"X", 12.5f}, {"Y", 40.0f}, {"Hover", true}, {"Hover", false}}));
    // The same point again: the pulse only.
    hover->hitTest({12.5f, 40});
    EXPECT_EQ(sent(*hover), (std::vector<Sent>{{"Hover", true}, {"Hover", false}}));
    // A move reports the same way; presses pass through untouched.
    hover->pointerMove(0, {13, 40});
    EXPECT_EQ(sent(*hover), (std::vector<Sent>{{"X", 13.0f}, {"Hover", true}, {"Hover", false}}));
    EXPECT_NE(hover->pointerDown(button, {13, 40}), gmpi::MP_OK);
    EXPECT_NE(hover->pointerUp(button, {13, 40}), gmpi::MP_OK);
    EXPECT_TRUE(sent(*hover).empty());
    // A non-finite point is not reported.
    EXPECT_NE(hover->hitTest({notANumber, inf}), gmpi::MP_OK);
    EXPECT_TRUE(sent(*hover).empty());
}

// ---------------------------------------------------------------------------------------
// All four

TEST(PointerWidgets, ExtremeSizesAndStrayEventsNeverFail)
{
    for (const char* id : {"JogShuttle", "MouseBox", "KLine", "KV_HoverBox"}) {
        for (const float side : {0.0f, 4000.0f}) {
            auto module = makeSized(id, side, side);
            const int pixels = static_cast<int>(side);
            module->renderAlone(pixels, pixels);
            // Moves and releases without a press, then a press and a drag outside the box.
            module->pointerMove(button, {side / 2, side / 2});
            module->pointerUp(button, {side / 2, side / 2});
            module->pointerDown(button, {side / 2, side / 2});
            module->pointerMove(button, {-side - 10, side * 3});
            module->pointerUp(button, {-side - 10, side * 3});
            for (const auto& transmission : module->takeTransmissions()) {
                if (const float* value = std::get_if<float>(&transmission.value)) {
                    ASSERT_TRUE(std::isfinite(*value)) << id << " " << side << " " << transmission.pinName;
                }
            }
        }
    }
}
