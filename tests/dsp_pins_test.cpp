// How DSP pins take event payloads and publish output values, through the probe bundle.
#include <gtest/gtest.h>

#include "common/allocation_counter.h"
#include "probe_trace.h"
#include "test_support.h"

using namespace testing_support;
using mphost::Bytes;

namespace {

constexpr int intPin = 2, boolPin = 4, textPin = 5;

std::unique_ptr<mphost::DspModule> startedProbe()
{
    auto module = makeProbe("Probe");
    module->start();
    module->queueValue("Sleep Mode", 0);
    module->process(64);
    module->takeMessages();
    return module;
}

std::int32_t intOut(const mphost::DspModule& module)
{
    return std::get<std::int32_t>(module.outputValue("Int Out"));
}

}  // namespace

TEST(DspPins, InitialValuesFromTheDescriptionsReachTheModule)
{
    auto module = startedProbe();
    EXPECT_EQ(intOut(*module), 6);  // Int default 3, doubled
    EXPECT_EQ(std::get<std::wstring>(module->outputValue("Text Out")), L"hello");
    EXPECT_EQ(std::get<float>(module->outputValue("Float Out")), 0.5f);
}

TEST(DspPins, BoolPayloadsOfFourBytesAreIntegersAndOthersTheFirstByte)
{
    auto module = startedProbe();
    module->queueRawEvent(gmpi::EVENT_PIN_SET, boolPin, Bytes{0, 1, 0, 0});  // int32 256
    module->process(64);
    EXPECT_EQ(intOut(*module), 1006);
    module->queueRawEvent(gmpi::EVENT_PIN_SET, boolPin, Bytes{0});
    module->process(64);
    EXPECT_EQ(intOut(*module), 6);
    module->queueRawEvent(gmpi::EVENT_PIN_SET, boolPin, Bytes{0, 1});  // two bytes: first byte decides
    module->process(64);
    EXPECT_EQ(intOut(*module), 6);
}

TEST(DspPins, ScalarPayloadsAreCutToTheirWidthAndTextKeepsWholeCharacters)
{
    auto module = startedProbe();
    module->queueRawEvent(gmpi::EVENT_PIN_SET, intPin, Bytes{21, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF});
    module->queueRawEvent(gmpi::EVENT_PIN_SET, textPin, Bytes{'A', 0, 0, 0, 'B', 0});  // 6 bytes: one character
    module->process(64);
    EXPECT_EQ(intOut(*module), 42);
    EXPECT_EQ(std::get<std::wstring>(module->outputValue("Text Out")), L"A");

    module->queueRawEvent(gmpi::EVENT_PIN_SET, textPin, Bytes{});
    module->process(64);
    EXPECT_EQ(std::get<std::wstring>(module->outputValue("Text Out")), L"");
}

TEST(DspPins, OutputsPublishOnlyRealChanges)
{
    auto module = startedProbe();
    const auto valueRecordsFor = [&](int pinIndex) {
        int count = 0;
        for (const auto& record : module->lastBlockLog().records())
            count += record.kind == mphost::OutputLog::Kind::Value && record.pinOrId == pinIndex;
        return count;
    };
    const int intOutPin = module->pin("Int Out").index;
    module->queueValue("Int", 10, 4);
    module->process(64);
    EXPECT_EQ(valueRecordsFor(intOutPin), 1);
    module->queueValue("Int", 10, 4);  // same value again: onSetPins runs, nothing is published
    module->process(64);
    EXPECT_EQ(valueRecordsFor(intOutPin), 0);
    // Published at the event's position in the block.
    module->queueValue("Int", 11, 17);
    module->process(64);
    ASSERT_EQ(valueRecordsFor(intOutPin), 1);
    for (const auto& record : module->lastBlockLog().records()) {
        if (record.pinOrId == intOutPin) {
            EXPECT_EQ(record.timestamp, 17);
        }
    }
}

TEST(DspPins, BlobsAndLongTextTravelIntact)
{
    auto module = startedProbe();
    Bytes blob(1000);
    for (std::size_t i = 0; i < blob.size(); ++i)
        blob[i] = static_cast<std::uint8_t>(i * 7);
    const std::wstring text(300, L'\x1F600');
    module->queueValue("Blob", blob);
    module->queueValue("Text", text);
    module->process(64);
    EXPECT_EQ(std::get<Bytes>(module->outputValue("Blob Out")), blob);
    EXPECT_EQ(std::get<std::wstring>(module->outputValue("Text Out")), text);

    module->queueValue("Blob", Bytes{});
    module->process(64);
    EXPECT_TRUE(std::get<Bytes>(module->outputValue("Blob Out")).empty());
}

TEST(DspPins, ProcessWithEventsAllocatesNothing)
{
    if (!mphost::allocationCountingActive())
        GTEST_SKIP() << "allocation counting is not linked in";
    auto module = startedProbe();
    // Warm up: the text pins grow their storage once.
    module->queueValue("Text", std::wstring(L"abcdefgh"));
    module->process(64);

    module->queueValue("Int", 1, 0);
    module->queueValue("Float", 0.25f, 3);
    module->queueValue("Bool", true, 3);
    module->queueValue("Choice", 2, 9);
    module->queueValue("Text", std::wstring(L"hgfedcba"), 20);
    module->queueMidi("MIDI In", Bytes{0x80, 60, 0}, 30);
    module->queueStreaming("In", true, 40);
    module->process(64);
    EXPECT_EQ(module->allocationsInLastProcess(), 0u);
    module->process(64);
    EXPECT_EQ(module->allocationsInLastProcess(), 0u);
}

TEST(DspPins, PinIteratorReportsEveryInstantiatedAutoDuplicatedPin)
{
    auto three = makeProbe("Probe_DynamicInputs", {.duplicates = {{"In", 3}}});
    EXPECT_EQ(traceOf(three->takeMessages()), (std::vector<TraceEntry>{{probe::TraceOpen, {4, 3}}}));
    three->start();
    three->queueStreaming("In[2]", true);
    three->input("In[2]")[5] = 10.0f;
    three->process(64);
    EXPECT_EQ(three->output("Out")[0], 3.0f);  // three inputs at their default 1
    EXPECT_EQ(three->output("Out")[5], 12.0f);

    auto none = makeProbe("Probe_DynamicInputs", {.duplicates = {{"In", 0}}});
    EXPECT_EQ(traceOf(none->takeMessages()), (std::vector<TraceEntry>{{probe::TraceOpen, {1, 0}}}));
    none->start();
    none->process(64);
    EXPECT_EQ(none->output("Out")[0], 0.0f);
}
