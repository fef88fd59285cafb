// Reader and writer of WAV (RIFF/WAVE) and AIFF (FORM/AIFF) files, holding one mono or
// stereo sound in memory as one sample array per channel (nominal range -1 to +1).
//
// WAV: 8-, 16- and 24-bit integer PCM, 32-bit IEEE float (and 32-bit integer PCM on
// reading). AIFF: 8-, 16- and 24-bit integer PCM at the rates of aiffSampleRateTable.
// A file is read in pieces through one small buffer, each piece converted as it arrives,
// once its headers are checked (a file whose headers lie beyond its first 64 KB is read
// whole), and written from one buffer sized up front through a temporary file that
// replaces the target only when complete. Every failure prints
// one diagnostic line on standard output and returns false; no exception leaves the codec
// for a malformed file, and nothing is read past the end of the data.
//
// One object is used by one thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

enum class AudioFileFormat : std::int32_t { Error = 0, NotLoaded = 1, Wave = 2, Aiff = 3 };

enum class Endianness : std::int32_t { LittleEndian = 0, BigEndian = 1 };

// Sample rate in Hz -> its 10-byte IEEE 754 extended-precision form in an AIFF COMM chunk.
// Built once at load time, read-only afterwards. 19 rates; no other rate is read or written.
extern const std::map<std::uint32_t, std::array<std::uint8_t, 10>> aiffSampleRateTable;

template <class T>
class AudioFile {
public:
    using AudioBuffer = std::vector<std::vector<T>>;

    AudioFile();

    // Reads and decodes the file at `path` (UTF-8).
    bool load(const std::string& path);
    // Decodes a whole file held in memory.
    bool loadFromMemory(const std::vector<std::uint8_t>& fileData);
    // Writes WAV (Wave) or AIFF (Aiff); any other format returns false and writes nothing.
    bool save(const std::string& path, AudioFileFormat format = AudioFileFormat::Wave);
    // Encodes the file without writing it; empty on failure (the diagnostic names `path`).
    std::vector<std::uint8_t> encode(AudioFileFormat format, const std::string& path = "");

    std::uint32_t getSampleRate() const { return sampleRate; }
    int getNumChannels() const { return static_cast<int>(samples.size()); }
    bool isMono() const { return getNumChannels() == 1; }
    bool isStereo() const { return getNumChannels() == 2; }
    int getBitDepth() const { return bitDepth; }
    int getNumSamplesPerChannel() const { return samples.empty() ? 0 : static_cast<int>(samples[0].size()); }
    double getLengthInSeconds() const
    {
        return static_cast<double>(getNumSamplesPerChannel()) / static_cast<double>(sampleRate);
    }
    std::uint32_t getLoopStart() const { return loopStart; }
    std::uint32_t getLoopEnd() const { return loopEnd; }
    AudioFileFormat getAudioFileFormat() const { return audioFileFormat; }

    // Takes the channels of `buffer`, each cut or padded to the first channel's length.
    // Zero channels: returns false and changes nothing.
    bool setAudioBuffer(const AudioBuffer& buffer);
    void setAudioBufferSize(int numChannels, int numSamples);
    // Resizes every channel; added samples are 0.
    void setNumSamplesPerChannel(int numSamples);
    // Resizes the channel list; added channels get the current length, filled with 0.
    void setNumChannels(int numChannels);
    void setBitDepth(int numBitsPerSample) { bitDepth = numBitsPerSample; }
    void setSampleRate(std::uint32_t newSampleRate) { sampleRate = newSampleRate; }
    void setLoopStart(std::uint32_t frame) { loopStart = frame; }
    void setLoopEnd(std::uint32_t frame) { loopEnd = frame; }

    // Seven lines on standard output: channels, frames, rate, depth, length.
    void printSummary() const;

    AudioBuffer samples;

private:
    static constexpr std::uint32_t noLoop = 0xFFFFFFFF;

    using Bytes = std::span<const std::uint8_t>;

    // How the samples of a checked file are stored.
    enum class Encoding { Unsigned8, Signed8, Little16, Big16, Little24, Big24, LittleInt32, LittleFloat32 };
    struct SampleData {
        std::size_t firstByte = 0;  // file offset of the first frame
        std::size_t numFrames = 0;
        int numChannels = 0;
        int bytesPerFrame = 0;
        int bytesPerSample = 0;
        Encoding encoding = Encoding::Little16;
        // The checked bytes were the start of the file and held no sampler chunk: the
        // rest of the file is searched for one.
        bool samplerFurtherOn = false;
    };

    bool decode(Bytes fileData);
    bool headerAllowsLength(Bytes header, std::size_t fileSize) const;
    AudioFileFormat determineAudioFileFormat(Bytes fileData) const;
    // Check the headers in `head`, the first bytes of a file of `fileSize` bytes (all of
    // it, or its start), and set the format fields; the diagnostic of a refused file, or
    // nullptr with `data` filled in.
    const char* checkFile(Bytes head, std::size_t fileSize, SampleData& data);
    const char* checkWaveFile(Bytes head, std::size_t fileSize, SampleData& data);
    const char* checkAiffFile(Bytes head, std::size_t fileSize, SampleData& data);
    // True when `head`, a file's start, holds every header its decode reads; a refusal is
    // not reported and leaves the fields as they were.
    bool checkStart(Bytes head, std::size_t fileSize, SampleData& data);
    // Sizes the channels for `data`'s frames, each to be overwritten by convertSamples.
    void startSamples(const SampleData& data);
    // Converts `numFrames` frames of `data`'s encoding from `bytes` into the channels,
    // from frame `firstFrame` on.
    void convertSamples(const SampleData& data, const std::uint8_t* bytes, std::size_t firstFrame,
                        std::size_t numFrames);
    // The samples from the open `file`, whose first bytes, checked into `data`, are in
    // `buffer`: read on through that buffer, converted piece by piece.
    bool loadInPieces(int file, std::vector<std::uint8_t>& buffer, const SampleData& data);
    bool saveToWaveFile(std::vector<std::uint8_t>& fileData, const std::string& path) const;
    bool saveToAiffFile(std::vector<std::uint8_t>& fileData, const std::string& path) const;

    static int getIndexOfString(Bytes source, const std::string& text);
    static std::int32_t fourBytesToInt(Bytes source, std::size_t index, Endianness endianness = Endianness::LittleEndian);
    static std::int16_t twoBytesToInt(Bytes source, std::size_t index, Endianness endianness = Endianness::LittleEndian);
    static std::uint32_t getAiffSampleRate(Bytes fileData, std::size_t index);
    static bool tenByteMatch(Bytes v1, std::size_t startIndex1, const std::array<std::uint8_t, 10>& v2);
    static void addSampleRateToAiffData(std::vector<std::uint8_t>& fileData, std::uint32_t sampleRate);
    static void addStringToFileData(std::vector<std::uint8_t>& fileData, const std::string& text);
    static void addInt32ToFileData(std::vector<std::uint8_t>& fileData, std::int32_t value,
                                   Endianness endianness = Endianness::LittleEndian);
    static void addInt16ToFileData(std::vector<std::uint8_t>& fileData, std::int16_t value,
                                   Endianness endianness = Endianness::LittleEndian);
    static bool writeDataToFile(Bytes fileData, const std::string& path);

    // Empties every channel, keeping its memory for the next sound.
    void clearAudioBuffer();
    static T clamp(T value, T minValue, T maxValue);
    static T singleByteToSample(std::uint8_t sample);
    static T sixteenBitIntToSample(std::int16_t sample);
    static T twentyFourBitIntToSample(std::int32_t value);
    // Writes `numFrames` interleaved frames into the channels from frame `firstFrame` on.
    template <class ReadSample>
    void readFrames(const std::uint8_t* bytes, std::size_t firstFrame, std::size_t numFrames, int bytesPerFrame,
                    int bytesPerSample, ReadSample read);
    // Appends every frame, channels interleaved, `bytesPerSample` bytes per sample.
    template <class WriteSample>
    void writeFrames(std::vector<std::uint8_t>& fileData, int bytesPerSample, WriteSample write) const;
    static std::uint8_t sampleToSingleByte(T sample);
    static std::int16_t sampleToSixteenBitInt(T sample);
    static std::int32_t sampleToTwentyFourBitInt(T sample);

    AudioFileFormat audioFileFormat = AudioFileFormat::NotLoaded;
    std::uint32_t sampleRate = 44100;
    int bitDepth = 16;
    std::uint32_t loopStart = noLoop;
    std::uint32_t loopEnd = noLoop;
};

extern template class AudioFile<float>;
extern template class AudioFile<double>;
