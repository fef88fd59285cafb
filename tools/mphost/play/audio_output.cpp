#include "play/audio_output.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include <pthread.h>
#include <sched.h>

#include <SDL.h>

#include "common/host_error.h"

namespace mphost::cli {

namespace {

using Clock = std::chrono::steady_clock;

std::uint64_t nanosecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(to - from).count());
}

}  // namespace

bool AudioCallback::fill(float* interleaved, int frames)
{
    const auto began = Clock::now();
    if (!live || pause.load(std::memory_order_relaxed)) {
        std::memset(interleaved, 0, static_cast<std::size_t>(frames * channelCount) * sizeof(float));
        return false;
    }
    live->render(interleaved, frames, channelCount);
    if (record)
        record->push(interleaved, frames);
    const std::uint64_t busy = nanosecondsBetween(began, Clock::now());
    const auto audio = static_cast<std::uint64_t>(static_cast<double>(frames) * 1e9 / rate);
    busyNanoseconds.fetch_add(busy, std::memory_order_relaxed);
    audioNanoseconds.fetch_add(audio, std::memory_order_relaxed);
    const std::uint64_t permille = audio > 0 ? busy * 1000 / audio : 0;
    if (permille > peakPermille.load(std::memory_order_relaxed))
        peakPermille.store(permille, std::memory_order_relaxed);
    return busy > audio;
}

AudioCallback::Load AudioCallback::takeLoad()
{
    const double busy = static_cast<double>(busyNanoseconds.exchange(0, std::memory_order_relaxed));
    const double audio = static_cast<double>(audioNanoseconds.exchange(0, std::memory_order_relaxed));
    const double peak = static_cast<double>(peakPermille.exchange(0, std::memory_order_relaxed)) / 10.0;
    return {audio > 0 ? 100.0 * busy / audio : 0.0, peak};
}

NullAudioDevice::NullAudioDevice(AudioCallback& callback, int blockFrames)
    : callback(callback), frames(blockFrames), buffer(static_cast<std::size_t>(blockFrames * callback.channels()))
{
}

void NullAudioDevice::start()
{
    if (running.exchange(true))
        return;
    thread = std::thread([this] { run(); });
}

void NullAudioDevice::stop()
{
    running.store(false);
    if (thread.joinable())
        thread.join();
}

// Wakes at every block boundary of the wall clock, as a device asks for audio when a
// block of its buffer has played. The buffer holds the blocks that make at least 1024
// frames (about 21 ms at 48 kHz: what sound servers buffer by default), and at least 4:
// a callback that runs long, or a thread the system wakes late, is heard only when the
// device falls behind by more than that buffer. That counts as an xrun, and the clock
// starts again from now rather than rushing to catch up. Like the audio threads of sound
// servers, the thread asks for real-time scheduling (granted to root or with the rtprio
// limit; otherwise it runs at normal priority).
void NullAudioDevice::run()
{
    sched_param priority{};
    priority.sched_priority = std::min(10, sched_get_priority_max(SCHED_FIFO));
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);
    const int bufferedBlocks = std::max(4, (1024 + frames - 1) / frames);
    const auto period = std::chrono::nanoseconds(
        static_cast<std::int64_t>(static_cast<double>(frames) * 1e9 / callback.sampleRate()));
    auto next = Clock::now();
    while (running.load(std::memory_order_relaxed)) {
        callback.fill(buffer.data(), frames);
        next += period;
        const auto now = Clock::now();
        if (now > next + bufferedBlocks * period) {
            callback.countXrun();
            next = now;
        }
        std::this_thread::sleep_until(next);
    }
}

namespace {

extern "C" void sdlAudioCallback(void* user, Uint8* stream, int length)
{
    auto* callback = static_cast<AudioCallback*>(user);
    const int frames = length / static_cast<int>(sizeof(float) * static_cast<std::size_t>(callback->channels()));
    // SDL asks for the next buffer when the one before has been handed to the device: a
    // callback longer than the audio it renders leaves the device without audio.
    if (callback->fill(reinterpret_cast<float*>(stream), frames))
        callback->countXrun();
}

}  // namespace

SdlAudioDevice::SdlAudioDevice(AudioCallback& callback, const std::string& device, int blockFrames)
    : callback(callback)
{
    const int devices = SDL_GetNumAudioDevices(0);
    if (!device.empty()) {
        std::string names;
        bool found = false;
        for (int i = 0; i < devices; ++i) {
            const char* name = SDL_GetAudioDeviceName(i, 0);
            if (!name)
                continue;
            found = found || device == name;
            names += std::string(names.empty() ? "" : ", ") + "\"" + name + "\"";
        }
        if (!found)
            throw HostError("no audio device named \"" + device + "\"" +
                            (names.empty() ? std::string("; the system lists none") : "; the devices are " + names));
    }
    SDL_AudioSpec wanted{};
    wanted.freq = callback.sampleRate();
    wanted.format = AUDIO_F32SYS;
    wanted.channels = static_cast<Uint8>(callback.channels());
    wanted.samples = static_cast<Uint16>(std::clamp(blockFrames, 16, 8192));
    wanted.callback = sdlAudioCallback;
    wanted.userdata = &callback;
    SDL_AudioSpec obtained{};
    // Rate, format and channels stay as asked (SDL converts); the buffer size may change.
    id = SDL_OpenAudioDevice(device.empty() ? nullptr : device.c_str(), 0, &wanted, &obtained,
                             SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
    if (id == 0)
        throw HostError(std::string("no audio device: cannot open ") +
                        (device.empty() ? "the default audio output" : "\"" + device + "\"") + " (SDL: " +
                        SDL_GetError() + ")");
    callbackFrames = obtained.samples;
}

SdlAudioDevice::~SdlAudioDevice()
{
    if (id)
        SDL_CloseAudioDevice(id);
}

void SdlAudioDevice::start()
{
    SDL_PauseAudioDevice(id, 0);
}

void SdlAudioDevice::stop()
{
    SDL_PauseAudioDevice(id, 1);
    SDL_LockAudioDevice(id);  // waits for a callback in progress
    SDL_UnlockAudioDevice(id);
}

}  // namespace mphost::cli
