// Shape pulser: plays a shape once per trigger over a set duration (a one-shot
// function generator). Between pulses the output holds the shape's last value.
#include <cstring>

#include "ShapeInterpolation.h"
#include "ShapeString.h"
#include "mp_sdk_audio.h"

class ShapePulser : public MpBase2 {
    StringInPin pinShape;
    AudioInPin pinDuration;      // x 10 = pulse length in milliseconds
    AudioInPin pinTrigger;       // rising edge through zero starts a pulse
    EnumInPin pinInterpolation;  // Linear, Spline, Lagrange, None
    AudioOutPin pinOut;

    static constexpr int tableSize = shapeTableSize;
    static constexpr int lastIndex = tableSize - 1;

    float table[tableSize] = {};  // -1 .. +1 nominal, unclamped
    Node nodes[maxShapeNodes] = {};
    int count = 0;
    int mode = interpolationLinear;

    double position = 0;      // table units; beyond 4095 the pulse is over
    double increment = 0;     // table units per sample
    float lastDuration = 0;   // milliseconds
    bool lastTrigger = false;
    float lastOutput = 0;
    int previousIndex = 0;    // index read at the previous sample

public:
    ShapePulser()
    {
        initializePin(pinShape);
        initializePin(pinDuration);
        initializePin(pinTrigger);
        initializePin(pinInterpolation);
        initializePin(pinOut);
        setSubProcess(&ShapePulser::subProcess);
    }

    void onSetPins() override
    {
        if (pinShape.isUpdated()) {
            count = parseNodes(pinShape.getValue(), 0.0f, 1.0f, -1.0f, 1.0f, nodes);
            if (count > 0) {
                toTableGrid(nodes, count);
                fillLUT();
            } else {
                std::memset(table, 0, sizeof table);
            }
        }
        if (pinInterpolation.isUpdated()) {
            mode = pinInterpolation;
            if (count > 0)
                fillLUT();
        }
        if (pinTrigger.isStreamingChanged()) {
            if (pinTrigger.isStreaming() || pinTrigger.getValue() > 0.0f)
                pinOut.setStreaming(true);
            else if (position >= lastIndex)
                pinOut.setStreaming(false);
        }
        // Duration and trigger static (each buffer holds one value until its next event),
        // the common case: the inputs are read once a block.
        if (!pinDuration.isStreaming() && !pinTrigger.isStreaming())
            setSubProcess(&ShapePulser::subProcessStatic);
        else
            setSubProcess(&ShapePulser::subProcess);
    }

    void subProcess(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        const float* duration = pinDuration.getBuffer() + blockPos;
        const float* trigger = pinTrigger.getBuffer() + blockPos;
        for (int s = 0; s < sampleFrames; ++s) {
            const float ms = 10.0f * duration[s];
            if (ms != lastDuration)
                updateIncrement(ms);

            const bool triggerOn = trigger[s] > 0.0f;
            out[s] = 0.5f * step(s, triggerOn);
        }
    }

    // subProcess for static inputs, sample for sample the same: only the first sample can
    // see another duration or a rising trigger. Once the pulse is over and the output
    // static, the rest of the block holds the last value.
    void subProcessStatic(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        const float ms = 10.0f * pinDuration.getBuffer()[blockPos];
        if (ms != lastDuration)
            updateIncrement(ms);
        const bool triggerOn = pinTrigger.getBuffer()[blockPos] > 0.0f;
        for (int s = 0; s < sampleFrames; ++s) {
            if (position > lastIndex && !pinOut.isStreaming() && triggerOn == lastTrigger) {
                std::fill(out + s, out + sampleFrames, 0.5f * lastOutput);
                return;
            }
            out[s] = 0.5f * step(s, triggerOn);
        }
    }

private:
    // One sample with the trigger at `triggerOn`; returns the shape's value (before the
    // output's 0.5 scale).
    float step(int s, bool triggerOn)
    {
        if (triggerOn && !lastTrigger) {
            position = 0;
            previousIndex = 0;
            if (!pinOut.isStreaming())
                pinOut.setStreaming(true, blockPos + s);
        }

        float value = lastOutput;
        if (position > lastIndex) {
            if (pinOut.isStreaming()) {
                value = table[lastIndex];
                pinOut.setStreaming(false, blockPos + s);
            }
        } else if (increment != 0) {
            const int index = static_cast<int>(position);
            if (mode == interpolationNone) {
                // The strongest impulse passed since the previous sample.
                value = 0.0f;
                for (int i = index; i != previousIndex; i = i == 0 ? lastIndex : i - 1) {
                    if (std::abs(table[i]) > std::abs(value))
                        value = table[i];
                }
                previousIndex = index;
            } else {
                const float t = static_cast<float>(position - index);
                const float next = index < lastIndex ? table[index + 1] : 0.0f;
                value = t * next + (1.0f - t) * table[index];
                previousIndex = index + 1;
            }
            position += increment;
        }
        lastOutput = value;
        lastTrigger = triggerOn;
        return value;
    }

    void updateIncrement(float ms)
    {
        float sampleRate = 48000.0f;
        getHost()->hostGetSampleRate(sampleRate);
        // At least two samples; not-a-number reads as the minimum.
        const float minimum = 2000.0f / sampleRate;
        const float t = ms > minimum ? ms : minimum;
        if (t != lastDuration) {
            increment = lastIndex / (t * sampleRate * 0.001 - 1.0);
            lastDuration = t;
        }
    }

    void fillLUT()
    {
        std::memset(table, 0, sizeof table);
        if (mode == interpolationNone) {
            for (int k = 0; k < count; ++k) {
                const int index = static_cast<int>(nodes[k].x);
                if (index >= 0 && index < tableSize)
                    table[index] = nodes[k].y;
            }
            return;
        }
        interpolateSegments(nodes, count, mode, tableSize, [this](int index, float value) { table[index] = value; });
    }
};

namespace {
const bool registered = gmpi::Register<ShapePulser>::withId(SHAPE_MODULE_ID("ShapePulser"));
}
