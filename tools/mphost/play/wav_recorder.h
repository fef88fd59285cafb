// What was heard, to a 32-bit float WAV file, written by a thread of its own: the audio
// callback hands each buffer over through a lock-free queue (push, no allocation, no
// system call) and the writer thread appends it to the file through the project's WAV
// codec. The header is rewritten with the current length every quarter of a second and
// at the end, so the file is a valid WAV at any moment: a program stopped by a signal
// leaves what was recorded up to its last refresh, and all of it when it stops normally.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace mphost::cli {

class WavRecorder {
public:
    // Creates (truncates) `file` with an empty WAV of `channels` channels (1 or 2) at
    // `sampleRate` Hz and starts the writer thread. Throws HostError when the file
    // cannot be created.
    WavRecorder(const std::filesystem::path& file, int channels, int sampleRate);
    // Stops as finish() does.
    ~WavRecorder();
    WavRecorder(const WavRecorder&) = delete;
    WavRecorder& operator=(const WavRecorder&) = delete;

    // [audio-thread] Queues `frames` interleaved frames. Frames that find the queue full
    // (the disk stalled for seconds) are counted in droppedFrames() rather than waited for.
    void push(const float* interleaved, int frames);

    // [ui-thread] Writes what is queued, completes the header and closes the file;
    // returns an error text, empty when the file is complete.
    std::string finish();

    std::uint64_t framesWritten() const { return written.load(std::memory_order_relaxed); }
    std::uint64_t droppedFrames() const { return dropped.load(std::memory_order_relaxed); }

private:
    struct State;
    void writeLoop();

    std::unique_ptr<State> state;
    std::atomic<std::uint64_t> written{0};
    std::atomic<std::uint64_t> dropped{0};
    std::atomic<bool> stopping{false};
    std::thread writer;
};

}  // namespace mphost::cli
