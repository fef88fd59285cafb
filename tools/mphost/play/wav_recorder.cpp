#include "play/wav_recorder.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "common/spsc_queue.h"

#include "AudioFile.h"
#include "common/host_error.h"

namespace mphost::cli {

namespace {

constexpr int chunkFrames = 512;
// About four seconds of stereo at 48 kHz before frames are dropped.
constexpr std::size_t queuedChunks = 400;
constexpr auto headerRefresh = std::chrono::milliseconds(250);

struct Chunk {
    int frames = 0;
    std::array<float, chunkFrames * 2> samples{};
};

// The codec's encoding of `frames` interleaved frames: header and data, 32-bit float.
std::vector<std::uint8_t> encode(const float* interleaved, std::size_t frames, int channels, int sampleRate)
{
    AudioFile<float> file;
    file.setSampleRate(static_cast<std::uint32_t>(sampleRate));
    file.setBitDepth(32);
    file.samples.assign(static_cast<std::size_t>(channels), std::vector<float>(frames));
    for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            file.samples[static_cast<std::size_t>(c)][i] = interleaved[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)];
    return file.encode(AudioFileFormat::Wave);
}

void putLittleEndian32(std::uint8_t* bytes, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool writeAll(int descriptor, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t done = ::write(descriptor, data, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

}  // namespace

struct WavRecorder::State {
    moodycamel::ReaderWriterQueue<Chunk> queue{queuedChunks};
    std::filesystem::path file;
    int descriptor = -1;
    int channels = 1;
    int sampleRate = 48000;
    std::vector<std::uint8_t> header;  // the codec's header of an empty file
    std::uint64_t dataBytes = 0;
    std::uint64_t headerBytesWritten = ~std::uint64_t{0};
    std::string error;
};

WavRecorder::WavRecorder(const std::filesystem::path& file, int channels, int sampleRate)
    : state(std::make_unique<State>())
{
    state->file = file;
    state->channels = channels;
    state->sampleRate = sampleRate;
    state->header = encode(nullptr, 0, channels, sampleRate);
    // The lengths rewritten later: the RIFF chunk's at byte 4, the data chunk's last.
    if (state->header.size() < 44 || std::memcmp(state->header.data() + state->header.size() - 8, "data", 4) != 0)
        throw HostError("cannot record to '" + file.string() + "': the WAV codec refused " +
                        std::to_string(channels) + " channels at " + std::to_string(sampleRate) + " Hz");
    state->descriptor = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (state->descriptor < 0)
        throw HostError("cannot record to '" + file.string() + "': " + std::strerror(errno));
    if (!writeAll(state->descriptor, state->header.data(), state->header.size())) {
        ::close(state->descriptor);
        throw HostError("cannot record to '" + file.string() + "': " + std::strerror(errno));
    }
    writer = std::thread([this] { writeLoop(); });
}

WavRecorder::~WavRecorder()
{
    finish();
}

void WavRecorder::push(const float* interleaved, int frames)
{
    const int channels = state->channels;
    for (int done = 0; done < frames; done += chunkFrames) {
        Chunk chunk;
        chunk.frames = std::min(chunkFrames, frames - done);
        std::memcpy(chunk.samples.data(), interleaved + static_cast<std::ptrdiff_t>(done) * channels,
                    static_cast<std::size_t>(chunk.frames * channels) * sizeof(float));
        if (!state->queue.try_enqueue(chunk))
            dropped.fetch_add(static_cast<std::uint64_t>(chunk.frames), std::memory_order_relaxed);
    }
}

// [writer thread] Appends what is queued; refreshes the header's two lengths (the RIFF
// chunk and the data chunk, little-endian, the data chunk's last in the codec's header).
void WavRecorder::writeLoop()
{
    State& s = *state;
    auto lastRefresh = std::chrono::steady_clock::now();
    std::vector<float> frames;
    Chunk chunk;
    for (;;) {
        const bool stop = stopping.load(std::memory_order_acquire);
        frames.clear();
        while (s.queue.try_dequeue(chunk))
            frames.insert(frames.end(), chunk.samples.begin(),
                          chunk.samples.begin() + static_cast<std::ptrdiff_t>(chunk.frames * s.channels));
        if (!frames.empty() && s.error.empty()) {
            const std::size_t count = frames.size() / static_cast<std::size_t>(s.channels);
            const std::vector<std::uint8_t> encoded = encode(frames.data(), count, s.channels, s.sampleRate);
            if (encoded.size() < s.header.size() ||
                !writeAll(s.descriptor, encoded.data() + s.header.size(), encoded.size() - s.header.size()))
                s.error = std::string("cannot write: ") + std::strerror(errno);
            else {
                s.dataBytes += encoded.size() - s.header.size();
                written.fetch_add(count, std::memory_order_relaxed);
            }
        }
        const auto now = std::chrono::steady_clock::now();
        if ((stop || now - lastRefresh >= headerRefresh) && s.error.empty() && s.headerBytesWritten != s.dataBytes) {
            lastRefresh = now;
            std::uint8_t riff[4], data[4];
            putLittleEndian32(riff, static_cast<std::uint32_t>(s.header.size() - 8 + s.dataBytes));
            putLittleEndian32(data, static_cast<std::uint32_t>(s.dataBytes));
            if (::pwrite(s.descriptor, riff, 4, 4) != 4 ||
                ::pwrite(s.descriptor, data, 4, static_cast<off_t>(s.header.size() - 4)) != 4)
                s.error = std::string("cannot update the header: ") + std::strerror(errno);
            s.headerBytesWritten = s.dataBytes;
        }
        if (stop && s.queue.size_approx() == 0)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string WavRecorder::finish()
{
    if (!writer.joinable())
        return state->error;
    stopping.store(true, std::memory_order_release);
    writer.join();
    if (::close(state->descriptor) != 0 && state->error.empty())
        state->error = std::string("cannot close: ") + std::strerror(errno);
    if (!state->error.empty()) {
        std::string message = "'";
        message += state->file.string();
        message += "': ";
        message += state->error;
        state->error = std::move(message);
    }
    return state->error;
}

}  // namespace mphost::cli
