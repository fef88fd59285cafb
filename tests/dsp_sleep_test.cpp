// The sleep protocol and routine switching of the DSP base, through the probe bundle.
#include <gtest/gtest.h>

#include "probe_trace.h"
#include "test_support.h"

using namespace testing_support;
using namespace probe;
using Words = std::vector<std::int32_t>;

TEST(DspSleep, ModuleWithNoStreamingPinsSleepsOnceItsFirstBlocksEventsAreHandled)
{
    auto module = makeProbe("Probe");
    module->queueValue("Int", 5, 0);
    module->process(64);
    EXPECT_TRUE(module->asleep());
    // No countdown was running, so no samples were produced before sleeping.
    EXPECT_TRUE(entriesWithId(traceOf(module->takeMessages()), TraceSubProcess).empty());

    module->process(64);
    EXPECT_TRUE(module->lastBlockSkipped());
    module->queueValue("Int", 6, 20);  // events wake the module
    module->process(64);
    EXPECT_FALSE(module->lastBlockSkipped());
}

TEST(DspSleep, StaticInputAllowsOneMoreSampleBeforeSleeping)
{
    auto module = makeProbe("Probe");
    module->queueStreaming("In", false, 0);
    module->process(64);
    EXPECT_EQ(entriesWithId(traceOf(module->takeMessages()), TraceSubProcess), (std::vector<Words>{{0, 1, 0}}));
    EXPECT_TRUE(module->asleep());
}

TEST(DspSleep, StaticOutputRunsTheSleepDelayThenSleepsAndHoldsItsValue)
{
    auto module = makeProbe("Probe", {.maxBlockSize = 64, .sleepDelay = 100});
    module->start();  // Out announces streaming
    module->queueValue("Out Streaming", 0, 0);
    module->fillInput("In", 0.25f);
    module->process(64);
    EXPECT_FALSE(module->asleep());
    auto trace = traceOf(module->takeMessages());
    EXPECT_EQ(entriesWithId(trace, TraceSubProcess), (std::vector<Words>{{0, 64, 0}}));

    module->process(64);
    EXPECT_TRUE(module->asleep());
    EXPECT_EQ(entriesWithId(traceOf(module->takeMessages()), TraceSubProcess), (std::vector<Words>{{0, 36, 0}}));
    // The host fills the rest of the block with the held value (In 0.25 + Float 0.5).
    for (const float sample : module->output("Out"))
        EXPECT_EQ(sample, 0.75f);

    module->process(64);
    EXPECT_TRUE(module->lastBlockSkipped());
    EXPECT_EQ(module->output("Out")[0], 0.75f);
}

TEST(DspSleep, WhereAnOutputWentStaticIsReportedForThatBlockOnly)
{
    auto module = makeProbe("Probe", {.maxBlockSize = 64, .sleepDelay = 1000});
    module->start();
    module->process(64);
    module->queueValue("Out Streaming", 0, 10);
    module->process(64);
    EXPECT_TRUE(module->publishedInLastBlock());
    EXPECT_FALSE(module->outputStreaming("Out"));
    EXPECT_EQ(module->pin("Out").staticSince, 10);
    // The next block has no position, and the held value still fills the output once
    // the module sleeps.
    module->process(64);
    EXPECT_EQ(module->pin("Out").staticSince, -1);
    while (!module->asleep())
        module->process(64);
    const float held = module->output("Out")[63];
    module->process(64);
    EXPECT_TRUE(module->lastBlockSkipped());
    for (const float sample : module->output("Out"))
        ASSERT_EQ(sample, held);
}

TEST(DspSleep, SetSleepFalseNeverSleepsAndSetSleepTrueSleepsWhileInputsStream)
{
    auto never = makeProbe("Probe");
    never->queueValue("Sleep Mode", 0, 0);
    for (int block = 0; block < 4; ++block) {
        never->process(64);
        EXPECT_FALSE(never->asleep());
    }

    auto always = makeProbe("Probe");
    always->queueStreaming("In", true, 0);
    always->queueValue("Sleep Mode", 1, 0);
    always->process(64);
    EXPECT_TRUE(always->asleep());
}

TEST(DspSleep, StreamingInputKeepsTheModuleAwakeUntilItStops)
{
    auto module = makeProbe("Probe");
    module->queueStreaming("In", true, 0);
    module->process(64);
    module->process(64);
    EXPECT_FALSE(module->asleep());
    EXPECT_EQ(entriesWithId(traceOf(module->takeMessages()), TraceStreaming), (std::vector<Words>{{1, 1}}));

    module->queueStreaming("In", false, 8);
    module->process(64);
    // Static input: streamingPins back to 0, one more sample, then sleep.
    const auto trace = traceOf(module->takeMessages());
    EXPECT_EQ(entriesWithId(trace, TraceStreaming), (std::vector<Words>{{0, 0}}));
    EXPECT_EQ(entriesWithId(trace, TraceSubProcess), (std::vector<Words>{{0, 8, 0}, {8, 1, 0}}));
    EXPECT_TRUE(module->asleep());
}

TEST(DspSleep, RoutineChosenDuringPreSleepRunsUnderTheCountdown)
{
    auto module = makeProbe("Probe", {.maxBlockSize = 64, .sleepDelay = 100});
    module->start();
    module->queueValue("Out Streaming", 0, 0);
    module->queueValue("Routine", 1, 10);
    module->process(64);
    module->process(64);
    // The new routine produced samples, but pre-sleep stayed in charge and slept.
    const auto calls = entriesWithId(traceOf(module->takeMessages()), TraceSubProcess);
    EXPECT_EQ(calls, (std::vector<Words>{{0, 10, 0}, {10, 54, 1}, {0, 36, 1}}));
    EXPECT_TRUE(module->asleep());

    // When a pin starts streaming, the chosen routine takes over from pre-sleep.
    module->queueStreaming("In", true, 0);
    module->process(64);
    module->process(64);
    EXPECT_FALSE(module->asleep());
    EXPECT_EQ(entriesWithId(traceOf(module->takeMessages()), TraceSubProcess),
              (std::vector<Words>{{0, 64, 1}, {0, 64, 1}}));
}

TEST(DspSleep, StaticOutputReportedTwiceChangesStateOnceButTellsTheHostTwice)
{
    auto module = makeProbe("Probe");
    module->start();  // Out announces streaming: streamingPins 1
    module->queueValue("Sleep Mode", 0, 0);
    module->queueValue("Out Streaming", 0, 3);
    module->queueValue("Out Streaming", 0, 5);
    module->process(64);

    EXPECT_EQ(entriesWithId(traceOf(module->takeMessages()), TraceStreaming), (std::vector<Words>{{1, 1}, {0, 0}}));
    std::vector<std::pair<int, int>> reports;  // (timestamp, streaming) told to the host for Out
    for (const auto& record : module->lastBlockLog().records())
        if (record.kind == mphost::OutputLog::Kind::Streaming)
            reports.emplace_back(record.timestamp, record.streaming);
    EXPECT_EQ(reports, (std::vector<std::pair<int, int>>{{0, 1}, {3, 0}, {5, 0}}));
    EXPECT_FALSE(module->outputStreaming("Out"));
}

TEST(DspSleep, ModuleWokenByAnEventThatSleepsAtOnceKeepsItsHeldOutput)
{
    auto module = makeProbe("Probe", {.maxBlockSize = 64, .sleepDelay = 1});
    module->start();
    for (int i = 0; i < 64; ++i)
        module->input("In")[static_cast<std::size_t>(i)] = static_cast<float>(i);
    module->queueValue("Out Streaming", 0, 10);  // constant from sample 10: 10 + 0.5
    module->process(64);
    ASSERT_TRUE(module->asleep());
    EXPECT_EQ(module->output("Out")[63], 10.5f);

    // Woken by an event, it sleeps again before producing a sample; the host holds 10.5
    // over the whole block rather than leaving the previous block's samples there.
    module->queueValue("Int", 4, 0);
    module->process(64);
    EXPECT_FALSE(module->lastBlockSkipped());
    EXPECT_TRUE(module->asleep());
    for (const float sample : module->output("Out"))
        EXPECT_EQ(sample, 10.5f);
}
