// Arithmetic shared by the table and sample players of every bundle: the fast base-2
// exponential that turns pitch volts into ratios, the four-point interpolation between
// sample frames, and the running-sum tables whose step-function integral gives the mean
// of a table over any interval in constant time (the players' box filter above one table
// entry per output sample). Header only, no library calls on the per-sample path.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace signal_math {

// 2^e by the bit-pattern approximation (relative error below 1e-4), in single precision;
// inputs below -126 (and not-a-number) count as -126, inputs above 127 as 127.
inline float fastExp2(float e)
{
    const float p = !(e >= -126.0f) ? -126.0f : (e > 127.0f ? 127.0f : e);
    const float z = p - std::trunc(p) + (p < 0.0f ? 1.0f : 0.0f);
    const auto bits = static_cast<std::int32_t>(
        std::trunc((p + 121.274055f + 27.728024f / (4.8425255f - z) - 1.4901291f * z) * 8388608.0f));
    float result;
    std::memcpy(&result, &bits, sizeof result);
    return result;
}

// floor for read positions within the int64 range (no library call).
inline double floorPosition(double x)
{
    const double t = static_cast<double>(static_cast<std::int64_t>(x));
    return t > x ? t - 1.0 : t;
}

// The four-point (Catmull-Rom) interpolation at fraction f (0 .. 1) between y1 and y2,
// with y0 before y1 and y3 after y2.
inline float interpolate4(float y0, float y1, float y2, float y3, float f)
{
    return y1 + f * (0.5f * (y2 - y0) +
                     f * ((y0 - 2.5f * y1 + 2.0f * y2 - 0.5f * y3) + f * 0.5f * (3.0f * (y1 - y2) + y3 - y0)));
}

// interpolate4 at `position` in `frames` samples (frames >= 1, 0 <= position < frames);
// neighbours before the first frame or after the last repeat that edge frame.
inline float interpolateClamped(const float* samples, std::int64_t frames, double position)
{
    const auto i = static_cast<std::int64_t>(position);
    const float f = static_cast<float>(position - static_cast<double>(i));
    const std::int64_t last = frames - 1;
    const float y1 = samples[i];
    const float y0 = i > 0 ? samples[i - 1] : y1;
    const float y2 = i < last ? samples[i + 1] : samples[last];
    const float y3 = i + 2 <= last ? samples[i + 2] : samples[last];
    return interpolate4(y0, y1, y2, y3, f);
}

// interpolate4 at fraction f after frame i of `frames` samples; neighbours outside the
// sample read as 0.
inline float interpolateZeroPaddedAt(const float* samples, std::int64_t frames, std::int64_t i, float f)
{
    if (i >= 1 && i + 2 < frames)  // all four inside the sample
        return interpolate4(samples[i - 1], samples[i], samples[i + 1], samples[i + 2], f);
    auto at = [samples, frames](std::int64_t k) { return k >= 0 && k < frames ? samples[k] : 0.0f; };
    return interpolate4(at(i - 1), at(i), at(i + 1), at(i + 2), f);
}

// interpolate4 at `position` (any value) in `frames` samples; neighbours outside the
// sample read as 0, so a position outside -1 .. frames gives 0.
inline float interpolateZeroPadded(const float* samples, std::int64_t frames, double position)
{
    if (!(position >= -3.0 && position < static_cast<double>(frames) + 2.0))  // NaN too
        return 0.0f;
    const double base = floorPosition(position);
    return interpolateZeroPaddedAt(samples, frames, static_cast<std::int64_t>(base), static_cast<float>(position - base));
}

// interpolateZeroPadded for a position known to lie in 0 .. frames (the same result):
// there the floor is the truncation and no range check is needed.
inline float interpolateZeroPaddedWithin(const float* samples, std::int64_t frames, double position)
{
    const auto i = static_cast<std::int64_t>(position);
    return interpolateZeroPaddedAt(samples, frames, i, static_cast<float>(position - static_cast<double>(i)));
}

// A table entry holding its value and the running sum up to and including it.
struct SummedEntry {
    float value;
    float sum;  // value(0) + ... + value(i), accumulated in float
};

// Fills every entry's running sum from the values.
template <class Entry>
void accumulateRunningSums(Entry* table, int size)
{
    float sum = 0.0f;
    for (int i = 0; i < size; ++i) {
        sum += table[i].value;
        table[i].sum = sum;
    }
}

// Integrals of a cyclic step function over a running-sum table of `size` entries, for
// positions p in table entries (any sign; whole cycles add the table's total). The mean
// of the table over a forward sweep x0 -> x1 is (forwardIntegral(x1) - forwardIntegral(x0))
// / (x1 - x0); over a backward sweep it is (backwardIntegral(x0) - backwardIntegral(x1)) /
// (x0 - x1).
template <class Entry>
class StepIntegral {
public:
    StepIntegral(const Entry* table, int size) : table(table), last(size - 1), inverseSize(1.0 / size), size(size) {}

    // Entry i covers (i-1, i]: the reading of a sweep moving forward.
    double forwardIntegral(double p) const
    {
        const double cycles = floorPosition(p * inverseSize);
        const double r = p - cycles * size;
        const int whole = clampIndex(r);
        const double fraction = r - whole;
        return cycles * table[last].sum + (table[whole].sum - table[0].sum) +
               fraction * table[whole == last ? 0 : whole + 1].value;
    }

    // Entry i covers [i, i+1): the reading of a sweep moving backward.
    double backwardIntegral(double p) const
    {
        const double cycles = floorPosition(p * inverseSize);
        const double r = p - cycles * size;
        const int whole = clampIndex(r);
        const double fraction = r - whole;
        return cycles * table[last].sum + (whole > 0 ? table[whole - 1].sum : 0.0) + fraction * table[whole].value;
    }

    // The mean over the sweep from x0 to x1 (x0 != x1).
    double mean(double x0, double x1) const
    {
        if (x1 > x0)
            return (forwardIntegral(x1) - forwardIntegral(x0)) / (x1 - x0);
        return (backwardIntegral(x0) - backwardIntegral(x1)) / (x0 - x1);
    }

private:
    int clampIndex(double r) const
    {
        const int whole = static_cast<int>(r);
        return whole < last ? (whole > 0 ? whole : 0) : last;
    }

    const Entry* table;
    int last;
    double inverseSize;
    double size;
};

}  // namespace signal_math
