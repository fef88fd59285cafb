// The DSP base's event loop, driven through the probe bundle: how a block is split at
// event timestamps, how a timestamp's events are grouped, and what each event kind does.
#include <gtest/gtest.h>

#include "probe_trace.h"
#include "test_support.h"

using namespace testing_support;
using namespace probe;
using mphost::Bytes;
using Words = std::vector<std::int32_t>;

namespace {

// A probe that never sleeps, past its first block.
std::unique_ptr<mphost::DspModule> awakeProbe(const std::string& id = "Probe")
{
    auto module = makeProbe(id);
    module->start();
    if (id == "Probe")
        module->queueValue("Sleep Mode", 0);
    module->process(64);
    module->takeMessages();
    return module;
}

constexpr int bit(int pinIndex)
{
    return 1 << pinIndex;
}

}  // namespace

TEST(DspEvents, BlockWithoutEventsRunsTheRoutineOnceOverTheWholeBlock)
{
    auto module = awakeProbe();
    module->process(64);
    EXPECT_EQ(traceOf(module->takeMessages()), (std::vector<TraceEntry>{{TraceSubProcess, {0, 64, 0}}}));
}

TEST(DspEvents, EventsSplitTheBlockAndOneTimestampMakesOneGroup)
{
    auto module = awakeProbe();
    module->queueValue("Int", 5, 10);
    module->queueValue("Float", 1.5f, 10);
    module->queueValue("Float", 2.0f, 40);
    module->process(64);

    // Handlers run after all of the timestamp's values are in place, onSetPins once.
    EXPECT_EQ(traceOf(module->takeMessages()), (std::vector<TraceEntry>{
                                                   {TraceSubProcess, {0, 10, 0}},
                                                   {TraceHandler, {10, 2}},
                                                   {TraceSetPins, {10, bit(2) | bit(3), 0}},
                                                   {TraceSubProcess, {10, 30, 0}},
                                                   {TraceSetPins, {40, bit(3), 0}},
                                                   {TraceSubProcess, {40, 24, 0}},
                                               }));
    EXPECT_EQ(std::get<std::int32_t>(module->outputValue("Int Out")), 10);
    EXPECT_EQ(std::get<float>(module->outputValue("Float Out")), 2.0f);
    // The audio routine saw the new offset from the event's sample on.
    const auto out = module->output("Out");
    EXPECT_EQ(out[9], 0.5f);
    EXPECT_EQ(out[10], 1.5f);
    EXPECT_EQ(out[40], 2.0f);
}

TEST(DspEvents, EventAtZeroComesFirstAndEventsAtOrPastTheEndAreDropped)
{
    auto module = awakeProbe();
    gmpi::MpEvent events[3] = {};
    const std::int32_t values[3] = {7, 8, 9};
    for (int i = 0; i < 3; ++i) {
        events[i].type = gmpi::EVENT_PIN_SET;
        events[i].pinIndex = 2;  // Int
        events[i].size = 4;
        std::memcpy(events[i].inlineData, &values[i], 4);
        events[i].next = i < 2 ? &events[i + 1] : nullptr;
    }
    events[0].timestamp = 0;
    events[1].timestamp = 32;  // at the end of a 32-sample block
    events[2].timestamp = 100;
    module->plugin()->process(32, events);

    const auto trace = traceOf(module->takeMessages());
    EXPECT_EQ(trace.front(), (TraceEntry{TraceHandler, {0, 2}}));
    EXPECT_EQ(entriesWithId(trace, TraceHandler).size(), 1u);
    EXPECT_EQ(entriesWithId(trace, TraceSubProcess), (std::vector<Words>{{0, 32, 0}}));
}

TEST(DspEvents, MidiAloneDoesNotCallOnSetPinsAndReachesTheMidiHandler)
{
    auto module = awakeProbe();
    const Bytes noteOn{0x90, 60, 100};
    module->queueMidi("MIDI In", noteOn, 5);
    module->process(64);

    EXPECT_EQ(traceOf(module->takeMessages()), (std::vector<TraceEntry>{
                                                   {TraceSubProcess, {0, 5, 0}},
                                                   {TraceMidi, {8, 3, 0x90}},
                                                   {TraceSubProcess, {5, 59, 0}},
                                               }));
    EXPECT_EQ(std::get<Bytes>(module->outputValue("MIDI Out")), noteOn);
}

TEST(DspEvents, LongMidiPayloadTravelsThroughExternalData)
{
    auto module = awakeProbe();
    const Bytes sysex{0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xF7};
    module->queueMidi("MIDI In", sysex, 0);
    module->process(64);
    EXPECT_EQ(std::get<Bytes>(module->outputValue("MIDI Out")), sysex);
}

TEST(DspEvents, GraphStartPublishesEveryOutputsInitialValue)
{
    auto module = makeProbe("Probe");
    module->queueGraphStart(0);
    module->process(64);

    const auto trace = traceOf(module->takeMessages());
    EXPECT_EQ(entriesWithId(trace, TraceGraphStart), (std::vector<Words>{{0}}));
    // The audio output announces itself as streaming, raising streamingPins to 1.
    EXPECT_EQ(entriesWithId(trace, TraceStreaming), (std::vector<Words>{{1, 1}}));
    EXPECT_TRUE(module->outputStreaming("Out"));

    int valueRecords = 0;
    for (const auto& record : module->lastBlockLog().records())
        valueRecords += record.kind == mphost::OutputLog::Kind::Value;
    EXPECT_EQ(valueRecords, 4);  // int, float, text and blob outputs; MIDI outputs publish nothing
}

TEST(DspEvents, UnknownEventCodesAndUnboundPinsAreSkipped)
{
    auto module = awakeProbe();
    module->queueRawEvent(99, 2, Bytes{1, 0, 0, 0}, 3);
    module->queueRawEvent(gmpi::EVENT_PIN_SET, 57, Bytes{1, 0, 0, 0}, 4);
    module->queueRawEvent(gmpi::EVENT_PIN_SET, -1, Bytes{1, 0, 0, 0}, 4);
    module->process(64);
    // The routine is still split at those timestamps, but nothing else happens.
    EXPECT_EQ(traceOf(module->takeMessages()), (std::vector<TraceEntry>{
                                                   {TraceSubProcess, {0, 3, 0}},
                                                   {TraceSubProcess, {3, 1, 0}},
                                                   {TraceSubProcess, {4, 60, 0}},
                                               }));
}

TEST(DspEvents, FirstGenerationBaseHandsRoutinesTheBufferOffset)
{
    auto module = makeProbe("Probe_Gen1");
    module->fillInput("In", 0.25f);
    module->queueValue("Int", 4, 10);
    module->process(64);
    EXPECT_EQ(traceOf(module->takeMessages()), (std::vector<TraceEntry>{
                                                   {TraceSubProcess, {0, 10, 0}},
                                                   {TraceSetPins, {10, 4, 0}},
                                                   {TraceSubProcess, {10, 54, 0}},
                                               }));
    EXPECT_EQ(module->output("Out")[63], 0.5f);
}

TEST(DspEvents, EachMessageOverloadReachesAModuleThatOverridesTheOther)
{
    // Probe overrides the const form; reach it through the first-generation slot.
    auto probe = awakeProbe();
    auto primary = queryInterface<gmpi::IMpPlugin>(probe->plugin(), gmpi::MP_IID_PLUGIN);
    ASSERT_TRUE(primary);
    std::int32_t word = 1234;
    EXPECT_EQ(primary->receiveMessageFromGui(77, 4, &word), gmpi::MP_OK);
    EXPECT_EQ(traceOf(probe->takeMessages()), (std::vector<TraceEntry>{{77, {1234}}}));

    // Probe_MessageNonConst overrides the non-const form; the host calls the const one.
    auto nonConst = makeProbe("Probe_MessageNonConst");
    EXPECT_EQ(nonConst->sendMessageFromGui(5, Bytes{1, 0, 0, 0}), 7);
    EXPECT_EQ(traceOf(nonConst->takeMessages()), (std::vector<TraceEntry>{{5, {1}}}));

    // Neither overridden: both forms return without recursing.
    auto none = makeProbe("Probe_MessageNone");
    EXPECT_EQ(none->sendMessageFromGui(5, Bytes{}), gmpi::MP_OK);
    auto nonePrimary = queryInterface<gmpi::IMpPlugin>(none->plugin(), gmpi::MP_IID_PLUGIN);
    EXPECT_EQ(nonePrimary->receiveMessageFromGui(5, 0, nullptr), gmpi::MP_OK);
}
