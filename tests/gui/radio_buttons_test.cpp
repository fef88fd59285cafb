// The radio-button group (first-generation GUI module), the double-click reset and the
// image-menu filter, through the built ui_modules bundle, on a virtual clock.
#include <climits>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "gui_test_support.h"
#include "platform/clock.h"
#include "services/run_loop.h"
#include "validate/validator.h"

using namespace gui_testing;

namespace {

// Every test runs on a virtual clock starting at 1 s, moved only by the test.
class OnVirtualTime : public ::testing::Test {
protected:
    static constexpr std::int64_t start = 1'000'000'000;
    void SetUp() override { platform::setVirtualTime(start); }
    void TearDown() override { platform::useRealTime(); }
    // Moves the clock to `ms` after the test's start, delivering the timer ticks due.
    static void advanceTo(double ms) { mphost::advanceVirtualTime(start + static_cast<std::int64_t>(ms * 1e6)); }
};

// A started group of `buttons` buttons with the given Value and AllowNone.
std::unique_ptr<mphost::GuiModule> makeGroup(int buttons, int value, bool allowNone = false)
{
    mphost::GuiModuleOptions options;
    options.duplicates["Button"] = buttons;
    auto module = std::make_unique<mphost::GuiModule>(uiBundle(), uiModule("RadioButtons"), options);
    module->start({{"Value", value}, {"AllowNone", allowNone}});
    module->takeTransmissions();
    return module;
}

// The buttons as the host sees them.
std::vector<float> lit(const mphost::GuiModule& module)
{
    std::vector<float> values;
    for (const auto& pin : module.pins())
        if (pin.name.starts_with("Button["))
            values.push_back(floatOf(pin.value));
    return values;
}

std::string button(int i) { return "Button[" + std::to_string(i) + "]"; }

using RadioButtons = OnVirtualTime;
using DblClckRes = OnVirtualTime;

}  // namespace

TEST_F(RadioButtons, IsTheFirstGenerationModuleAndTakesItsButtonCountFromTheHost)
{
    auto group = makeGroup(4, 2);
    EXPECT_EQ(group->subType(), 1);
    EXPECT_EQ(lit(*group), (std::vector<float>{0, 0, 1, 0}));
    // Pins beyond the ones the host declared are not bound.
    EXPECT_EQ(group->setPinRaw(6, mphost::encodePinValue(1.0f)), gmpi::MP_FAIL);

    auto none = makeGroup(0, 0);
    none->setPin("Value", 3);
    EXPECT_TRUE(sent(*none).empty());
}

TEST_F(RadioButtons, LegacyCreationWithoutAHostIsRefusedWithoutAnObject)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(uiBundle()->factory()->createInstance(L"RadioButtons", gmpi::MP_SUB_TYPE_GUI, nullptr, &object),
              gmpi::MP_FAIL);
    EXPECT_EQ(object, nullptr);
}

TEST_F(RadioButtons, ValueLightsOneButtonAndOutOfRangeValuesAreIgnored)
{
    auto group = makeGroup(4, 0);
    group->setPin("Value", 2);
    EXPECT_EQ(sent(*group), (std::vector<Sent>{{"Button[0]", 0.0f}, {"Button[2]", 1.0f}}));
    for (const int outside : {4, -1, INT_MAX, INT_MIN}) {
        group->setPin("Value", outside);
        EXPECT_TRUE(sent(*group).empty()) << outside;
    }
    EXPECT_EQ(lit(*group), (std::vector<float>{0, 0, 1, 0}));
    // The group still answers presses as the button Value 2 showed.
    group->setPin(button(1), 1.0f);
    EXPECT_EQ(sent(*group), (std::vector<Sent>{{"Button[2]", 0.0f}, {"Value", 1}}));
}

TEST_F(RadioButtons, WithoutAllowNoneAPressSelectsAndAReleaseOfTheLitButtonIsRefused)
{
    auto group = makeGroup(4, 1);
    group->setPin(button(3), 1.0f);
    EXPECT_EQ(sent(*group), (std::vector<Sent>{{"Button[1]", 0.0f}, {"Value", 3}}));
    group->setPin(button(3), 1.0f);  // pressed again: already selected
    EXPECT_TRUE(sent(*group).empty());
    group->setPin(button(0), 0.0f);  // release of a dark button
    EXPECT_TRUE(sent(*group).empty());

    // Undone at once, then the whole group sent again by the 10 ms timer, once.
    group->setPin(button(3), 0.0f);
    EXPECT_EQ(sent(*group), (std::vector<Sent>{{"Button[3]", 1.0f}}));
    advanceTo(9);
    group->setPin("AllowNone", false);  // any call into the module delivers due ticks
    EXPECT_TRUE(sent(*group).empty());
    advanceTo(11);
    EXPECT_EQ(sent(*group), (std::vector<Sent>{{"Button[0]", 0.0f}, {"Button[1]", 0.0f}, {"Button[2]", 0.0f},
                                               {"Button[3]", 1.0f}}));
    advanceTo(200);
    EXPECT_TRUE(sent(*group).empty());
    EXPECT_EQ(intOf(group->value("Value")), 3);

    // A NaN counts as a release; refused the same way.
    group->setPin(button(3), std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(sent(*group), (std::vector<Sent>{{"Button[3]", 1.0f}}));
}

TEST_F(RadioButtons, WithAllowNoneValueCountsFromOneAndAReleaseSelectsNone)
{
    auto group = makeGroup(4, 0, true);
    EXPECT_EQ(lit(*group), (std::vector<float>{0, 0, 0, 0}));
    group->setPin("Value", 4);
    EXPECT_EQ(sent(*group), (std::vector<Sent>{{"Button[3]", 1.0f}}));
    for (const int outside : {5, -1, INT_MIN, INT_MAX}) {
        group->setPin("Value", outside);
        EXPECT_TRUE(sent(*group).empty()) << outside;
    }

    group->setPin(button(0), 1.0f);
    EXPECT_EQ(sent(*group), (std::vector<Sent>{{"Button[3]", 0.0f}, {"Value", 1}}));
    group->setPin(button(0), 0.0f);
    EXPECT_EQ(sent(*group), (std::vector<Sent>{{"Value", 0}}));
    advanceTo(100);  // no refresh without a refused release
    group->setPin(button(2), 0.0f);
    EXPECT_TRUE(sent(*group).empty());
    EXPECT_EQ(lit(*group), (std::vector<float>{0, 0, 0, 0}));

    // Switching the mode reads the same Value anew: 3 is button 2 here, button 3 without.
    group->setPin("Value", 3);
    EXPECT_EQ(sent(*group), (std::vector<Sent>{{"Button[2]", 1.0f}}));
    group->setPin("AllowNone", false);
    EXPECT_EQ(sent(*group), (std::vector<Sent>{{"Button[2]", 0.0f}, {"Button[3]", 1.0f}}));
}

TEST_F(RadioButtons, HostileButtonPayloadsAndAPendingRefreshOutliveNothing)
{
    auto group = makeGroup(3, 0);
    for (const std::size_t size : {0u, 1u, 2u, 8u, 4097u})
        EXPECT_EQ(group->setPinRaw(2, mphost::Bytes(size, 0xff)), gmpi::MP_OK);
    group->setPin(button(0), std::numeric_limits<float>::infinity());
    group->setPin(button(0), 0.0f);  // starts the refresh timer
    group.reset();                   // and goes before it fires
    advanceTo(50);
}

TEST_F(DblClckRes, APressReleaseAndPressWithinTheIntervalResets)
{
    auto reset = makeUi("DblClckRes");
    reset->start({{"Value", 0.8f}, {"ResetValue", 0.25f}, {"IntervalMs", 300.0f}});
    reset->takeTransmissions();

    advanceTo(1000);  // the first press after start is no double click
    reset->setPin("MouseDown", true);
    advanceTo(1050);
    reset->setPin("MouseDown", false);
    advanceTo(1350);  // 350 ms after the press
    reset->setPin("MouseDown", true);
    EXPECT_TRUE(sent(*reset).empty());
    advanceTo(1400);
    reset->setPin("MouseDown", false);
    advanceTo(1650);  // 300 ms: the interval includes its end
    reset->setPin("MouseDown", true);
    EXPECT_EQ(sent(*reset), (std::vector<Sent>{{"Value", 0.25f}}));

    // At the reset value already: nothing to send.
    reset->setPin("MouseDown", false);
    advanceTo(1700);
    reset->setPin("MouseDown", true);
    EXPECT_TRUE(sent(*reset).empty());
}

TEST_F(DblClckRes, HeldPressesDoNotCount)
{
    auto reset = makeUi("DblClckRes");
    reset->start({{"Value", 1.0f}, {"ResetValue", 0.0f}, {"IntervalMs", 300.0f}});
    reset->takeTransmissions();
    reset->setPin("MouseDown", true);
    advanceTo(100);
    reset->setPin("MouseDown", true);  // no release between
    EXPECT_TRUE(sent(*reset).empty());
    advanceTo(150);
    reset->setPin("MouseDown", false);
    advanceTo(200);  // 100 ms after the second press, a release between
    reset->setPin("MouseDown", true);
    EXPECT_EQ(sent(*reset), (std::vector<Sent>{{"Value", 0.0f}}));
}

TEST_F(DblClckRes, OddIntervalsNeitherCrashNorMisfire)
{
    const auto doubleClick = [&](float interval) {
        auto reset = makeUi("DblClckRes");
        reset->start({{"Value", 1.0f}, {"ResetValue", 0.0f}, {"IntervalMs", interval}});
        reset->takeTransmissions();
        const double now = static_cast<double>(platform::monotonicNanoseconds() - start) / 1e6;
        reset->setPin("MouseDown", true);
        reset->setPin("MouseDown", false);
        advanceTo(now + 1e6);  // a quarter of an hour later
        reset->setPin("MouseDown", true);
        return !sent(*reset).empty();
    };
    EXPECT_FALSE(doubleClick(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_FALSE(doubleClick(-1.0f));
    EXPECT_FALSE(doubleClick(-std::numeric_limits<float>::infinity()));
    EXPECT_FALSE(doubleClick(300.0f));
    EXPECT_TRUE(doubleClick(std::numeric_limits<float>::infinity()));
    EXPECT_TRUE(doubleClick(3e38f));
}

TEST(ImgM2C, SelectionsBecomeChoiceAndMinusOneKeepsIt)
{
    auto filter = makeUi("ImgM2C");
    EXPECT_EQ(intOf(filter->value("Choice")), 0);  // the start-up Sel of -1 changed nothing
    filter->setPin("Sel", 3);
    EXPECT_EQ(sent(*filter), (std::vector<Sent>{{"Choice", 3}}));
    filter->setPin("Sel", -1);
    filter->setPin("Sel", 3);
    EXPECT_TRUE(sent(*filter).empty());
    for (const int hostile : {INT_MIN, INT_MAX, -2}) {
        filter->setPin("Sel", hostile);
        EXPECT_EQ(sent(*filter), (std::vector<Sent>{{"Choice", hostile}}));
    }
    EXPECT_EQ(filter->setPinRaw(1, mphost::Bytes{}), gmpi::MP_OK);  // an empty payload
}

// The example patch renders offline with the values examples/README.md shows.
TEST(RadioButtonsExample, RendersTheValuesTheReadmeShows)
{
    const mphost::Patch patch = mphost::loadPatch(EXAMPLES_DIR "/radio-buttons.json", engine_testing::environment());
    mphost::Engine engine(patch);
    struct Row {
        double seconds;
        std::vector<float> buttons;
        int value;
        float reset;
    };
    const std::vector<Row> rows = {
        {0.05, {0, 1, 0, 0}, 1, 0.75f}, {0.15, {0, 0, 1, 0}, 2, 0.75f}, {0.25, {0, 0, 1, 0}, 2, 0.75f},
        {0.35, {1, 0, 0, 0}, 0, 0.75f}, {0.45, {1, 0, 0, 0}, 0, 0.75f}, {0.55, {0, 0, 0, 0}, 0, 0.75f},
        {0.65, {0, 0, 0, 1}, 4, 0.75f}, {0.75, {0, 0, 0, 0}, 0, 0.5f},
    };
    for (const Row& row : rows) {
        while (engine.position() < static_cast<std::int64_t>(row.seconds * patch.sampleRate))
            ASSERT_GT(engine.processBlock(), 0);
        EXPECT_EQ(lit(*engine.gui("radio")), row.buttons) << row.seconds;
        EXPECT_EQ(intOf(engine.gui("radio")->value("Value")), row.value) << row.seconds;
        EXPECT_EQ(floatOf(engine.gui("reset")->value("Value")), row.reset) << row.seconds;
    }
    platform::useRealTime();
}

TEST(RadioButtonsValidation, TheValidatorPassesTheModulesOfThisFile)
{
    for (const char* id : {"RadioButtons", "DblClckRes", "ImgM2C"})
        EXPECT_EQ(validationFailures(id), "") << id;
}
