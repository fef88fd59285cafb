// Triggers, splitters, check valves and GUISet2Trig.
#include <bit>
#include <cmath>

#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "validate/validator.h"

using namespace gui_testing;
using mphost::Bytes;
using mphost::PinValue;

TEST(Trigger, SamplesTheInputOnEveryTrueTriggerAndTransmitsOnlyChanges)
{
    auto module = makeUi("KV_TriggerInt2");
    module->setPin("In", 5);
    module->setPin("TrgL", false);
    EXPECT_TRUE(sent(*module).empty());
    module->setPin("TrgL", true);
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Held", 5}, {"Out", 5}}));
    module->setPin("TrgR", true);  // unchanged input: nothing to send
    EXPECT_TRUE(sent(*module).empty());
    module->setPin("In", 8);
    module->setPin("TrgL", true);  // true again samples again
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Held", 8}, {"Out", 8}}));
}

TEST(Trigger, FirstGenerationTriggersPutOutFirstAndCarryEveryType)
{
    auto text = makeUi("TriggerString");
    EXPECT_EQ(text->pin("Out").index, 0);
    text->setPin("In", std::wstring(L"hello"));
    text->setPin("TrgR", true);
    EXPECT_EQ(sent(*text), (std::vector<Sent>{{"Out", std::wstring(L"hello")}}));

    auto blob = makeUi("TriggerBlob");
    blob->setPin("In", Bytes{1, 2, 3});
    blob->setPin("TrgL", true);
    EXPECT_EQ(sent(*blob), (std::vector<Sent>{{"Out", Bytes{1, 2, 3}}}));

    auto number = makeUi("KV_TriggerFloat2");
    number->setPin("In", 0.25f);
    number->setPin("TrgR", true);
    EXPECT_EQ(sent(*number), (std::vector<Sent>{{"Held", 0.25f}, {"Out", 0.25f}}));
}

namespace {

std::unique_ptr<mphost::GuiModule> makeSplitter(const std::string& id, int splits, bool start = true)
{
    mphost::GuiModuleOptions options;
    options.duplicates["Split"] = splits;
    return makeUi(id, options, start);
}

std::vector<std::int32_t> pinsSentTo(mphost::GuiModule& module)
{
    std::vector<std::int32_t> pins;
    for (const auto& transmission : module.takeTransmissions())
        pins.push_back(transmission.pinIndex);
    return pins;
}

}  // namespace

TEST(Splitter, RelaysAValueFromAnyPinToAllOthers)
{
    auto module = makeSplitter("SplitterInt", 3);  // pins 0 to 3, all set at start
    module->setPin("Split[1]", 7);                 // pin 2
    EXPECT_EQ(pinsSentTo(*module), (std::vector<std::int32_t>{0, 1, 3}));
    module->setPin("Common", 9);
    EXPECT_EQ(pinsSentTo(*module), (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(intOf(module->value("Split[2]")), 9);
}

TEST(Splitter, RelaysToNoPinAboveTheHighestSeen)
{
    auto module = makeSplitter("SplitterText", 3, false);
    module->setPin("Split[0]", std::wstring(L"a"));  // pin 1 becomes known
    EXPECT_EQ(pinsSentTo(*module), (std::vector<std::int32_t>{0}));
    module->setPin("Common", std::wstring(L"b"));
    EXPECT_EQ(pinsSentTo(*module), (std::vector<std::int32_t>{1}));
}

TEST(Splitter, ValuesEchoedBackWhileRelayingStopAtTheModule)
{
    auto module = makeSplitter("SplitterFloat", 3);
    int echoes = 0;
    // A host that feeds every value sent to a split pin straight back into it.
    module->onTransmit([&](const mphost::PinTransmission& transmission) {
        if (transmission.pinIndex != 0 && echoes < 100) {
            ++echoes;
            module->setPinRaw(transmission.pinIndex, transmission.raw);
        }
    });
    module->setPin("Split[0]", 0.5f);
    EXPECT_EQ(pinsSentTo(*module), (std::vector<std::int32_t>{0, 2, 3}));
    EXPECT_EQ(echoes, 2);
}

TEST(CheckValve, PassesRawBitsInOneDirectionOnly)
{
    auto leftToRight = makeUi("CheckValveLR_Float");
    const float nanWithPayload = std::bit_cast<float>(0x7FC01234u);
    leftToRight->setPin("L", nanWithPayload);
    const auto transmissions = leftToRight->takeTransmissions();
    ASSERT_EQ(transmissions.size(), 1u);
    EXPECT_EQ(transmissions[0].pinName, "R");
    EXPECT_EQ(transmissions[0].raw, (Bytes{0x34, 0x12, 0xC0, 0x7F}));
    leftToRight->setPin("R", 2.0f);
    EXPECT_TRUE(sent(*leftToRight).empty());

    auto rightToLeft = makeUi("CheckValveRL_Int");
    rightToLeft->setPin("L", 3);
    EXPECT_TRUE(sent(*rightToLeft).empty());
    rightToLeft->setPin("R", -4);
    EXPECT_EQ(sent(*rightToLeft), (std::vector<Sent>{{"L", -4}}));

    auto boolean = makeUi("CheckValveLR_Bool");
    boolean->setPin("L", true);
    EXPECT_EQ(sent(*boolean), (std::vector<Sent>{{"R", true}}));
}

TEST(GUISet2Trig, GuiHalfIgnoresFiveNotificationsThenFlipsToggle)
{
    auto module = makeUi("GUISet2Trig", {}, false);
    std::vector<PinValue> toggles;
    for (int notification = 1; notification <= 9; ++notification) {
        module->setPin("In Int", notification);
        for (const auto& transmission : module->takeTransmissions())
            toggles.push_back(transmission.value);
        if (notification == 6) {
            EXPECT_TRUE(toggles.empty());  // the first flip assigns the value Toggle already has
        }
    }
    EXPECT_EQ(toggles, (std::vector<PinValue>{true, false, true}));
}

namespace {

std::unique_ptr<mphost::DspModule> makeTriggerDsp(int sleepDelay = -1)
{
    return std::make_unique<mphost::DspModule>(uiBundle(), uiModule("GUISet2Trig"),
                                               mphost::DspModuleOptions{.maxBlockSize = 16, .sleepDelay = sleepDelay});
}

// The streaming states the module announced for Out in the last block, as (position, streaming).
std::vector<std::pair<int, bool>> outStreaming(const mphost::DspModule& module)
{
    std::vector<std::pair<int, bool>> states;
    for (const auto& record : module.lastBlockLog().records())
        if (record.kind == mphost::OutputLog::Kind::Streaming && record.pinOrId == module.pin("Out").index)
            states.emplace_back(record.timestamp, record.streaming != 0);
    return states;
}

std::vector<float> block(mphost::DspModule& module, int count = 16)
{
    module.process(count);
    const auto out = module.output("Out");
    return std::vector<float>(out.begin(), out.begin() + count);
}

}  // namespace

TEST(GUISet2Trig, EachTriggerUpdateMakesOnePulseThenTheModuleSleeps)
{
    auto module = makeTriggerDsp();
    module->start();
    module->queueValue("SkipFirst", true);
    module->queueValue("PulseLength", 3);
    EXPECT_EQ(block(*module), std::vector<float>(16, 0.0f));  // the start-up value is skipped

    module->queueValue("Trig", true, 4);
    std::vector<float> expected(16, 0.0f);
    expected[4] = expected[5] = expected[6] = 1.0f;
    EXPECT_EQ(block(*module), expected);
    EXPECT_FALSE(module->outputStreaming("Out"));
    EXPECT_EQ(module->allocationsInLastProcess(), 0u);
    block(*module);
    EXPECT_TRUE(module->asleep());

    module->queueValue("Trig", true, 0);  // the same value again still triggers
    module->queueValue("PulseLength", -5, 0);
    std::vector<float> onePulse(16, 0.0f);
    onePulse[0] = 1.0f;
    EXPECT_EQ(block(*module), onePulse);
}

TEST(GUISet2Trig, InvertedPulsesRestAtOneAndPulseAcrossBlocks)
{
    auto module = makeTriggerDsp();
    module->start();  // Trig's start-up value triggers: SkipFirst is off
    module->queueValue("Invert", true);
    module->queueValue("PulseLength", 20);
    EXPECT_EQ(block(*module), std::vector<float>(16, 0.0f));
    std::vector<float> expected(16, 1.0f);
    expected[0] = expected[1] = expected[2] = expected[3] = 0.0f;
    EXPECT_EQ(block(*module), expected);
}

TEST(GUISet2Trig, AnInvertChangeWhileRestingIsAnnouncedAsANewStaticLevel)
{
    auto module = makeTriggerDsp();
    module->start();
    module->queueValue("SkipFirst", true);
    block(*module);
    block(*module);
    ASSERT_TRUE(module->asleep());

    // A host holding the static output must learn that the resting level moved to 1.
    module->queueValue("Invert", true, 5);
    std::vector<float> expected(16, 1.0f);
    std::fill(expected.begin(), expected.begin() + 5, 0.0f);
    EXPECT_EQ(block(*module), expected);
    EXPECT_EQ(outStreaming(*module), (std::vector<std::pair<int, bool>>{{5, true}, {5, false}}));
    EXPECT_FALSE(module->outputStreaming("Out"));
    while (!module->asleep())
        block(*module);
    EXPECT_EQ(block(*module), std::vector<float>(16, 1.0f));

    module->queueValue("Invert", true, 0);  // the same value: nothing to announce
    EXPECT_EQ(block(*module), std::vector<float>(16, 1.0f));
    EXPECT_TRUE(outStreaming(*module).empty());
}

TEST(GUISet2Trig, WokenOnlyToSleepAgainItsRestingLevelHolds)
{
    // With a one-sample sleep delay, an event after the pulse lets the pre-sleep countdown
    // run out within the block: the module falls asleep there. An update of SkipFirst
    // later wakes it only for the event; it goes back to sleep without writing a sample,
    // and the resting level, not the pulse that began the earlier block, is what holds.
    auto module = makeTriggerDsp(1);
    module->start();
    module->queueValue("PulseLength", 4);
    module->queueValue("Invert", false, 8);
    EXPECT_EQ(block(*module), (std::vector<float>{1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(module->asleep());
    module->queueValue("SkipFirst", true, 0);
    EXPECT_EQ(block(*module), std::vector<float>(16, 0.0f));
    EXPECT_TRUE(module->asleep());
}

TEST(GUISet2Trig, DspHalfPassesTheValidator)
{
    mphost::ValidationOptions options;
    options.secondsPerModule = 0.3;
    const auto report =
        mphost::validateDspHalf(testing_support::bundlePath("ui_modules"), uiModule("GUISet2Trig"), options);
    std::string failures;
    for (const std::string& failure : report.failures)
        failures += failure + "\n";
    EXPECT_TRUE(report.passed) << failures;
}
