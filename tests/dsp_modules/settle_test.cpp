// When the modules that follow a driving input come to rest: the streaming reports of
// their outputs, the host's sleep, and waking again. Blocks are split by events.
#include <gtest/gtest.h>

#include <cmath>

#include "dsp_test_support.h"

using namespace dsp_test;
using Reports = std::vector<StreamingReport>;

namespace {

// Index of the first sample from `from` on equal to `value`, or -1.
int firstIndexOf(const std::vector<float>& samples, float value, int from = 0)
{
    for (std::size_t i = static_cast<std::size_t>(from); i < samples.size(); ++i)
        if (samples[i] == value)
            return static_cast<int>(i);
    return -1;
}

}  // namespace

TEST(DcBlocker, StaticInputReachesExactZeroReportsStaticThereAndSleeps)
{
    auto module = makeModule("DC_Blocker");
    module->start();
    module->queueValue("Coefficient", 0.0f);  // y = x - x[-1]
    module->queueStreaming("In", true);
    const auto ramp = render(*module, 64, [](auto& m, int start, int) {
        for (int i = 0; i < 64; ++i)
            m.input("In")[i] = static_cast<float>(start + i + 1);
    });
    for (const float y : ramp.samples)
        EXPECT_EQ(y, 1.0f);

    // In becomes static at 100 on sample 10: one step of 100 - 74, then exactly 0.
    module->queueStreaming("In", false, 10);
    const auto rest = render(*module, 256, [](auto& m, int start, int) {
        for (int i = 0; i < 64; ++i)
            m.input("In")[i] = start + i < 10 ? static_cast<float>(65 + i) : 100.0f;
    });
    EXPECT_EQ(rest.samples[9], 1.0f);
    EXPECT_EQ(rest.samples[10], 26.0f);
    for (std::size_t i = 11; i < rest.samples.size(); ++i)
        ASSERT_EQ(rest.samples[i], 0.0f) << i;
    EXPECT_EQ(rest.reports, (Reports{{11, false}}));
    EXPECT_EQ(rest.firstSkipped, 128);  // the sleep delay of 64 samples, then asleep
    EXPECT_TRUE(module->asleep());

    module->queueStreaming("In", true, 5);
    module->process(64);
    EXPECT_FALSE(module->lastBlockSkipped());
    EXPECT_EQ(lastReports(*module), (std::vector<std::pair<int, bool>>{{5, true}}));
}

TEST(DcBlocker, CoefficientOneOrMorePassesTheInputAndZeroOrLessGivesTheDifference)
{
    for (const float coefficient : {1.0f, 2.5f, 0.0f, -3.0f}) {
        auto module = makeModule("DC_Blocker");
        module->start();
        module->queueValue("Coefficient", coefficient);
        module->queueStreaming("In", true);
        const auto out = render(*module, 128, [](auto& m, int start, int) {
            for (int i = 0; i < 64; ++i)
                m.input("In")[i] = std::sin(0.1f * static_cast<float>(start + i)) + 0.5f;
        });
        float previous = 0.0f;
        for (int n = 0; n < 128; ++n) {
            const float x = std::sin(0.1f * static_cast<float>(n)) + 0.5f;
            ASSERT_EQ(out.samples[n], coefficient >= 1.0f ? x : x - previous) << coefficient << " at " << n;
            previous = x;
        }
    }
}

TEST(DcBlocker, DecayOfAStaticStepEndsInExactZeroAndANewCoefficientWakesIt)
{
    auto module = makeModule("DC_Blocker");
    module->start();
    module->queueValue("Coefficient", 0.5f);
    module->fillInput("In", 1.0f);  // a static step from 0 to 1 at the first sample
    const auto decay = render(*module, 64 * 8);
    ASSERT_EQ(decay.reports.size(), 2u);  // streaming at graph start, static once at rest
    const int rest = decay.reports[1].position;
    EXPECT_FALSE(decay.reports[1].streaming);
    EXPECT_EQ(rest, 67);  // 0.5^67 is the first value below 1e-20, taken as 0
    EXPECT_GT(decay.samples[rest - 1], 0.0f);
    EXPECT_EQ(firstIndexOf(decay.samples, 0.0f), rest);
    EXPECT_NE(decay.firstSkipped, -1);

    // Coefficient 1 passes the static 1 again: the sleeping module must wake for it.
    module->queueValue("Coefficient", 1.0f, 3);
    const auto bypass = render(*module, 128);
    EXPECT_EQ(bypass.samples[2], 0.0f);
    EXPECT_EQ(bypass.samples[3], 1.0f);
    EXPECT_EQ(bypass.samples[127], 1.0f);
    EXPECT_EQ(bypass.reports, (Reports{{3, true}}));
    EXPECT_FALSE(module->asleep());
}

TEST(DcBlocker, DefaultCoefficientDecaysToRestBeforeTheSubnormalRange)
{
    // The decay ends where 0.995^n falls below 1e-20, long before the subnormal range.
    auto module = makeModule("DC_Blocker");
    module->start();
    module->fillInput("In", 1.0f);
    const auto decay = render(*module, 64 * 300);
    ASSERT_EQ(decay.reports.size(), 2u);
    EXPECT_NEAR(decay.reports[1].position, 9187, 64);
    EXPECT_TRUE(module->asleep());
}

TEST(IntegratorModule, StaticInputWithoutFeedbackRestsOnTheSecondSampleAndHoldsIt)
{
    auto module = makeModule("Integrator");
    module->start();
    module->fillInput("In", 0.25f);
    module->fillInput("Feedback", 0.0f);
    const auto out = render(*module, 192);
    for (const float y : out.samples)
        ASSERT_EQ(y, 0.25f);
    EXPECT_EQ(out.reports, (Reports{{0, true}, {1, false}}));
    EXPECT_EQ(out.firstSkipped, 128);
}

TEST(IntegratorModule, FeedbackStreamingWakesItAndKeepsItAwakeWhileTheOutputCanMove)
{
    auto module = makeModule("Integrator");
    module->start();
    module->fillInput("In", 0.25f);
    module->fillInput("Feedback", 0.0f);
    render(*module, 192);
    ASSERT_TRUE(module->asleep());

    // In falls to a static 0; Feedback streams at 2 (used as 1): the accumulator stands
    // still at 0.25, but only until the feedback changes.
    module->fillInput("In", 0.0f);
    module->queueStreaming("In", false, 3);
    module->queueStreaming("Feedback", true, 3);
    const auto held = render(*module, 256, [](auto& m, int, int) { m.fillInput("Feedback", 2.0f); });
    EXPECT_EQ(held.samples[255], 0.25f);
    EXPECT_EQ(held.reports, (Reports{{3, true}}));
    EXPECT_FALSE(module->asleep());

    const auto decay = render(*module, 64, [](auto& m, int, int) { m.fillInput("Feedback", 0.5f); });
    EXPECT_EQ(decay.samples[0], 0.125f);
    EXPECT_EQ(decay.samples[1], 0.0625f);

    // Feedback static: the decay runs into exact 0 and the module sleeps.
    module->queueStreaming("Feedback", false, 0);
    const auto rest = render(*module, 64 * 8, [](auto& m, int, int) { m.fillInput("Feedback", 0.5f); });
    ASSERT_EQ(rest.reports.size(), 1u);
    EXPECT_FALSE(rest.reports[0].streaming);
    EXPECT_EQ(rest.samples.back(), 0.0f);
    EXPECT_TRUE(module->asleep());
}

TEST(IntegratorModule, OnceDeclaredStaticItHoldsTheRestOfTheBlockWhateverTheFeedback)
{
    // Resting at 0 with Feedback streaming: the first sample settles it, and later
    // non-finite feedback in the same block must not turn the held 0 into NaN.
    auto module = makeModule("Integrator");
    module->start();
    render(*module, 64);
    module->queueStreaming("Feedback", true, 0);
    const auto out = render(*module, 64, [](auto& m, int, int count) {
        const auto feedback = m.input("Feedback");
        for (int i = 0; i < count; ++i)
            feedback[static_cast<std::size_t>(i)] = i == 0 ? 0.5f : std::nanf("");
    });
    for (const float y : out.samples)
        ASSERT_EQ(y, 0.0f);
    ASSERT_FALSE(out.reports.empty());
    EXPECT_FALSE(out.reports.back().streaming);
}

TEST(DerivatorModule, SleepsAtTheFirstZeroDifferenceOfAStaticInputAndWakesOnAnyChange)
{
    auto module = makeModule("Derivator");
    module->start();
    module->queueStreaming("In", true);
    render(*module, 64, [](auto& m, int start, int) {
        for (int i = 0; i < 64; ++i)
            m.input("In")[i] = static_cast<float>(start + i) * 0.5f;
    });
    module->queueStreaming("In", false, 20);
    const auto out = render(*module, 192, [](auto& m, int start, int) {
        for (int i = 0; i < 64; ++i)
            m.input("In")[i] = start + i < 20 ? static_cast<float>(64 + i) * 0.5f : 3.0f;
    });
    EXPECT_EQ(out.samples[19], 0.5f);
    EXPECT_EQ(out.samples[20], 3.0f - 41.5f);
    EXPECT_EQ(out.samples[21], 0.0f);
    // Every pin change reports streaming (here at 20); rest at 21.
    EXPECT_EQ(out.reports, (Reports{{20, true}, {21, false}}));
    EXPECT_EQ(out.firstSkipped, 128);
}

TEST(GliderModule, ConstantTimeGlideTakesTheTimeInFloat32StepsThenSleepsAtTheTarget)
{
    auto module = makeModule("Glider");
    module->start();
    module->fillInput("Time", 0.1f);  // 1 second
    render(*module, 128);
    ASSERT_TRUE(module->asleep());  // at rest on 0 from the start

    // The target becomes 1 on sample 10 of a block.
    module->queueStreaming("In", false, 10);
    const auto glide = render(*module, 48200, [](auto& m, int start, int) {
        for (int i = 0; i < 64; ++i)
            m.input("In")[i] = start + i < 10 ? 0.0f : 1.0f;
    });
    const float step = 1.0f / 48000.0f;
    EXPECT_EQ(glide.samples[9], 0.0f);
    EXPECT_EQ(glide.samples[10], step);
    EXPECT_EQ(glide.samples[11], step + step);
    // 1 second is 48000 samples; adding the float32 step 48000 times overshoots a
    // little earlier, after 47970 steps (0.06 % short of 1 s).
    const int arrival = firstIndexOf(glide.samples, 1.0f);
    EXPECT_EQ(arrival - 10 + 1, 47970);
    EXPECT_NEAR(arrival - 10 + 1, 48000, 48);
    EXPECT_LT(glide.samples[arrival - 1], 1.0f);
    EXPECT_EQ(glide.reports, (Reports{{10, true}, {arrival, false}}));
    EXPECT_TRUE(module->asleep());
    EXPECT_EQ(module->output("Out")[63], 1.0f);
}

TEST(GliderModule, ANewTargetDuringTheGlideRestartsTheTimingFromTheCurrentValue)
{
    auto module = makeModule("Glider");
    module->start();
    module->fillInput("Time", 0.01f);  // 0.1 s, 4800 samples
    module->fillInput("In", 1.0f);
    const auto up = render(*module, 2400);
    const float halfway = up.samples.back();
    EXPECT_NEAR(halfway, 0.5f, 0.001f);

    module->queueStreaming("In", false, 0);
    const auto down = render(*module, 5000, [](auto& m, int, int) { m.fillInput("In", 0.0f); });
    const int arrival = firstIndexOf(down.samples, 0.0f);
    EXPECT_NEAR(arrival + 1, 4800, 5);  // the whole time again, over half the distance
    EXPECT_NEAR(down.samples[2399], halfway / 2, 0.001f);
    EXPECT_EQ(down.reports, (Reports{{0, true}, {arrival, false}}));
}

TEST(GliderModule, ConstantRateMovesPointOnePerGlideTime)
{
    auto module = makeModule("Glider");
    module->start();
    module->queueValue("Mode", 1);
    module->fillInput("Time", 0.01f);  // 0.1 per 4800 samples
    module->fillInput("In", 0.25f);
    const auto out = render(*module, 13000);
    EXPECT_NEAR(out.samples[4799], 0.1f, 1e-4f);
    EXPECT_NEAR(out.samples[9599], 0.2f, 1e-4f);
    EXPECT_NEAR(firstIndexOf(out.samples, 0.25f) + 1, 12000, 12);
}

TEST(GliderModule, JumpOrZeroTimeFollowsTheInputAtOnce)
{
    for (const bool useJump : {true, false}) {
        auto module = makeModule("Glider");
        module->start();
        module->queueStreaming("In", true);
        module->fillInput("Jump", useJump ? 0.5f : 0.0f);
        module->fillInput("Time", useJump ? 0.1f : -0.2f);
        const auto out = render(*module, 128, [](auto& m, int start, int) {
            for (int i = 0; i < 64; ++i)
                m.input("In")[i] = std::cos(0.05f * static_cast<float>(start + i));
        });
        for (int n = 0; n < 128; ++n)
            ASSERT_EQ(out.samples[n], std::cos(0.05f * static_cast<float>(n))) << n;
    }
}

TEST(GliderModule, TimeAndJumpChangesDoNotWakeTheSleepingModule)
{
    auto module = makeModule("Glider");
    module->start();
    module->fillInput("In", 0.5f);
    module->fillInput("Time", 0.0f);
    render(*module, 128);
    ASSERT_TRUE(module->asleep());
    module->fillInput("Time", 0.3f);
    module->queueStreaming("Time", false, 7);
    module->queueStreaming("Jump", true, 9);
    const auto out = render(*module, 128);
    EXPECT_TRUE(out.reports.empty());
    EXPECT_TRUE(module->asleep());
    EXPECT_EQ(out.samples[100], 0.5f);
}

TEST(Glider2Module, RiseAndFallHaveTheirOwnTimesAndAZeroTimeJumps)
{
    auto module = makeModule("Glider2");
    module->start();
    module->fillInput("TimeUp", 0.0f);      // rises at once
    module->fillInput("TimeDown", 0.001f);  // falls in 480 samples
    module->fillInput("In", 1.0f);
    const auto up = render(*module, 128);
    EXPECT_EQ(up.samples[0], 1.0f);
    EXPECT_EQ(up.reports, (Reports{{0, true}, {0, false}}));
    EXPECT_TRUE(module->asleep());

    module->queueStreaming("In", false, 0);
    const auto down = render(*module, 640, [](auto& m, int, int) { m.fillInput("In", -1.0f); });
    const int arrival = firstIndexOf(down.samples, -1.0f);
    EXPECT_NEAR(arrival + 1, 480, 2);  // 2 units in 480 samples
    EXPECT_NEAR(down.samples[239], 0.0f, 0.01f);
    EXPECT_EQ(down.reports, (Reports{{0, true}, {arrival, false}}));

    // Both times 0 follow the input; so does Jump.
    module->fillInput("TimeDown", 0.0f);
    module->queueStreaming("TimeDown", false, 0);
    module->queueStreaming("In", false, 0);
    const auto follow = render(*module, 64, [](auto& m, int, int) { m.fillInput("In", 0.75f); });
    EXPECT_EQ(follow.samples[0], 0.75f);
}

TEST(LatencyModule, DelaysByWholeSamplesUpTo5000AndClampsTheDelay)
{
    for (const auto& [requested, used] :
         std::vector<std::pair<int, int>>{{5000, 5000}, {6000, 5000}, {-3, 0}, {1, 1}, {3, 3}, {37, 37}}) {
        auto module = makeModule("Latency");
        module->start();
        module->queueValue("Delay", requested);
        module->queueStreaming("In", true);
        const auto out = render(*module, 5100, [](auto& m, int start, int) {
            for (int i = 0; i < 64; ++i)
                m.input("In")[i] = static_cast<float>(start + i + 1);
        });
        for (int n = 0; n < 5100; ++n)
            ASSERT_EQ(out.samples[n], n < used ? 0.0f : static_cast<float>(n - used + 1)) << requested << " at " << n;
    }
}

TEST(LatencyModule, OutputStaysStreamingUntilTheTailHasLeftThenSleeps)
{
    auto module = makeModule("Latency");
    module->start();
    module->queueValue("Delay", 100);
    module->queueStreaming("In", true);
    module->queueStreaming("In", false, 30);  // static 7 from sample 30
    const auto out = render(*module, 64 * 6, [](auto& m, int start, int) {
        for (int i = 0; i < 64; ++i)
            m.input("In")[i] = start + i < 30 ? static_cast<float>(start + i + 1) : 7.0f;
    });
    EXPECT_EQ(out.samples[129], 30.0f);
    EXPECT_EQ(out.samples[130], 7.0f);
    // Streaming at graph start and when In starts; still streaming when In stops;
    // static where the first static sample comes out.
    EXPECT_EQ(out.reports, (Reports{{0, true}, {0, true}, {30, true}, {130, false}}));
    EXPECT_EQ(out.firstSkipped, 256);
    EXPECT_EQ(module->output("Out")[10], 7.0f);
}

TEST(LatencyModule, ZeroDelayGoesStaticWithTheInput)
{
    auto module = makeModule("Latency");
    module->start();
    module->queueStreaming("In", true);
    module->queueStreaming("In", false, 40);
    const auto out = render(*module, 64, [](auto& m, int, int) { m.fillInput("In", 2.0f); });
    EXPECT_EQ(out.reports, (Reports{{0, true}, {0, true}, {40, false}, {40, false}}));
}

TEST(LatencyModule, ANewDelayOverAStaticInputReplaysItsTailBeforeGoingStaticAgain)
{
    auto module = makeModule("Latency");
    module->start();
    module->queueValue("Delay", 10);
    module->queueStreaming("In", true);
    module->queueStreaming("In", false, 200);
    const auto fill = [](auto& m, int start, int) {
        for (int i = 0; i < 64; ++i)
            m.input("In")[i] = start + i < 200 ? static_cast<float>(start + i) : -1.0f;
    };
    const auto first = render(*module, 256, fill);
    EXPECT_EQ(first.reports.back(), (StreamingReport{210, false}));

    module->queueValue("Delay", 150, 44);  // 300 samples in: replays input 150
    const auto replay = render(*module, 64 * 8, [&](auto& m, int start, int count) { fill(m, start + 256, count); });
    EXPECT_EQ(replay.samples[44], 150.0f);
    EXPECT_EQ(replay.samples[44 + 49], 199.0f);
    EXPECT_EQ(replay.samples[44 + 50], -1.0f);
    EXPECT_EQ(replay.reports, (Reports{{44, true}, {44 + 150, false}}));
}
