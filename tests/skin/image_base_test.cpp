// The image widget base through a test bundle and the host's harness: loading by the
// file-name pin, the draw position, the measure request, the placeholder, tooltip,
// context menu and pointer capture.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "gui/gui_test_support.h"

using namespace gui_testing;
using mphost::GuiModule;
namespace fs = std::filesystem;
namespace api = GmpiDrawing_API;

namespace {

std::shared_ptr<mphost::Bundle> skinProbeBundle()
{
    return testing_support::loadedBundle(testing_support::testBundlePath("skin_probe_modules"));
}

const mphost::ModuleDescription& imageProbe()
{
    const auto& descriptions = testing_support::descriptionsBeside(testing_support::testBundlePath("skin_probe_modules"));
    return *descriptions.find("SkinProbe_Image");
}

struct Skin {
    fs::path path;
    Skin()
    {
        path = fs::temp_directory_path() / ("image_base_test_" + std::to_string(::getpid()));
        fs::create_directories(path);
        // Ten 50 x 50 frames, opaque grey, with a transparent column at x >= 40.
        mphost::DrawingSurface strip(50, 500);
        const GmpiDrawing_API::MP1_COLOR grey{0.2f, 0.2f, 0.2f, 1.0f};
        api::IMpSolidColorBrush* brush = nullptr;
        strip.deviceContext()->CreateSolidColorBrush(&grey, &brush);
        const api::MP1_RECT opaque{0, 0, 40, 500};
        strip.deviceContext()->FillRectangle(&opaque, brush);
        brush->release();
        strip.writePng(path / "knob.png");
        std::ofstream(path / "knob.txt") << "frame_size 50 50\n";
    }
    ~Skin()
    {
        std::error_code error;
        fs::remove_all(path, error);
    }
};

std::unique_ptr<GuiModule> imageModule(const fs::path& skin)
{
    mphost::GuiModuleOptions options;
    options.host.skinFolder = skin;
    auto module = std::make_unique<GuiModule>(skinProbeBundle(), imageProbe(), options);
    module->start();
    module->takeTransmissions();
    return module;
}

std::wstring reportOf(GuiModule& module)
{
    return textOf(module.value("Report"));
}

// The host's context menu as a module fills it.
class MenuSink final : public gmpi::IMpContextItemSink {
public:
    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
    {
        *returnInterface = nullptr;
        if (iid != gmpi::MP_IID_CONTEXT_ITEMS_SINK && iid != gmpi::MP_IID_UNKNOWN)
            return gmpi::MP_NOSUPPORT;
        *returnInterface = this;
        return gmpi::MP_OK;
    }
    std::int32_t addRef() override { return 1; }
    std::int32_t release() override { return 1; }
    std::int32_t AddItem(const char* text, std::int32_t id, std::int32_t) override
    {
        items.emplace_back(text, id);
        return gmpi::MP_OK;
    }
    std::vector<std::pair<std::string, int>> items;
};

gmpi::IMpUserInterface2B* interfaceOf(GuiModule& module)
{
    return static_cast<gmpi::IMpUserInterface2B*>(module.object());
}

}  // namespace

TEST(ImageBase, LoadsByNameAndFollowsTheValue)
{
    Skin skin;
    auto module = imageModule(skin.path);
    module->graphicsHost().takeRequests();
    module->setPin("Image", std::wstring(L"knob"));
    EXPECT_EQ(reportOf(*module), L"frame=0 last=9 type=1 w=50 h=50 mr=-1 entries=1 loads=1");
    const auto requests = module->graphicsHost().takeRequests();
    EXPECT_EQ(requests.measureRequests, 1);
    EXPECT_TRUE(requests.wholeModuleInvalid);
    EXPECT_EQ(module->measure({300, 300}).width, 50.0f);

    module->setPin("Value", 1.0f);
    EXPECT_EQ(reportOf(*module), L"frame=450 last=9 type=1 w=50 h=50 mr=-1 entries=1 loads=1");
    module->graphicsHost().takeRequests();
    module->setPin("Value", 1.0f);  // the same position: no redraw
    EXPECT_EQ(module->graphicsHost().takeRequests().invalidations, 0);

    // A second widget shares the cache entry.
    auto second = imageModule(skin.path);
    second->setPin("Image", std::wstring(L"knob.png"));
    EXPECT_EQ(reportOf(*second), L"frame=0 last=9 type=1 w=50 h=50 mr=-1 entries=1 loads=1");

    // An unknown image draws the placeholder; the load hook does not run.
    auto missing = imageModule(skin.path);
    missing->setPin("Image", std::wstring(L"nothing"));
    EXPECT_EQ(reportOf(*missing), L"frame=-1 last=0 type=-1 w=-1 h=-1 mr=-1 entries=1 loads=0");
    const auto surface = missing->renderAlone(40, 40);
    EXPECT_EQ(surface.pixel(2, 2).a, 255);
    EXPECT_NE(missing->hitTest({5, 5}), gmpi::MP_OK);
}

TEST(ImageBase, HitTestCaptureTooltipAndMenu)
{
    Skin skin;
    auto module = imageModule(skin.path);
    module->setPin("Image", std::wstring(L"knob"));
    module->setPin("Hint", std::wstring(L"Cutoff \u00e9"));
    module->setPin("MenuItems", std::wstring(L"Copy,Paste=5"));
    module->takeTransmissions();

    EXPECT_EQ(module->hitTest({10, 10}), gmpi::MP_OK);
    EXPECT_NE(module->hitTest({45, 10}), gmpi::MP_OK);  // a transparent pixel
    EXPECT_EQ(module->toolTip({10, 10}), "Cutoff \xc3\xa9");

    // Pointer up releases a held capture and clears the pointer states; without a
    // capture it changes nothing.
    EXPECT_EQ(module->pointerDown(0x10, {10, 10}), gmpi::MP_OK);
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"MouseDown", true}}));
    EXPECT_EQ(module->pointerUp(0x10, {10, 10}), gmpi::MP_OK);
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"MouseDown", false}}));
    EXPECT_FALSE(module->graphicsHost().requests().captured);
    EXPECT_EQ(module->pointerUp(0x10, {10, 10}), gmpi::MP_FAIL);
    EXPECT_TRUE(sent(*module).empty());

    MenuSink sink;
    ASSERT_EQ(interfaceOf(*module)->populateContextMenu(10, 10, &sink), gmpi::MP_OK);
    EXPECT_EQ(sink.items, (std::vector<std::pair<std::string, int>>{{"Copy", 0}, {"Paste", 5}}));
    // Each choice is sent, then -1, so choosing the same item again is sent again.
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(interfaceOf(*module)->onContextMenu(5), gmpi::MP_OK);
        EXPECT_EQ(sent(*module), (std::vector<Sent>{{"MenuChoice", 5}, {"MenuChoice", -1}}));
    }
}
