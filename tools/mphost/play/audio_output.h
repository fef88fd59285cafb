// Where a live patch's audio goes: an SDL2 audio device, or a null device that consumes
// it on the wall clock (--headless). Both call AudioCallback::fill from their audio
// thread; the callback measures its own load, and each device counts the times its
// buffer ran dry (xruns).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "engine/live_engine.h"
#include "play/wav_recorder.h"

namespace mphost::cli {

// The audio thread's work: render the engine, hand the buffer to the recorder, measure.
class AudioCallback {
public:
    AudioCallback(int channels, int sampleRate) : channelCount(channels), rate(sampleRate) {}

    // [ui-thread] While the device is stopped or locked: what the callback plays and
    // records (either may be null: silence, no recording).
    void attach(LiveEngine* engine, WavRecorder* recorder)
    {
        live = engine;
        record = recorder;
    }
    // [any] Paused: silence, and neither the engine nor the recording moves.
    void setPaused(bool paused) { pause.store(paused, std::memory_order_relaxed); }
    bool paused() const { return pause.load(std::memory_order_relaxed); }

    // [audio-thread] Fills `frames` interleaved frames. True when that took longer than
    // the frames last.
    bool fill(float* interleaved, int frames);
    // [audio-thread] The device's buffer ran dry: what was heard has a gap.
    void countXrun() { xrunCount.fetch_add(1, std::memory_order_relaxed); }

    // [ui-thread] The callback's time as a percentage of the audio it rendered since the
    // last call (the mean, and the largest single callback's).
    struct Load {
        double mean = 0;
        double peak = 0;
    };
    Load takeLoad();
    // The times the device's buffer ran dry.
    std::uint64_t xruns() const { return xrunCount.load(std::memory_order_relaxed); }
    int channels() const { return channelCount; }
    int sampleRate() const { return rate; }

private:
    int channelCount;
    int rate;
    LiveEngine* live = nullptr;
    WavRecorder* record = nullptr;
    std::atomic<bool> pause{false};
    std::atomic<std::uint64_t> busyNanoseconds{0};
    std::atomic<std::uint64_t> audioNanoseconds{0};
    std::atomic<std::uint64_t> peakPermille{0};  // the largest callback's load, 0.1 % steps
    std::atomic<std::uint64_t> xrunCount{0};
};

// A device that plays nothing and takes a block of `blockFrames` every block's duration
// on the wall clock, from a thread of its own, into a buffer of about 1024 frames.
class NullAudioDevice {
public:
    NullAudioDevice(AudioCallback& callback, int blockFrames);
    ~NullAudioDevice() { stop(); }
    NullAudioDevice(const NullAudioDevice&) = delete;
    NullAudioDevice& operator=(const NullAudioDevice&) = delete;
    void start();
    void stop();

private:
    void run();
    AudioCallback& callback;
    int frames;
    std::vector<float> buffer;
    std::atomic<bool> running{false};
    std::thread thread;
};

// An SDL2 audio device (32-bit float, the callback's channels and rate, `blockFrames` per
// callback asked for). Needs SDL's audio initialised.
class SdlAudioDevice {
public:
    // `device` empty: the system's default output. Throws HostError naming what is
    // missing: no audio device at all, or no device of that name (with the names there are).
    SdlAudioDevice(AudioCallback& callback, const std::string& device, int blockFrames);
    ~SdlAudioDevice();
    SdlAudioDevice(const SdlAudioDevice&) = delete;
    SdlAudioDevice& operator=(const SdlAudioDevice&) = delete;
    void start();
    void stop();  // returns once no callback runs
    // Frames per callback the device chose.
    int framesPerCallback() const { return callbackFrames; }

private:
    AudioCallback& callback;
    std::uint32_t id = 0;
    int callbackFrames = 0;
};

}  // namespace mphost::cli
