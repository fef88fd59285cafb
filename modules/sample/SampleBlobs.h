// What the sample loaders and savers share: moving one sound between a WAV or AIFF file
// and sample blobs. A sample blob is one channel as consecutive 32-bit floats, frame 0
// first, no header; its byte size is 4 x frames. Channel count, rate and loop points
// travel on separate pins.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "AudioFile.h"
#include "mp_sdk_common.h"

namespace sample_blobs {

constexpr std::uint32_t noLoop = 0xFFFFFFFF;

// Reads `fileName` (wide text, converted to a UTF-8 path) into `file`. False, and nothing
// is to be published, when the name is empty, the file cannot be read or decoded (the
// codec prints its diagnostic line) or a channel is too long for a blob (its byte count
// must fit an int32).
bool loadFile(AudioFile<float>& file, const std::wstring& fileName);

// The samples for blob pin `channel` (0 left, 1 right) of a loaded sound: a mono sound
// gives its only channel for both.
std::span<const float> channelSamples(const AudioFile<float>& file, int channel);

// A Rate pin value as the saver stores it: truncated toward zero, limited to 0 ..
// 4294967295 Hz; not-a-number gives 0.
std::uint32_t rateFromPin(float rate);

// What a saver keeps between saves besides the blobs.
struct SaveSettings {
    std::uint32_t sampleRate = 0;  // Hz
    std::uint32_t loopStart = noLoop;
    std::uint32_t loopEnd = noLoop;
};

// Writes `left` and `right` as a 32-bit float WAV file: stereo when both hold samples
// (the shorter padded with silence at the end), mono from whichever holds samples
// otherwise. A blob whose size is not a multiple of 4 counts as empty. Nothing is written
// when both are empty or the name is empty. True when the file was written.
bool saveFile(AudioFile<float>& file, const std::wstring& fileName, const MpBlob& left, const MpBlob& right,
              const SaveSettings& settings);

}  // namespace sample_blobs
