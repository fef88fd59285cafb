// The WAV and AIFF codec: exact sample values at every depth, the sampler chunk, refusals
// and their messages, and agreement with libsndfile in both directions.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "AudioFile.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::filesystem::path temporaryFile(const std::string& name)
{
    const auto folder = std::filesystem::temp_directory_path() / "audio_file_tests";
    std::filesystem::create_directories(folder);
    return folder / name;
}

// A minimal WAV: RIFF header, fmt chunk and data chunk, with the given fields.
Bytes makeWave(int audioFormat, int channels, int bitDepth, const Bytes& sampleBytes, std::uint32_t rate = 48000,
               const Bytes& extraChunk = {})
{
    Bytes file;
    const auto put32 = [&file](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            file.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const auto put16 = [&file](std::uint32_t v) {
        file.push_back(static_cast<std::uint8_t>(v));
        file.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    const auto putText = [&file](const char* text) { file.insert(file.end(), text, text + 4); };
    putText("RIFF");
    put32(static_cast<std::uint32_t>(36 + extraChunk.size() + sampleBytes.size()));
    putText("WAVE");
    putText("fmt ");
    put32(16);
    put16(audioFormat);
    put16(channels);
    put32(rate);
    put32(rate * channels * bitDepth / 8);
    put16(channels * bitDepth / 8);
    put16(bitDepth);
    file.insert(file.end(), extraChunk.begin(), extraChunk.end());
    putText("data");
    put32(static_cast<std::uint32_t>(sampleBytes.size()));
    file.insert(file.end(), sampleBytes.begin(), sampleBytes.end());
    return file;
}

// Runs `action` and returns what it printed on standard output.
template <class Action>
std::string printedBy(Action action)
{
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
}

AudioFile<float> monoFile(std::vector<float> values, int bitDepth, std::uint32_t rate = 48000)
{
    AudioFile<float> file;
    file.setAudioBuffer({std::move(values)});
    file.setBitDepth(bitDepth);
    file.setSampleRate(rate);
    return file;
}

// Reads a file with libsndfile as float frames (interleaved).
std::vector<float> readWithSndfile(const std::filesystem::path& path, int& channels)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return {};
    sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    std::vector<float> frames(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    channels = info.channels;
    return frames;
}

}  // namespace

TEST(AudioFileTable, HoldsNineteenRatesAsExtendedPrecision)
{
    EXPECT_EQ(aiffSampleRateTable.size(), 19u);
    EXPECT_EQ(aiffSampleRateTable.at(8000), (std::array<std::uint8_t, 10>{0x40, 0x0B, 0xFA, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(aiffSampleRateTable.at(44100), (std::array<std::uint8_t, 10>{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(aiffSampleRateTable.at(5644800)[0], 0x40);
}

TEST(AudioFileDecode, ExtremesOfEveryWaveDepth)
{
    AudioFile<float> file;
    ASSERT_TRUE(file.loadFromMemory(makeWave(1, 1, 24, {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F})));
    EXPECT_EQ(file.samples[0], (std::vector<float>{-1.0f, 8388607.0f / 8388608.0f}));
    ASSERT_TRUE(file.loadFromMemory(makeWave(1, 1, 16, {0x00, 0x80, 0xFF, 0x7F})));
    EXPECT_EQ(file.samples[0], (std::vector<float>{-1.0f, 32767.0f / 32768.0f}));
    ASSERT_TRUE(file.loadFromMemory(makeWave(1, 1, 8, {0, 128, 255})));
    EXPECT_EQ(file.samples[0], (std::vector<float>{-1.0f, 0.0f, 127.0f / 128.0f}));
    // 32-bit integer PCM is read as integers, 32-bit float as floats.
    ASSERT_TRUE(file.loadFromMemory(makeWave(1, 1, 32, {0, 0, 0, 0x80, 0, 0, 0, 0x40})));
    EXPECT_EQ(file.samples[0], (std::vector<float>{-1.0f, 0.5f}));
    ASSERT_TRUE(file.loadFromMemory(makeWave(3, 1, 32, {0, 0, 0xC0, 0x3F})));
    EXPECT_EQ(file.samples[0], (std::vector<float>{1.5f}));
    EXPECT_EQ(file.getLoopStart(), 0xFFFFFFFFu);
}

TEST(AudioFileDecode, IntegerSamplesAreTheirExactFractions)
{
    // Every 16-bit value and every 251st 24-bit one with the extremes and the sign change,
    // in both byte orders, as float and as double: value / 2^15 or / 2^23, exact in both.
    for (const int depth : {16, 24}) {
        const std::int32_t count = 1 << depth;
        std::vector<std::int32_t> codes;
        for (std::int32_t v = 0; v < count; v += depth == 16 ? 1 : 251)
            codes.push_back(v);
        for (const std::int32_t edge : {count / 2 - 1, count / 2, count - 1})
            codes.push_back(edge);
        Bytes little, big;
        for (const std::int32_t v : codes)
            for (int i = 0; i < depth / 8; ++i) {
                little.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
                big.push_back(static_cast<std::uint8_t>(v >> (depth - 8 - 8 * i)));
            }
        AudioFile<float> source;
        source.setAudioBuffer({std::vector<float>(codes.size(), 0.0f)});
        source.setBitDepth(depth);
        source.setSampleRate(48000);
        Bytes aiff = source.encode(AudioFileFormat::Aiff);
        std::copy(big.begin(), big.end(), aiff.end() - static_cast<std::ptrdiff_t>(big.size()));

        AudioFile<float> narrow, narrowAiff;
        AudioFile<double> wide;
        ASSERT_TRUE(narrow.loadFromMemory(makeWave(1, 1, depth, little)));
        ASSERT_TRUE(wide.loadFromMemory(makeWave(1, 1, depth, little)));
        ASSERT_TRUE(narrowAiff.loadFromMemory(aiff));
        const double scale = 1.0 / static_cast<double>(count / 2);
        for (std::size_t k = 0; k < codes.size(); ++k) {
            const std::int32_t value = codes[k] < count / 2 ? codes[k] : codes[k] - count;
            ASSERT_EQ(narrow.samples[0][k], static_cast<float>(value * scale)) << depth << " " << value;
            ASSERT_EQ(narrowAiff.samples[0][k], static_cast<float>(value * scale)) << depth << " " << value;
            ASSERT_EQ(wide.samples[0][k], value * scale) << depth << " " << value;
        }
    }
}

TEST(AudioFileDecode, StereoZeroFramesAndTheFirstDataTextAnywhere)
{
    AudioFile<float> file;
    ASSERT_TRUE(file.loadFromMemory(makeWave(1, 2, 16, {})));
    EXPECT_TRUE(file.isStereo());
    EXPECT_EQ(file.getNumSamplesPerChannel(), 0);

    // "data" inside an earlier LIST chunk is taken as the data chunk: its following four
    // bytes are read as the size (here 2 bytes, one 16-bit frame: 0x4000 = 0.5).
    const Bytes list = {'L', 'I', 'S', 'T', 10, 0, 0, 0, 'd', 'a', 't', 'a', 2, 0, 0, 0, 0x00, 0x40};
    ASSERT_TRUE(file.loadFromMemory(makeWave(1, 1, 16, {0xFF, 0x7F, 0xFF, 0x7F}, 48000, list)));
    EXPECT_EQ(file.samples[0], (std::vector<float>{0.5f}));
}

// A file read from disk in pieces decodes exactly as the same bytes decoded whole: every
// depth and container, frames across piece boundaries, the first "smpl" anywhere (across a
// boundary, inside the samples, after them, too near the end to hold its loop), and headers
// that lie beyond the file's start.
TEST(AudioFileDecode, ReadingInPiecesMatchesDecodingTheWholeFile)
{
    std::uint32_t seed = 12345;
    const auto randomBytes = [&seed](std::size_t count) {
        Bytes bytes(count);
        for (std::uint8_t& byte : bytes) {
            seed = seed * 1664525u + 1013904223u;
            byte = static_cast<std::uint8_t>(seed >> 24);
        }
        return bytes;
    };
    const auto sampler = [](Bytes& file, std::size_t at, std::uint32_t start, std::uint32_t end) {
        Bytes chunk(60, 0);
        std::memcpy(chunk.data(), "smpl", 4);
        chunk[36] = 1;  // one loop
        for (int i = 0; i < 4; ++i) {
            chunk[52 + i] = static_cast<std::uint8_t>(start >> (8 * i));
            chunk[56 + i] = static_cast<std::uint8_t>(end >> (8 * i));
        }
        const std::size_t fits = std::min<std::size_t>(60, file.size() - at);
        std::copy_n(chunk.begin(), fits, file.begin() + static_cast<std::ptrdiff_t>(at));
    };

    std::vector<std::pair<std::string, Bytes>> files;
    constexpr std::size_t frames = 70001;
    for (const int channels : {1, 2}) {
        for (const auto& [format, depth] : {std::pair{1, 8}, {1, 16}, {1, 24}, {1, 32}, {3, 32}})
            files.emplace_back("wav" + std::to_string(depth) + "/" + std::to_string(format) + "x" + std::to_string(channels),
                               makeWave(format, channels, depth, randomBytes(frames * channels * depth / 8)));
        for (const int depth : {8, 16, 24}) {
            AudioFile<float> sound;
            AudioFile<float>::AudioBuffer buffer(static_cast<std::size_t>(channels));
            for (auto& channel : buffer)
                for (std::size_t i = 0; i < frames; ++i)
                    channel.push_back(std::sin(static_cast<float>(i) * 0.001f * static_cast<float>(depth)));
            sound.setAudioBuffer(buffer);
            sound.setBitDepth(depth);
            sound.setSampleRate(44100);
            files.emplace_back("aiff" + std::to_string(depth) + "x" + std::to_string(channels), sound.encode(AudioFileFormat::Aiff));
        }
    }
    // Its first piece is the 64 KB of headers; the second ends at byte 327 677.
    const Bytes stereo16 = makeWave(1, 2, 16, randomBytes(400000));
    for (const std::size_t at : {65530, 65532, 65533, 65534, 65536, 100000, 327673, 327674, 327675, 327677}) {
        Bytes file = stereo16;
        sampler(file, at, 10, 20);
        files.emplace_back("smpl at " + std::to_string(at), file);
    }
    for (const std::size_t fromEnd : {60, 59, 5, 4}) {
        Bytes file = stereo16;
        const Bytes tail = randomBytes(100);
        file.insert(file.end(), tail.begin(), tail.end());
        sampler(file, file.size() - fromEnd, 30, 40);
        files.emplace_back("smpl " + std::to_string(fromEnd) + " bytes from the end", file);
    }
    {
        // An earlier "smpl" without loops wins over a later one with them.
        Bytes file = stereo16;
        sampler(file, 70000, 1, 2);
        file[70000 + 36] = 0;
        sampler(file, 90000, 3, 4);
        files.emplace_back("first smpl without a loop", file);
    }
    {
        // A 70 KB chunk before "fmt ": the headers lie beyond the first piece.
        Bytes junk = {'J', 'U', 'N', 'K', 0x70, 0x11, 0x01, 0};
        const Bytes filler(70000, 0);
        junk.insert(junk.end(), filler.begin(), filler.end());
        Bytes file = makeWave(1, 1, 16, randomBytes(1000));
        file.insert(file.begin() + 12, junk.begin(), junk.end());
        files.emplace_back("headers past the start", file);
    }

    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const auto path = temporaryFile("pieces.bin");
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        AudioFile<float> whole, pieces;
        bool wholeLoaded = false, piecesLoaded = false;
        const std::string wholePrinted = printedBy([&] { wholeLoaded = whole.loadFromMemory(bytes); });
        const std::string piecesPrinted = printedBy([&] { piecesLoaded = pieces.load(path.string()); });
        ASSERT_TRUE(wholeLoaded);
        if (name.starts_with("smpl at")) {
            EXPECT_EQ(whole.getLoopStart(), 10u);
        }
        EXPECT_EQ(piecesLoaded, wholeLoaded);
        EXPECT_EQ(piecesPrinted, wholePrinted);
        EXPECT_EQ(pieces.getSampleRate(), whole.getSampleRate());
        EXPECT_EQ(pieces.getBitDepth(), whole.getBitDepth());
        EXPECT_EQ(pieces.getLoopStart(), whole.getLoopStart());
        EXPECT_EQ(pieces.getLoopEnd(), whole.getLoopEnd());
        // Bit for bit: random float bytes hold NaNs.
        ASSERT_EQ(pieces.samples.size(), whole.samples.size());
        for (std::size_t c = 0; c < whole.samples.size(); ++c)
            EXPECT_TRUE(pieces.samples[c].size() == whole.samples[c].size() &&
                        std::memcmp(pieces.samples[c].data(), whole.samples[c].data(),
                                    whole.samples[c].size() * sizeof(float)) == 0);
        std::filesystem::remove(path);
    }
}

TEST(AudioFileEncode, ExactValuesAtEveryDepth)
{
    const auto wave = [](std::vector<float> values, int bitDepth) {
        auto file = monoFile(std::move(values), bitDepth);
        const Bytes bytes = file.encode(AudioFileFormat::Wave);
        return Bytes(bytes.begin() + 44, bytes.end());
    };
    EXPECT_EQ(wave({1.0f, -2.0f, 0.5f}, 16), (Bytes{0xFF, 0x7F, 0x01, 0x80, 0xFF, 0x3F}));
    EXPECT_EQ(wave({0.0f, 1.0f, -1.0f}, 8), (Bytes{127, 255, 0}));
    // 24 bits: limited to the signed range instead of wrapping at +1.0.
    EXPECT_EQ(wave({1.0f, -1.0f, 0.5f}, 24), (Bytes{0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x00, 0x00, 0x40}));
    EXPECT_EQ(wave({1.5f}, 32), (Bytes{0, 0, 0xC0, 0x3F}));
    // NaN writes silence rather than an undefined conversion.
    EXPECT_EQ(wave({std::nanf("")}, 16), (Bytes{0, 0}));

    auto aiff = monoFile({0.0f, 1.0f}, 8, 44100);
    const Bytes bytes = aiff.encode(AudioFileFormat::Aiff);
    ASSERT_EQ(bytes.size(), 54u + 2u);
    EXPECT_EQ(Bytes(bytes.begin() + 54, bytes.end()), (Bytes{0xFF, 0x7F}));  // -1 and 127
    EXPECT_EQ(Bytes(bytes.begin() + 28, bytes.begin() + 38),
              (Bytes{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}));  // COMM + 16
}

TEST(AudioFileEncode, SamplerChunkOnlyWithBothLoopPointsAndItRoundTrips)
{
    auto file = monoFile(std::vector<float>(10, 0.25f), 16);
    file.setLoopStart(100);
    Bytes bytes = file.encode(AudioFileFormat::Wave);
    EXPECT_EQ(bytes.size(), 44u + 20u);
    EXPECT_EQ(bytes[4], 20 + 36);  // RIFF size: data size + 36

    file.setLoopEnd(200);
    const auto path = temporaryFile("loop.wav");
    ASSERT_TRUE(file.save(path.string(), AudioFileFormat::Wave));
    bytes = file.encode(AudioFileFormat::Wave);
    EXPECT_EQ(bytes.size(), 44u + 68u + 20u);
    EXPECT_EQ(bytes[4], 20 + 104);
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "smpl");

    AudioFile<float> loaded;
    ASSERT_TRUE(loaded.load(path.string()));
    EXPECT_EQ(loaded.getLoopStart(), 100u);
    EXPECT_EQ(loaded.getLoopEnd(), 200u);
    EXPECT_EQ(loaded.samples[0], std::vector<float>(10, 8191.0f / 32768.0f));  // 0.25 x 32767, truncated

    // An AIFF carries no loop: loading one drops the points of the previous file.
    auto aiff = monoFile({0.5f}, 16, 48000);
    const auto aiffPath = temporaryFile("noloop.aiff");
    ASSERT_TRUE(aiff.save(aiffPath.string(), AudioFileFormat::Aiff));
    ASSERT_TRUE(loaded.load(aiffPath.string()));
    EXPECT_EQ(loaded.getLoopStart(), 0xFFFFFFFFu);
}

TEST(AudioFileRefusals, EachPrintsItsDiagnosticAndKeepsTheSamples)
{
    AudioFile<float> file;
    ASSERT_TRUE(file.loadFromMemory(makeWave(1, 1, 16, {0x00, 0x40})));
    const auto refused = [&file](const Bytes& bytes) {
        return printedBy([&] { EXPECT_FALSE(file.loadFromMemory(bytes)); });
    };
    EXPECT_EQ(refused(makeWave(1, 3, 16, {})),
              "ERROR: this WAV file seems to be neither mono nor stereo (perhaps multi-track, or corrupted?)\n");
    EXPECT_EQ(refused(makeWave(65534, 1, 16, {})),
              "ERROR: this is a compressed .WAV file and this library does not support decoding them at present\n");
    EXPECT_EQ(refused(makeWave(1, 1, 12, {})), "ERROR: this file has a bit depth that is not 8, 16, 24 or 32 bits\n");
    EXPECT_EQ(refused(Bytes{'O', 'g', 'g', 'S', 0, 0}), "Audio File Type: Error\n");
    EXPECT_EQ(refused(Bytes{'R', 'I', 'F', 'F', 'd', 'a'}), "ERROR: this doesn't seem to be a valid .WAV file\n");
    Bytes inconsistent = makeWave(1, 1, 16, {});
    inconsistent[28] ^= 1;  // bytes per second
    EXPECT_EQ(refused(inconsistent), "ERROR: the header data in this WAV file seems to be inconsistent\n");
    // A data chunk announcing more bytes than the file holds is refused, not read past the end.
    Bytes truncated = makeWave(1, 1, 16, {1, 2, 3, 4});
    truncated.erase(truncated.end() - 2, truncated.end());
    EXPECT_EQ(refused(truncated), "ERROR: this .WAV file is shorter than its data chunk announces\n");
    EXPECT_EQ(file.samples[0], (std::vector<float>{0.5f}));
    EXPECT_EQ(refused(Bytes{'R', 'I', 'F', 'F'}), "ERROR: this doesn't seem to be a valid .WAV file\n");

    EXPECT_EQ(printedBy([&] { EXPECT_FALSE(file.load("/nonexistent/a.wav")); }),
              "ERROR: File doesn't exist or otherwise can't load file\n/nonexistent/a.wav\n");
    // A folder opens like a file and reports an enormous size; a FIFO would wait for a
    // writer: both refused, saying what they are.
    const std::string folder = std::filesystem::temp_directory_path().string();
    EXPECT_EQ(printedBy([&] { EXPECT_FALSE(file.load(folder)); }),
              "ERROR: cannot read '" + folder + "': it is a folder, not a regular file\n");
    const auto fifo = temporaryFile("fifo.wav");
    std::filesystem::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(printedBy([&] { EXPECT_FALSE(file.load(fifo.string())); }),
              "ERROR: cannot read '" + fifo.string() + "': it is a FIFO, not a regular file\n");
    std::filesystem::remove(fifo);
    EXPECT_EQ(file.samples[0], (std::vector<float>{0.5f}));
}

TEST(AudioFileRefusals, DataSizesBeyondTheSignedRangeAreLengthsToo)
{
    // 0x80000000 and more announce more samples than the file holds: refused like any
    // other short file, not loaded as an empty sound.
    for (const std::uint32_t size : {0x80000000u, 0xFFFFFFFFu, 0xFFFFFFFEu, 0x80000002u}) {
        Bytes wave = makeWave(1, 1, 16, {1, 2, 3, 4});
        for (int i = 0; i < 4; ++i)
            wave[40 + i] = static_cast<std::uint8_t>(size >> (8 * i));
        AudioFile<float> file;
        EXPECT_EQ(printedBy([&] { EXPECT_FALSE(file.loadFromMemory(wave)); }),
                  "ERROR: this .WAV file is shorter than its data chunk announces\n")
            << size;
        // The same from disk, where the header is checked before the file is read whole.
        const auto path = temporaryFile("huge_data.wav");
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(wave.data()), wave.size());
        EXPECT_EQ(printedBy([&] { EXPECT_FALSE(file.load(path.string())); }),
                  "ERROR: this .WAV file is shorter than its data chunk announces\n");
    }
}

TEST(AudioFileRefusals, ZeroHertzIsNeitherReadNorWritten)
{
    AudioFile<float> file;
    EXPECT_EQ(printedBy([&] { EXPECT_FALSE(file.loadFromMemory(makeWave(1, 1, 16, {1, 2}, 0))); }),
              "ERROR: this WAV file has a sample rate of 0\n");
    auto silent = monoFile({0.5f}, 16, 0);
    const auto path = temporaryFile("zero_hertz.wav");
    std::ofstream(path, std::ios::binary) << "previous";
    EXPECT_EQ(printedBy([&] { EXPECT_FALSE(silent.save(path.string())); }),
              "ERROR: couldn't save file to " + path.string() + ": the sample rate is 0\n");
    std::ifstream kept(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "previous");
}

TEST(AudioFileRefusals, HugeFilesThatAreNoSoundAreRefusedFromTheirHeader)
{
    // 3 GB of holes: refused after its first bytes, without a buffer for the whole file.
    const auto path = temporaryFile("sparse.wav");
    {
        std::ofstream(path, std::ios::binary).put('\0');
    }
    std::filesystem::resize_file(path, 3'000'000'000ull);
    AudioFile<float> file;
    rlimit previous{};
    getrlimit(RLIMIT_AS, &previous);
#if defined(__SANITIZE_ADDRESS__)
    const bool bounded = false;  // the sanitizer's reservations need the whole address space
#else
    rlimit limited = previous;
    limited.rlim_cur = 2'000'000'000ull;  // no room for the whole file
    const bool bounded = previous.rlim_cur == RLIM_INFINITY && setrlimit(RLIMIT_AS, &limited) == 0;
#endif
    const std::string printed = printedBy([&] { EXPECT_FALSE(file.load(path.string())); });
    if (bounded)
        setrlimit(RLIMIT_AS, &previous);
    EXPECT_EQ(printed, "Audio File Type: Error\n");
    std::filesystem::remove(path);
}

TEST(AudioFileSaving, AFailedWriteKeepsThePreviousFile)
{
    const auto folder = temporaryFile("keep");
    std::filesystem::create_directories(folder);
    const auto path = folder / "kept.wav";
    std::ofstream(path, std::ios::binary) << "previous";
    auto big = monoFile(std::vector<float>(200000, 0.25f), 16, 48000);
    // A file-size limit stands in for a full disk: the write fails part way.
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limited = previous;
    limited.rlim_cur = 100000;
    std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const std::string printed = printedBy([&] { EXPECT_FALSE(big.save(path.string())); });
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(printed, "ERROR: couldn't save file to " + path.string() + ": File too large\n");
    std::ifstream kept(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "previous");
    // Nothing else is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    // A folder that does not exist: refused, nothing created.
    EXPECT_FALSE(big.save((folder / "no" / "x.wav").string()));
}

TEST(AudioFileRefusals, AiffLimits)
{
    auto unsupportedRate = monoFile({0.5f}, 16, 44000);
    EXPECT_EQ(printedBy([&] { EXPECT_FALSE(unsupportedRate.save("/tmp/x.aiff", AudioFileFormat::Aiff)); }),
              "ERROR: couldn't save file to /tmp/x.aiff\n");
    auto thirtyTwo = monoFile({0.5f}, 32, 44100);
    EXPECT_EQ(printedBy([&] { EXPECT_FALSE(thirtyTwo.save("/tmp/x.aiff", AudioFileFormat::Aiff)); }), "");
    EXPECT_FALSE(thirtyTwo.save("/tmp/x.wav", AudioFileFormat::NotLoaded));

    // A 32-bit AIFF header is refused on load.
    auto sixteen = monoFile({0.5f}, 16, 44100);
    Bytes aiff = sixteen.encode(AudioFileFormat::Aiff);
    aiff[27] = 32;  // bit depth (COMM + 14, low byte)
    AudioFile<float> file;
    EXPECT_EQ(printedBy([&] { EXPECT_FALSE(file.loadFromMemory(aiff)); }),
              "ERROR: this file has a bit depth that is not 8, 16 or 24 bits\n");
    aiff = sixteen.encode(AudioFileFormat::Aiff);
    aiff.pop_back();
    EXPECT_EQ(printedBy([&] { EXPECT_FALSE(file.loadFromMemory(aiff)); }),
              "ERROR: the metadatafor this file doesn't seem right\n");
}

TEST(AudioFileCrossCheck, FilesWeWriteReadTheSameInLibsndfile)
{
    // Long enough to be converted in several stretches, the last one partial.
    constexpr std::size_t frames = 2500;
    std::vector<float> left, right;
    for (std::size_t i = 0; i < frames; ++i) {
        left.push_back(std::sin(static_cast<float>(i) * 0.05f) * 0.9f);
        right.push_back(static_cast<float>(i % 200) / 100.0f - 1.0f);
    }
    const struct {
        AudioFileFormat format;
        int bitDepth;
        const char* name;
    } cases[] = {{AudioFileFormat::Wave, 16, "w16.wav"}, {AudioFileFormat::Wave, 24, "w24.wav"},
                 {AudioFileFormat::Wave, 32, "w32.wav"}, {AudioFileFormat::Aiff, 16, "a16.aiff"},
                 {AudioFileFormat::Aiff, 24, "a24.aiff"}};
    for (const auto& c : cases) {
        for (const int channelCount : {1, 2}) {
            AudioFile<float> ours;
            ours.setAudioBuffer(channelCount == 2 ? AudioFile<float>::AudioBuffer{left, right}
                                                  : AudioFile<float>::AudioBuffer{right});
            ours.setBitDepth(c.bitDepth);
            ours.setSampleRate(48000);
            const auto path = temporaryFile(c.name);
            ASSERT_TRUE(ours.save(path.string(), c.format)) << c.name;

            AudioFile<float> reloaded;
            ASSERT_TRUE(reloaded.load(path.string()));
            int channels = 0;
            const std::vector<float> theirs = readWithSndfile(path, channels);
            ASSERT_EQ(channels, channelCount) << c.name;
            ASSERT_EQ(reloaded.getNumChannels(), channelCount) << c.name;
            ASSERT_EQ(theirs.size(), frames * static_cast<std::size_t>(channelCount)) << c.name;
            ASSERT_EQ(reloaded.getNumSamplesPerChannel(), static_cast<int>(frames)) << c.name;
            for (std::size_t i = 0; i < frames; ++i)
                for (int ch = 0; ch < channelCount; ++ch)
                    ASSERT_EQ(theirs[static_cast<std::size_t>(channelCount) * i + static_cast<std::size_t>(ch)],
                              reloaded.samples[static_cast<std::size_t>(ch)][i])
                        << c.name << " channel " << ch << " frame " << i;
        }
    }
}

TEST(AudioFileCrossCheck, FilesLibsndfileWritesLoadToTheSameSamples)
{
    const struct {
        int format;
        const char* name;
    } cases[] = {{SF_FORMAT_WAV | SF_FORMAT_PCM_16, "s16.wav"}, {SF_FORMAT_WAV | SF_FORMAT_PCM_24, "s24.wav"},
                 {SF_FORMAT_WAV | SF_FORMAT_FLOAT, "sf.wav"},   {SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "s16.aiff"},
                 {SF_FORMAT_AIFF | SF_FORMAT_PCM_24, "s24.aiff"}};
    std::vector<float> frames(2 * 500);
    for (std::size_t i = 0; i < frames.size(); ++i)
        frames[i] = std::cos(static_cast<float>(i) * 0.013f) * 0.8f;
    for (const auto& c : cases) {
        const auto path = temporaryFile(c.name);
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = c.format;
        SNDFILE* out = sf_open(path.c_str(), SFM_WRITE, &info);
        ASSERT_NE(out, nullptr) << sf_strerror(nullptr);
        sf_writef_float(out, frames.data(), 500);
        sf_close(out);

        int channels = 0;
        const std::vector<float> theirs = readWithSndfile(path, channels);
        AudioFile<float> ours;
        ASSERT_TRUE(ours.load(path.string())) << c.name;
        ASSERT_EQ(ours.getNumChannels(), 2);
        ASSERT_EQ(ours.getNumSamplesPerChannel(), 500) << c.name;
        EXPECT_EQ(ours.getSampleRate(), 44100u);
        for (std::size_t i = 0; i < 500; ++i) {
            EXPECT_EQ(ours.samples[0][i], theirs[2 * i]) << c.name << " frame " << i;
            EXPECT_EQ(ours.samples[1][i], theirs[2 * i + 1]) << c.name << " frame " << i;
        }
    }
}
