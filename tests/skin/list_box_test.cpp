// BetterListBox through the built ui_modules bundle and the host's harness: rows,
// highlight, clicks on items, separators and below the last item, the scroll bar's drag
// row by row and its drawing; and skins reaching it through patches.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "engine/engine.h"
#include "gui/gui_test_support.h"
#include "common/host_error.h"
#include "engine/patch.h"

using namespace gui_testing;
using mphost::GuiModule;
using mphost::Rgba;
using testing_support::runMphost;
using testing_support::TempFolder;
namespace fs = std::filesystem;
namespace api = GmpiDrawing_API;

namespace {

constexpr std::int32_t button = 0x10;

// Rows of the default font (Arial 12 from a skin without a global file): ascent, descent
// and line gap plus 2 pixels, as the host's backend measures them.
float defaultRowHeight()
{
    mphost::ComPtr<api::IMpTextFormat> format;
    mphost::drawing::sharedFactory()->CreateTextFormat("Arial", nullptr, 400, 0, 5, 12.0f, nullptr,
                                                       reinterpret_cast<api::IMpTextFormat**>(format.receive()));
    api::MP1_FONT_METRICS metrics{};
    format->GetFontMetrics(&metrics);
    return metrics.ascent + metrics.descent + metrics.lineGap + 2.0f;
}

struct ListBox {
    std::unique_ptr<GuiModule> module;
    float width;
    float height;
    ListBox(const std::wstring& items, float width, float height, mphost::GuiModuleOptions options = {})
        : module(makeUi("BetterListBox", std::move(options))), width(width), height(height)
    {
        module->setPin("Items", items);
        module->arrange({0, 0, width, height});
        module->takeTransmissions();
    }
    std::vector<Sent> click(float x, float y)
    {
        module->pointerDown(button, {x, y});
        module->pointerUp(button, {x, y});
        return sent(*module);
    }
    mphost::DrawingSurface render() { return module->renderAlone(static_cast<int>(width), static_cast<int>(height)); }
};

}  // namespace

TEST(BetterListBox, StyleTextEmptyOnStartBecomesNormal)
{
    auto module = makeUi("BetterListBox", {}, false);
    module->start({{"Style", std::wstring()}});
    bool sentNormal = false;
    for (const Sent& s : sent(*module))
        sentNormal |= s.pin == "Style" && s.value == mphost::PinValue(std::wstring(L"normal"));
    EXPECT_TRUE(sentNormal);
}

TEST(BetterListBox, HighlightsTheRowWhoseValueIsChoice)
{
    ListBox list(L"Low,Medium,High", 120, 100);
    list.module->setPin("HighlightColor", std::wstring(L"FFFF0000"));
    list.module->setPin("Choice", 1);
    const float row = defaultRowHeight();
    const auto surface = list.render();
    // Right of the text, inside the content area (the bar takes the last 12 pixels).
    const int x = 100;
    EXPECT_EQ(surface.pixel(x, static_cast<int>(row * 1.5f)), (Rgba{255, 0, 0, 255}));
    EXPECT_NE(surface.pixel(x, static_cast<int>(row * 0.5f)), (Rgba{255, 0, 0, 255}));
    EXPECT_NE(surface.pixel(x, static_cast<int>(row * 2.5f)), (Rgba{255, 0, 0, 255}));
    // A Choice that matches no item highlights nothing.
    list.module->setPin("Choice", 7);
    const auto none = list.render();
    for (int r = 0; r < 3; ++r)
        EXPECT_NE(none.pixel(x, static_cast<int>(row * (r + 0.5f))), (Rgba{255, 0, 0, 255})) << r;
}

TEST(BetterListBox, ClicksPickItemsAndSkipSeparators)
{
    ListBox list(L"A,----,B,C=10", 120, 200);
    const float row = defaultRowHeight();
    // Row 1 is the next real item after the separator: B, value 2.
    EXPECT_EQ(list.click(20, row * 1.5f),
              (std::vector<Sent>{{"Choice", 2}, {"MouseDown", true}, {"MouseDown", false}}));
    EXPECT_EQ(list.click(20, row * 2.5f),
              (std::vector<Sent>{{"Choice", 10}, {"MouseDown", true}, {"MouseDown", false}}));
    // The selected row again: MouseDown only.
    EXPECT_EQ(list.click(20, row * 2.5f), (std::vector<Sent>{{"MouseDown", true}, {"MouseDown", false}}));
    // Below the last item: nothing chosen, but the pointer is still captured.
    list.module->pointerDown(button, {20, row * 3.5f});
    EXPECT_TRUE(list.module->graphicsHost().requests().captured);
    list.module->pointerUp(button, {20, row * 3.5f});
    EXPECT_TRUE(sent(*list.module).empty());  // MouseDown stayed false
    EXPECT_FALSE(list.module->graphicsHost().requests().captured);
    // Without the primary button nothing happens at all.
    list.module->pointerDown(0, {20, row * 0.5f});
    EXPECT_TRUE(sent(*list.module).empty());
}

TEST(BetterListBox, ScrollBarDragsRowByRowAndStopsAtTheLastPage)
{
    const float row = defaultRowHeight();
    ListBox list(L"i0,i1,i2,i3,i4,i5,i6,i7,i8,i9", 100, row * 4 + 1);  // 10 items, 4 rows visible
    // A press on the bar (x = W - 5) selects nothing; it starts a drag.
    list.module->pointerDown(button, {95, 5});
    EXPECT_TRUE(sent(*list.module).empty());
    // Down by 8 rows, one row per move event (each move goes a little more than a row).
    for (int step = 1; step <= 8; ++step)
        list.module->pointerMove(button, {95, 5 + step * (row + 0.5f)});
    list.module->pointerUp(button, {95, 5 + 8 * (row + 0.5f)});
    sent(*list.module);
    // The first row stopped at 6: the top row is item 6.
    EXPECT_EQ(list.click(20, row * 0.5f), (std::vector<Sent>{{"Choice", 6}, {"MouseDown", true}, {"MouseDown", false}}));
    // One big move still scrolls one row only.
    list.module->pointerDown(button, {95, 200});
    list.module->pointerMove(button, {95, 0});
    list.module->pointerUp(button, {95, 0});
    EXPECT_EQ(list.click(20, row * 0.5f), (std::vector<Sent>{{"Choice", 5}, {"MouseDown", true}, {"MouseDown", false}}));
    // Moves without a press on the bar scroll nothing.
    list.module->pointerMove(button, {95, 300});
    EXPECT_EQ(list.click(20, row * 0.5f), (std::vector<Sent>{{"MouseDown", true}, {"MouseDown", false}}));
    // A new item list starts at the top again.
    list.module->setPin("Items", std::wstring(L"x0,x1,x2,x3,x4,x5"));
    EXPECT_EQ(list.click(20, row * 0.5f), (std::vector<Sent>{{"Choice", 0}, {"MouseDown", true}, {"MouseDown", false}}));
}

TEST(BetterListBox, ScrollBarTrackThumbAndAutoHide)
{
    const float row = defaultRowHeight();
    const int height = static_cast<int>(row * 4 + 1);
    ListBox list(L"i0,i1,i2,i3,i4,i5,i6,i7", 100, static_cast<float>(height));  // half the items fit
    list.module->setPin("TrackColor", std::wstring(L"FF0000FF"));
    list.module->setPin("ThumbColor", std::wstring(L"FF00FF00"));
    auto surface = list.render();
    EXPECT_EQ(surface.pixel(89, height - 2), (Rgba{0, 0, 255, 255}));  // track beside the thumb
    EXPECT_EQ(surface.pixel(94, 4), (Rgba{0, 255, 0, 255}));           // thumb at the top
    EXPECT_EQ(surface.pixel(94, height - 4), (Rgba{0, 0, 255, 255}));  // the thumb covers half

    // No items: the track without a thumb.
    list.module->setPin("Items", std::wstring());
    surface = list.render();
    for (int y = 1; y < height - 1; y += 3)
        ASSERT_EQ(surface.pixel(94, y), (Rgba{0, 0, 255, 255})) << y;

    // Hidden while every item fits: the background reaches the right edge.
    list.module->setPin("AutoHideScrollBar", true);
    list.module->setPin("Items", std::wstring(L"a,b"));
    surface = list.render();
    EXPECT_NE(surface.pixel(94, height / 2), (Rgba{0, 0, 255, 255}));
    EXPECT_EQ(surface.pixel(94, height / 2).a, 255);
    // ... and clicks there pick rows.
    EXPECT_EQ(list.click(95, row * 1.5f), (std::vector<Sent>{{"Choice", 1}, {"MouseDown", true}, {"MouseDown", false}}));
}

TEST(BetterListBox, SkinFontColourDrawsAsWritten)
{
    TempFolder skin;
    skin.write("global.txt", "FONT_CATEGORY normal\nfont-family Arial\nfont-size 20\nfont-color #FF0000\n");
    mphost::GuiModuleOptions options;
    options.host.skinFolder = skin.path;
    ListBox list(L"MMMM", 120, 40, options);
    list.module->setPin("BackgroundTop", std::wstring(L"FF000000"));
    list.module->setPin("BackgroundBottom", std::wstring(L"FF000000"));
    const auto surface = list.render();
    int red = 0;
    int blue = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 100; ++x) {
            const Rgba p = surface.pixel(x, y);
            red += p.r > 128 && p.b < 64 ? 1 : 0;
            blue += p.b > 128 && p.r < 64 ? 1 : 0;
        }
    EXPECT_GT(red, 20);
    EXPECT_EQ(blue, 0);
    // A TextColor with alpha wins over the skin.
    list.module->setPin("TextColor", std::wstring(L"FF00FF00"));
    const auto green = list.render();
    int greenInk = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 100; ++x)
            greenInk += green.pixel(x, y).g > 128 && green.pixel(x, y).r < 64 ? 1 : 0;
    EXPECT_GT(greenInk, 20);
}

TEST(BetterListBox, HostileSizesAndCoordinates)
{
    ListBox list(L"a,b,c", 0, 0);
    list.module->pointerDown(button, {std::nanf(""), std::nanf("")});
    list.module->pointerMove(button, {1e30f, -1e30f});
    list.module->pointerUp(button, {0, 0});
    list.module->arrange({0, 0, 1e9f, 1e9f});
    list.module->pointerDown(button, {5, 5e8f});
    list.module->pointerUp(button, {5, 5e8f});
    list.module->arrange({0, 0, 3, 3});
    list.module->renderAlone(3, 3);
    EXPECT_EQ(list.module->measure({0, 0}).width, 4.0f);
}

TEST(PatchSkin, SkinKeyResolvesFromThePatchFolderAndReachesGuiHalves)
{
    TempFolder folder;
    fs::create_directories(folder.path / "myskin");
    std::ofstream(folder.path / "myskin" / "global.txt") << "FONT_CATEGORY normal\nfont-size 20\nfont-color #FF0000\n";
    const std::string patchText = R"({
      "skin": "myskin",
      "modules": [ { "name": "list", "bundle": "ui_modules", "id": "BetterListBox", "rect": [0, 0, 120, 40],
                     "values": { "Items": "MMMM", "BackgroundTop": "FF000000", "BackgroundBottom": "FF000000" } } ]
    })";
    mphost::PatchEnvironment environment;
    environment.bundleFolders = {MP_BUNDLE_DIR};
    environment.patchFolder = folder.path;
    const mphost::Patch patch = mphost::parsePatch(patchText, "skin.json", environment);
    EXPECT_EQ(patch.skinFolder, folder.path / "myskin");
    mphost::Engine engine(patch);
    engine.processBlock();
    const auto panel = engine.renderPanel();
    int red = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 100; ++x)
            red += panel.pixel(x, y).r > 128 && panel.pixel(x, y).g < 64 ? 1 : 0;
    EXPECT_GT(red, 20);

    std::string missing = patchText;
    missing.replace(missing.find("myskin"), 6, "nothere");
    try {
        mphost::parsePatch(missing, "skin.json", environment);
        FAIL() << "a missing skin folder was accepted";
    } catch (const mphost::HostError& error) {
        EXPECT_NE(std::string(error.what()).find("$.skin"), std::string::npos) << error.what();
    }
}

namespace {

// Pixels of a PNG with a red (or white) majority: r above 128 and green below 64 (or
// all three above 200).
std::pair<int, int> redAndWhiteInk(const fs::path& png)
{
    mphost::ComPtr<api::IMpBitmap> bitmap;
    mphost::drawing::sharedFactory()->LoadImageU(png.c_str(), reinterpret_cast<api::IMpBitmap**>(bitmap.receive()));
    if (!bitmap)
        return {-1, -1};
    mphost::ComPtr<api::IMpBitmapPixels> pixels;
    bitmap->lockPixels(reinterpret_cast<api::IMpBitmapPixels**>(pixels.receive()), api::MP1_BITMAP_LOCK_READ);
    api::MP1_SIZE_U size{};
    bitmap->GetSize(&size);
    int red = 0;
    int white = 0;
    for (std::uint32_t y = 0; y < size.height; ++y)
        for (std::uint32_t x = 0; x < size.width; ++x) {
            const std::uint8_t* p = pixels->getAddress() + y * pixels->getBytesPerRow() + x * 4;  // B G R A
            red += p[2] > 128 && p[1] < 64 ? 1 : 0;
            white += p[0] > 200 && p[1] > 200 && p[2] > 200 ? 1 : 0;
        }
    return {red, white};
}

}  // namespace

TEST(PatchSkin, RenderTakesSkinFromTheCommandLineOrTheShippedDefault)
{
    TempFolder folder;
    fs::create_directories(folder.path / "red");
    std::ofstream(folder.path / "red" / "global.txt") << "FONT_CATEGORY normal\nfont-size 20\nfont-color #FF0000\n";
    // Black everywhere but the text, in a panel that ends at the list.
    std::ofstream(folder.path / "list.json") << R"({
      "modules": [ { "name": "list", "bundle": "ui_modules", "id": "BetterListBox", "rect": [0, 0, 120, 40],
                     "values": { "Items": "MMMM", "BackgroundTop": "FF000000", "BackgroundBottom": "FF000000",
                                 "TrackColor": "FF000000", "ThumbColor": "FF000000" } } ]
    })";
    const std::string patch = (folder.path / "list.json").string();
    const fs::path png = folder.path / "panel.png";
    const std::string bundles = std::string(" --bundles ") + MP_BUNDLE_DIR;

    ASSERT_EQ(runMphost("render " + patch + bundles + " --png " + png.string() + " --skin " + (folder.path / "red").string()).exitCode, 0);
    const auto [red, whiteWithRedSkin] = redAndWhiteInk(png);
    EXPECT_GT(red, 20);
    // The shipped skin writes its "normal" category in white.
    ASSERT_EQ(runMphost("render " + patch + bundles + " --png " + png.string()).exitCode, 0);
    const auto [redDefault, white] = redAndWhiteInk(png);
    EXPECT_EQ(redDefault, 0);
    EXPECT_GT(white, 20);
    EXPECT_EQ(runMphost("render " + patch + bundles + " --skin " + (folder.path / "missing").string()).exitCode, 2);
}
