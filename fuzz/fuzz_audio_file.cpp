// The audio file codec on arbitrary bytes: a decoded sound or a refusal, never a read
// past the end. A decoded sound must encode again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "AudioFile.h"

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
    return 0;
}
