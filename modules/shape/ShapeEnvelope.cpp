// Shape envelope: plays a shape once per gate, holding at an optional sustain node
// while the gate stays on and running to the end after it falls.
//
// The shape's x runs over the 4096 table positions and its y = -5 .. +5 becomes a level
// 0 .. 1. The current bundle's envelope multiplies an input by the level and defers
// setting changes until it is idle; the classic bundle's envelope outputs the level,
// applies settings at once and handles retrigger and release on its own terms.
#include <cstring>

#include "ShapeInterpolation.h"
#include "ShapeString.h"
#include "mp_sdk_audio.h"

namespace {

constexpr int tableSize = shapeTableSize;
constexpr int lastIndex = tableSize - 1;

// The curve both envelopes play: its table, speed and sustain node.
struct EnvelopeCurve {
    float table[tableSize] = {};   // levels, at least 0
    Node nodes[maxShapeNodes] = {};  // x in table positions (not rounded), y level 0 .. 1
    int count = 0;
    int mode = interpolationLinear;
    float increment = 0;  // table positions per sample
    int sustainIndex = -1;
    float sustainX = 0;
    float sustainY = 0;

    // Parses the shape and rebuilds everything from the settings. Durations shorter
    // than 4096 samples are raised to that, so the envelope never skips a table entry.
    void build(std::wstring_view shape, int interpolation, float durationMs, int sustainNode, float sampleRate)
    {
        count = parseNodes(shape, 0.0f, static_cast<float>(lastIndex), 0.0f, 1.0f, nodes);
        mode = std::min(interpolation, static_cast<int>(interpolationLagrange));
        const float floorMs = 4096000.0f / sampleRate;
        const float ms = durationMs > floorMs ? durationMs : floorMs;  // not-a-number: the floor
        increment = static_cast<float>(lastIndex) / (ms * sampleRate * 0.001f - 1.0f);
        sustainIndex = -1;
        if (count > 0) {
            std::memset(table, 0, sizeof table);
            interpolateSegments(nodes, count, mode, tableSize,
                                [this](int index, float value) { table[index] = value > 0.0f ? value : 0.0f; });
            if (sustainNode >= -1 && sustainNode <= count - 2)
                sustainIndex = sustainNode;
        }
        if (sustainIndex >= 0) {
            sustainX = nodes[sustainIndex].x;
            sustainY = nodes[sustainIndex].y;
        }
    }

    bool hasSustain() const { return sustainIndex >= 0; }

    // Linear interpolation at a position in 0 .. 4096; past the last entry the missing
    // neighbour counts as 0.
    float levelAt(float position) const
    {
        const int i = static_cast<int>(position);
        const float t = position - static_cast<float>(i);
        const float next = i < lastIndex ? table[i + 1] : 0.0f;
        return t * next + (1.0f - t) * table[i];
    }

    static bool outside(float position) { return !(position >= 0.0f && position < static_cast<float>(tableSize)); }
};

float hostSampleRate(MpPluginBase* module)
{
    float sampleRate = 48000.0f;
    module->getHost()->hostGetSampleRate(sampleRate);
    return sampleRate > 0.0f ? sampleRate : 48000.0f;
}

}  // namespace

#if !(defined(MP_SHAPE_CLASSIC) && MP_SHAPE_CLASSIC)

// Envelope-controlled amplifier: Out = In x envelope.
class ShapeEnv : public MpBase2 {
    StringInPin pinShape;
    FloatInPin pinDuration;      // milliseconds for the whole curve
    AudioInPin pinGate;          // above 0 = on
    EnumInPin pinInterpolation;  // Linear, Spline, Lagrange; larger values act as Lagrange
    IntInPin pinSustainNode;     // node held while the gate is on; -1 none
    AudioInPin pinIn;
    AudioOutPin pinOut;

    static constexpr int crossfadeLength = 500;  // samples

    EnvelopeCurve curve;
    float position = -1;  // table position; -1 idle
    float level = 0;      // last envelope value, scale included
    float scale = 1;
    int crossfadeCount = 0;  // samples left of a glide to the sustain level
    float crossfadeStart = 0;
    float crossfadeTarget = 0;
    bool previousGate = false;
    bool recalculationPending = false;

public:
    ShapeEnv()
    {
        initializePin(pinShape);
        initializePin(pinDuration);
        initializePin(pinGate);
        initializePin(pinInterpolation);
        initializePin(pinSustainNode);
        initializePin(pinIn);
        initializePin(pinOut);
        setSubProcess(&ShapeEnv::subProcess);
    }

    void onGraphStart() override
    {
        MpBase2::onGraphStart();
        pinOut.setStreaming(false);
    }

    void onSetPins() override
    {
        if (pinShape.isUpdated() || pinDuration.isUpdated() || pinInterpolation.isUpdated() ||
            pinSustainNode.isUpdated()) {
            // A running envelope keeps its curve until it is idle again.
            if (pinOut.isStreaming())
                recalculationPending = true;
            else
                recalcAll();
        }
        if (pinGate.isStreamingChanged() && curve.count > 0)
            pinOut.setStreaming(true);
    }

    void subProcess(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        if (curve.count == 0) {
            std::fill(out, out + sampleFrames, 0.0f);
            if (pinOut.isStreaming())
                pinOut.setStreaming(false);
            return;
        }
        const float* gate = pinGate.getBuffer() + blockPos;
        const float* in = pinIn.getBuffer() + blockPos;
        const bool sustain = curve.hasSustain();
        const float xs = curve.sustainX;
        const float ys = curve.sustainY;

        for (int s = 0; s < sampleFrames; ++s) {
            const bool gateOn = gate[s] > 0.0f;
            const float next = position + curve.increment;
            if (gateOn) {
                if (previousGate) {
                    if (position >= 0.0f && !(sustain && position >= xs))
                        position = next;
                } else if (position < 0.0f) {
                    position = 0;
                    scale = 1;
                    crossfadeCount = 0;
                    if (!pinOut.isStreaming())
                        pinOut.setStreaming(true, blockPos + s);
                } else {
                    scale = 1;
                    crossfadeCount = 0;
                    position = level <= curve.table[0] ? 0.0f : retriggerPosition();
                }
            } else if (!previousGate) {
                if (position >= 0.0f) {
                    if (crossfadeCount > 0) {
                        if (--crossfadeCount == 0)
                            position = xs;
                    } else {
                        position = next;
                    }
                }
            } else if (position < 0.0f) {
                // A gate falling while idle (the curve already ended) changes nothing.
            } else if (!sustain) {
                position = next;
            } else if (level == ys) {
                position = xs;
            } else if (level < ys) {
                scale = level / ys;  // the release starts from the current level
                position = xs;
            } else {
                crossfadeCount = crossfadeLength;
                crossfadeStart = level;
                crossfadeTarget = ys;
            }
            previousGate = gateOn;

            if (EnvelopeCurve::outside(position)) {
                stop(blockPos + s);
            } else if (crossfadeCount > 0) {
                const float c = static_cast<float>(crossfadeCount) / crossfadeLength;
                level = ((1.0f - c) * crossfadeTarget + c * crossfadeStart) * scale;
            } else {
                level = curve.levelAt(position) * scale;
            }
            // Idle is silence, exactly: the output is declared static then, and In x 0
            // would still follow In's sign and turn an infinite In into not-a-number.
            out[s] = position < 0.0f ? 0.0f : in[s] * level;
        }
    }

private:
    // Where a retrigger from the current level continues: the first entry from 1 on that
    // reaches the level, or the end of the table.
    float retriggerPosition() const
    {
        for (int i = 1; i < tableSize; ++i) {
            if (curve.table[i] >= level)
                return static_cast<float>(i);
        }
        return static_cast<float>(tableSize);
    }

    void stop(int bufferPosition)
    {
        if (pinOut.isStreaming())
            pinOut.setStreaming(false, bufferPosition);
        position = -1;
        level = 0;
        if (recalculationPending) {
            recalculationPending = false;
            recalcAll();
        }
    }

    // The gate state is kept: a gate still held when the envelope goes idle must not
    // count as a new note.
    void recalcAll()
    {
        curve.build(pinShape.getValue(), pinInterpolation, pinDuration, pinSustainNode, hostSampleRate(this));
        position = -1;
        scale = 1;
        crossfadeCount = 0;
    }
};

namespace {
const bool registered = gmpi::Register<ShapeEnv>::withId(SHAPE_MODULE_ID("ShapeEnv"));
}

#else

// The classic envelope: Out is the level itself, (curve + retrigger offset) x scale.
class ShapeEnv : public MpBase2 {
    StringInPin pinShape;
    FloatInPin pinDuration;      // milliseconds for the whole curve
    AudioInPin pinGate;          // above 0 = on
    EnumInPin pinInterpolation;  // Linear, Spline, Lagrange; larger values act as Lagrange
    IntInPin pinSustainNode;     // node held while the gate is on; -1 none
    BoolInPin pinReleaseInPlace; // release continues from where the curve is
    FloatInPin pinClear;         // above 0: back to idle
    AudioOutPin pinOut;

    EnvelopeCurve curve;
    float position = -1;  // table position; -1 idle
    float output = 0;     // last output level
    float scale = 1;
    float offset = 0;     // lift that fades out after a retrigger from a higher level
    float offsetDecrement = 0;
    bool previousGate = false;
    int lastInterpolation = -1;

public:
    ShapeEnv()
    {
        initializePin(pinShape);
        initializePin(pinDuration);
        initializePin(pinGate);
        initializePin(pinInterpolation);
        initializePin(pinSustainNode);
        initializePin(pinReleaseInPlace);
        initializePin(pinClear);
        initializePin(pinOut);
        setSubProcess(&ShapeEnv::subProcess);
    }

    void onGraphStart() override
    {
        MpBase2::onGraphStart();
        pinOut.setStreaming(false);
    }

    void onSetPins() override
    {
        bool rebuild = pinDuration.isUpdated() || pinSustainNode.isUpdated() ||
                       (pinClear.isUpdated() && pinClear.getValue() > 0.0f);
        if (pinInterpolation.isUpdated() && pinInterpolation.getValue() != lastInterpolation) {
            lastInterpolation = pinInterpolation;
            rebuild = true;
        }
        if (pinShape.isUpdated()) {
            Node probe[maxShapeNodes];
            if (parseNodes(pinShape.getValue(), 0.0f, 1.0f, 0.0f, 1.0f, probe) > 0)
                rebuild = true;
            else
                curve.count = 0;  // silent until a valid shape arrives
        }
        if (rebuild) {
            curve.build(pinShape.getValue(), pinInterpolation, pinDuration, pinSustainNode, hostSampleRate(this));
            position = -1;
            offset = 0;
            scale = 1;
            previousGate = false;
        }
        if (pinGate.isStreamingChanged() && curve.count > 0)
            pinOut.setStreaming(true);
    }

    void subProcess(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        if (curve.count == 0) {
            std::fill(out, out + sampleFrames, 0.0f);
            if (pinOut.isStreaming())
                pinOut.setStreaming(false);
            return;
        }
        const float* gate = pinGate.getBuffer() + blockPos;
        const bool sustain = curve.hasSustain();
        const float xs = curve.sustainX;
        const float ys = curve.sustainY;

        for (int s = 0; s < sampleFrames; ++s) {
            const bool gateOn = gate[s] > 0.0f;
            const float next = position + curve.increment;
            if (gateOn) {
                if (previousGate) {
                    if (position >= 0.0f && !(sustain && position >= xs))
                        position = next;
                } else if (position < 0.0f) {
                    position = 0;
                    scale = 1;
                    offset = 0;
                    if (!pinOut.isStreaming())
                        pinOut.setStreaming(true, blockPos + s);
                } else {
                    // Retrigger: restart the curve, lifted so that the output does not jump
                    // down; the lift fades out by the time the curve reaches node 1.
                    position = 0;
                    scale = 1;
                    offset = output > curve.table[0] ? output - curve.table[0] : 0.0f;
                    offsetDecrement = curve.increment * offset / curve.nodes[1].x;
                }
            } else if (!previousGate) {
                if (position >= 0.0f)
                    position = next;
            } else if (pinReleaseInPlace || !sustain || position < 0.0f) {
                if (position >= 0.0f)
                    position = next;
            } else {
                if (output == ys) {
                    position = xs;
                } else if (output < ys) {
                    scale = output / ys;
                    position = xs;
                } else {
                    position = releasePositionAbove(xs);
                }
                offset = 0;
            }
            previousGate = gateOn;

            if (EnvelopeCurve::outside(position)) {
                if (pinOut.isStreaming())
                    pinOut.setStreaming(false, blockPos + s);
                position = -1;
                offset = 0;
                output = 0;
            } else {
                output = (curve.levelAt(position) + offset) * scale;
                if (offset > 0.0f)
                    offset = offset > offsetDecrement ? offset - offsetDecrement : 0.0f;
            }
            out[s] = output;
        }
    }

private:
    // One past the last entry at or before the sustain position whose level exceeds the
    // output, so that the release starts on the curve at the current level; 0 when none.
    float releasePositionAbove(float xs) const
    {
        for (int i = std::min(static_cast<int>(xs), lastIndex); i >= 0; --i) {
            if (curve.table[i] > output)
                return static_cast<float>(i + 1);
        }
        return 0.0f;
    }
};

namespace {
const bool registered = gmpi::Register<ShapeEnv>::withId(SHAPE_MODULE_ID("ShapeEnv"));
}

#endif
