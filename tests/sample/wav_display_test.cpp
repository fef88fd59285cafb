// The waveform display and its markers through the built sample_modules bundle: the view
// they publish and follow, zooming, marker drags, the min/max envelope at any zoom (drawn
// pixels against a plain scan of the frames) and hostile values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/engine.h"
#include "engine/patch.h"
#include "sample_test_support.h"

using namespace sample_test;
using mphost::PinValue;

namespace {

// Only the waveform's outline shows, in white.
const std::map<std::string, PinValue> outlineOnly = {
    {"BgMidColor", std::wstring(L"00000000")},      {"BgEdgeColor", std::wstring(L"00000000")},
    {"ZeroLineColor", std::wstring(L"00000000")},   {"FillTopColor", std::wstring(L"00000000")},
    {"FillBottomColor", std::wstring(L"00000000")}, {"LineColor", std::wstring(L"FFFFFFFF")},
    {"YRng", 10.0f},                                {"DragZoom", true}};

std::unique_ptr<mphost::GuiModule> display(std::map<std::string, PinValue> values = outlineOnly)
{
    auto module = std::make_unique<mphost::GuiModule>(bundle(), *descriptions().find("WavDisp"));
    module->start(values);
    module->takeTransmissions();
    return module;
}

std::vector<std::pair<std::string, PinValue>> sent(mphost::GuiModule& module)
{
    std::vector<std::pair<std::string, PinValue>> result;
    for (auto& t : module.takeTransmissions())
        result.emplace_back(t.pinName, t.value);
    return result;
}

using Sent = std::vector<std::pair<std::string, PinValue>>;

// The lit rows (alpha above a quarter) of each pixel column: {top, bottom}, -1 when none.
std::vector<std::pair<int, int>> litRows(const mphost::DrawingSurface& surface)
{
    std::vector<std::pair<int, int>> result(static_cast<std::size_t>(surface.width()), {-1, -1});
    for (int x = 0; x < surface.width(); ++x)
        for (int y = 0; y < surface.height(); ++y)
            if (surface.pixel(x, y).a > 64) {
                auto& column = result[static_cast<std::size_t>(x)];
                if (column.first < 0)
                    column.first = y;
                column.second = y;
            }
    return result;
}

bool anyLit(const mphost::DrawingSurface& surface)
{
    for (const auto& [top, bottom] : litRows(surface))
        if (top >= 0)
            return true;
    return false;
}

// The extremes of each column as the display defines them, by a scan of every frame:
// {y of the largest value, y of the smallest}.
std::vector<std::pair<float, float>> expectedColumns(const std::vector<float>& samples, long offset, long visible,
                                                     int w, int h, float scale = 1.0f)
{
    std::vector<std::pair<float, float>> result;
    const float mid = h * 0.5f;
    long index = offset;
    for (int c = 0; c + 1 <= w; ++c) {
        const long end = offset + static_cast<long>((c + 1.0) * static_cast<double>(visible) / w);
        float lo = samples[static_cast<std::size_t>(index)], hi = lo;
        for (long i = index; i < end; ++i) {
            lo = std::min(lo, samples[static_cast<std::size_t>(i)]);
            hi = std::max(hi, samples[static_cast<std::size_t>(i)]);
        }
        index = std::max(index, end);
        result.emplace_back((1.0f - hi / scale) * mid, (1.0f - lo / scale) * mid);
    }
    return result;
}

// Low noise with isolated single-frame peaks of either sign every few thousand frames.
std::vector<float> spikyNoise(int frames)
{
    std::vector<float> samples(static_cast<std::size_t>(frames));
    std::uint32_t state = 12345;
    for (int i = 0; i < frames; ++i) {
        state = state * 1664525u + 1013904223u;
        samples[static_cast<std::size_t>(i)] = (static_cast<float>(state >> 8) / 16777216.0f - 0.5f) * 0.1f;
        if (state % 5003 == 0)
            samples[static_cast<std::size_t>(i)] = (state & 0x100000) ? 0.9f : -0.7f;
    }
    return samples;
}

void drag(mphost::GuiModule& module, float from, float to, float y = 10.0f)
{
    module.pointerDown(16, {from, y});
    module.pointerMove(16, {(from + to) * 0.5f, y});
    module.pointerMove(16, {to, y});
    module.pointerUp(16, {to, y});
}

TEST(WavDisp, BothIdentifiersMakeTheSameDisplayAndMarker)
{
    for (const char* id : {"WavDisp", "WavDispC", "WavMarker", "WavMarkerC"}) {
        mphost::GuiModule module(bundle(), *descriptions().find(id));
        module.start();
        EXPECT_TRUE(module.isGraphical()) << id;
    }
    EXPECT_EQ(descriptions().find("WavDisp")->gui->pins.size(), 16u);
    EXPECT_EQ(descriptions().find("WavMarkerC")->gui->pins.size(), 10u);
}

TEST(WavDisp, ASampleGivenAtTheStartIsShownWhole)
{
    auto module = std::make_unique<mphost::GuiModule>(bundle(), *descriptions().find("WavDisp"));
    module->start({{"Data", blobOf(ramp(300))}});
    EXPECT_EQ(module->value("Offset"), PinValue(0));
    EXPECT_EQ(module->value("Visible"), PinValue(300));
    EXPECT_EQ(module->value("Total"), PinValue(300));
    // A stored view inside the sample is kept.
    module = std::make_unique<mphost::GuiModule>(bundle(), *descriptions().find("WavDisp"));
    module->start({{"Data", blobOf(ramp(300))}, {"Offset", 10}, {"Visible", 50}});
    EXPECT_TRUE(module->takeTransmissions().size() == 4u);  // the view of Data alone
    EXPECT_EQ(module->value("Offset"), PinValue(10));
    EXPECT_EQ(module->value("Visible"), PinValue(50));
}

TEST(WavDisp, ASamplePublishesTheWholeViewAndBadBlobsLeaveIt)
{
    auto module = display();
    module->setPin("Data", blobOf(ramp(1000)));
    EXPECT_EQ(sent(*module), (Sent{{"Total", 1000}, {"Visible", 1000}, {"Offset", -1}, {"Offset", 0}}));

    // Empty, odd-sized and one-frame-short-of-a-float blobs are not samples.
    for (std::size_t size : {0u, 1u, 6u, 4003u}) {
        module->setPin("Data", mphost::Bytes(size, 0x7F));
        EXPECT_TRUE(sent(*module).empty()) << size;
    }
    module->setPin("Data", blobOf({0.25f}));
    EXPECT_EQ(sent(*module), (Sent{{"Total", 1}, {"Visible", 1}, {"Offset", -1}, {"Offset", 0}}));
    EXPECT_TRUE(anyLit(module->renderAlone(50, 40)));
}

// The host may replace or free the storage of the value it set: what the display shows
// is its own copy.
TEST(WavDisp, DrawsItsOwnCopyOfTheSample)
{
    auto module = display();
    module->setPin("Data", blobOf(spikyNoise(5000)));
    const auto before = litRows(module->renderAlone(200, 100));
    // The pin's value changes behind the module's back (set without a notification),
    // then an invalid blob arrives: the old sample stays on view.
    const int data = module->pin("Data").index;
    module->setPinOnly(data, blobOf(std::vector<float>(7, 0.0f)));
    module->setPinOnly(data, mphost::Bytes(3, 1));
    module->notifyPin(data);
    module->setPin("Offset", 0);  // drops the cached waveform: the next drawing redraws it
    EXPECT_EQ(litRows(module->renderAlone(200, 100)), before);
}

TEST(WavDisp, ADragZoomsIntoTheSelectedColumns)
{
    auto module = display();
    module->setPin("Data", blobOf(ramp(1001)));
    module->arrange({0, 0, 101, 51});
    module->takeTransmissions();

    drag(*module, 25.0f, 75.0f);
    EXPECT_EQ(sent(*module), (Sent{{"MouseDown", true}, {"Offset", 250}, {"Visible", 501}, {"MouseDown", false}}));
    EXPECT_FALSE(module->graphicsHost().requests().captured);

    // Backwards and beyond the right edge: the selection ends at the last column.
    drag(*module, 500.0f, 50.0f);
    EXPECT_EQ(sent(*module), (Sent{{"MouseDown", true}, {"Offset", 500}, {"Visible", 251}, {"MouseDown", false}}));

    // A click without movement leaves the view.
    module->pointerDown(16, {30.0f, 5.0f});
    module->pointerUp(16, {30.0f, 5.0f});
    EXPECT_EQ(sent(*module), (Sent{{"MouseDown", true}, {"MouseDown", false}}));
}

TEST(WavDisp, NoDragBelow21FramesOrWithoutDragZoom)
{
    auto module = display();
    module->setPin("Data", blobOf(ramp(1000)));
    module->arrange({0, 0, 101, 51});
    module->setPin("Visible", 20);
    module->takeTransmissions();
    EXPECT_NE(module->pointerDown(16, {10.0f, 5.0f}), gmpi::MP_OK);
    EXPECT_FALSE(module->graphicsHost().requests().captured);
    module->pointerMove(16, {60.0f, 5.0f});
    module->pointerUp(16, {60.0f, 5.0f});
    EXPECT_EQ(sent(*module), (Sent{{"MouseDown", true}, {"MouseDown", false}}));

    module->setPin("Visible", 1000);
    module->setPin("DragZoom", false);
    module->takeTransmissions();
    drag(*module, 10.0f, 60.0f);
    EXPECT_EQ(sent(*module), (Sent{{"MouseDown", true}, {"MouseDown", false}}));

    // A display one pixel wide has no range to select; NaN pointers are ignored.
    module->setPin("DragZoom", true);
    module->arrange({0, 0, 1, 51});
    module->takeTransmissions();
    drag(*module, 0.0f, 1.0f);
    module->arrange({0, 0, 101, 51});
    const float nan = std::numeric_limits<float>::quiet_NaN();
    module->pointerDown(16, {nan, 5.0f});
    module->pointerMove(16, {nan, nan});
    module->pointerUp(16, {nan, 5.0f});
    for (const auto& [pin, value] : sent(*module))
        EXPECT_EQ(pin, "MouseDown");
}

TEST(WavDisp, ZoomOutDoublesTheViewAndHomeShowsEverything)
{
    auto module = display();
    module->setPin("Data", blobOf(ramp(1000)));
    module->setPin("Offset", 100);
    module->setPin("Visible", 200);
    module->takeTransmissions();
    module->setPin("ZoomOut", true);
    EXPECT_EQ(sent(*module), (Sent{{"Visible", 400}, {"Offset", 0}}));

    module->setPin("ZoomOut", false);
    module->setPin("Offset", 700);
    module->setPin("Visible", 250);
    module->takeTransmissions();
    module->setPin("ZoomOut", true);  // 575 + 500 would pass the end: the last 500 frames
    EXPECT_EQ(sent(*module), (Sent{{"Visible", 500}, {"Offset", 500}}));

    module->setPin("ZoomOut", false);
    module->setPin("Visible", 600);
    module->takeTransmissions();
    module->setPin("ZoomOut", true);
    EXPECT_EQ(sent(*module), (Sent{{"Visible", 1000}, {"Offset", 0}}));
    module->setPin("ZoomOut", false);
    module->setPin("ZoomOut", true);  // already the whole sample
    EXPECT_TRUE(sent(*module).empty());

    module->setPin("Offset", 300);
    module->setPin("Visible", 30);
    module->takeTransmissions();
    module->setPin("Home", true);
    EXPECT_EQ(sent(*module), (Sent{{"Visible", 1000}, {"Offset", 0}}));
}

// Every pixel column shows the extremes of its frames, whatever the zoom: each isolated
// one-frame peak reaches its height in exactly the columns that hold it.
TEST(WavDisp, TheEnvelopeShowsEveryFrameAtAnyZoom)
{
    const auto samples = spikyNoise(1000003);
    const int frames = static_cast<int>(samples.size());
    auto module = display();
    module->setPin("Data", blobOf(samples));
    const int w = 400, h = 200;
    const std::vector<std::pair<int, int>> views = {
        {0, frames}, {12345, 777777}, {frames - 1003, 1003}, {31, 4000}, {5, 250}, {frames - 97, 97}};
    for (const auto& [offset, visible] : views) {
        module->setPin("Offset", offset);
        module->setPin("Visible", visible);
        const auto lit = litRows(module->renderAlone(w, h));
        const auto expected = expectedColumns(samples, offset, visible, w, h);
        for (int x = 1; x < w; ++x) {
            // Pixel column x draws its own extremes joined to the previous column's
            // lowest point, half a pixel of line width beyond them.
            const auto& [top, bottom] = lit[static_cast<std::size_t>(x)];
            const float wantTop = std::min(expected[x].first, expected[x - 1].second);
            const float wantBottom = std::max(expected[x].second, expected[x - 1].second);
            const std::string where = "view " + std::to_string(offset) + "+" + std::to_string(visible) + " column " +
                                      std::to_string(x);
            ASSERT_GE(top, 0) << where;
            EXPECT_NEAR(top, wantTop, 1.5f) << where;
            EXPECT_NEAR(bottom, wantBottom, 1.5f) << where;
        }
    }
}

TEST(WavDisp, FewFramesOverManyColumnsDrawSteps)
{
    auto module = display();
    std::vector<float> steps;
    for (int i = 0; i < 10; ++i)
        steps.push_back(-0.9f + 0.2f * static_cast<float>(i));
    module->setPin("Data", blobOf(steps));
    const auto lit = litRows(module->renderAlone(100, 200));
    std::vector<int> levels;
    for (int i = 0; i < 10; ++i) {
        // Frame i covers columns 10 i - 1 .. 10 i + 8; its middle holds a flat line.
        const auto& [top, bottom] = lit[static_cast<std::size_t>(10 * i + 4)];
        const float y = (1.0f - steps[static_cast<std::size_t>(i)]) * 100.0f;
        EXPECT_NEAR(top, y, 1.0f) << i;
        EXPECT_NEAR(bottom, y, 1.0f) << i;
        levels.push_back(top);
    }
    std::sort(levels.begin(), levels.end());
    EXPECT_EQ(std::unique(levels.begin(), levels.end()) - levels.begin(), 10);
}

TEST(WavDisp, YRngSetsTheVerticalScale)
{
    auto module = display();
    module->setPin("Data", blobOf({1.0f, 1.0f, -1.0f, -1.0f}));
    auto lit = litRows(module->renderAlone(40, 100));
    EXPECT_LE(lit[10].first, 1);   // +1 at the top edge
    EXPECT_GE(lit[30].second, 98);  // -1 at the bottom edge

    module->setPin("YRng", 20.0f);
    lit = litRows(module->renderAlone(40, 100));
    EXPECT_NEAR(lit[10].first, 25, 1);
    // Not a number and infinity keep the scale; 0 gives the smallest (1e-5).
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        module->setPin("YRng", bad);
        EXPECT_EQ(litRows(module->renderAlone(40, 100)), lit);
    }
    module->setPin("YRng", 0.0f);
    module->setPin("Data", blobOf({0.000005f, 0.000005f}));
    lit = litRows(module->renderAlone(40, 100));
    EXPECT_NEAR(lit[20].first, 25, 1);
}

TEST(WavDisp, HostileValuesDrawNothingWrongAndReadNothingOutside)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    auto module = display();
    // Before any sample, and for views outside the sample: no waveform.
    EXPECT_FALSE(anyLit(module->renderAlone(50, 40)));
    module->setPin("Data", blobOf({nan, inf, -inf, 0.5f, nan, 0.0f, -0.5f}));
    EXPECT_TRUE(anyLit(module->renderAlone(50, 40)));
    for (const auto& [offset, visible] : std::vector<std::pair<int, int>>{
             {7, 0}, {6, 2}, {0, 8}, {-5, 7}, {0, -3}, {std::numeric_limits<int>::max(), std::numeric_limits<int>::max()}}) {
        module->setPin("Offset", offset);
        module->setPin("Visible", visible);
        const bool inside = std::max(0, offset) + static_cast<long>(std::max(0, visible)) <= 7 && visible > 0;
        EXPECT_EQ(anyLit(module->renderAlone(50, 40)), inside) << offset << "+" << visible;
        module->setPin("ZoomOut", true);
        module->setPin("ZoomOut", false);
    }
    module->setPin("Home", true);
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {0, 10}, {3, 0}, {2, 3}, {1000, 3}})
        module->renderAlone(w, h);
    EXPECT_EQ(mphost::drawing::nonFiniteCoordinateCount(), 0u);
}

// ---------------------------------------------------------------------------------------
// WavMarker

std::unique_ptr<mphost::GuiModule> marker(std::map<std::string, PinValue> values)
{
    auto module = std::make_unique<mphost::GuiModule>(bundle(), *descriptions().find("WavMarker"));
    module->start(values);
    module->takeTransmissions();
    return module;
}

// The columns where the marker's line or label shows.
std::vector<int> litColumns(const mphost::DrawingSurface& surface)
{
    std::vector<int> result;
    const auto rows = litRows(surface);
    for (int x = 0; x < surface.width(); ++x)
        if (rows[static_cast<std::size_t>(x)].first >= 0)
            result.push_back(x);
    return result;
}

TEST(WavMarker, StandsAtItsFrameInTheView)
{
    auto module = marker({{"Offset", 0}, {"Visible", 1000}, {"Total", 1000}, {"MPos", 500}});
    EXPECT_EQ(litColumns(module->renderAlone(100, 50)), (std::vector<int>{50}));
    module->setPin("Offset", 250);
    module->setPin("Visible", 500);
    EXPECT_EQ(litColumns(module->renderAlone(100, 50)), (std::vector<int>{50}));
    // Beyond Total: at the last frame, which in a view of the end stands at w - 2.
    module->setPin("Offset", 500);
    module->setPin("MPos", 5000);
    EXPECT_EQ(litColumns(module->renderAlone(100, 50)), (std::vector<int>{98}));
    // An end marker stands after its frame, its line left of that point.
    module->setPin("Offset", 250);
    module->setPin("MPos", 499);
    module->setPin("EndMarker", true);
    EXPECT_EQ(litColumns(module->renderAlone(100, 50)), (std::vector<int>{50, 51}));
    // Outside the view, and for views that do not fit the sample: not drawn.
    module->setPin("EndMarker", false);
    module->setPin("MPos", 100);
    EXPECT_TRUE(litColumns(module->renderAlone(100, 50)).empty());
    for (const auto& [visible, total] : std::vector<std::pair<int, int>>{{1, 1000}, {800, 1000}, {500, 0}, {-5, 1000}}) {
        module->setPin("MPos", 400);
        module->setPin("Visible", visible);
        module->setPin("Total", total);
        EXPECT_TRUE(litColumns(module->renderAlone(100, 50)).empty()) << visible << " of " << total;
        EXPECT_NE(module->hitTest({50.0f, 1.0f}), gmpi::MP_OK);
    }
}

TEST(WavMarker, TheLabelIsDraggedWithinTheSample)
{
    auto module = marker({{"Offset", 0}, {"Visible", 1000}, {"Total", 1000}, {"MPos", 200}, {"MID", std::wstring(L"Loop")},
                          {"LabelColor", std::wstring(L"FF2080FF")}});
    const auto surface = module->renderAlone(100, 60);
    const auto columns = litColumns(surface);
    ASSERT_GT(columns.size(), 5u);
    const int right = columns.back();
    EXPECT_EQ(columns.front(), 20);
    // The label: only its box takes the pointer.
    EXPECT_EQ(module->hitTest({22.0f, 2.0f}), gmpi::MP_OK);
    EXPECT_EQ(module->hitTest({static_cast<float>(right), 2.0f}), gmpi::MP_OK);
    EXPECT_NE(module->hitTest({static_cast<float>(right + 2), 2.0f}), gmpi::MP_OK);
    EXPECT_NE(module->hitTest({19.0f, 2.0f}), gmpi::MP_OK);
    EXPECT_NE(module->hitTest({22.0f, 40.0f}), gmpi::MP_OK);
    EXPECT_NE(module->pointerDown(16, {22.0f, 40.0f}), gmpi::MP_OK);
    EXPECT_TRUE(module->takeTransmissions().empty());

    EXPECT_EQ(module->pointerDown(16, {22.0f, 2.0f}), gmpi::MP_OK);
    module->pointerMove(0, {32.5f, 2.0f});   // 10.5 pixels right: 105 frames
    module->pointerMove(0, {32.5f, 30.0f});  // no new frame: nothing sent
    module->pointerMove(0, {-400.0f, 2.0f});
    module->pointerMove(0, {std::numeric_limits<float>::quiet_NaN(), 2.0f});
    module->pointerMove(0, {1.0e9f, 2.0f});
    module->pointerUp(0, {1.0e9f, 2.0f});
    EXPECT_EQ(sent(*module), (Sent{{"MouseDown", true}, {"MPos", 305}, {"MPos", 0}, {"MPos", 999}, {"MouseDown", false}}));
    module->pointerMove(0, {50.0f, 2.0f});  // released: moves nothing
    EXPECT_TRUE(sent(*module).empty());
}

TEST(WavMarker, EndMarkersCarryTheirLabelOnTheLeft)
{
    auto module = marker({{"Offset", 0}, {"Visible", 100}, {"Total", 100}, {"MPos", 59}, {"MID", std::wstring(L"End")},
                          {"EndMarker", true}});
    const auto columns = litColumns(module->renderAlone(100, 60));
    ASSERT_GT(columns.size(), 5u);
    EXPECT_EQ(columns.back(), 61);
    EXPECT_EQ(module->hitTest({61.0f, 2.0f}), gmpi::MP_OK);
    EXPECT_NE(module->hitTest({62.5f, 2.0f}), gmpi::MP_OK);
    EXPECT_EQ(module->hitTest({static_cast<float>(columns.front()), 2.0f}), gmpi::MP_OK);

    // An empty label is a 2-pixel strip: the line alone, hit only above the label height.
    module->setPin("MID", std::wstring());
    module->setPin("EndMarker", false);
    module->setPin("Style", std::wstring());
    EXPECT_EQ(sent(*module), (Sent{{"Style", std::wstring(L"normal")}}));
    EXPECT_EQ(litColumns(module->renderAlone(100, 60)), (std::vector<int>{59}));
    EXPECT_EQ(module->hitTest({60.0f, 1.0f}), gmpi::MP_OK);
    EXPECT_NE(module->hitTest({61.0f, 1.0f}), gmpi::MP_OK);
    EXPECT_NE(module->hitTest({60.0f, 50.0f}), gmpi::MP_OK);
}

// A marker over a display follows the display's zoom, and its drag reaches a player's pin.
TEST(WavMarker, FollowsTheDisplayInAPatch)
{
    std::string hex;
    static const char* digits = "0123456789abcdef";
    for (const auto byte : blobOf(ramp(2001, 0.0005f, -0.5f))) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    // The sample arrives after the start, as from a loader.
    const std::string json = R"({
      "seconds": 0.2,
      "modules": [
        {"name": "disp", "bundle": "sample_modules", "id": "WavDisp", "rect": [0, 0, 201, 80]},
        {"name": "start", "bundle": "sample_modules", "id": "WavMarker", "rect": [0, 0, 201, 80],
         "values": {"MID": "S", "MPos": 1000}}
      ],
      "connections": ["disp.Offset -> start.Offset", "disp.Visible -> start.Visible", "disp.Total -> start.Total"],
      "script": [
        {"time": 0.01, "set": "disp.Data", "value": ")" + hex + R"("},
        {"time": 0.05, "drag": "disp", "from": [50, 70], "to": [150, 70]}
      ]
    })";
    mphost::PatchEnvironment environment;
    environment.bundleFolders = {MP_BUNDLE_DIR};
    mphost::Engine engine(mphost::parsePatch(json, "wavdisp.json", environment));
    engine.render();
    auto* start = engine.gui("start");
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->value("Offset"), PinValue(500));
    EXPECT_EQ(start->value("Visible"), PinValue(1001));
    EXPECT_EQ(start->value("Total"), PinValue(2001));
    EXPECT_EQ(litColumns(start->renderAlone(201, 80)).front(), 100);
}

}  // namespace
