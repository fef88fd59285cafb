// ScrollBar through the ui_modules bundle: geometry, paging, dragging (coarse and fine),
// the Dec/Inc repeat on virtual time and drawing.
#include <map>

#include "drawing/drawing_surface.h"
#include "timer_test_support.h"

using namespace timer_testing;

namespace {

std::shared_ptr<mphost::Bundle> uiBundle()
{
    return testing_support::loadedBundle(testing_support::bundlePath("ui_modules"));
}

const mphost::ModuleDescription& scrollBarDescription()
{
    const auto& descriptions = testing_support::descriptionsBeside(testing_support::bundlePath("ui_modules"));
    return *descriptions.find("ScrollBar");
}

// A scroll bar of width x height at the origin with the given range.
std::unique_ptr<mphost::GuiModule> makeBar(int offset, int visible, int total, float width = 200, float height = 20)
{
    auto bar = std::make_unique<mphost::GuiModule>(uiBundle(), scrollBarDescription());
    bar->start({{"Offset", offset}, {"Visible", visible}, {"Total", total}});
    bar->measure({width, height});
    bar->arrange({0, 0, width, height});
    bar->takeTransmissions();
    return bar;
}

// The Offset values sent since the last call.
std::vector<std::int32_t> offsetsSent(mphost::GuiModule& bar)
{
    std::vector<std::int32_t> offsets;
    for (const auto& sent : bar.takeTransmissions())
        if (sent.pinName == "Offset")
            offsets.push_back(std::get<std::int32_t>(sent.value));
    return offsets;
}

bool dragging(const mphost::GuiModule& bar) { return std::get<bool>(bar.value("Dragging")); }

// A click (down and up) at `along` pixels on a horizontal bar.
void click(mphost::GuiModule& bar, float along)
{
    bar.pointerDown(0x10, {along, 10});
    bar.pointerUp(0x10, {along, 10});
}

using ScrollBarTest = VirtualClock;

}  // namespace

TEST_F(ScrollBarTest, TheThumbHasItsMinimumLengthAndTravelsTheRestOfTheBar)
{
    // Total 100, Visible 10 on 200 x 20: thumb max(20 - 2 + 9 + 2, 20) = 29 long, so it
    // ends at pixel 28 at offset 0 and travels 171 pixels.
    auto bar = makeBar(0, 10, 100);
    bar->pointerDown(0x10, {28, 10});
    EXPECT_TRUE(dragging(*bar));
    bar->pointerUp(0x10, {28, 10});
    EXPECT_FALSE(dragging(*bar));
    click(*bar, 28.5f);
    EXPECT_EQ(offsetsSent(*bar), std::vector<std::int32_t>{10});

    // At the end of the range the thumb starts at 171.
    auto atEnd = makeBar(90, 10, 100);
    atEnd->pointerDown(0x10, {171.5f, 10});
    EXPECT_TRUE(dragging(*atEnd));
    atEnd->pointerUp(0x10, {171.5f, 10});
    click(*atEnd, 170.5f);
    EXPECT_EQ(offsetsSent(*atEnd), std::vector<std::int32_t>{80});
}

TEST_F(ScrollBarTest, ClicksBesideTheThumbPageByVisibleWithinTheRange)
{
    auto bar = makeBar(85, 10, 100);
    click(*bar, 199);
    EXPECT_EQ(offsetsSent(*bar), std::vector<std::int32_t>{90});  // not 95
    click(*bar, 1);
    click(*bar, 1);
    EXPECT_EQ(offsetsSent(*bar), (std::vector<std::int32_t>{80, 70}));

    auto nearStart = makeBar(4, 10, 100);
    click(*nearStart, 0);
    EXPECT_EQ(offsetsSent(*nearStart), std::vector<std::int32_t>{0});
}

TEST_F(ScrollBarTest, WithEverythingVisibleTheThumbFillsTheBarAndOffsetNeverGoesNegative)
{
    auto bar = makeBar(0, 10, 5);
    bar->pointerDown(0x10, {199, 10});  // still on the thumb
    EXPECT_TRUE(dragging(*bar));
    bar->pointerMove(0x10, {100, 10});
    bar->pointerUp(0x10, {100, 10});
    click(*bar, 250);  // beyond the bar's end
    EXPECT_EQ(offsetsSent(*bar), std::vector<std::int32_t>{});

    // Negative pin values count as 0: paging writes offset 0.
    auto negative = makeBar(-5, -3, -100);
    click(*negative, 250);
    negative->setPin("Dec", true);
    EXPECT_EQ(offsetsSent(*negative), std::vector<std::int32_t>{0});
    EXPECT_EQ(runLoopTimers(), 0u);
}

TEST_F(ScrollBarTest, DraggingTheThumbStepsRowByRowAndTheFineKeyMovesTwentyTimesSlower)
{
    // 171 pixels of travel for 90 units: 1.9 pixels a unit.
    auto bar = makeBar(0, 10, 100);
    bar->pointerDown(0x10, {10, 10});
    EXPECT_TRUE(bar->graphicsHost().requests().captured);
    for (int step = 1; step <= 5; ++step)
        bar->pointerMove(0x10, {10 + 1.9f * static_cast<float>(step) + 0.01f, 10});
    EXPECT_EQ(offsetsSent(*bar), (std::vector<std::int32_t>{1, 2, 3, 4, 5}));
    // Far beyond the end: clamped to the last offset.
    bar->pointerMove(0x10, {1000, 10});
    EXPECT_EQ(offsetsSent(*bar), std::vector<std::int32_t>{90});
    bar->pointerUp(0x10, {1000, 10});
    EXPECT_FALSE(bar->graphicsHost().requests().captured);
    EXPECT_FALSE(dragging(*bar));
    bar->pointerMove(0x10, {0, 10});  // not captured: nothing moves
    EXPECT_EQ(offsetsSent(*bar), std::vector<std::int32_t>{});

    auto fine = makeBar(0, 10, 100);
    fine->pointerDown(0x10 | 0x20000, {10, 10});
    fine->pointerMove(0x10 | 0x20000, {10 + 37.5f, 10});  // 0.99 of a unit
    EXPECT_EQ(offsetsSent(*fine), std::vector<std::int32_t>{});
    fine->pointerMove(0x10 | 0x20000, {10 + 38.5f, 10});
    EXPECT_EQ(offsetsSent(*fine), std::vector<std::int32_t>{1});
    fine->pointerUp(0x10, {48.5f, 10});
}

TEST_F(ScrollBarTest, AVerticalBarFollowsThePointersY)
{
    auto bar = makeBar(0, 10, 100, 20, 200);
    bar->pointerDown(0x10, {195, 10});  // along y: on the thumb
    EXPECT_TRUE(dragging(*bar));
    bar->pointerMove(0x10, {195, 10 + 3.81f});
    EXPECT_EQ(offsetsSent(*bar), std::vector<std::int32_t>{2});
    bar->pointerUp(0x10, {195, 13.81f});
    click(*bar, 10);  // x 10, y 10: still on the thumb near the top, no page
    bar->pointerDown(0x10, {10, 150});
    EXPECT_EQ(offsetsSent(*bar), std::vector<std::int32_t>{12});
}

TEST_F(ScrollBarTest, HoldingDecStepsAtOnceThenRepeatsEveryTickAfter800Milliseconds)
{
    auto bar = makeBar(3, 10, 100);
    bar->setPin("Dec", true);
    EXPECT_EQ(offsetsSent(*bar), std::vector<std::int32_t>{2});
    advanceTo(799);
    EXPECT_EQ(offsetsSent(*bar), std::vector<std::int32_t>{});
    advanceTo(801);
    EXPECT_EQ(offsetsSent(*bar), std::vector<std::int32_t>{1});
    advanceTo(851);
    EXPECT_EQ(offsetsSent(*bar), std::vector<std::int32_t>{0});
    advanceTo(1500);
    EXPECT_EQ(offsetsSent(*bar), std::vector<std::int32_t>{});
    EXPECT_EQ(runLoopTimers(), 1u);  // still held
    bar->setPin("Dec", false);
    EXPECT_EQ(runLoopTimers(), 0u);
}

TEST_F(ScrollBarTest, HoldingIncRepeatsUpToTheLastOffsetAndReleasingStopsTheRepeat)
{
    auto bar = makeBar(86, 10, 100);
    bar->setPin("Inc", true);
    advanceTo(851);  // 87 at once, then ticks 16 and 17
    EXPECT_EQ(offsetsSent(*bar), (std::vector<std::int32_t>{87, 88, 89}));
    advanceTo(2000);
    EXPECT_EQ(offsetsSent(*bar), std::vector<std::int32_t>{90});

    // Released before the delay: no repeat; pressed again: the delay starts over.
    bar->setPin("Inc", false);
    auto other = makeBar(50, 10, 100);
    other->setPin("Inc", true);
    advanceTo(2500);
    other->setPin("Inc", false);
    other->setPin("Inc", true);
    advanceTo(3299);
    EXPECT_EQ(offsetsSent(*other), (std::vector<std::int32_t>{51, 52}));
}

TEST_F(ScrollBarTest, DrawsTheThumbInItsFillOverTheBackground)
{
    auto bar = std::make_unique<mphost::GuiModule>(uiBundle(), scrollBarDescription());
    bar->start({{"Offset", 0}, {"Visible", 10}, {"Total", 100}, {"Flat", true},
                {"BackgroundColor", std::wstring(L"FF00FF00")}, {"ThumbFill", std::wstring(L"FFFF0000")}});
    const mphost::DrawingSurface surface = bar->renderAlone(200, 20);
    EXPECT_EQ(surface.pixel(150, 10), (mphost::Rgba{0, 255, 0, 255}));
    const mphost::Rgba thumb = surface.pixel(14, 15);
    EXPECT_GT(thumb.r, 200);
    EXPECT_LT(thumb.g, 60);
    // Moving the offset moves the thumb to the far end.
    bar->setPin("Offset", 90);
    const mphost::DrawingSurface moved = bar->renderAlone(200, 20);
    EXPECT_EQ(moved.pixel(14, 15), (mphost::Rgba{0, 255, 0, 255}));
    EXPECT_GT(moved.pixel(185, 15).r, 200);
}

TEST_F(ScrollBarTest, OffsetsAtTheEndOfTheIntRangeSaturateInsteadOfWrapping)
{
    // 2147483647 is 2^31 in single precision: stepping down from it stays in range.
    auto bar = makeBar(2147483647, 0, 2147483647);
    bar->setPin("Dec", true);
    click(*bar, 1);
    for (const std::int32_t offset : offsetsSent(*bar))
        EXPECT_GE(offset, 0);
    bar->setPin("Dec", false);
}
