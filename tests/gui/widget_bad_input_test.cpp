// The widgets of ui_modules under bad input that the per-widget tests leave out: broken
// skin images, pointer events without a press, malformed colour and list texts; and the
// bundle as `mphost list` and the validator see it.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gui/gui_test_support.h"

using namespace gui_testing;
namespace fs = std::filesystem;

namespace {

constexpr std::int32_t button = 0x10;
const fs::path defaultSkin = fs::path(MP_SOURCE_DIR) / "skins" / "default";

// The drawing widgets of the bundle.
const std::vector<std::string> drawingWidgets = {
    "KV_VecJS", "Better Joystick Image", "PolarPicker",   "JogShuttle", "MouseBox",
    "KLine",    "KV_HoverBox",           "BetterListBox", "ScrollBar"};

// A skin folder holding the default skin's images and two broken ones: "garbage" (bytes
// that are no image) and "truncated" (the joystick handle cut after its first 40 bytes).
class BrokenSkin {
public:
    BrokenSkin() : folder(fs::temp_directory_path() / ("broken-skin-" + std::to_string(::getpid())))
    {
        fs::create_directories(folder);
        for (const auto& entry : fs::directory_iterator(defaultSkin))
            fs::copy_file(entry.path(), folder / entry.path().filename(), fs::copy_options::overwrite_existing);
        std::ofstream(folder / "garbage.png", std::ios::binary) << "this is not an image";
        std::ifstream handle(defaultSkin / "joystick_handle.png", std::ios::binary);
        std::string start(40, '\0');
        handle.read(start.data(), 40);
        std::ofstream(folder / "truncated.png", std::ios::binary) << start;
    }
    ~BrokenSkin() { fs::remove_all(folder); }

    std::unique_ptr<mphost::GuiModule> make(const std::string& id, float width, float height) const
    {
        mphost::GuiModuleOptions options;
        options.host.skinFolder = folder;
        auto module = makeUi(id, options);
        module->arrange({0, 0, width, height});
        module->takeTransmissions();
        return module;
    }

    fs::path folder;
};

bool isPlaceholderGrey(const mphost::Rgba& pixel)
{
    return pixel.a == 255 && pixel.r == pixel.g && pixel.g == pixel.b && pixel.r > 100 && pixel.r < 200;
}

}  // namespace

TEST(WidgetSkinImages, AMissingOrUnreadableImageDrawsThePlaceholderAndTakesNoPress)
{
    const BrokenSkin skin;
    for (const char* id : {"Better Joystick Image", "PolarPicker", "JogShuttle", "MouseBox"}) {
        for (const wchar_t* image : {L"no_such_image", L"garbage", L"truncated"}) {
            auto widget = skin.make(id, 64, 64);
            widget->setPin("Image", std::wstring(image));
            widget->takeTransmissions();
            const auto picture = widget->renderAlone(64, 64);
            EXPECT_EQ(picture.nonFiniteCoordinates(), 0u) << id;
            // The grey field of the "X" placeholder, in the corner and across the module.
            EXPECT_TRUE(isPlaceholderGrey(picture.pixel(2, 2))) << id << " with " << fs::path(image);
            EXPECT_TRUE(isPlaceholderGrey(picture.pixel(61, 3))) << id << " with " << fs::path(image);
            if (std::string(id) == "MouseBox")
                continue;  // the mouse box takes the pointer with or without its image
            EXPECT_NE(widget->hitTest({32, 32}), gmpi::MP_OK) << id;
            EXPECT_NE(widget->pointerDown(button, {32, 32}), gmpi::MP_OK) << id;
            widget->pointerMove(button, {40, 40});
            widget->pointerUp(button, {40, 40});
            EXPECT_TRUE(widget->takeTransmissions().empty()) << id;
            EXPECT_EQ(widget->graphicsHost().takeRequests().captures, 0) << id;
        }
    }
}

TEST(WidgetPointer, MovesAndReleasesWithoutAPressChangeNothing)
{
    for (const std::string& id : drawingWidgets) {
        if (id == "KV_HoverBox")
            continue;  // it reports every move, pressed or not
        mphost::GuiModuleOptions options;
        options.host.skinFolder = defaultSkin;
        auto widget = makeUi(id, options);
        widget->arrange({0, 0, 120, 120});
        widget->takeTransmissions();
        for (const float x : {5.0f, 60.0f, 115.0f}) {
            widget->pointerMove(button, {x, x});
            widget->pointerUp(button, {x, x});
            widget->pointerMove(0, {x, 120 - x});
        }
        EXPECT_TRUE(sent(*widget).empty()) << id;
        EXPECT_FALSE(widget->graphicsHost().requests().captured) << id;
    }
}

TEST(WidgetTexts, MalformedColourAndListTextsDrawFinitelyAndMenusStayWhole)
{
    const std::vector<std::wstring> hostile = {
        L"",
        L"zz",
        L"#",
        L"0x",
        L"FFFFFFFFFFFFFFFFFFFFFFFF",
        L"=,,=,a=b=c,=99999999999999999999,-=",
        L"\uFFFF\u0001,\U0001F600=3",
        std::wstring(10000, L','),
        std::wstring(L"A\0B", 3),
    };
    for (const std::string& id : drawingWidgets) {
        for (const std::wstring& text : hostile) {
            mphost::GuiModuleOptions options;
            options.host.skinFolder = defaultSkin;
            auto widget = makeUi(id, options);
            widget->arrange({0, 0, 80, 60});
            for (const auto& pin : widget->pins())
                if (pin.datatype == gmpi::MP_STRING && pin.direction == 0)
                    widget->setPin(pin.name, text);
            mphost::DrawingSurface surface(80, 60);
            widget->render(surface);
            EXPECT_EQ(surface.nonFiniteCoordinates(), 0u) << id;
            // Menu items of a malformed list keep their text and an id each; a second
            // opening offers the same items.
            const auto items = widget->openContextMenu({40, 30});
            EXPECT_EQ(widget->openContextMenu({40, 30}), items) << id;
            widget->toolTip({40, 30});
        }
    }
}

TEST(UiModulesBundle, ListMarksNoIdentifierMissingAndTheValidatorPassesEveryWidget)
{
    const auto listed = testing_support::runMphost("list " + testing_support::bundlePath("ui_modules"));
    EXPECT_EQ(listed.exitCode, 0) << listed.output;
    EXPECT_EQ(listed.output.find("not provided"), std::string::npos) << listed.output;
    for (const auto& module : uiDescriptions().modules)
        EXPECT_NE(listed.output.find("  " + module.id + "\n"), std::string::npos) << module.id;
    EXPECT_EQ(uiDescriptions().modules.size(), 54u);

    // RadioButtons, DblClckRes and ImgM2C are validated with their own tests.
    for (const char* id : {"KV_VecJS", "Better Joystick Image", "PolarPicker", "JogShuttle", "MouseBox", "KLine",
                           "KV_HoverBox", "FileBrowser", "FileReq", "BetterListBox", "ScrollBar"})
        EXPECT_EQ(validationFailures(id), "") << id;
}
