// The graphics host a GUI host serves to drawing modules: what it hands out and what it
// records.
#include <gtest/gtest.h>

#include <limits>

#include "drawing/drawing_surface.h"
#include "services/gui_host.h"

namespace {

namespace api = GmpiDrawing_API;
using mphost::ComPtr;

struct Hosted {
    mphost::GuiHost host{mphost::GuiHostSettings{}, {}};
    ComPtr<gmpi_gui::IMpGraphicsHost> graphics()
    {
        ComPtr<gmpi_gui::IMpGraphicsHost> result;
        EXPECT_EQ(host.queryInterface(gmpi_gui::SE_IID_GRAPHICS_HOST, result.receive()), gmpi::MP_OK);
        return result;
    }
};

TEST(GraphicsHost, AnsweredByTheGuiHostAndCountedOnIt)
{
    Hosted hosted;
    {
        auto graphics = hosted.graphics();
        ASSERT_TRUE(graphics);
        EXPECT_EQ(hosted.host.referenceCount(), 1);
        // Back to the GUI host's interfaces through the graphics host.
        auto ui = graphics.as<gmpi::IMpUserInterfaceHost2>(gmpi::MP_IID_UI_HOST2);
        EXPECT_TRUE(ui);
    }
    EXPECT_EQ(hosted.host.referenceCount(), 0);
}

TEST(GraphicsHost, HandsOutTheDrawingFactoryItWasGiven)
{
    Hosted hosted;
    auto graphics = hosted.graphics();
    ComPtr<api::IMpFactory> factory;
    // The services know no drawing backend of their own: the harness gives them one.
    graphics->GetDrawingFactory(reinterpret_cast<api::IMpFactory**>(factory.receive()));
    EXPECT_FALSE(factory);
    hosted.host.graphics().setFactory(mphost::drawing::sharedFactory());
    graphics->GetDrawingFactory(reinterpret_cast<api::IMpFactory**>(factory.receive()));
    ASSERT_TRUE(factory);
    EXPECT_EQ(factory.get(), mphost::drawing::sharedFactory().get());
    graphics->GetDrawingFactory(nullptr);

    auto own = mphost::drawing::createFactory();
    hosted.host.graphics().setFactory(own);
    graphics->GetDrawingFactory(reinterpret_cast<api::IMpFactory**>(factory.receive()));
    EXPECT_EQ(factory.get(), own.get());
}

TEST(GraphicsHost, RecordsInvalidationMeasureRequestsAndCapture)
{
    Hosted hosted;
    auto graphics = hosted.graphics();
    const api::MP1_RECT first{10, 10, 20, 20};
    const api::MP1_RECT second{30, 5, 25, 15};  // reversed corners
    graphics->invalidateRect(&first);
    graphics->invalidateRect(&second);
    graphics->invalidateMeasure();
    std::int32_t captured = -1;
    graphics->getCapture(captured);
    EXPECT_EQ(captured, 0);
    graphics->setCapture();
    graphics->getCapture(captured);
    EXPECT_EQ(captured, 1);

    const mphost::GraphicsRequests requests = hosted.host.graphics().takeRequests();
    EXPECT_EQ(requests.invalidations, 2);
    EXPECT_FALSE(requests.wholeModuleInvalid);
    ASSERT_TRUE(requests.invalidArea);
    EXPECT_EQ(requests.invalidArea->left, 10);
    EXPECT_EQ(requests.invalidArea->top, 5);
    EXPECT_EQ(requests.invalidArea->right, 30);
    EXPECT_EQ(requests.invalidArea->bottom, 20);
    EXPECT_EQ(requests.measureRequests, 1);
    EXPECT_EQ(requests.captures, 1);

    // Taking the requests keeps the capture.
    const auto& now = hosted.host.graphics().requests();
    EXPECT_EQ(now.invalidations, 0);
    EXPECT_TRUE(now.captured);
    graphics->releaseCapture();
    graphics->getCapture(captured);
    EXPECT_EQ(captured, 0);

    graphics->invalidateRect(nullptr);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const api::MP1_RECT broken{nan, 0, 1, 1};
    graphics->invalidateRect(&broken);
    EXPECT_TRUE(hosted.host.graphics().requests().wholeModuleInvalid);
    EXPECT_FALSE(hosted.host.graphics().requests().invalidArea);
}

}  // namespace
