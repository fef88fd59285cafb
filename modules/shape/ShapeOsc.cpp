// Shape oscillator: loops one cycle of a shape as a periodic waveform, with linear or
// volts-per-octave pitch, hard sync, phase modulation and self-feedback.
//
// The cycle is a 4096-entry table of (value, running sum). Two tables alternate: the
// audio routine reads the active one while a new shape is built into the other, which
// takes over when the read position enters another cycle, so a cycle never changes
// shape halfway. Whenever one output sample spans more than one table entry the routine
// outputs the average of the table over that span (a box filter computed from the
// running sums), which keeps high notes free of most aliasing.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "ShapeInterpolation.h"
#include "ShapeString.h"
#include "SignalMath.h"
#include "mp_sdk_audio.h"

namespace {

using signal_math::fastExp2;
using signal_math::floorPosition;

// x limited to -1 .. +1; not-a-number reads as -1.
float clampUnit(float x)
{
    return x > 1.0f ? 1.0f : (x >= -1.0f ? x : -1.0f);
}

}  // namespace

class ShapeOsc : public MpBase2 {
    EnumInPin pinEnable;         // 0 silent, else running
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
    std::uint8_t activeIndex = 0;
    std::uint8_t pendingIndex = 1;

    // Per-sample state, kept across blocks. Positions are in table units (4096 a cycle).
    double accumulator = 0;
    double previousPosition = 0;
    double increment = 0;  // table units per sample
    float lastFrequency = 0;
    float lastSync = 0;
    float lastValue = 0;     // table value read at the previous sample (feedback source)
    double previousWrap = 0; // 0, or the negative multiple of 4096 taken off the accumulator
    int previousMarker = 0;

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
                accumulator = 0;
            lastSync = sync[s];

            if (v != lastFrequency) {
                float f = v > 0.0f ? v : 0.0f;
                f = std::min(f, linearFrequency ? sampleRate * 0.5f : 10.0f);
                if (f != lastFrequency) {
                    const double hz = linearFrequency ? f : 440.0 * fastExp2(f - 5.0f);
                    increment = hz / sampleRate * tableSize;
                    lastFrequency = f;
                }
            }

            const double position = (pm + lastValue * fb) * static_cast<double>(tableSize) + accumulator;

            // A rebuilt table starts when the read position enters another cycle; the
            // marker change caused by the accumulator's own wrap does not count.
            const int marker = static_cast<int>(position + 3.0 * tableSize) & ~tableMask;  // always positive
            if (previousWrap == 0 && marker != previousMarker)
                activeIndex = pendingIndex;

            double current = position - previousWrap;
            double wrap = 0;
            while (accumulator >= tableSize) {
                accumulator -= tableSize;
                wrap -= tableSize;
            }

            // Bring the previous position into the first cycle, keeping the distance.
            const double shift = floorPosition(previousPosition * (1.0 / tableSize)) * tableSize;
            const double prev = previousPosition - shift;
            current -= shift;

            const Entry* table = tables[activeIndex];
            const double distance = std::abs(current - prev);
            double value;
            if (distance <= 1.0) {
                const double c = current - floorPosition(current * (1.0 / tableSize)) * tableSize;
                const int i = static_cast<int>(c);
                const double t = c - i;
                value = t * table[(i + 1) & tableMask].value + (1.0 - t) * table[i & tableMask].value;
            } else {
                value = signal_math::StepIntegral<Entry>(table, tableSize).mean(prev, current);
            }

            out[s] = static_cast<float>(0.5 * value);
            lastValue = static_cast<float>(value);
            previousPosition = position;
            previousMarker = marker;
            previousWrap = wrap;
            accumulator += increment;
        }
    }

private:
    // Builds the table that is not playing and marks it to take over at the next cycle.
    void fillLUT()
    {
        const int target = activeIndex ^ 1;
        pendingIndex = static_cast<std::uint8_t>(target);
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
