// The bundle's GUI timers through the timer probe bundle: run-loop timers per interval,
// registration, ticks at their virtual times, and clients that stop themselves or others.
#include <cmath>

#include "timer_test_support.h"

using namespace timer_testing;

using TimerManagerTest = VirtualClock;

TEST_F(TimerManagerTest, ClientsOfOneIntervalShareARunLoopTimerAndAnotherIntervalGetsItsOwn)
{
    auto a = makeProbe();
    auto b = makeProbe();
    auto c = makeProbe();
    a->setPin("Run", true);
    b->setPin("Run", true);
    EXPECT_EQ(runLoopTimers(), 1u);
    c->setPin("Interval", 100);
    c->setPin("Run", true);
    ASSERT_EQ(runLoopTimers(), 2u);
    const auto timers = platform::scheduledTimers();
    EXPECT_FLOAT_EQ(static_cast<float>(timers[0].interval), 0.05f);
    EXPECT_FLOAT_EQ(static_cast<float>(timers[1].interval), 0.1f);

    advanceTo(201);
    EXPECT_EQ(intValue(*a, "Ticks"), 4);
    EXPECT_EQ(intValue(*b, "Ticks"), 4);
    EXPECT_EQ(intValue(*c, "Ticks"), 2);
}

TEST_F(TimerManagerTest, TheFirstTickComesOneIntervalAfterTheStartAndEachTickSeesItsOwnTime)
{
    auto probe = makeProbe();
    advanceTo(7);
    probe->setPin("Run", true);
    // Interval x 0.001 seconds after now, not the millisecond count read as seconds.
    EXPECT_NEAR(static_cast<double>(mphost::nextTimerDue() - start) / 1e6, 57.0, 1e-3);
    EXPECT_EQ(advanceTo(56.9), 0);
    EXPECT_EQ(advanceTo(57.1), 1);
    EXPECT_NEAR(std::get<float>(probe->value("TickTime")) - 1000.0f, 57.0f, 0.01f);

    // A jump of several intervals delivers every tick, each at its own time.
    std::vector<float> times;
    probe->onTransmit([&](const mphost::PinTransmission& sent) {
        if (sent.pinName == "TickTime")
            times.push_back(std::get<float>(sent.value) - 1000.0f);
    });
    EXPECT_EQ(advanceTo(260), 4);
    ASSERT_EQ(times.size(), 4u);
    for (std::size_t i = 0; i < times.size(); ++i)
        EXPECT_NEAR(times[i], 107.0f + 50.0f * static_cast<float>(i), 0.01f) << i;
    EXPECT_NEAR(nowMs(), 260.0, 1e-6);  // the clock ends where it was sent
}

TEST_F(TimerManagerTest, RegisteringTwiceKeepsOneEntryAndStoppingTheLastClientRemovesTheTimer)
{
    auto probe = makeProbe();
    probe->setPin("Run", true);
    probe->setPin("Run", true);
    advanceTo(51);
    EXPECT_EQ(intValue(*probe, "Ticks"), 1);  // called once per tick, not twice

    probe->setPin("Run", false);
    EXPECT_EQ(runLoopTimers(), 0u);
    advanceTo(500);
    EXPECT_EQ(intValue(*probe, "Ticks"), 1);

    // Starting again makes a new run-loop timer, one interval from now.
    probe->setPin("Run", true);
    EXPECT_EQ(runLoopTimers(), 1u);
    advanceTo(549);
    EXPECT_EQ(intValue(*probe, "Ticks"), 1);
    advanceTo(551);
    EXPECT_EQ(intValue(*probe, "Ticks"), 2);
}

TEST_F(TimerManagerTest, AClientAnsweringFalseIsNotCalledAgainWhileTheOthersAre)
{
    auto quitter = makeProbe();
    auto other = makeProbe();
    quitter->setPin("TickLimit", 2);
    quitter->setPin("Run", true);
    other->setPin("Run", true);
    advanceTo(301);
    EXPECT_EQ(intValue(*quitter, "Ticks"), 2);
    EXPECT_EQ(intValue(*other, "Ticks"), 6);

    // Alone, a client answering false stops the run-loop timer; registering again
    // restarts the same interval.
    other->setPin("Run", false);
    quitter->setPin("TickLimit", 3);
    quitter->setPin("Run", true);
    advanceTo(500);
    EXPECT_EQ(intValue(*quitter, "Ticks"), 3);
    EXPECT_EQ(runLoopTimers(), 0u);
    quitter->setPin("TickLimit", 0);
    quitter->setPin("Run", true);
    advanceTo(551);
    EXPECT_EQ(intValue(*quitter, "Ticks"), 4);
}

TEST_F(TimerManagerTest, AClientStoppedByAnEarlierClientOfTheTickIsNotCalledInThatTick)
{
    auto stopper = makeProbe();
    auto victim = makeProbe();
    victim->setPin("Name", std::wstring(L"victim"));
    stopper->setPin("StopOnTick", std::wstring(L"victim"));
    stopper->setPin("Run", true);
    victim->setPin("Run", true);
    advanceTo(151);
    EXPECT_EQ(intValue(*stopper, "Ticks"), 3);
    EXPECT_EQ(intValue(*victim, "Ticks"), 0);
}

TEST_F(TimerManagerTest, AClientDestroyedDuringATickIsNotCalledAndItsTimerLivesOnForTheOthers)
{
    auto first = makeProbe();
    auto doomed = makeProbe();
    auto last = makeProbe();
    first->setPin("Run", true);
    doomed->setPin("Run", true);
    last->setPin("Run", true);
    // The host releases `doomed` when `first` reports its first tick.
    first->onTransmit([&](const mphost::PinTransmission& sent) {
        if (sent.pinName == "Ticks")
            doomed.reset();
    });
    advanceTo(101);
    EXPECT_EQ(doomed, nullptr);
    EXPECT_EQ(intValue(*first, "Ticks"), 2);
    EXPECT_EQ(intValue(*last, "Ticks"), 2);

    // The last client of an interval unregistered by the host during its own tick: the
    // timer goes once the tick is over, and a new registration makes a new one.
    first.reset();
    last->onTransmit([&](const mphost::PinTransmission& sent) {
        if (sent.pinName == "Ticks")
            last->setPin("Run", false);
    });
    advanceTo(151);
    EXPECT_EQ(intValue(*last, "Ticks"), 3);
    EXPECT_EQ(runLoopTimers(), 0u);
    last->onTransmit({});
    last->setPin("Run", true);
    advanceTo(202);
    EXPECT_EQ(intValue(*last, "Ticks"), 4);
}

TEST_F(TimerManagerTest, AClientRegisteredForTwoIntervalsIsCalledByBothAndNotAfterItsDestruction)
{
    auto probe = makeProbe();
    probe->setPin("Interval", 30);
    probe->setPin("Run", true);
    probe->setPin("Interval", 50);
    probe->setPin("Run", true);
    EXPECT_EQ(runLoopTimers(), 2u);
    advanceTo(101);
    EXPECT_EQ(intValue(*probe, "Ticks"), 5);  // 30, 50, 60, 90, 100
    probe.reset();
    EXPECT_EQ(runLoopTimers(), 0u);
    advanceTo(1000);  // would call a destroyed client if one timer still held it
}

TEST_F(TimerManagerTest, ChangingTheDefaultIntervalLeavesRunningTimersAlone)
{
    auto early = makeProbe();
    early->setPin("Interval", 0);  // the default
    early->setPin("Run", true);
    auto late = makeProbe();
    late->setPin("Interval", 0);
    late->setPin("DefaultInterval", 100);
    late->setPin("Run", true);
    ASSERT_EQ(runLoopTimers(), 2u);
    advanceTo(201);
    EXPECT_EQ(intValue(*early, "Ticks"), 4);
    EXPECT_EQ(intValue(*late, "Ticks"), 2);
    late->setPin("DefaultInterval", 50);
}

TEST_F(TimerManagerTest, UnloadingTheBundleStopsItsTimers)
{
    {
        auto bundle = mphost::Bundle::load(testing_support::testBundlePath("timer_probe_modules"));
        mphost::GuiModule probe(bundle, *probeDescriptions().find("TimerProbe"));
        probe.start();
        probe.setPin("Run", true);
        EXPECT_EQ(runLoopTimers(), 1u);
    }
    EXPECT_EQ(runLoopTimers(), 0u);
}

TEST(RunLoopOnTheRealClock, LateTimersFireOnceAndKeepTheirPhase)
{
    auto probe = makeProbe();
    probe->setPin("Interval", 10);
    probe->setPin("Run", true);
    const std::int64_t due = mphost::nextTimerDue();
    // Pumped 55 ms late: one tick, the next one on the original 10 ms grid.
    EXPECT_EQ(platform::runTimersUntil(due + 55'000'000), 1);
    EXPECT_NEAR(static_cast<double>(mphost::nextTimerDue() - due) / 1e6, 60.0, 1e-3);
}
