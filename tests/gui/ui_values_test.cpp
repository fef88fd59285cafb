// Fixed values and random values with history.
#include <climits>
#include <set>

#include <gtest/gtest.h>

#include "gui_test_support.h"

using namespace gui_testing;

TEST(Fixed, PushesValToBothSidesAndDefendsThemWhenLocked)
{
    auto module = makeUi("Fixed_Int");
    module->setPin("Val", 5);
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"R", 5}, {"L", 5}}));

    module->setPin("Lock", true);
    module->setPin("L", 7);
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"L", 5}}));

    module->setPin("Lock", false);
    module->setPin("R", 7);
    EXPECT_TRUE(sent(*module).empty());
    EXPECT_EQ(intOf(module->value("R")), 7);
}

TEST(Fixed, TextAndBoolVariants)
{
    auto text = makeUi("Fixed_String");
    text->setPin("Val", std::wstring(L"abc"));
    EXPECT_EQ(sent(*text), (std::vector<Sent>{{"R", std::wstring(L"abc")}, {"L", std::wstring(L"abc")}}));
    auto boolean = makeUi("Fixed_Bool");
    boolean->setPin("Val", true);
    boolean->setPin("Lock", true);
    boolean->setPin("R", false);
    EXPECT_EQ(sent(*boolean), (std::vector<Sent>{{"R", true}, {"L", true}, {"R", true}}));
}

namespace {

// Steps the history and returns Out as the host sees it.
std::int32_t step(mphost::GuiModule& module, const char* pin)
{
    module.setPin(pin, true);
    return intOf(module.value("Out"));
}

}  // namespace

TEST(RandomInt, ValuesStayInRangeAndAReversedRangeGivesMax)
{
    auto module = makeUi("KV_RndInt");
    module->setPin("Min", 1);
    module->setPin("Max", 6);
    std::set<std::int32_t> seen;
    for (int i = 0; i < 300; ++i)
        seen.insert(step(*module, "HistUp"));
    EXPECT_EQ(seen, (std::set<std::int32_t>{1, 2, 3, 4, 5, 6}));

    module->setPin("Min", 6);
    module->setPin("Max", 1);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(step(*module, "HistUp"), 1);
}

TEST(RandomInt, FullIntRangeDoesNotDivideByZero)
{
    auto module = makeUi("KV_RndInt");
    module->setPin("Min", INT_MIN);
    module->setPin("Max", INT_MAX);
    std::set<std::int32_t> seen;
    for (int i = 0; i < 20; ++i)
        seen.insert(step(*module, "HistUp"));
    EXPECT_GT(seen.size(), 15u);  // spread over the range, not stuck
}

TEST(RandomInt, HistoryReplaysStoredValuesAndProducesOnlyPastItsEnd)
{
    auto module = makeUi("KV_RndInt");
    module->setPin("Min", 0);
    module->setPin("Max", 1000000);
    EXPECT_EQ(step(*module, "HistDown"), 0);  // nothing produced yet: nothing happens
    EXPECT_TRUE(module->takeTransmissions().empty());

    const std::int32_t first = step(*module, "HistUp");
    const std::int32_t second = step(*module, "HistUp");
    const std::int32_t third = step(*module, "HistUp");
    EXPECT_EQ(step(*module, "HistDown"), second);
    EXPECT_EQ(step(*module, "HistDown"), first);
    EXPECT_EQ(step(*module, "HistDown"), first);  // stays at the oldest
    module->setPin("Max", 5);                     // stored values do not change
    EXPECT_EQ(step(*module, "HistUp"), second);
    EXPECT_EQ(step(*module, "HistUp"), third);
    EXPECT_LE(step(*module, "HistUp"), 5);  // new

    module->takeTransmissions();
    module->setPin("HistUp", false);
    EXPECT_TRUE(module->takeTransmissions().empty());
}

TEST(RandomFloat, ValuesLieBetweenMinAndMaxInEitherOrder)
{
    auto module = makeUi("KV_RndFloat");
    module->setPin("Min", 2.0f);
    module->setPin("Max", -2.0f);
    for (int i = 0; i < 100; ++i) {
        module->setPin("HistUp", true);
        const float value = floatOf(module->value("Out"));
        EXPECT_LE(value, 2.0f);
        EXPECT_GT(value, -2.0f);
    }
}
