// The widget gallery example (examples/widget-gallery.json): it renders cleanly, its
// scripted interactions reach every widget, and its pictures change where they should.
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "gui/gui_test_support.h"
#include "platform/clock.h"

namespace {

namespace fs = std::filesystem;
using namespace gui_testing;

// Pixels that differ between two pictures of one size inside `rect`.
int changedPixels(const mphost::DrawingSurface& a, const mphost::DrawingSurface& b,
                  const GmpiDrawing_API::MP1_RECT& rect)
{
    int changed = 0;
    for (int y = static_cast<int>(rect.top); y < static_cast<int>(rect.bottom); ++y)
        for (int x = static_cast<int>(rect.left); x < static_cast<int>(rect.right); ++x)
            changed += a.pixel(x, y) == b.pixel(x, y) ? 0 : 1;
    return changed;
}

class WidgetGallery : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("widget-gallery-" + std::to_string(::getpid()));
        fs::create_directories(folder);
    }
    void TearDown() override
    {
        platform::useRealTime();
        fs::remove_all(folder);
    }
    fs::path folder;
};

}  // namespace

TEST_F(WidgetGallery, RendersEveryInteractionAndChangesThePicturesWhereItShould)
{
    mphost::Patch patch = mphost::loadPatch(EXAMPLES_DIR "/widget-gallery.json", engine_testing::environment());
    ASSERT_EQ(patch.snapshots.size(), 3u);
    for (auto& snapshot : patch.snapshots)
        snapshot.file = folder / snapshot.file.filename();
    // As `mphost render` does for a patch that names no skin.
    ASSERT_TRUE(patch.skinFolder.empty());
    patch.skinFolder = fs::path(MP_SOURCE_DIR) / "skins" / "default";

    mphost::Engine engine(patch);
    // The panel at each snapshot's time, as the engine writes it.
    std::vector<mphost::DrawingSurface> pictures;
    for (const auto& snapshot : patch.snapshots) {
        while (engine.position() < snapshot.sample)
            ASSERT_GT(engine.processBlock(), 0);
        pictures.push_back(engine.renderPanel());
        EXPECT_EQ(pictures.back().nonFiniteCoordinates(), 0u) << snapshot.file;
    }
    while (!engine.finished())
        ASSERT_GT(engine.processBlock(), 0);
    for (const auto& snapshot : patch.snapshots)
        EXPECT_GT(fs::file_size(snapshot.file), 1000u) << snapshot.file;

    // What each interaction left on the widgets' pins.
    const auto pin = [&engine](const char* module, const char* name) { return engine.gui(module)->value(name); };
    EXPECT_GT(floatOf(pin("knob", "Value")), 0.2f);  // turned from 0.1, clockwise
    EXPECT_GT(floatOf(pin("stick", "PosX")), 0.5f);  // dragged right and up
    EXPECT_GT(floatOf(pin("stick", "PosY")), 0.5f);
    EXPECT_GT(floatOf(pin("polar", "Angle")), 0.0f);  // upper right: between 0 and a quarter turn
    EXPECT_LT(floatOf(pin("polar", "Angle")), 0.25f);
    EXPECT_GT(floatOf(pin("polar", "Dist")), 0.5f);
    EXPECT_NEAR(floatOf(pin("wheel", "Value")), 0.5f, 0.1f);  // half round
    EXPECT_EQ(floatOf(pin("meter", "Position")), floatOf(pin("wheel", "Value")));
    EXPECT_EQ(floatOf(pin("level", "Position")), floatOf(pin("pad", "YNorm")));
    EXPECT_EQ(textOf(pin("readout", "Items")), L"25");        // the height the pointer passed at
    EXPECT_EQ(floatOf(pin("resettable", "Position")), 0.3f);  // double-clicked: ResetValue
    EXPECT_EQ(intOf(pin("radio", "Value")), 3);               // the press on Button[3], after Sel 2
    EXPECT_EQ(intOf(pin("waves", "Choice")), 3);
    EXPECT_GT(intOf(pin("bar", "Offset")), 0);
    const std::wstring picked = textOf(pin("browser", "FNameOut"));
    EXPECT_TRUE(picked.ends_with(L"/file-browser/drums/kick.wav")) << std::string(picked.begin(), picked.end());
    const std::wstring listed = textOf(pin("files", "Items"));  // in the file system's order
    for (const wchar_t* name : {L"kick.wav", L"snare.wav", L"hat.wav"})
        EXPECT_NE(listed.find(name), std::wstring::npos) << std::string(listed.begin(), listed.end());

    // Every drawn widget that was interacted with looks different at the end; the mouse
    // box while it is held.
    const auto rect = [&patch](const char* name) { return *patch.modules.at(patch.findModule(name)).rect; };
    const mphost::DrawingSurface& start = pictures[0];
    const mphost::DrawingSurface& dragging = pictures[1];
    const mphost::DrawingSurface& end = pictures[2];
    ASSERT_EQ(start.width(), end.width());
    ASSERT_EQ(start.height(), end.height());
    for (const char* name :
         {"knob", "stick", "polar", "wheel", "meter", "level", "readout", "resettable", "files", "bar", "waves"})
        EXPECT_GT(changedPixels(start, end, rect(name)), 20) << name;
    EXPECT_GT(changedPixels(start, dragging, rect("pad")), 20);
    // Nothing outside the widgets' rectangles is drawn over.
    EXPECT_EQ(start.pixel(125, 60), (mphost::Rgba{255, 255, 255, 255}));
    EXPECT_EQ(end.pixel(125, 60), (mphost::Rgba{255, 255, 255, 255}));
}
