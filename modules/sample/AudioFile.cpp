#include "AudioFile.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <limits>
#include <memory>
#include <new>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_access.h"

namespace {

// The 80-bit extended form of a positive integer rate: sign and 15-bit exponent (bias
// 16383), then the 64-bit mantissa with its explicit integer bit, most significant first.
std::array<std::uint8_t, 10> extendedFromRate(std::uint32_t rate)
{
    const int exponent = std::bit_width(rate) - 1;
    const std::uint16_t biased = static_cast<std::uint16_t>(16383 + exponent);
    const std::uint64_t mantissa = static_cast<std::uint64_t>(rate) << (63 - exponent);
    std::array<std::uint8_t, 10> bytes{};
    bytes[0] = static_cast<std::uint8_t>(biased >> 8);
    bytes[1] = static_cast<std::uint8_t>(biased & 0xFF);
    for (int i = 0; i < 8; ++i)
        bytes[2 + i] = static_cast<std::uint8_t>(mantissa >> (56 - 8 * i));
    return bytes;
}

std::map<std::uint32_t, std::array<std::uint8_t, 10>> makeAiffSampleRateTable()
{
    std::map<std::uint32_t, std::array<std::uint8_t, 10>> table;
    for (const std::uint32_t rate : {8000u, 11025u, 16000u, 22050u, 32000u, 37800u, 44056u, 44100u, 47250u, 48000u,
                                     50000u, 50400u, 88200u, 96000u, 176400u, 192000u, 352800u, 2822400u, 5644800u})
        table.emplace(rate, extendedFromRate(rate));
    return table;
}

// True when `count` bytes from `index` lie within `size` bytes.
bool fitsIn(std::size_t size, std::int64_t index, std::int64_t count)
{
    return index >= 0 && count >= 0 && index + count <= static_cast<std::int64_t>(size);
}

// True when `count` bytes from `index` lie inside the data.
bool hasBytes(std::span<const std::uint8_t> data, std::int64_t index, std::int64_t count)
{
    return fitsIn(data.size(), index, count);
}

std::uint32_t littleEndian32(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void putLittleEndian(std::uint8_t* p, std::int32_t value, int byteCount)
{
    for (int i = 0; i < byteCount; ++i)
        p[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i));
}

void putBigEndian(std::uint8_t* p, std::int32_t value, int byteCount)
{
    for (int i = 0; i < byteCount; ++i)
        p[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * (byteCount - 1 - i)));
}

// Reads up to `size` bytes; fewer only at the end of the file or on a read error.
std::size_t readFully(int file, std::uint8_t* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(file, data + done, std::min<std::size_t>(size - done, 1u << 30));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

// The first position of the four characters `text` in `size` bytes, or SIZE_MAX. Each
// stretch of positions is tested for its first and last characters together, a loop
// without an early exit that the compiler vectorises; only a stretch where both occur is
// searched one position at a time.
[[gnu::always_inline]] inline std::size_t searchFourCharacters(const std::uint8_t* data, std::size_t size,
                                                               const char (&text)[5])
{
    constexpr std::size_t none = std::numeric_limits<std::size_t>::max(), stretch = 256;
    const auto c0 = static_cast<std::uint8_t>(text[0]), c1 = static_cast<std::uint8_t>(text[1]),
               c2 = static_cast<std::uint8_t>(text[2]), c3 = static_cast<std::uint8_t>(text[3]);
    if (size < 4)
        return none;
    const auto at = [&](std::size_t i) {
        return data[i] == c0 && data[i + 1] == c1 && data[i + 2] == c2 && data[i + 3] == c3;
    };
    const std::size_t positions = size - 3;
    std::size_t first = 0;
    for (; first + stretch <= positions; first += stretch) {
        const std::uint8_t* p = data + first;
        unsigned char candidates = 0;
        for (std::size_t i = 0; i < stretch; ++i)
            candidates |= static_cast<unsigned char>((p[i] == c0) & (p[i + 3] == c3));
        if (candidates == 0)
            continue;
        for (std::size_t i = first; i < first + stretch; ++i)
            if (at(i))
                return i;
    }
    for (std::size_t i = first; i < positions; ++i)
        if (at(i))
            return i;
    return none;
}

using FourCharacterSearch = std::size_t (*)(const std::uint8_t*, std::size_t, const char (&)[5]);

std::size_t findFourCharactersBaseline(const std::uint8_t* data, std::size_t size, const char (&text)[5])
{
    return searchFourCharacters(data, size, text);
}

// The same search built for wider vectors, taken where the processor has them.
#if defined(__x86_64__)
[[gnu::target("avx2")]] std::size_t findFourCharactersAvx2(const std::uint8_t* data, std::size_t size,
                                                           const char (&text)[5])
{
    return searchFourCharacters(data, size, text);
}

[[gnu::target("avx512f,avx512bw")]] std::size_t findFourCharactersAvx512(const std::uint8_t* data, std::size_t size,
                                                                         const char (&text)[5])
{
    return searchFourCharacters(data, size, text);
}
#endif

FourCharacterSearch widestFourCharacterSearch()
{
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx512bw"))
        return findFourCharactersAvx512;
    if (__builtin_cpu_supports("avx2"))
        return findFourCharactersAvx2;
#endif
    return findFourCharactersBaseline;
}

std::size_t findFourCharacters(const std::uint8_t* data, std::size_t size, const char (&text)[5])
{
    static const FourCharacterSearch search = widestFourCharacterSearch();
    return search(data, size, text);
}

void report(const std::string& line)
{
    std::cout << line << std::endl;
}

}  // namespace

const std::map<std::uint32_t, std::array<std::uint8_t, 10>> aiffSampleRateTable = makeAiffSampleRateTable();

template <class T>
AudioFile<T>::AudioFile()
{
    samples.resize(1);
}

template <class T>
bool AudioFile<T>::load(const std::string& path)
{
    // Only regular files: a folder opens too and reports an enormous size, and a pipe or
    // device could block or never end.
    const std::string wrong = mp_files::notRegularFile(path);
    if (wrong == "does not exist") {
        report("ERROR: File doesn't exist or otherwise can't load file");
        report(path);
        return false;
    }
    if (!wrong.empty()) {
        report("ERROR: cannot read '" + path + "': it " + wrong);
        return false;
    }
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        report("ERROR: File doesn't exist or otherwise can't load file");
        report(path);
        return false;
    }
    struct stat status {};
    const std::size_t fileSize =
        ::fstat(file, &status) == 0 && status.st_size > 0 ? static_cast<std::size_t>(status.st_size) : 0;

    // The headers first: a file that is no sound, or announces more samples than it
    // holds, is refused without reading (or allocating for) the rest of it.
    constexpr std::size_t headerBytes = 64 * 1024;
    if (fileSize > headerBytes)
        ::posix_fadvise(file, 0, 0, POSIX_FADV_SEQUENTIAL);  // a larger read-ahead
    std::vector<std::uint8_t> buffer(std::min(fileSize, headerBytes));
    buffer.resize(readFully(file, buffer.data(), buffer.size()));
    if (buffer.size() < fileSize) {
        if (!headerAllowsLength(Bytes(buffer.data(), buffer.size()), fileSize)) {
            ::close(file);
            return decode(Bytes(buffer.data(), buffer.size()));  // refuses with the codec's message
        }
        // The usual file: headers at its start, then the samples, converted as they are
        // read through the same buffer.
        SampleData data;
        if (checkStart(Bytes(buffer.data(), buffer.size()), fileSize, data)) {
            const bool loaded = loadInPieces(file, buffer, data);
            ::close(file);
            return loaded;
        }
    }

    // Anything else is decided on the whole file, read at once into a buffer sized up
    // front (not zero-filled: it is overwritten at once).
    std::unique_ptr<std::uint8_t[]> fileData;
    std::size_t length = buffer.size();
    if (fileSize > buffer.size()) {
        fileData.reset(new (std::nothrow) std::uint8_t[fileSize]);
        if (!fileData) {
            ::close(file);
            report("ERROR: this file is too large to load");
            return false;
        }
        std::memcpy(fileData.get(), buffer.data(), buffer.size());
        length += readFully(file, fileData.get() + buffer.size(), fileSize - buffer.size());
    }
    ::close(file);
    return decode(fileData ? Bytes(fileData.get(), length) : Bytes(buffer.data(), buffer.size()));
}

// True when the start of a file, `head`, holds every header a successful decode of the
// whole file would read, with `data` filled in. A refusal here is not reported and changes
// nothing: the whole file then decides.
template <class T>
bool AudioFile<T>::checkStart(Bytes head, std::size_t fileSize, SampleData& data)
{
    const AudioFileFormat oldFormat = audioFileFormat;
    const std::uint32_t oldRate = sampleRate, oldLoopStart = loopStart, oldLoopEnd = loopEnd;
    const int oldDepth = bitDepth;
    if (checkFile(head, fileSize, data) == nullptr)
        return true;
    audioFileFormat = oldFormat;
    sampleRate = oldRate;
    bitDepth = oldDepth;
    loopStart = oldLoopStart;
    loopEnd = oldLoopEnd;
    return false;
}

template <class T>
bool AudioFile<T>::loadInPieces(int file, std::vector<std::uint8_t>& buffer, const SampleData& data)
{
    constexpr std::size_t none = std::numeric_limits<std::size_t>::max(), pieceBytes = 256 * 1024;
    const std::size_t frameBytes = static_cast<std::size_t>(data.bytesPerFrame);
    const std::size_t dataEnd = data.firstByte + data.numFrames * frameBytes;
    std::size_t start = 0;                // file offset of buffer[0]
    std::size_t end = buffer.size();      // file offset just past the bytes in the buffer
    std::size_t next = data.firstByte;    // file offset of the next frame to convert
    // The first position not yet searched for "smpl" (the start searched every position
    // but its last four), and where it was found.
    std::size_t searchFrom = data.samplerFurtherOn ? end - 4 : none;
    std::size_t sampler = none;
    buffer.resize(std::max(buffer.capacity(), pieceBytes));
    startSamples(data);
    for (;;) {
        if (next < end && next < dataEnd) {
            const std::size_t frames = (std::min(end, dataEnd) - next) / frameBytes;
            convertSamples(data, buffer.data() + (next - start), (next - data.firstByte) / frameBytes, frames);
            next += frames * frameBytes;
        }
        if (searchFrom != none && searchFrom + 4 <= end) {
            const std::size_t found = findFourCharacters(buffer.data() + (searchFrom - start), end - searchFrom, "smpl");
            if (found != none) {
                sampler = searchFrom + found;
                searchFrom = none;
            } else {
                searchFrom = end - 3;
            }
        }
        if (next >= dataEnd && searchFrom == none)
            break;
        // Keep what is still needed: a partial frame, the last bytes searched.
        std::size_t keep = end;
        if (next < dataEnd)
            keep = std::min(keep, next);
        if (searchFrom != none)
            keep = std::min(keep, searchFrom);
        const std::size_t kept = end - keep;
        std::memmove(buffer.data(), buffer.data() + (keep - start), kept);
        start = keep;
        const std::size_t got = readFully(file, buffer.data() + kept, buffer.size() - kept);
        end = start + kept + got;
        if (got == 0)
            break;
    }
    if (next < dataEnd) {  // the file shrank while it was read
        clearAudioBuffer();
        report(audioFileFormat == AudioFileFormat::Wave ? "ERROR: this .WAV file is shorter than its data chunk announces"
                                                        : "ERROR: the metadatafor this file doesn't seem right");
        return false;
    }
    // A sampler chunk found past the start is read like one within it: its loop when all
    // its 60 bytes are in the file and it names a loop.
    if (sampler != none && sampler <= static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        std::uint8_t chunk[60];
        ssize_t got = 0;
        do
            got = ::pread(file, chunk, sizeof chunk, static_cast<off_t>(sampler));
        while (got < 0 && errno == EINTR);
        const Bytes bytes(chunk, sizeof chunk);
        if (got == static_cast<ssize_t>(sizeof chunk) && fourBytesToInt(bytes, 36) != 0) {
            loopStart = static_cast<std::uint32_t>(fourBytesToInt(bytes, 52));
            loopEnd = static_cast<std::uint32_t>(fourBytesToInt(bytes, 56));
        }
    }
    return true;
}

// False when the start of a file of `fileSize` bytes already shows it cannot decode: no
// WAV or AIFF signature, or a WAV data chunk that ends past the end of the file.
template <class T>
bool AudioFile<T>::headerAllowsLength(Bytes header, std::size_t fileSize) const
{
    const AudioFileFormat format = determineAudioFileFormat(header);
    if (format == AudioFileFormat::Error)
        return false;
    if (format != AudioFileFormat::Wave)
        return true;
    const int dataIndex = getIndexOfString(header, "data");
    const int formatIndex = getIndexOfString(header, "fmt");
    if (dataIndex == -1 || formatIndex == -1 || !hasBytes(header, formatIndex, 24) || !hasBytes(header, dataIndex, 8))
        return true;  // further in: the whole file decides
    const int bytesPerBlock = static_cast<std::uint16_t>(twoBytesToInt(header, formatIndex + 20));
    const auto dataChunkSize = static_cast<std::uint32_t>(fourBytesToInt(header, dataIndex + 4));
    if (bytesPerBlock < 1)
        return true;
    const std::uint64_t dataBytes = dataChunkSize / static_cast<std::uint32_t>(bytesPerBlock) *
                                    static_cast<std::uint64_t>(bytesPerBlock);
    return static_cast<std::uint64_t>(dataIndex) + 8 + dataBytes <= fileSize;
}

template <class T>
bool AudioFile<T>::loadFromMemory(const std::vector<std::uint8_t>& fileData)
{
    return decode(Bytes(fileData.data(), fileData.size()));
}

template <class T>
bool AudioFile<T>::decode(Bytes fileData)
{
    SampleData data;
    if (const char* refusal = checkFile(fileData, fileData.size(), data)) {
        report(refusal);
        return false;
    }
    startSamples(data);
    convertSamples(data, fileData.data() + data.firstByte, 0, data.numFrames);
    return true;
}

template <class T>
const char* AudioFile<T>::checkFile(Bytes head, std::size_t fileSize, SampleData& data)
{
    audioFileFormat = determineAudioFileFormat(head);
    switch (audioFileFormat) {
    case AudioFileFormat::Wave: return checkWaveFile(head, fileSize, data);
    case AudioFileFormat::Aiff: return checkAiffFile(head, fileSize, data);
    default: return "Audio File Type: Error";
    }
}

template <class T>
AudioFileFormat AudioFile<T>::determineAudioFileFormat(Bytes fileData) const
{
    if (fileData.size() < 4)
        return AudioFileFormat::Error;
    const std::string header(reinterpret_cast<const char*>(fileData.data()), 4);
    if (header == "RIFF")
        return AudioFileFormat::Wave;
    if (header == "FORM")
        return AudioFileFormat::Aiff;
    return AudioFileFormat::Error;
}

template <class T>
const char* AudioFile<T>::checkWaveFile(Bytes head, std::size_t fileSize, SampleData& data)
{
    const int dataIndex = getIndexOfString(head, "data");
    const int formatIndex = getIndexOfString(head, "fmt");
    const int samplerIndex = getIndexOfString(head, "smpl");
    if (dataIndex == -1 || formatIndex == -1 || !hasBytes(head, 0, 12) ||
        std::memcmp(head.data(), "RIFF", 4) != 0 || std::memcmp(head.data() + 8, "WAVE", 4) != 0)
        return "ERROR: this doesn't seem to be a valid .WAV file";
    if (!hasBytes(head, formatIndex, 24) || !hasBytes(head, dataIndex, 8))
        return "ERROR: this .WAV file is shorter than its headers announce";

    const int audioFormat = static_cast<std::uint16_t>(twoBytesToInt(head, formatIndex + 8));
    const int numChannels = static_cast<std::uint16_t>(twoBytesToInt(head, formatIndex + 10));
    sampleRate = static_cast<std::uint32_t>(fourBytesToInt(head, formatIndex + 12));
    const auto bytesPerSecond = static_cast<std::uint32_t>(fourBytesToInt(head, formatIndex + 16));
    const int bytesPerBlock = static_cast<std::uint16_t>(twoBytesToInt(head, formatIndex + 20));
    bitDepth = twoBytesToInt(head, formatIndex + 22);
    const int bytesPerSample = bitDepth / 8;

    if (audioFormat != 1 && audioFormat != 3)
        return "ERROR: this is a compressed .WAV file and this library does not support decoding them at present";
    if (numChannels < 1 || numChannels > 2)
        return "ERROR: this WAV file seems to be neither mono nor stereo (perhaps multi-track, or corrupted?)";
    if (bytesPerSecond != (sampleRate * static_cast<std::uint32_t>(numChannels) * static_cast<std::uint32_t>(bitDepth)) / 8 ||
        bytesPerBlock != bytesPerSample * numChannels)
        return "ERROR: the header data in this WAV file seems to be inconsistent";
    if (bitDepth != 8 && bitDepth != 16 && bitDepth != 24 && bitDepth != 32)
        return "ERROR: this file has a bit depth that is not 8, 16, 24 or 32 bits";

    // The first "smpl" anywhere in the file: in `head`, or (when `head` is only the start)
    // searched for as the rest is read.
    const bool wholeFile = head.size() >= fileSize;
    if (!wholeFile && samplerIndex != -1 && !hasBytes(head, samplerIndex, 60))
        return "the sampler chunk runs past the bytes checked";
    std::uint32_t newLoopStart = noLoop, newLoopEnd = noLoop;
    if (samplerIndex != -1 && hasBytes(head, samplerIndex, 60) && fourBytesToInt(head, samplerIndex + 36) != 0) {
        newLoopStart = static_cast<std::uint32_t>(fourBytesToInt(head, samplerIndex + 52));
        newLoopEnd = static_cast<std::uint32_t>(fourBytesToInt(head, samplerIndex + 56));
    }
    loopStart = newLoopStart;
    loopEnd = newLoopEnd;
    data.samplerFurtherOn = !wholeFile && samplerIndex == -1;

    if (sampleRate == 0)
        return "ERROR: this WAV file has a sample rate of 0";

    // The size is unsigned: 0x80000000 and more are lengths too, not negative ones.
    const auto dataChunkSize = static_cast<std::uint32_t>(fourBytesToInt(head, dataIndex + 4));
    const std::uint64_t announcedFrames = dataChunkSize / static_cast<std::uint32_t>(bytesPerBlock);
    const std::int64_t firstSample = dataIndex + 8;
    if (!fitsIn(fileSize, firstSample, static_cast<std::int64_t>(announcedFrames) * bytesPerBlock))
        return "ERROR: this .WAV file is shorter than its data chunk announces";
    if (announcedFrames > static_cast<std::uint64_t>(std::numeric_limits<int>::max()))
        return "ERROR: this .WAV file is too long to load";

    data.firstByte = static_cast<std::size_t>(firstSample);
    data.numFrames = static_cast<std::size_t>(announcedFrames);
    data.numChannels = numChannels;
    data.bytesPerFrame = bytesPerBlock;
    data.bytesPerSample = bytesPerSample;
    switch (bitDepth) {
    case 8: data.encoding = Encoding::Unsigned8; break;
    case 16: data.encoding = Encoding::Little16; break;
    case 24: data.encoding = Encoding::Little24; break;
    default: data.encoding = audioFormat == 1 ? Encoding::LittleInt32 : Encoding::LittleFloat32;
    }
    return nullptr;
}

template <class T>
const char* AudioFile<T>::checkAiffFile(Bytes head, std::size_t fileSize, SampleData& data)
{
    const int commIndex = getIndexOfString(head, "COMM");
    const int soundIndex = getIndexOfString(head, "SSND");
    if (commIndex == -1 || soundIndex == -1 || !hasBytes(head, 0, 12) ||
        std::memcmp(head.data(), "FORM", 4) != 0 || std::memcmp(head.data() + 8, "AIFF", 4) != 0)
        return "ERROR: this doesn't seem to be a valid AIFF file";
    if (!hasBytes(head, commIndex, 26) || !hasBytes(head, soundIndex, 16))
        return "ERROR: this AIFF file is shorter than its headers announce";

    const int numChannels = twoBytesToInt(head, commIndex + 8, Endianness::BigEndian);
    const auto numFrames = static_cast<std::uint32_t>(fourBytesToInt(head, commIndex + 10, Endianness::BigEndian));
    bitDepth = twoBytesToInt(head, commIndex + 14, Endianness::BigEndian);
    sampleRate = getAiffSampleRate(head, static_cast<std::size_t>(commIndex) + 16);

    if (sampleRate == noLoop)
        return "ERROR: this AIFF file has an unsupported sample rate";
    if (numChannels < 1 || numChannels > 2)
        return "ERROR: this AIFF file seems to be neither mono nor stereo (perhaps multi-track, or corrupted?)";
    if (bitDepth != 8 && bitDepth != 16 && bitDepth != 24)
        return "ERROR: this file has a bit depth that is not 8, 16 or 24 bits";

    const int bytesPerSample = bitDepth / 8;
    const int bytesPerFrame = bytesPerSample * numChannels;
    const std::int64_t soundBytes = static_cast<std::int64_t>(bytesPerFrame) * numFrames;
    const std::int64_t soundChunkSize =
        static_cast<std::uint32_t>(fourBytesToInt(head, soundIndex + 4, Endianness::BigEndian));
    const std::int64_t offset = static_cast<std::uint32_t>(fourBytesToInt(head, soundIndex + 8, Endianness::BigEndian));
    const std::int64_t firstSample = soundIndex + 16 + offset;
    if (soundChunkSize - 8 != soundBytes || !fitsIn(fileSize, firstSample, soundBytes))
        return "ERROR: the metadatafor this file doesn't seem right";

    data.firstByte = static_cast<std::size_t>(firstSample);
    data.numFrames = numFrames;
    data.numChannels = numChannels;
    data.bytesPerFrame = bytesPerFrame;
    data.bytesPerSample = bytesPerSample;
    data.encoding = bitDepth == 8 ? Encoding::Signed8 : bitDepth == 16 ? Encoding::Big16 : Encoding::Big24;
    data.samplerFurtherOn = false;
    // A loaded AIFF carries no loop: drop the points of whatever was loaded before.
    loopStart = loopEnd = noLoop;
    return nullptr;
}

template <class T>
void AudioFile<T>::startSamples(const SampleData& data)
{
    // A channel of the same length as before is not filled first: every frame is
    // overwritten.
    samples.resize(static_cast<std::size_t>(data.numChannels));
    for (std::vector<T>& channel : samples)
        channel.resize(data.numFrames);
}

template <class T>
void AudioFile<T>::convertSamples(const SampleData& data, const std::uint8_t* bytes, std::size_t firstFrame,
                                  std::size_t numFrames)
{
    if (numFrames == 0)
        return;
    const int frame = data.bytesPerFrame, sample = data.bytesPerSample;
    switch (data.encoding) {
    case Encoding::Unsigned8:
        readFrames(bytes, firstFrame, numFrames, frame, sample,
                   [](const std::uint8_t* p) { return singleByteToSample(p[0]); });
        break;
    case Encoding::Signed8:
        readFrames(bytes, firstFrame, numFrames, frame, sample, [](const std::uint8_t* p) {
            return static_cast<T>(static_cast<std::int8_t>(p[0])) * T(1.0 / 128.0);
        });
        break;
    case Encoding::Little16:
        readFrames(bytes, firstFrame, numFrames, frame, sample, [](const std::uint8_t* p) {
            return sixteenBitIntToSample(static_cast<std::int16_t>(p[0] | (p[1] << 8)));
        });
        break;
    case Encoding::Big16:
        readFrames(bytes, firstFrame, numFrames, frame, sample, [](const std::uint8_t* p) {
            return sixteenBitIntToSample(static_cast<std::int16_t>((p[0] << 8) | p[1]));
        });
        break;
    case Encoding::Little24:
        readFrames(bytes, firstFrame, numFrames, frame, sample,
                   [](const std::uint8_t* p) { return twentyFourBitIntToSample((p[0] | (p[1] << 8) | (p[2] << 16))); });
        break;
    case Encoding::Big24:
        readFrames(bytes, firstFrame, numFrames, frame, sample,
                   [](const std::uint8_t* p) { return twentyFourBitIntToSample((p[0] << 16) | (p[1] << 8) | p[2]); });
        break;
    case Encoding::LittleInt32:
        readFrames(bytes, firstFrame, numFrames, frame, sample, [](const std::uint8_t* p) {
            const auto value = static_cast<std::int32_t>(littleEndian32(p));
            return static_cast<T>(static_cast<double>(value) / 2147483648.0);
        });
        break;
    case Encoding::LittleFloat32:
        readFrames(bytes, firstFrame, numFrames, frame, sample,
                   [](const std::uint8_t* p) { return static_cast<T>(std::bit_cast<float>(littleEndian32(p))); });
        break;
    }
}

template <class T>
bool AudioFile<T>::save(const std::string& path, AudioFileFormat format)
{
    std::vector<std::uint8_t> fileData = encode(format, path);
    return !fileData.empty() && writeDataToFile(fileData, path);
}

template <class T>
std::vector<std::uint8_t> AudioFile<T>::encode(AudioFileFormat format, const std::string& path)
{
    std::vector<std::uint8_t> fileData;
    bool encoded = false;
    if (format == AudioFileFormat::Wave)
        encoded = saveToWaveFile(fileData, path);
    else if (format == AudioFileFormat::Aiff)
        encoded = saveToAiffFile(fileData, path);
    if (!encoded)
        fileData.clear();
    return fileData;
}

template <class T>
bool AudioFile<T>::saveToWaveFile(std::vector<std::uint8_t>& fileData, const std::string& path) const
{
    if (sampleRate == 0) {
        report("ERROR: couldn't save file to " + path + ": the sample rate is 0");
        return false;
    }
    const auto numChannels = static_cast<std::int32_t>(getNumChannels());
    const auto numFrames = static_cast<std::int32_t>(getNumSamplesPerChannel());
    const std::int32_t dataChunkSize = numFrames * (numChannels * bitDepth / 8);
    const bool writeLoop = loopStart != noLoop && loopEnd != noLoop;
    const std::int32_t fileSizeField = dataChunkSize + (writeLoop ? 104 : 36);

    fileData.reserve(static_cast<std::size_t>(std::max(fileSizeField, 0)) + 8);
    addStringToFileData(fileData, "RIFF");
    addInt32ToFileData(fileData, fileSizeField);
    addStringToFileData(fileData, "WAVE");

    addStringToFileData(fileData, "fmt ");
    addInt32ToFileData(fileData, 16);
    addInt16ToFileData(fileData, static_cast<std::int16_t>(bitDepth == 32 ? 3 : 1));
    addInt16ToFileData(fileData, static_cast<std::int16_t>(numChannels));
    addInt32ToFileData(fileData, static_cast<std::int32_t>(sampleRate));
    addInt32ToFileData(fileData,
                       static_cast<std::int32_t>((static_cast<std::uint32_t>(bitDepth) * sampleRate *
                                                  static_cast<std::uint32_t>(numChannels)) / 8));
    addInt16ToFileData(fileData, static_cast<std::int16_t>(numChannels * (bitDepth / 8)));
    addInt16ToFileData(fileData, static_cast<std::int16_t>(bitDepth));

    if (writeLoop) {
        addStringToFileData(fileData, "smpl");
        addInt32ToFileData(fileData, 60);
        // manufacturer, product, sample period, unity note, pitch fraction, SMPTE format and
        // offset, loop count, sampler data; then one loop: cue id, type, start, end, fraction, play count
        const std::uint32_t fields[15] = {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, loopStart, loopEnd, 0, 0};
        for (const std::uint32_t field : fields)
            addInt32ToFileData(fileData, static_cast<std::int32_t>(field));
    }

    addStringToFileData(fileData, "data");
    addInt32ToFileData(fileData, dataChunkSize);

    switch (bitDepth) {
    case 8: writeFrames(fileData, 1, [](std::uint8_t* p, T x) { p[0] = sampleToSingleByte(x); }); break;
    case 16: writeFrames(fileData, 2, [](std::uint8_t* p, T x) { putLittleEndian(p, sampleToSixteenBitInt(x), 2); }); break;
    case 24: writeFrames(fileData, 3, [](std::uint8_t* p, T x) { putLittleEndian(p, sampleToTwentyFourBitInt(x), 3); }); break;
    case 32:
        writeFrames(fileData, 4, [](std::uint8_t* p, T x) {
            putLittleEndian(p, std::bit_cast<std::int32_t>(static_cast<float>(x)), 4);
        });
        break;
    default:
        if (numFrames > 0 && numChannels > 0)
            return false;
    }

    if (static_cast<std::int64_t>(fileData.size()) - 8 != fileSizeField ||
        dataChunkSize != (bitDepth / 8) * numChannels * numFrames) {
        report("ERROR: couldn't save file to " + path);
        return false;
    }
    return true;
}

template <class T>
bool AudioFile<T>::saveToAiffFile(std::vector<std::uint8_t>& fileData, const std::string& path) const
{
    const auto numChannels = static_cast<std::int32_t>(getNumChannels());
    const auto numFrames = static_cast<std::int32_t>(getNumSamplesPerChannel());
    const std::int32_t bytesPerFrame = numChannels * (bitDepth / 8);
    const std::int32_t soundBytes = numFrames * bytesPerFrame;
    const std::int32_t formSize = soundBytes + 46;

    fileData.reserve(static_cast<std::size_t>(std::max(formSize, 0)) + 8);
    addStringToFileData(fileData, "FORM");
    addInt32ToFileData(fileData, formSize, Endianness::BigEndian);
    addStringToFileData(fileData, "AIFF");

    addStringToFileData(fileData, "COMM");
    addInt32ToFileData(fileData, 18, Endianness::BigEndian);
    addInt16ToFileData(fileData, static_cast<std::int16_t>(numChannels), Endianness::BigEndian);
    addInt32ToFileData(fileData, numFrames, Endianness::BigEndian);
    addInt16ToFileData(fileData, static_cast<std::int16_t>(bitDepth), Endianness::BigEndian);
    addSampleRateToAiffData(fileData, sampleRate);

    addStringToFileData(fileData, "SSND");
    addInt32ToFileData(fileData, soundBytes + 8, Endianness::BigEndian);
    addInt32ToFileData(fileData, 0, Endianness::BigEndian);  // offset
    addInt32ToFileData(fileData, 0, Endianness::BigEndian);  // block size

    switch (bitDepth) {
    case 8:
        writeFrames(fileData, 1, [](std::uint8_t* p, T x) {
            p[0] = static_cast<std::uint8_t>(static_cast<int>(sampleToSingleByte(x)) - 128);
        });
        break;
    case 16: writeFrames(fileData, 2, [](std::uint8_t* p, T x) { putBigEndian(p, sampleToSixteenBitInt(x), 2); }); break;
    case 24: writeFrames(fileData, 3, [](std::uint8_t* p, T x) { putBigEndian(p, sampleToTwentyFourBitInt(x), 3); }); break;
    default: return false;
    }

    if (static_cast<std::int64_t>(fileData.size()) - 8 != formSize || soundBytes != numFrames * bytesPerFrame) {
        report("ERROR: couldn't save file to " + path);
        return false;
    }
    return true;
}

template <class T>
bool AudioFile<T>::setAudioBuffer(const AudioBuffer& buffer)
{
    if (buffer.empty())
        return false;
    const std::size_t numFrames = buffer[0].size();
    samples.resize(buffer.size());
    for (std::size_t c = 0; c < buffer.size(); ++c) {
        samples[c].assign(numFrames, T(0));
        std::copy_n(buffer[c].begin(), std::min(numFrames, buffer[c].size()), samples[c].begin());
    }
    return true;
}

template <class T>
void AudioFile<T>::setAudioBufferSize(int numChannels, int numSamples)
{
    samples.resize(static_cast<std::size_t>(std::max(numChannels, 0)));
    setNumSamplesPerChannel(numSamples);
}

template <class T>
void AudioFile<T>::setNumSamplesPerChannel(int numSamples)
{
    for (auto& channel : samples)
        channel.resize(static_cast<std::size_t>(std::max(numSamples, 0)), T(0));
}

template <class T>
void AudioFile<T>::setNumChannels(int numChannels)
{
    const int numFrames = getNumSamplesPerChannel();
    samples.resize(static_cast<std::size_t>(std::max(numChannels, 0)));
    for (auto& channel : samples)
        channel.resize(static_cast<std::size_t>(numFrames), T(0));
}

template <class T>
void AudioFile<T>::printSummary() const
{
    std::cout << "|======================================|" << std::endl;
    std::cout << "Num Channels: " << getNumChannels() << std::endl;
    std::cout << "Num Samples Per Channel: " << getNumSamplesPerChannel() << std::endl;
    std::cout << "Sample Rate: " << sampleRate << std::endl;
    std::cout << "Bit Depth: " << bitDepth << std::endl;
    std::cout << "Length in Seconds: " << getLengthInSeconds() << std::endl;
    std::cout << "|======================================|" << std::endl;
}

// The first position of `text`, trying positions while position < size - text length; -1
// when absent (also when the data is shorter than the text).
template <class T>
int AudioFile<T>::getIndexOfString(Bytes source, const std::string& text)
{
    const std::int64_t last = static_cast<std::int64_t>(source.size()) - static_cast<std::int64_t>(text.size());
    if (last <= 0)
        return -1;
    const std::string_view haystack(reinterpret_cast<const char*>(source.data()), source.size());
    const std::size_t found = haystack.find(text);
    if (found == std::string_view::npos || static_cast<std::int64_t>(found) >= last ||
        found > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return -1;
    return static_cast<int>(found);
}

template <class T>
std::int32_t AudioFile<T>::fourBytesToInt(Bytes source, std::size_t index,
                                          Endianness endianness)
{
    const std::uint8_t* p = source.data() + index;
    const std::uint32_t value = endianness == Endianness::LittleEndian
                                    ? p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24)
                                    : (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    return static_cast<std::int32_t>(value);
}

template <class T>
std::int16_t AudioFile<T>::twoBytesToInt(Bytes source, std::size_t index,
                                         Endianness endianness)
{
    const std::uint8_t* p = source.data() + index;
    return static_cast<std::int16_t>(endianness == Endianness::LittleEndian ? p[0] | (p[1] << 8) : (p[0] << 8) | p[1]);
}

template <class T>
std::uint32_t AudioFile<T>::getAiffSampleRate(Bytes fileData, std::size_t index)
{
    for (const auto& [rate, bytes] : aiffSampleRateTable)
        if (tenByteMatch(fileData, index, bytes))
            return rate;
    return noLoop;  // 0xFFFFFFFF: no supported rate
}

template <class T>
bool AudioFile<T>::tenByteMatch(Bytes v1, std::size_t startIndex1,
                                const std::array<std::uint8_t, 10>& v2)
{
    return hasBytes(v1, static_cast<std::int64_t>(startIndex1), 10) &&
           std::memcmp(v1.data() + startIndex1, v2.data(), 10) == 0;
}

template <class T>
void AudioFile<T>::addSampleRateToAiffData(std::vector<std::uint8_t>& fileData, std::uint32_t rate)
{
    const auto found = aiffSampleRateTable.find(rate);
    if (found != aiffSampleRateTable.end())
        fileData.insert(fileData.end(), found->second.begin(), found->second.end());
}

template <class T>
void AudioFile<T>::addStringToFileData(std::vector<std::uint8_t>& fileData, const std::string& text)
{
    fileData.insert(fileData.end(), text.begin(), text.end());
}

template <class T>
void AudioFile<T>::addInt32ToFileData(std::vector<std::uint8_t>& fileData, std::int32_t value, Endianness endianness)
{
    const auto word = static_cast<std::uint32_t>(value);
    std::uint8_t bytes[4] = {static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
                             static_cast<std::uint8_t>(word >> 16), static_cast<std::uint8_t>(word >> 24)};
    if (endianness == Endianness::BigEndian)
        std::reverse(std::begin(bytes), std::end(bytes));
    fileData.insert(fileData.end(), bytes, bytes + 4);
}

template <class T>
void AudioFile<T>::addInt16ToFileData(std::vector<std::uint8_t>& fileData, std::int16_t value, Endianness endianness)
{
    const auto word = static_cast<std::uint16_t>(value);
    const auto low = static_cast<std::uint8_t>(word & 0xFF), high = static_cast<std::uint8_t>(word >> 8);
    if (endianness == Endianness::LittleEndian) {
        fileData.push_back(low);
        fileData.push_back(high);
    } else {
        fileData.push_back(high);
        fileData.push_back(low);
    }
}

// Through a temporary file beside the target: a failed write keeps the previous file.
template <class T>
bool AudioFile<T>::writeDataToFile(Bytes fileData, const std::string& path)
{
    std::string reason;
    if (mp_files::replaceFile(path, fileData.data(), fileData.size(), reason))
        return true;
    report("ERROR: couldn't save file to " + path + ": " + reason);
    return false;
}

template <class T>
void AudioFile<T>::clearAudioBuffer()
{
    // The channels keep their memory: an object reused for the next sound of similar
    // length refills pages already in place instead of faulting in fresh ones.
    for (auto& channel : samples)
        channel.clear();
}

// Limits to [minValue, maxValue]; NaN becomes 0 so that no conversion sees it.
template <class T>
T AudioFile<T>::clamp(T value, T minValue, T maxValue)
{
    if (std::isnan(value))
        return T(0);
    return std::min(std::max(value, minValue), maxValue);
}

// The integer decoders scale by powers of two: every result is exact in single precision,
// so T's own arithmetic gives the same value as double's.
template <class T>
T AudioFile<T>::singleByteToSample(std::uint8_t sample)
{
    return static_cast<T>(static_cast<int>(sample) - 128) * T(0.0078125);
}

// `value` holds 24 bits; sign-extended from bit 23.
template <class T>
T AudioFile<T>::twentyFourBitIntToSample(std::int32_t value)
{
    const auto extended = static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << 8) >> 8;
    return static_cast<T>(extended) * T(1.0 / 8388608.0);
}

namespace {

// Converts `numFrames` frames of `Channels` interleaved samples of `BytesPerSample` bytes
// into the channels from frame `firstFrame` on, a channel at a time: constant strides, a
// loop left to the vectoriser.
template <int Channels, int BytesPerSample, class T, class ReadSample>
void convertFrames(std::vector<std::vector<T>>& channels, const std::uint8_t* bytes, std::size_t firstFrame,
                   std::size_t numFrames, ReadSample read)
{
    constexpr std::size_t bytesPerFrame = static_cast<std::size_t>(BytesPerSample) * Channels;
    for (int c = 0; c < Channels; ++c) {
        T* out = channels[static_cast<std::size_t>(c)].data() + firstFrame;
        const std::uint8_t* p = bytes + static_cast<std::size_t>(c) * BytesPerSample;
        for (std::size_t i = 0; i < numFrames; ++i)
            out[i] = read(p + i * bytesPerFrame);
    }
}

// convertFrames for the channel count, mono or stereo; false for any other.
template <int BytesPerSample, class T, class ReadSample>
bool convertChannels(std::vector<std::vector<T>>& channels, const std::uint8_t* bytes, std::size_t firstFrame,
                     std::size_t numFrames, ReadSample read)
{
    if (channels.size() == 2)
        convertFrames<2, BytesPerSample>(channels, bytes, firstFrame, numFrames, read);
    else if (channels.size() == 1)
        convertFrames<1, BytesPerSample>(channels, bytes, firstFrame, numFrames, read);
    else
        return false;
    return true;
}

}  // namespace

template <class T>
template <class ReadSample>
void AudioFile<T>::readFrames(const std::uint8_t* bytes, std::size_t firstFrame, std::size_t numFrames,
                              int bytesPerFrame, int bytesPerSample, ReadSample read)
{
    // The decoders accept mono and stereo samples of 1 to 4 bytes, in frames of one
    // sample per channel; anything else takes the general loop.
    bool converted = false;
    if (bytesPerFrame == bytesPerSample * static_cast<int>(samples.size())) {
        switch (bytesPerSample) {
        case 1:
            converted = convertChannels<1>(samples, bytes, firstFrame, numFrames, read);
            break;
        case 2:
            converted = convertChannels<2>(samples, bytes, firstFrame, numFrames, read);
            break;
        case 3:
            converted = convertChannels<3>(samples, bytes, firstFrame, numFrames, read);
            break;
        case 4:
            converted = convertChannels<4>(samples, bytes, firstFrame, numFrames, read);
            break;
        default: break;
        }
    }
    if (!converted) {
        for (std::size_t c = 0; c < samples.size(); ++c) {
            T* out = samples[c].data() + firstFrame;
            const std::uint8_t* p = bytes + c * static_cast<std::size_t>(bytesPerSample);
            for (std::size_t i = 0; i < numFrames; ++i, p += bytesPerFrame)
                out[i] = read(p);
        }
    }
}

template <class T>
template <class WriteSample>
void AudioFile<T>::writeFrames(std::vector<std::uint8_t>& fileData, int bytesPerSample, WriteSample write) const
{
    const std::size_t channels = samples.size();
    const std::size_t frames = static_cast<std::size_t>(getNumSamplesPerChannel());
    const std::size_t start = fileData.size();
    fileData.resize(start + frames * channels * static_cast<std::size_t>(bytesPerSample));
    for (std::size_t c = 0; c < channels; ++c) {
        std::uint8_t* p = fileData.data() + start + c * static_cast<std::size_t>(bytesPerSample);
        const std::size_t stride = channels * static_cast<std::size_t>(bytesPerSample);
        for (std::size_t i = 0; i < frames; ++i, p += stride)
            write(p, samples[c][i]);
    }
}

template <class T>
T AudioFile<T>::sixteenBitIntToSample(std::int16_t sample)
{
    return static_cast<T>(sample) * T(1.0 / 32768.0);
}

template <class T>
std::uint8_t AudioFile<T>::sampleToSingleByte(T sample)
{
    if constexpr (std::is_same_v<T, float>) {
        const auto half = static_cast<float>((clamp(sample, -1.0f, 1.0f) + 1.0) * 0.5);  // rounded to single precision
        return static_cast<std::uint8_t>(static_cast<double>(half) * 255.0);
    } else {
        return static_cast<std::uint8_t>((clamp(sample, -1.0, 1.0) + 1.0) * 0.5 * 255.0);
    }
}

template <class T>
std::int16_t AudioFile<T>::sampleToSixteenBitInt(T sample)
{
    return static_cast<std::int16_t>(static_cast<double>(clamp(sample, T(-1), T(1))) * 32767.0);
}

// x * 2^23 in single precision, truncated toward zero and limited to the signed 24-bit range.
template <class T>
std::int32_t AudioFile<T>::sampleToTwentyFourBitInt(T sample)
{
    const float scaled = static_cast<float>(sample) * 8388608.0f;
    if (std::isnan(scaled))
        return 0;
    if (scaled >= 8388607.0f)
        return 8388607;
    if (scaled <= -8388608.0f)
        return -8388608;
    return static_cast<std::int32_t>(scaled);
}

template class AudioFile<float>;
template class AudioFile<double>;
