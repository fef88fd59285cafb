// AudioRecorder: records an audio signal into memory while a gate is high (RecMode 0) or
// while the signal streams (RecMode 1), and publishes each recording when it stops: the
// Sample blob and its Length on the DSP side, and the same bytes in a message to the GUI
// half, which shows them on its own pins.
//
// The buffer holds at least max(BufferSize, 100000) frames. Without AutoExtend a full
// buffer ends the recording; with it the recording grows by that many frames each time
// it fills. Growing allocates on the audio thread, by design; the storage grows
// geometrically, so a long recording costs amortised constant time per frame. The
// message to the GUI half carries the recorded bytes themselves (the host copies them
// when sent), never the address of this buffer, which the next recording overwrites.
#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "mp_sdk_audio.h"
#include "mp_sdk_gui.h"

namespace {

constexpr std::int32_t recordingMessageId = 0;
constexpr std::int64_t minimumFrames = 100000;
// A recording's byte count travels as an int32.
constexpr std::int64_t maximumFrames = 0x7FFFFFFF / 4;
// The buffer a recording starts with is at most this long (64 MiB); AutoExtend grows past it.
constexpr std::int64_t maximumInitialFrames = std::int64_t{1} << 24;

class AudioRecorder : public MpBase2 {
    AudioInPin pinSignal;
    AudioInPin pinGate;     // > 0 records (gate mode)
    EnumInPin pinRecMode;   // 1: while Signal streams; otherwise from a rising Gate while it is high
    BoolInPin pinAutoExtend;
    IntInPin pinBufferSize;  // frames
    BlobOutPin pinSample;
    IntOutPin pinLength;  // frames

    std::vector<float> buffer;  // size >= capacity
    std::int64_t capacity = minimumFrames;
    std::int64_t growthStep = minimumFrames;
    std::int64_t count = 0;
    bool recording = false;
    bool streamMode = false;
    bool autoExtend = false;  // of the recording in progress
    bool previousGate = false;

public:
    AudioRecorder()
    {
        initializePin(pinSignal);
        initializePin(pinGate);
        initializePin(pinRecMode);
        initializePin(pinAutoExtend);
        initializePin(pinBufferSize);
        initializePin(pinSample);
        initializePin(pinLength);
        setSleep(false);
        setSubProcess(&AudioRecorder::subProcess);
    }

    void onSetPins() override
    {
        if (pinRecMode.isUpdated())
            streamMode = pinRecMode == 1;
        // AutoExtend and BufferSize are read when a recording starts.
    }

    void subProcess(int sampleFrames)
    {
        const float* signal = pinSignal.getBuffer() + blockPos;
        const float* gateIn = pinGate.getBuffer() + blockPos;
        const bool signalStreaming = pinSignal.isStreaming();

        for (int i = 0; i < sampleFrames; ++i) {
            const bool gate = gateIn[i] > 0.0f;
            const float s = signal[i];
            if (!recording) {
                if (streamMode ? signalStreaming : (gate && !previousGate))
                    startRecording(s);
            } else if (streamMode ? signalStreaming : gate) {
                if (count < capacity || extend())
                    buffer[static_cast<std::size_t>(count++)] = s;
                else
                    stopRecording(blockPos + i);
            } else {
                stopRecording(blockPos + i);
            }
            previousGate = gate;
        }
    }

private:
    void startRecording(float first)
    {
        growthStep = std::clamp<std::int64_t>(pinBufferSize.getValue(), minimumFrames, maximumInitialFrames);
        if (!reserveFrames(growthStep))
            return;  // no memory: not recording
        capacity = growthStep;
        autoExtend = pinAutoExtend;
        recording = true;
        count = 1;
        buffer[0] = first;
    }

    // A full buffer grows by the growth step when the recording asks for it.
    bool extend()
    {
        if (!autoExtend || count >= maximumFrames)
            return false;
        const std::int64_t wanted = std::min(count + growthStep, maximumFrames);
        if (!reserveFrames(wanted))
            return false;
        capacity = wanted;
        return true;
    }

    // The buffer holds at least `frames`; the storage at least doubles when it grows.
    bool reserveFrames(std::int64_t frames)
    {
        const auto wanted = static_cast<std::size_t>(frames);
        if (buffer.size() >= wanted)
            return true;
        try {
            if (wanted > buffer.capacity())
                buffer.reserve(std::max(wanted, 2 * buffer.capacity()));
            buffer.resize(wanted);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    void stopRecording(int timestamp)
    {
        recording = false;
        const int bytes = static_cast<int>(4 * count);
        pinSample.setValueRaw(static_cast<std::size_t>(bytes), buffer.data());
        pinSample.sendPinUpdate(bytes, buffer.data(), timestamp);
        pinLength.setValue(static_cast<int>(count), timestamp);
        getHost()->hostSendMessageToGui(recordingMessageId, bytes, buffer.data());
    }
};

// GUI half: shows the last recording the DSP half sent.
class AudioRecorderGUI : public SeGuiInvisibleBase {
    MpGuiPin<MpBlob> pinSample;
    MpGuiPin<int> pinLength;  // frames

public:
    AudioRecorderGUI()
    {
        initializePin(pinSample);
        initializePin(pinLength);
    }

    std::int32_t receiveMessageFromAudio(std::int32_t id, std::int32_t size, const void* data) override
    {
        if (id != recordingMessageId || size < 0 || (size > 0 && !data))
            return gmpi::MP_FAIL;
        pinLength = size / 4;  // transmitted when it differs
        pinSample = MpBlob(static_cast<std::size_t>(size), data);
        return gmpi::MP_OK;
    }
};

const bool registeredDsp = gmpi::Register<AudioRecorder>::withId(L"AudioRecorder");
const bool registeredGui = gmpi::Register<AudioRecorderGUI>::withId(L"AudioRecorder");

}  // namespace
