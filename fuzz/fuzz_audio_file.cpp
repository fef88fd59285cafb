// The audio file codec on arbitrary bytes: a decoded sound or a refusal, never a read
// past the end. A decoded sound must encode again. The same bytes, repeated into a file
// larger than the first two pieces the loader reads, must load from disk exactly as they
// decode from memory, into a new object and again into the same one.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "AudioFile.h"

namespace {

bool sameSound(const AudioFile<float>& a, const AudioFile<float>& b)
{
    if (a.samples.size() != b.samples.size() || a.getSampleRate() != b.getSampleRate() ||
        a.getBitDepth() != b.getBitDepth() || a.getLoopStart() != b.getLoopStart() || a.getLoopEnd() != b.getLoopEnd())
        return false;
    for (std::size_t c = 0; c < a.samples.size(); ++c)
        if (a.samples[c].size() != b.samples[c].size() ||
            std::memcmp(a.samples[c].data(), b.samples[c].data(), a.samples[c].size() * sizeof(float)) != 0)
            return false;
    return true;
}

void loadFromDiskAsFromMemory(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return;
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < 340000)  // past the 64 KB of headers and the next 256 KB piece
        bytes.insert(bytes.end(), data, data + size);
    static const int file = ::memfd_create("fuzz_audio_file", 0);
    if (file < 0 || ::ftruncate(file, 0) != 0 ||
        ::pwrite(file, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        std::abort();
    AudioFile<float> fromDisk, fromMemory;
    const std::string path = "/proc/self/fd/" + std::to_string(file);
    const bool loaded = fromDisk.load(path);
    if (loaded != fromMemory.loadFromMemory(bytes) || (loaded && !sameSound(fromDisk, fromMemory)))
        std::abort();
    // Loaded again into the same object, whose channels already have the right length:
    // every frame must be written anew.
    if (loaded) {
        for (auto& channel : fromDisk.samples)
            std::fill(channel.begin(), channel.end(), 12345.0f);
        if (!fromDisk.load(path) || !sameSound(fromDisk, fromMemory))
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool quiet = [] { return std::freopen("/dev/null", "w", stdout) != nullptr; }();
    (void)quiet;
    AudioFile<float> file;
    if (file.loadFromMemory(std::vector<std::uint8_t>(data, data + size))) {
        const int frames = file.getNumSamplesPerChannel();
        for (const auto& channel : file.samples)
            if (static_cast<int>(channel.size()) != frames)
                std::abort();
        (void)file.encode(AudioFileFormat::Wave);
    }
    AudioFile<double> wide;
    (void)wide.loadFromMemory(std::vector<std::uint8_t>(data, data + size));
    loadFromDiskAsFromMemory(data, size);
    return 0;
}
