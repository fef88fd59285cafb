// The arithmetic the table and sample players share (framework/SignalMath.h), tested
// directly: the fast base-2 exponential, the four-point interpolation and its edge
// handling, and the running-sum step integrals behind the interval mean.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "SignalMath.h"

using namespace signal_math;

namespace {

TEST(FastExp2, IsExactAtWholeOctavesNearZeroAndWithinATenThousandthElsewhere)
{
    EXPECT_EQ(fastExp2(0.0f), 1.0f);
    EXPECT_EQ(fastExp2(1.0f), 2.0f);
    EXPECT_EQ(fastExp2(5.0f), 32.0f);
    for (float e = -20.0f; e <= 20.0f; e += 0.01f)
        ASSERT_NEAR(fastExp2(e) / std::exp2(e), 1.0, 1e-4) << e;
}

TEST(FastExp2, LimitsItsInputSoEveryResultIsFinite)
{
    EXPECT_EQ(fastExp2(-1000.0f), fastExp2(-126.0f));
    EXPECT_EQ(fastExp2(std::numeric_limits<float>::quiet_NaN()), fastExp2(-126.0f));
    EXPECT_EQ(fastExp2(-std::numeric_limits<float>::infinity()), fastExp2(-126.0f));
    EXPECT_EQ(fastExp2(1e30f), fastExp2(127.0f));
    EXPECT_TRUE(std::isfinite(fastExp2(std::numeric_limits<float>::infinity())));
    EXPECT_GT(fastExp2(-126.0f), 0.0f);
}

TEST(Interpolate4, PassesThroughTheFramesAndReproducesStraightLines)
{
    EXPECT_EQ(interpolate4(3.0f, -1.0f, 7.0f, 2.0f, 0.0f), -1.0f);
    EXPECT_FLOAT_EQ(interpolate4(3.0f, -1.0f, 7.0f, 2.0f, 1.0f), 7.0f);
    for (float f = 0.0f; f <= 1.0f; f += 0.125f)
        ASSERT_FLOAT_EQ(interpolate4(1.0f, 2.0f, 3.0f, 4.0f, f), 2.0f + f);
}

TEST(Interpolate4, EdgeFramesRepeatOrReadAsZero)
{
    const std::vector<float> x = {1.0f, 2.0f, 4.0f};
    EXPECT_FLOAT_EQ(interpolateClamped(x.data(), 3, 0.5), interpolate4(1, 1, 2, 4, 0.5f));
    EXPECT_FLOAT_EQ(interpolateClamped(x.data(), 3, 1.5), interpolate4(1, 2, 4, 4, 0.5f));
    EXPECT_FLOAT_EQ(interpolateClamped(x.data(), 3, 2.25), interpolate4(2, 4, 4, 4, 0.25f));
    EXPECT_FLOAT_EQ(interpolateClamped(x.data(), 1, 0.5), 1.0f);
    EXPECT_FLOAT_EQ(interpolateZeroPadded(x.data(), 3, 0.5), interpolate4(0, 1, 2, 4, 0.5f));
    EXPECT_FLOAT_EQ(interpolateZeroPadded(x.data(), 3, 2.5), interpolate4(2, 4, 0, 0, 0.5f));
    EXPECT_FLOAT_EQ(interpolateZeroPadded(x.data(), 3, -0.5), interpolate4(0, 0, 1, 2, 0.5f));
    for (const double far : {-10.0, 6.0, 1e300, -1e300, std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity()})
        EXPECT_EQ(interpolateZeroPadded(x.data(), 3, far), 0.0f) << far;
}

// The range-free reading of positions inside the sample gives interpolateZeroPadded's
// bits, at the edge frames too.
TEST(Interpolate4, TheReadingWithinTheSampleEqualsTheZeroPaddedOne)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (const int frames : {1, 2, 3, 5, 64}) {
        std::vector<float> x(static_cast<std::size_t>(frames));
        for (float& v : x)
            v = value(random);
        std::uniform_real_distribution<double> position(0.0, frames);
        std::vector<double> positions{0.0, 0.5, frames - 1.0, std::nextafter(static_cast<double>(frames), 0.0)};
        for (int k = 0; k < 2000; ++k)
            positions.push_back(position(random));
        for (const double p : positions)
            ASSERT_EQ(std::bit_cast<std::uint32_t>(interpolateZeroPaddedWithin(x.data(), frames, p)),
                      std::bit_cast<std::uint32_t>(interpolateZeroPadded(x.data(), frames, p)))
                << frames << " frames at " << p;
    }
}

// The step function's integral from a to b by brute force over fine steps.
double bruteMean(const std::vector<SummedEntry>& table, double a, double b, bool forward)
{
    const int n = static_cast<int>(table.size());
    const int steps = 200000;
    double sum = 0;
    for (int k = 0; k < steps; ++k) {
        const double x = a + (b - a) * (k + 0.5) / steps;
        // Forward sweeps read entry i over (i-1, i], backward ones over [i, i+1).
        const double c = forward ? std::ceil(x) : std::floor(x);
        const int i = static_cast<int>(((static_cast<long long>(c) % n) + n) % n);
        sum += table[static_cast<std::size_t>(i)].value;
    }
    return sum / steps;
}

TEST(StepIntegral, TheMeanOverAnySweepMatchesTheStepFunctionInBothDirections)
{
    std::vector<SummedEntry> table(37);
    std::mt19937 random(5);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (auto& e : table)
        e.value = value(random);
    accumulateRunningSums(table.data(), 37);
    float total = 0;
    for (const auto& e : table)
        total += e.value;
    EXPECT_FLOAT_EQ(table.back().sum, total);

    const StepIntegral<SummedEntry> integral(table.data(), 37);
    std::uniform_real_distribution<double> position(-80.0, 120.0);
    for (int k = 0; k < 40; ++k) {
        const double a = position(random), b = position(random);
        if (std::abs(a - b) < 1.5)
            continue;
        ASSERT_NEAR(integral.mean(a, b), bruteMean(table, a, b, b > a), 2e-4) << a << " -> " << b;
    }
    // A whole cycle in either direction is the table's mean.
    EXPECT_NEAR(integral.mean(3.25, 40.25), total / 37.0, 1e-6);
    EXPECT_NEAR(integral.mean(40.25, 3.25), total / 37.0, 1e-6);
}

}  // namespace
