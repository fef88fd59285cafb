// SampleOsc2: a sample oscillator. A rising gate plays the sample from Start; with a loop
// mode it runs into the loop region between LoopStart and LoopEnd (either may be the
// larger) and loops there, forwards with an optional crossfade across the loop end, or
// back and forth (PingPong). LoopMode 0 plays Start to End once, 1 loops until the next
// trigger, 2 loops while the gate is held and plays on to End after release.
//
// Positions are frames (double). Frames outside the sample read as 0. The samples are
// read in place from the Sample pin's blob, whose storage changes only in onSetPins.
#include <cmath>
#include <cstdint>

#include "SampleView.h"
#include "SignalMath.h"
#include "mp_sdk_audio.h"

namespace {

enum PlayState { stopped = 0, towardLoopStart = 1, towardLoopEnd = 2, towardEnd = 3 };

// Fewer samples left in a call than this take the general per-sample steps only.
constexpr int shortestSteadyRun = 4;

class SampleOsc2 : public MpBase2 {
    BlobInPin pinSample;
    AudioInPin pinGate;   // > 0 held; a rise triggers
    AudioInPin pinPitch;  // x 10: octaves above the sample's own pitch
    FloatInPin pinRate;   // the sample's own rate (Hz); 0 or less: the host's rate
    IntInPin pinStart;
    IntInPin pinEnd;        // -1: the last frame
    IntInPin pinLoopStart;
    IntInPin pinLoopEnd;    // -1: the last frame
    FloatInPin pinXFade;    // crossfade length as a fraction of the loop, 0 .. 1
    EnumInPin pinLoopMode;  // 0 once, 1 loop, 2 loop until release
    BoolInPin pinPingPong;
    EnumInPin pinEnable;  // 0 off
    AudioOutPin pinOut;

    const float* samples = nullptr;
    std::int64_t frames = 0;
    double ratio = 1.0;  // sample rate / host rate
    // Frame ranges in use (within the sample once one is loaded).
    double start = 0.0;
    double end = 0.0;
    double loopStart = 0.0;
    double loopEnd = 0.0;
    double crossfadeFactor = 0.0;  // 1 / crossfade length in frames; 0: no crossfade
    int loopMode = 0;
    bool pingPong = false;
    int state = stopped;
    double position = 0.0;
    double increment = 0.0;
    float lastPitch = 0.0f;
    bool pitchStale = true;
    bool previousGate = false;
    bool releasePending = false;

public:
    SampleOsc2()
    {
        initializePin(pinSample);
        initializePin(pinGate);
        initializePin(pinPitch);
        initializePin(pinRate);
        initializePin(pinStart);
        initializePin(pinEnd);
        initializePin(pinLoopStart);
        initializePin(pinLoopEnd);
        initializePin(pinXFade);
        initializePin(pinLoopMode);
        initializePin(pinPingPong);
        initializePin(pinEnable);
        initializePin(pinOut);
        setSubProcess(&SampleOsc2::subProcessOff);
    }

    void onSetPins() override
    {
        if (pinEnable.isUpdated()) {
            state = stopped;
            if (pinEnable == 0) {
                setSubProcess(&SampleOsc2::subProcessOff);
                pinOut.setStreaming(false);
            } else if (samples) {
                setSubProcess(&SampleOsc2::subProcess);
            }
        }
        const bool newSample = pinSample.isUpdated();
        if (newSample) {
            state = stopped;
            const sample_view::SampleView view = sample_view::takeSample(pinSample);
            samples = view.samples;
            frames = view.frames;
            if (samples) {
                if (pinEnable != 0)
                    setSubProcess(&SampleOsc2::subProcess);
            } else {
                setSubProcess(&SampleOsc2::subProcessOff);
                pinOut.setStreaming(false);
            }
        }
        if (pinRate.isUpdated()) {
            float hostRate = 0.0f;
            getHost()->hostGetSampleRate(hostRate);
            const float rate = pinRate;
            ratio = rate > 0.0f && rate < 1.0e30f && hostRate > 0.0f ? rate / hostRate : 1.0;
            pitchStale = true;
        }
        if (pinLoopMode.isUpdated())
            loopMode = pinLoopMode;
        if (pinPingPong.isUpdated())
            pingPong = pinPingPong;
        if (pinGate.isStreamingChanged() && pinEnable != 0 && samples && !pinOut.isStreaming())
            pinOut.setStreaming(true);

        if (samples && (newSample || pinStart.isUpdated() || pinEnd.isUpdated() || pinLoopStart.isUpdated() ||
                        pinLoopEnd.isUpdated() || pinXFade.isUpdated())) {
            const double last = static_cast<double>(frames - 1);
            start = withinSample(pinStart, last);
            end = pinEnd >= 0 ? withinSample(pinEnd, last) : last;
            loopStart = withinSample(pinLoopStart, last);
            loopEnd = pinLoopEnd >= 0 ? withinSample(pinLoopEnd, last) : last;
            const float xfade = pinXFade;
            const double fraction = xfade > 0.0f ? (xfade < 1.0f ? xfade : 1.0f) : 0.0;  // NaN: 0
            const double length = fraction * std::abs(loopStart - loopEnd);
            crossfadeFactor = length > 0.0 ? 1.0 / length : 0.0;
        }
    }

    void subProcess(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        const float* gateIn = pinGate.getBuffer() + blockPos;
        const float* pitchIn = pinPitch.getBuffer() + blockPos;
        const float* data = samples;
        const std::int64_t count = frames;
        int silentFrom = 0;  // outputs from here on are 0 with the oscillator stopped
        // State and settings in locals: the output stores could otherwise alias them.
        float pitchUsed = lastPitch;
        bool stale = pitchStale;
        double pos = position;
        int playState = state;
        double step = increment;
        bool gateBefore = previousGate;
        bool release = releasePending;
        const Turns turns{end, loopStart, loopEnd, pingPong};
        const int mode = loopMode;
        const bool crossfading = mode != 0 && !pingPong && crossfadeFactor > 0.0;
        const double fadeFactor = crossfadeFactor;
        const double loopJump = loopStart - loopEnd;
        // The loop's steady state: a forward loop without ping-pong, the gate held.
        const bool forwardLoop = !pingPong && loopStart < loopEnd;

        for (int s = 0; s < sampleFrames; ++s) {
            if (forwardLoop && playState == towardLoopEnd && gateBefore && !stale && pos >= 0.0 &&
                sampleFrames - s >= shortestSteadyRun) {
                // Sample for sample what the general steps below do in that state, until
                // the gate falls or the position reaches the loop end (both theirs again).
                // The position only grows (by a positive step) or moves back into the loop
                // from beyond its end: it stays within 0 .. the loop end, inside the sample.
                const double turn = turns.loopEnd;
                for (; s < sampleFrames; ++s) {
                    if (!(gateIn[s] > 0.0f) || !(pos < turn))
                        break;
                    const float pitch = 10.0f * pitchIn[s];
                    if (pitch != pitchUsed) {
                        step = signal_math::fastExp2(pitch) * ratio;
                        pitchUsed = pitch;
                    }
                    float value = signal_math::interpolateZeroPaddedWithin(data, count, pos);
                    if (crossfading) {
                        const double weight = 1.0 - std::abs(pos - turn) * fadeFactor;
                        if (weight > 0.0) {
                            const float other = signal_math::interpolateZeroPadded(data, count, pos + loopJump);
                            value = static_cast<float>((1.0 - weight) * value + weight * other);
                        }
                    }
                    pos += step;
                    if (pos > turn)
                        pos += loopJump;
                    out[s] = value;
                }
                if (s == sampleFrames)
                    break;
            }
            const bool gate = gateIn[s] > 0.0f;
            const float pitch = 10.0f * pitchIn[s];
            if (stale || pitch != pitchUsed) {
                step = signal_math::fastExp2(pitch) * ratio;
                pitchUsed = pitch;
                stale = false;
            }
            const bool rising = gate && !gateBefore;
            const bool falling = !gate && gateBefore;
            gateBefore = gate;

            if (rising) {
                pos = start;
                playState = mode != 0 ? towardLoopEnd : towardEnd;
                release = false;
                // Streaming follows the gate's streaming state in onSetPins; a plain rise
                // after the sample ended must bring the output back as well.
                if (!pinOut.isStreaming())
                    pinOut.setStreaming(true, blockPos + s);
            } else if (playState == stopped) {
                out[s] = 0.0f;
                continue;
            }

            float value = signal_math::interpolateZeroPadded(data, count, pos);
            double weight = 0.0;
            if (playState == towardLoopEnd && crossfading) {
                weight = 1.0 - std::abs(pos - turns.loopEnd) * fadeFactor;
                if (weight > 0.0) {
                    // Where the position lands after the jump back into the loop, so that
                    // the blend is complete (weight 1) at the loop end itself.
                    const double partner = pos + loopJump;
                    const float other = signal_math::interpolateZeroPadded(data, count, partner);
                    value = static_cast<float>((1.0 - weight) * value + weight * other);
                }
            }
            if (falling && mode == 2) {
                if (weight > 0.0)
                    release = true;
                else
                    playState = towardEnd;
            }
            advance(pos, playState, step, release, turns);
            out[s] = value;
            if (playState == stopped)
                silentFrom = s + 1;
        }
        lastPitch = pitchUsed;
        pitchStale = stale;
        position = pos;
        state = playState;
        increment = step;
        previousGate = gateBefore;
        releasePending = release;
        if (playState == stopped && pinOut.isStreaming() && silentFrom < sampleFrames)
            pinOut.setStreaming(false, blockPos + silentFrom);
    }

    void subProcessOff(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        for (int s = 0; s < sampleFrames; ++s)
            out[s] = 0.0f;
    }

private:
    // A frame pin value within 0 .. last.
    static double withinSample(int frame, double last)
    {
        const double value = frame > 0 ? static_cast<double>(frame) : 0.0;
        return value < last ? value : last;
    }

    // Where the position turns or stops (frames), as advance reads them.
    struct Turns {
        double end;
        double loopStart;
        double loopEnd;
        bool pingPong;
    };

    // One sample's move of the position by the increment, with the loop's turns.
    static void advance(double& position, int& state, double increment, bool releasePending, const Turns& turns)
    {
        const double end = turns.end;
        const double loopStart = turns.loopStart;
        const double loopEnd = turns.loopEnd;
        const bool pingPong = turns.pingPong;
        switch (state) {
        case towardEnd:
            if (end > position) {
                position += increment;
                if (position > end)
                    state = stopped;
            } else if (end < position) {
                position -= increment;
                if (position < end)
                    state = stopped;
            } else {
                state = stopped;
            }
            break;
        case towardLoopEnd: {
            if (position == loopEnd) {
                if (pingPong) {
                    position += loopStart > loopEnd ? increment : -increment;
                    state = towardLoopStart;
                } else {
                    if (loopStart > loopEnd)
                        position = loopStart - increment;
                    else if (loopStart < loopEnd)
                        position = loopStart + increment;
                    else
                        position = loopStart;
                    state = releasePending ? towardEnd : towardLoopEnd;
                }
                break;
            }
            const bool up = loopEnd > position;
            position += up ? increment : -increment;
            if (up ? position > loopEnd : position < loopEnd) {
                if (pingPong) {
                    position = 2.0 * loopEnd - position;
                    state = towardLoopStart;
                } else {
                    position += loopStart - loopEnd;
                    state = releasePending ? towardEnd : towardLoopEnd;
                }
            }
            break;
        }
        case towardLoopStart: {
            if (position == loopStart) {
                position += loopEnd > loopStart ? increment : -increment;
                state = towardLoopEnd;
                break;
            }
            const bool up = loopStart > position;
            position += up ? increment : -increment;
            if (up ? position > loopStart : position < loopStart) {
                if (up ? loopStart >= loopEnd : loopEnd >= loopStart)
                    position = 2.0 * loopStart - position;
                state = towardLoopEnd;
            }
            break;
        }
        default:
            break;
        }
    }
};

const bool registered = gmpi::Register<SampleOsc2>::withId(L"SampleOsc2");

}  // namespace
