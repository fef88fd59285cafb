// AudioPlayer: plays a sample blob while a gate is high, forwards or backwards, at a
// pitch of 2^(10 x Pitch) times the sample's own rate over the host's, and reports the
// play position about 30 times a second.
//
// The samples are read in place from the Sample pin's blob, whose storage changes only
// inside onSetPins, where the pointer is taken again. Positions are in frames (double).
#include <cstdint>

#include "SampleView.h"
#include "SignalMath.h"
#include "mp_sdk_audio.h"

namespace {

// Fewer samples left in a call than this take the general per-sample steps only.
constexpr int shortestSteadyRun = 4;

class AudioPlayer : public MpBase2 {
    BlobInPin pinSample;
    AudioInPin pinGate;    // > 0 plays; a rise restarts
    AudioInPin pinPitch;   // x 10: octaves above the sample's own pitch
    BoolInPin pinReverse;  // plays from the last frame down to Start
    IntInPin pinStart;     // first frame played forwards, last frame played backwards
    FloatInPin pinRate;    // the sample's own rate (Hz); 1.0 or less: the host's rate
    BoolInPin pinPause;    // holds the position and silences the output
    AudioOutPin pinOut;
    IntOutPin pinPosition;  // frame

    const float* samples = nullptr;  // the Sample pin's storage, valid until its next update
    std::int64_t frames = 0;
    std::int64_t start = 0;  // never negative
    bool reverse = false;
    bool paused = false;
    double rateRatio = 1.0;  // sample rate / host rate
    float hostRate = 0.0f;
    int reportInterval = 1;  // samples between Position reports
    double position = 0.0;
    double previousPosition = 0.0;
    double increment = 0.0;  // frames per output sample
    float lastPitch = 0.0f;  // 10 x Pitch last used
    bool pitchStale = true;  // recompute the increment at the next sample
    bool previousGate = false;
    int reportCount = 0;

public:
    AudioPlayer()
    {
        initializePin(pinSample);
        initializePin(pinGate);
        initializePin(pinPitch);
        initializePin(pinReverse);
        initializePin(pinStart);
        initializePin(pinRate);
        initializePin(pinPause);
        initializePin(pinOut);
        initializePin(pinPosition);
        setSubProcess(&AudioPlayer::subProcessQuiet);
    }

    void onSetPins() override
    {
        float rate = 0.0f;
        getHost()->hostGetSampleRate(rate);
        if (rate != hostRate && rate > 0.0f) {
            hostRate = rate;
            const int interval = static_cast<int>(rate * 0.033333335f + 0.5f);
            reportInterval = interval > 0 ? interval : 1;
        }
        if (pinSample.isUpdated()) {
            const sample_view::SampleView view = sample_view::takeSample(pinSample);
            samples = view.samples;
            frames = view.frames;
            if (!samples)
                pinOut.setStreaming(false);
            selectRoutine();
        }
        if (pinStart.isUpdated())
            start = pinStart > 0 ? pinStart.getValue() : 0;
        if (pinReverse.isUpdated())
            reverse = pinReverse;
        if (pinRate.isUpdated()) {
            const float sampleRate = pinRate;
            rateRatio = sampleRate > 1.0f && sampleRate < 1.0e30f ? sampleRate / hostRate : 1.0;
            pitchStale = true;
        }
        if (pinPause.isUpdated()) {
            paused = pinPause;
            if (paused) {
                pinOut.setStreaming(false);
                sendPosition(previousPosition, getBlockPosition());
            } else if (samples) {
                pinOut.setStreaming(true);
            }
            selectRoutine();
        }
        if (pinGate.isStreamingChanged() && samples && !paused && !pinOut.isStreaming())
            pinOut.setStreaming(true);
    }

    void subProcess(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        const float* gateIn = pinGate.getBuffer() + blockPos;
        const float* pitchIn = pinPitch.getBuffer() + blockPos;
        const float* data = samples;
        const std::int64_t count = frames;
        const double lastFrame = static_cast<double>(count - 1);
        const double end = static_cast<double>(count);
        const double first = static_cast<double>(start);
        // The per-sample state in locals (the output stores could otherwise alias it),
        // written back after the loop.
        double pos = position;
        double previous = previousPosition;
        double step = reverse ? -increment : increment;
        float pitchUsed = lastPitch;
        bool stale = pitchStale;
        bool gateBefore = previousGate;
        bool streaming = pinOut.isStreaming();
        int sinceReport = reportCount;

        // The increment for 10 x Pitch = `pitch`.
        const auto takePitch = [&](float pitch) {
            increment = signal_math::fastExp2(pitch) * rateRatio;
            step = reverse ? -increment : increment;
            pitchUsed = pitch;
        };
        // Output sample s from the position, a report when one is due, one step on.
        const auto playFrame = [&](int s) {
            out[s] = signal_math::interpolateClamped(data, count, pos);
            if (++sinceReport >= reportInterval) {
                sendPosition(pos, blockPos + s);
                sinceReport = 0;
            }
            previous = pos;
            pos += step;
        };

        for (int s = 0; s < sampleFrames; ++s) {
            if (gateBefore && streaming && !stale && sampleFrames - s >= shortestSteadyRun) {
                // Sample for sample what the general steps below do while the gate stays
                // high and the position within the frames played; they take over there.
                for (; s < sampleFrames; ++s) {
                    if (!(gateIn[s] > 0.0f) || !(pos < end && pos >= first))
                        break;
                    const float pitch = 10.0f * pitchIn[s];
                    if (pitch != pitchUsed)
                        takePitch(pitch);
                    playFrame(s);
                }
                if (s == sampleFrames)
                    break;
            }
            const bool gate = gateIn[s] > 0.0f;
            const float pitch = 10.0f * pitchIn[s];
            if (stale || pitch != pitchUsed) {  // a NaN never equals the last value
                takePitch(pitch);
                stale = false;
            }

            if (gate && !gateBefore && lastFrame > first) {
                pos = reverse ? lastFrame : first;
                sendPosition(pos, blockPos + s);
                sinceReport = 0;
            }
            gateBefore = gate;

            if (gate && pos < end && pos >= first) {
                if (!streaming) {  // also a rise that kept the old position
                    pinOut.setStreaming(true, blockPos + s);
                    streaming = true;
                }
                playFrame(s);
            } else {
                if (streaming) {
                    pinOut.setStreaming(false, blockPos + s);
                    streaming = false;
                    sendPosition(previous, blockPos + s);
                }
                out[s] = 0.0f;
            }
        }
        position = pos;
        previousPosition = previous;
        lastPitch = pitchUsed;
        pitchStale = stale;
        previousGate = gateBefore;
        reportCount = sinceReport;
    }

    void subProcessQuiet(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        for (int s = 0; s < sampleFrames; ++s)
            out[s] = 0.0f;
    }

private:
    void selectRoutine()
    {
        if (samples && !paused)
            setSubProcess(&AudioPlayer::subProcess);
        else
            setSubProcess(&AudioPlayer::subProcessQuiet);
    }

    // Position is sent at every report, also when the frame is the one sent before.
    void sendPosition(double frame, int timestamp)
    {
        const int value = static_cast<int>(frame);
        pinPosition.setValueRaw(static_cast<int>(sizeof value), &value);
        pinPosition.sendPinUpdate(static_cast<int>(sizeof value), &value, timestamp);
    }
};

const bool registered = gmpi::Register<AudioPlayer>::withId(L"AudioPlayer");

}  // namespace
