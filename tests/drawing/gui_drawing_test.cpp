// The drawing harness of GUI modules, through the probe bundle's drawing module.
#include <gtest/gtest.h>

#include <memory>

#include "harness/gui_module.h"
#include "test_support.h"

namespace {

using mphost::GuiModule;
using mphost::Rgba;

std::unique_ptr<GuiModule> makeDrawing(const char* id = "Probe_Drawing")
{
    auto module =
        std::make_unique<GuiModule>(testing_support::probeBundle(), *testing_support::probeDescriptions().find(id));
    module->start();
    module->takeTransmissions();
    return module;
}

TEST(GuiDrawing, DrawingModulesAreRecognised)
{
    EXPECT_TRUE(makeDrawing()->isGraphical());
    EXPECT_FALSE(makeDrawing("Probe_Gui")->isGraphical());
    auto plain = makeDrawing("Probe_Gui");
    plain->arrange({0, 0, 10, 10});
    mphost::DrawingSurface surface(10, 10);
    plain->render(surface);  // nothing to draw
    EXPECT_EQ(plain->pointerDown(0x10, {1, 1}), gmpi::MP_NOSUPPORT);
    EXPECT_EQ(plain->toolTip({1, 1}), "");
}

TEST(GuiDrawing, RenderPlacesTheModuleInItsRectangleAndClipsIt)
{
    auto module = makeDrawing();
    const auto desired = module->measure({200, 100});
    EXPECT_EQ(desired.width, 50);
    EXPECT_EQ(desired.height, 20);
    module->arrange({40, 30, 140, 50});
    mphost::DrawingSurface panel(200, 100);
    module->render(panel);
    // Value 0.5: the left half red, the rest blue; nothing outside the rectangle.
    EXPECT_EQ(panel.pixel(42, 48), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(panel.pixel(135, 48), (Rgba{0, 0, 255, 255}));
    EXPECT_EQ(panel.pixel(39, 40).a, 0);
    EXPECT_EQ(panel.pixel(141, 40).a, 0);
    EXPECT_EQ(panel.pixel(90, 29).a, 0);
    EXPECT_EQ(panel.pixel(90, 50).a, 0);
    EXPECT_EQ(panel.nonFiniteCoordinates(), 0u);
}

TEST(GuiDrawing, RenderAloneAndInvalidation)
{
    auto module = makeDrawing();
    module->graphicsHost().takeRequests();
    module->setPin("Value", 1.0f);
    EXPECT_EQ(module->graphicsHost().requests().invalidations, 1);
    EXPECT_TRUE(module->graphicsHost().requests().wholeModuleInvalid);

    const mphost::DrawingSurface alone = module->renderAlone(60, 20);
    EXPECT_EQ(alone.width(), 60);
    EXPECT_EQ(alone.pixel(58, 18), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(module->arrangedRect().right, 60);
    // Some white label ink.
    int white = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 60; ++x)
            white += alone.pixel(x, y).g > 128 ? 1 : 0;
    EXPECT_GT(white, 5);
}

TEST(GuiDrawing, PointerInputHitTestAndCapture)
{
    auto module = makeDrawing();
    module->arrange({100, 100, 200, 120});
    // Module-local points: the left half (x < 50) is hit.
    EXPECT_EQ(module->hitTest({10, 5}), gmpi::MP_OK);
    EXPECT_NE(module->hitTest({60, 5}), gmpi::MP_OK);
    EXPECT_NE(module->pointerDown(0, {10, 5}), gmpi::MP_OK);  // no primary button
    EXPECT_NE(module->pointerDown(0x10, {60, 5}), gmpi::MP_OK);
    EXPECT_FALSE(module->graphicsHost().requests().captured);

    EXPECT_EQ(module->pointerDown(0x10, {10, 5}), gmpi::MP_OK);
    EXPECT_TRUE(module->graphicsHost().requests().captured);
    EXPECT_EQ(module->pointerMove(0x10, {30, 5}), gmpi::MP_OK);
    EXPECT_EQ(module->pointerUp(0, {30, 5}), gmpi::MP_OK);
    EXPECT_FALSE(module->graphicsHost().requests().captured);
    EXPECT_EQ(module->pointerMove(0, {40, 5}), gmpi::MP_FAIL);  // no capture any more

    const auto sent = module->takeTransmissions();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].pinName, "Clicks");
    EXPECT_EQ(std::get<std::int32_t>(sent[0].value), 1);
    EXPECT_EQ(sent[1].pinName, "DragX");
    EXPECT_EQ(std::get<float>(sent[1].value), 30.0f);
    EXPECT_EQ(module->toolTip({1, 1}), "probe tip");
    const auto requests = module->graphicsHost().takeRequests();
    EXPECT_EQ(requests.captures, 1);
    EXPECT_EQ(requests.releases, 1);
}

}  // namespace
