#include "SampleBlobs.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "unicode_conversion.h"

namespace sample_blobs {

namespace {

// Frames in a blob: whole 32-bit samples only; a ragged size counts as no samples.
std::size_t framesIn(const MpBlob& blob)
{
    const int size = blob.getSize();
    return size > 0 && size % sizeof(float) == 0 ? static_cast<std::size_t>(size) / sizeof(float) : 0;
}

void copyFrames(std::vector<float>& channel, const MpBlob& blob, std::size_t frames)
{
    if (frames > 0)
        std::memcpy(channel.data(), blob.getData(), frames * sizeof(float));
}

}  // namespace

bool loadFile(AudioFile<float>& file, const std::wstring& fileName)
{
    if (fileName.empty())
        return false;
    if (!file.load(WStringToUtf8(fileName)))
        return false;
    // Blob sizes travel as int32 byte counts.
    const auto frames = static_cast<std::uint64_t>(file.getNumSamplesPerChannel());
    return frames <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) / sizeof(float);
}

std::span<const float> channelSamples(const AudioFile<float>& file, int channel)
{
    return file.samples[channel == 1 && file.isStereo() ? 1 : 0];
}

std::uint32_t rateFromPin(float rate)
{
    if (!(rate > 0.0f))
        return 0;  // also not-a-number
    if (rate >= 4294967296.0f)
        return std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(rate);
}

bool saveFile(AudioFile<float>& file, const std::wstring& fileName, const MpBlob& left, const MpBlob& right,
              const SaveSettings& settings)
{
    const std::size_t leftFrames = framesIn(left);
    const std::size_t rightFrames = framesIn(right);
    if ((leftFrames == 0 && rightFrames == 0) || fileName.empty())
        return false;

    file.setSampleRate(settings.sampleRate);
    file.setBitDepth(32);
    const bool stereo = leftFrames > 0 && rightFrames > 0;
    const std::size_t frames = std::max(leftFrames, rightFrames);
    // Every sample is rewritten (padding included), so nothing of the previous sound
    // remains; the channels' memory is reused.
    file.samples.resize(stereo ? 2 : 1);
    for (std::vector<float>& channel : file.samples)
        channel.assign(frames, 0.0f);
    if (stereo) {
        copyFrames(file.samples[0], left, leftFrames);
        copyFrames(file.samples[1], right, rightFrames);
    } else if (leftFrames > 0) {
        copyFrames(file.samples[0], left, leftFrames);
    } else {
        copyFrames(file.samples[0], right, rightFrames);
    }
    file.setLoopStart(settings.loopStart);
    file.setLoopEnd(settings.loopEnd);
    return file.save(WStringToUtf8(fileName), AudioFileFormat::Wave);
}

}  // namespace sample_blobs
