// Shape oscillator: loops one cycle of a shape as a periodic waveform, with linear or
// volts-per-octave pitch, hard sync, phase modulation and self-feedback.
//
// The cycle is a 4096-entry table of (value, running sum). Two tables alternate: the
// audio routine reads the active one while a new shape is built into the other, which
// takes over when the read position enters another cycle, so a cycle never changes
// shape halfway. Whenever one output sample spans more than one table entry the routine
// outputs the average of the table over that span (a box filter computed from the
// running sums), which keeps high notes free of most aliasing.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "ShapeInterpolation.h"
#include "ShapeString.h"
#include "SignalMath.h"
#include "mp_sdk_audio.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

using signal_math::fastExp2;
using signal_math::floorPosition;

// x limited to -1 .. +1; not-a-number reads as -1.
float clampUnit(float x)
{
    return x > 1.0f ? 1.0f : (x >= -1.0f ? x : -1.0f);
}

#if defined(__x86_64__)
// readInTable's samples four at a time, where the processor has AVX2: lane by lane the
// same operations in the same order as the scalar routine, so the same bits. AVX2 alone
// has no fused multiply-add, which would change them.

using Entry = signal_math::SummedEntry;

// floorPosition of each lane, for |x| < 2^31: the truncation, less one where it lies
// above x (the truncation is never -0, so less 0 leaves it as it is).
[[gnu::target("avx2")]] inline __m256d floorLanes(__m256d x)
{
    const __m256d t = _mm256_cvtepi32_pd(_mm256_cvttpd_epi32(x));
    return _mm256_sub_pd(t, _mm256_and_pd(_mm256_cmp_pd(t, x, _CMP_GT_OQ), _mm256_set1_pd(1.0)));
}

// The whole cycles of the table before each lane's position, floorPosition(p / size).
[[gnu::target("avx2")]] inline __m256d cycleLanes(__m256d p)
{
    return floorLanes(_mm256_mul_pd(p, _mm256_set1_pd(1.0 / shapeTableSize)));
}

// The field `field` points to in entry 0 (value or sum), of four entries, widened.
[[gnu::target("avx2")]] inline __m256d gatherLanes(const float* field, __m128i index)
{
    return _mm256_cvtps_pd(_mm_i32gather_ps(field, index, sizeof(Entry)));
}

// StepIntegral's forwardIntegral (`forward`) or backwardIntegral of each lane, on a
// table of shapeTableSize entries, for |p| < 2^42.
template <bool forward> [[gnu::target("avx2")]] inline __m256d integralLanes(const Entry* table, __m256d p)
{
    constexpr int last = shapeTableSize - 1;
    const __m256d cycles = cycleLanes(p);
    const __m256d r = _mm256_sub_pd(p, _mm256_mul_pd(cycles, _mm256_set1_pd(shapeTableSize)));
    const __m128i whole =
        _mm_min_epi32(_mm_max_epi32(_mm256_cvttpd_epi32(r), _mm_setzero_si128()), _mm_set1_epi32(last));
    const __m256d fraction = _mm256_sub_pd(r, _mm256_cvtepi32_pd(whole));
    const __m256d wholeCycles = _mm256_mul_pd(cycles, _mm256_set1_pd(table[last].sum));
    __m256d before;  // the running sum before the fraction's entry
    __m256d entry;   // the value of the entry the fraction lies in
    if constexpr (forward) {
        const __m128i next = _mm_and_si128(_mm_add_epi32(whole, _mm_set1_epi32(1)), _mm_set1_epi32(last));
        before = _mm256_cvtps_pd(
            _mm_sub_ps(_mm_i32gather_ps(&table[0].sum, whole, sizeof(Entry)), _mm_set1_ps(table[0].sum)));
        entry = gatherLanes(&table[0].value, next);
    } else {
        const __m128i previous = _mm_max_epi32(_mm_sub_epi32(whole, _mm_set1_epi32(1)), _mm_setzero_si128());
        const __m256d first = _mm256_castsi256_pd(_mm256_cvtepi32_epi64(_mm_cmpgt_epi32(whole, _mm_setzero_si128())));
        before = _mm256_and_pd(gatherLanes(&table[0].sum, previous), first);  // 0 at the first entry
        entry = gatherLanes(&table[0].value, whole);
    }
    return _mm256_add_pd(_mm256_add_pd(wholeCycles, before), _mm256_mul_pd(fraction, entry));
}

// The table linearly interpolated at each lane's position.
[[gnu::target("avx2")]] inline __m256d interpolateLanes(const Entry* table, __m256d position)
{
    const __m256d x = _mm256_sub_pd(position, _mm256_mul_pd(cycleLanes(position), _mm256_set1_pd(shapeTableSize)));
    const __m128i i = _mm256_cvttpd_epi32(x);
    const __m256d t = _mm256_sub_pd(x, _mm256_cvtepi32_pd(i));
    const __m128i mask = _mm_set1_epi32(shapeTableSize - 1);
    const __m256d next = gatherLanes(&table[0].value, _mm_and_si128(_mm_add_epi32(i, _mm_set1_epi32(1)), mask));
    const __m256d here = gatherLanes(&table[0].value, _mm_and_si128(i, mask));
    return _mm256_add_pd(_mm256_mul_pd(t, next), _mm256_mul_pd(_mm256_sub_pd(_mm256_set1_pd(1.0), t), here));
}

// Lanes shifted up by one: lane k of the result is lane k - 1 of `now`, lane 0 the last
// lane of `previous`.
[[gnu::target("avx2")]] inline __m256d before(__m256d now, __m256d previous)
{
    return _mm256_blend_pd(_mm256_permute4x64_pd(now, 0x90), _mm256_permute4x64_pd(previous, 0xFF), 0x1);
}

// The forward means of four sweeps from -> to of `length`. A sweep that starts where the
// one before it ended takes its start's integral from there (the same function of the
// same position, so the same bits): `ends` and `integrals` hold the previous four sweeps'
// ends and their integrals, and take these.
[[gnu::target("avx2")]] inline __m256d forwardMeanLanes(const Entry* table, __m256d from, __m256d to, __m256d length,
                                                        __m256d& ends, __m256d& integrals)
{
    const __m256d integralTo = integralLanes<true>(table, to);
    const bool continued = _mm256_movemask_pd(_mm256_cmp_pd(from, before(to, ends), _CMP_EQ_OQ)) == 0xF;
    const __m256d integralFrom = continued ? before(integralTo, integrals) : integralLanes<true>(table, from);
    ends = to;
    integrals = integralTo;
    return _mm256_div_pd(_mm256_sub_pd(integralTo, integralFrom), length);
}

// readInTable's value for each sweep previous[s] -> current[s] (table units, below 2^30
// in size), for a multiple of four sweeps, halved into out[s]; `last` gets the last
// value. Each sweep is first brought into the first cycle by whole cycles of its start;
// one of at most one entry reads the table at its end, a longer one its mean, forward
// or backward.
[[gnu::target("avx2")]] void sweepValues(const Entry* table, const double* previous, const double* current, int count,
                                         float* out, double& last)
{
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d none = _mm256_set1_pd(std::numeric_limits<double>::quiet_NaN());  // equal to no position
    __m256d value = _mm256_setzero_pd();
    __m256d ends = none;  // of the four sweeps before, where their integrals are known
    __m256d integrals = _mm256_setzero_pd();
    for (int s = 0; s < count; s += 4) {
        const __m256d start = _mm256_loadu_pd(previous + s);
        const __m256d shift = _mm256_mul_pd(cycleLanes(start), _mm256_set1_pd(shapeTableSize));
        const __m256d from = _mm256_sub_pd(start, shift);
        const __m256d to = _mm256_sub_pd(_mm256_loadu_pd(current + s), shift);
        const __m256d length = _mm256_sub_pd(to, from);
        const __m256d distance = _mm256_andnot_pd(_mm256_set1_pd(-0.0), length);
        const __m256d shortSweeps = _mm256_cmp_pd(distance, one, _CMP_LE_OQ);
        const __m256d forwardSweeps = _mm256_cmp_pd(length, one, _CMP_GT_OQ);  // and longer than 1
        if (_mm256_movemask_pd(forwardSweeps) == 0xF) {
            value = forwardMeanLanes(table, from, to, length, ends, integrals);
        } else if (_mm256_movemask_pd(shortSweeps) == 0xF) {
            value = interpolateLanes(table, to);
            ends = none;
        } else {
            const __m256d forwardMean = forwardMeanLanes(table, from, to, length, ends, integrals);
            const __m256d backwardMean =
                _mm256_div_pd(_mm256_sub_pd(integralLanes<false>(table, from), integralLanes<false>(table, to)),
                              _mm256_sub_pd(from, to));
            value = _mm256_blendv_pd(backwardMean, forwardMean, forwardSweeps);
            value = _mm256_blendv_pd(value, interpolateLanes(table, to), shortSweeps);
        }
        _mm_storeu_ps(out + s, _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_set1_pd(0.5), value)));
    }
    alignas(32) double values[4];
    _mm256_store_pd(values, value);
    last = values[3];
}
#endif

}  // namespace

class ShapeOsc : public MpBase2 {
    EnumInPin pinEnable;  // 0 silent, else running
    StringInPin pinShape;
    EnumInPin pinFreqMode;       // 0 linear Hz, else volts per octave (5 = 440 Hz)
    AudioInPin pinPitch;         // x 10: Hz or volts
    AudioInPin pinSync;          // rising edge through zero resets the phase
    AudioInPin pinPhaseMod;      // cycles, -1 .. +1
    AudioInPin pinFeedback;      // self phase modulation depth, -1 .. +1
    EnumInPin pinInterpolation;  // Linear, Spline, Lagrange, None
    AudioOutPin pinOut;

    static constexpr int tableSize = shapeTableSize;
    static constexpr int tableMask = tableSize - 1;

    using Entry = signal_math::SummedEntry;

    Node nodes[maxShapeNodes] = {};
    int count = 0;
    int mode = interpolationLinear;
    bool linearFrequency = true;
    bool running = false;

    Entry tables[2][tableSize] = {};
    std::uint8_t pendingIndex = 1;

    // Per-sample state, kept across blocks. Positions are in table units (4096 a cycle).
    struct Cursor {
        double accumulator = 0;
        double previousPosition = 0;
        double increment = 0;     // table units per sample
        double previousWrap = 0;  // 0, or the negative multiple of 4096 taken off the accumulator
        int previousMarker = 0;
        std::uint8_t activeIndex = 0;
        // The forward integral last computed (at the read position that becomes the next
        // sample's start): reused while the position stays in its cycle.
        const Entry* integralTable = nullptr;  // null: nothing kept
        double integralAt = 0;
        double integral = 0;
    };

    Cursor cursor;
    float lastFrequency = 0;
    float lastSync = 0;
    float lastValue = 0;  // table value read at the previous sample (feedback source)
#if defined(__x86_64__)
    const bool vectorSweeps = __builtin_cpu_supports("avx2");  // sweepValues can run
#endif

public:
    ShapeOsc()
    {
        initializePin(pinEnable);
        initializePin(pinShape);
        initializePin(pinFreqMode);
        initializePin(pinPitch);
        initializePin(pinSync);
        initializePin(pinPhaseMod);
        initializePin(pinFeedback);
        initializePin(pinInterpolation);
        initializePin(pinOut);
        setSubProcess(&ShapeOsc::subProcess);
    }

    void onSetPins() override
    {
        if (pinShape.isUpdated()) {
            count = parseNodes(pinShape.getValue(), 0.0f, 1.0f, -1.0f, 1.0f, nodes);
            if (count > 0) {
                toTableGrid(nodes, count);
                fillLUT();
            } else {
                std::memset(tables, 0, sizeof tables);  // silent at once
                cursor.integralTable = nullptr;
            }
        }
        if (pinInterpolation.isUpdated()) {
            mode = pinInterpolation;
            if (count > 0)
                fillLUT();
        }
        if (pinFreqMode.isUpdated())
            linearFrequency = pinFreqMode == 0;
        if (pinEnable.isUpdated()) {
            running = pinEnable != 0;
            pinOut.setStreaming(running);
        }
        // Without feedback streaming, a routine whose samples need not wait for each
        // other; with pitch, sync and phase modulation static too (each buffer holds one
        // value until its next event), the common case, it reads the inputs once a block.
        if (pinFeedback.isStreaming())
            setSubProcess(&ShapeOsc::subProcess);
        else if (!pinPitch.isStreaming() && !pinSync.isStreaming() && !pinPhaseMod.isStreaming())
            setSubProcess(&ShapeOsc::subProcessStatic);
        else
            setSubProcess(&ShapeOsc::subProcessWithoutFeedback);
    }

    void subProcess(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        if (!running) {
            std::fill(out, out + sampleFrames, 0.0f);
            return;
        }
        const float* pitch = pinPitch.getBuffer() + blockPos;
        const float* sync = pinSync.getBuffer() + blockPos;
        const float* phaseMod = pinPhaseMod.getBuffer() + blockPos;
        const float* feedback = pinFeedback.getBuffer() + blockPos;
        float sampleRate = 48000.0f;
        getHost()->hostGetSampleRate(sampleRate);

        for (int s = 0; s < sampleFrames; ++s) {
            const float v = 10.0f * pitch[s];
            const float pm = clampUnit(phaseMod[s]);
            const float fb = clampUnit(feedback[s]);

            if (sync[s] > 0.0f && lastSync <= 0.0f)
                cursor.accumulator = 0;
            lastSync = sync[s];
            updateIncrement(v, sampleRate);

            const double position = (pm + lastValue * fb) * static_cast<double>(tableSize) + cursor.accumulator;
            const double value = readAt(position, cursor);
            out[s] = static_cast<float>(0.5 * value);
            lastValue = static_cast<float>(value);
        }
    }

    // subProcess for static feedback, sample for sample the same arithmetic. With feedback
    // 0 the read position no longer waits for the previous sample's value:
    // (pm + lastValue x 0) x 4096 + accumulator equals pm x 4096 + accumulator for every
    // finite table value, since the accumulator is never -0. Other feedback levels take
    // subProcess.
    void subProcessWithoutFeedback(int sampleFrames)
    {
        if (!running || clampUnit(pinFeedback.getBuffer()[blockPos]) != 0.0f) {
            subProcess(sampleFrames);
            return;
        }
        float* out = pinOut.getBuffer() + blockPos;
        const float* pitch = pinPitch.getBuffer() + blockPos;
        const float* sync = pinSync.getBuffer() + blockPos;
        const float* phaseMod = pinPhaseMod.getBuffer() + blockPos;
        float sampleRate = 48000.0f;
        getHost()->hostGetSampleRate(sampleRate);

        double value = 0;
        // The state in locals, written back after the loop: the output stores could
        // otherwise alias it.
        Cursor c = cursor;
        float frequencyUsed = lastFrequency;
        float syncBefore = lastSync;
        const auto run = [&](auto read) {
            for (int s = 0; s < sampleFrames; ++s) {
                const float v = 10.0f * pitch[s];
                const float pm = clampUnit(phaseMod[s]);
                if (sync[s] > 0.0f && syncBefore <= 0.0f)
                    c.accumulator = 0;
                syncBefore = sync[s];
                updateIncrement(v, sampleRate, c, frequencyUsed);
                value = read(pm * static_cast<double>(tableSize) + c.accumulator);
                out[s] = static_cast<float>(0.5 * value);
            }
        };
        if (c.activeIndex == pendingIndex && sampleFrames > 0 && sweepsFit(c, sampleRate)) {
            readSweeps(c, out, sampleFrames, value, [&](int s, Cursor& d) {
                const float pm = clampUnit(phaseMod[s]);
                if (sync[s] > 0.0f && syncBefore <= 0.0f)
                    d.accumulator = 0;
                syncBefore = sync[s];
                updateIncrement(10.0f * pitch[s], sampleRate, d, frequencyUsed);
                return pm * static_cast<double>(tableSize) + d.accumulator;
            });
            c.previousMarker = cycleMarker(c.previousPosition);
        } else if (c.activeIndex == pendingIndex) {
            // No table waits to take over: readAt's cycle markers change nothing but the
            // last one, set after the loop.
            run([&](double position) { return readInTable(position, c); });
            if (sampleFrames > 0)
                c.previousMarker = cycleMarker(c.previousPosition);
        } else {
            run([&](double position) { return readAt(position, c); });
        }
        cursor = c;
        lastFrequency = frequencyUsed;
        lastSync = syncBefore;
        lastValue = static_cast<float>(value);
    }

    // subProcessWithoutFeedback for static pitch, sync and phase modulation: only the
    // first sample can see a rising sync edge or another frequency.
    void subProcessStatic(int sampleFrames)
    {
        if (!running || clampUnit(pinFeedback.getBuffer()[blockPos]) != 0.0f) {
            subProcess(sampleFrames);
            return;
        }
        float* out = pinOut.getBuffer() + blockPos;
        const float sync = pinSync.getBuffer()[blockPos];
        const float pm = clampUnit(pinPhaseMod.getBuffer()[blockPos]);
        float sampleRate = 48000.0f;
        getHost()->hostGetSampleRate(sampleRate);

        if (sync > 0.0f && lastSync <= 0.0f)
            cursor.accumulator = 0;
        lastSync = sync;
        updateIncrement(10.0f * pinPitch.getBuffer()[blockPos], sampleRate);

        const double offset = pm * static_cast<double>(tableSize);
        Cursor c = cursor;  // in registers for the loop
        double value = 0;
        if (c.activeIndex == pendingIndex && sampleFrames > 0) {
            // No table waits to take over: readAt's cycle markers change nothing but the
            // last one, set after the loop.
            if (sweepsFit(c, sampleRate)) {
                readSweeps(c, out, sampleFrames, value,
                           [offset](int, const Cursor& d) { return offset + d.accumulator; });
            } else {
                for (int s = 0; s < sampleFrames; ++s) {
                    value = readInTable(offset + c.accumulator, c);
                    out[s] = static_cast<float>(0.5 * value);
                }
            }
            c.previousMarker = cycleMarker(c.previousPosition);
        } else {
            for (int s = 0; s < sampleFrames; ++s) {
                value = readAt(offset + c.accumulator, c);
                out[s] = static_cast<float>(0.5 * value);
            }
        }
        cursor = c;
        lastValue = static_cast<float>(value);
    }

private:
    // The increment for pitch `v` (Hz or volts), recomputed only when the limited pitch changes.
    void updateIncrement(float v, float sampleRate) { updateIncrement(v, sampleRate, cursor, lastFrequency); }

    // The same for cursor `c` and the last pitch `used`, both possibly copies in registers.
    void updateIncrement(float v, float sampleRate, Cursor& c, float& used) const
    {
        if (v != used) {
            float f = v > 0.0f ? v : 0.0f;
            f = std::min(f, linearFrequency ? sampleRate * 0.5f : 10.0f);
            if (f != used) {
                const double hz = linearFrequency ? f : 440.0 * fastExp2(f - 5.0f);
                c.increment = hz / sampleRate * tableSize;
                used = f;
            }
        }
    }

    // The cycle a read position lies in, as a multiple of the table size (always positive).
    static int cycleMarker(double position) { return static_cast<int>(position + 3.0 * tableSize) & ~tableMask; }

    // The table's value at read position `position` (table units), then one step on.
    double readAt(double position, Cursor& c) const
    {
        // A rebuilt table starts when the read position enters another cycle; the
        // marker change caused by the accumulator's own wrap does not count.
        const int marker = cycleMarker(position);
        if (c.previousWrap == 0 && marker != c.previousMarker)
            c.activeIndex = pendingIndex;
        c.previousMarker = marker;
        return readInTable(position, c);
    }

    // Whether readSweeps can serve: the processor has sweepValues, and read positions stay
    // far inside its range (below 2^40 in size; at a rate of 1 Hz or more an increment is
    // at most 14 080 cycles of 4096 entries a sample).
    bool sweepsFit(const Cursor& c, float sampleRate) const
    {
#if defined(__x86_64__)
        return vectorSweeps && sampleRate >= 1.0f && std::abs(c.previousPosition) < 0x1p40;
#else
        (void)c, (void)sampleRate;
        return false;
#endif
    }

    // readInTable for `count` samples while no table waits to take over, sample s at the
    // read position position(s, d), which may first reset or step cursor `d` (sync,
    // pitch): the positions one after the other, then the values four at a time. Only
    // where sweepsFit; the caller sets the cycle marker of the last position read.
    template <class Position> void readSweeps(Cursor& c, float* out, int count, double& value, Position position) const
    {
#if defined(__x86_64__)
        constexpr int chunk = 64;
        double previous[chunk];
        double current[chunk];
        float samples[chunk];
        Cursor d = c;
        for (int first = 0; first < count; first += chunk) {
            const int n = std::min(chunk, count - first);
            for (int s = 0; s < n; ++s) {
                const double at = position(first + s, d);
                current[s] = at - d.previousWrap;
                double wrap = 0;
                while (d.accumulator >= tableSize) {
                    d.accumulator -= tableSize;
                    wrap -= tableSize;
                }
                previous[s] = d.previousPosition;
                d.previousPosition = at;
                d.previousWrap = wrap;
                d.accumulator += d.increment;
            }
            const int lanes = (n + 3) & ~3;  // the last sweep repeated up to whole lanes
            std::fill(previous + n, previous + lanes, previous[n - 1]);
            std::fill(current + n, current + lanes, current[n - 1]);
            sweepValues(tables[d.activeIndex], previous, current, lanes, samples, value);
            std::copy(samples, samples + n, out + first);
        }
        d.integralTable = nullptr;  // the next sample computes its start's integral afresh, the same bits
        c = d;
#else
        (void)c, (void)out, (void)count, (void)value, (void)position;
#endif
    }

    // readAt's read of the active table, after the table choice; alone it serves while no
    // table waits to take over (the active one is the pending one), the caller setting
    // the cycle marker of the last position read.
    [[gnu::always_inline]] double readInTable(double position, Cursor& c) const
    {
        double current = position - c.previousWrap;
        double wrap = 0;
        while (c.accumulator >= tableSize) {
            c.accumulator -= tableSize;
            wrap -= tableSize;
        }

        // Bring the previous position into the first cycle, keeping the distance.
        const double shift = floorPosition(c.previousPosition * (1.0 / tableSize)) * tableSize;
        const double prev = c.previousPosition - shift;
        current -= shift;

        const Entry* table = tables[c.activeIndex];
        const double distance = std::abs(current - prev);
        double value;
        if (distance <= 1.0) {
            const double x = current - floorPosition(current * (1.0 / tableSize)) * tableSize;
            const int i = static_cast<int>(x);
            const double t = x - i;
            value = t * table[(i + 1) & tableMask].value + (1.0 - t) * table[i & tableMask].value;
        } else if (current > prev) {
            // StepIntegral::mean for a forward sweep, with the integral at its start taken
            // from the previous sample when it ended there (the same function of the same
            // position in the same table, so the same bits).
            const signal_math::StepIntegral<Entry> integral(table, tableSize);
            const double from = c.integralTable == table && c.integralAt == prev ? c.integral
                                                                                 : integral.forwardIntegral(prev);
            const double to = integral.forwardIntegral(current);
            c.integralTable = table;
            c.integralAt = current;
            c.integral = to;
            value = (to - from) / (current - prev);
        } else {
            value = signal_math::StepIntegral<Entry>(table, tableSize).mean(prev, current);
        }

        c.previousPosition = position;
        c.previousWrap = wrap;
        c.accumulator += c.increment;
        return value;
    }

    // Builds the table that is not playing and marks it to take over at the next cycle.
    void fillLUT()
    {
        const int target = cursor.activeIndex ^ 1;
        pendingIndex = static_cast<std::uint8_t>(target);
        cursor.integralTable = nullptr;  // the table it was taken from may be this one
        Entry* table = tables[target];
        for (int i = 0; i < tableSize; ++i)
            table[i].value = 0.0f;
        if (mode == interpolationNone) {
            for (int k = 0; k < count; ++k) {
                const int index = static_cast<int>(nodes[k].x);
                if (index >= 0 && index < tableSize)
                    table[index].value = nodes[k].y;
            }
        } else {
            interpolateSegments(nodes, count, mode, tableSize, [table](int index, float value) {
                table[index].value = value > 1.0f ? 1.0f : (value >= -1.0f ? value : -1.0f);
            });
        }
        signal_math::accumulateRunningSums(table, tableSize);
    }
};

namespace {
const bool registered = gmpi::Register<ShapeOsc>::withId(SHAPE_MODULE_ID("ShapeOsc"));
}
