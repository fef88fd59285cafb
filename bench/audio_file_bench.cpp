// Load and save of stereo 48 kHz files (16-bit, 24-bit and float WAV, 16- and 24-bit AIFF;
// 1 s and 60 s): our codec against libsndfile reading to (and writing from) float in the
// same process. A fresh load starts with the file out of the page cache (dropped with
// posix_fadvise before every iteration, outside the timing); a reload finds it cached.
// Times are wall-clock: a fresh load waits for the disk.
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <sndfile.h>

#include "AudioFile.h"
#include "bench_support.h"

namespace {

constexpr int sampleRate = 48000;

struct Format {
    const char* name;
    AudioFileFormat container;
    int bitDepth;
};

const Format formats[] = {
    {"wav16", AudioFileFormat::Wave, 16}, {"wav24", AudioFileFormat::Wave, 24}, {"wavfloat", AudioFileFormat::Wave, 32},
    {"aiff16", AudioFileFormat::Aiff, 16}, {"aiff24", AudioFileFormat::Aiff, 24},
};
const int lengths[] = {1, 60};  // seconds

std::filesystem::path fileFor(const Format& format, int seconds)
{
    return std::filesystem::temp_directory_path() /
           ("audio_file_bench_" + std::string(format.name) + "_" + std::to_string(seconds) + "s" +
            (format.container == AudioFileFormat::Wave ? ".wav" : ".aiff"));
}

AudioFile<float> makeSound(int seconds)
{
    const int frames = seconds * sampleRate;
    AudioFile<float> f;
    std::vector<float> left(static_cast<std::size_t>(frames)), right(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        left[static_cast<std::size_t>(i)] = std::sin(static_cast<float>(i) * 0.01f) * 0.7f;
        right[static_cast<std::size_t>(i)] = std::cos(static_cast<float>(i) * 0.013f) * 0.7f;
    }
    f.setAudioBuffer({left, right});
    f.setSampleRate(sampleRate);
    return f;
}

// Writes the file once per run and flushes it to the disk, so that its pages in the
// page cache are clean and can be dropped.
const std::filesystem::path& prepare(const Format& format, int seconds)
{
    static std::map<std::string, std::filesystem::path> written;
    const std::filesystem::path path = fileFor(format, seconds);
    auto [entry, added] = written.emplace(path.string(), path);
    if (added) {
        AudioFile<float> sound = makeSound(seconds);
        sound.setBitDepth(format.bitDepth);
        sound.save(path.string(), format.container);
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
    return entry->second;
}

void dropFromPageCache(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// Who loads: our codec; libsndfile into one interleaved array; libsndfile, then the
// frames split into one array per channel, the form our codec delivers.
enum class Loader { Ours, Sndfile, SndfileSplit };

void loadWithSndfile(const std::filesystem::path& path, bool split)
{
    // Like our loader, each load produces a new sound in memory.
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    const auto frames = static_cast<std::size_t>(info.frames), channels = static_cast<std::size_t>(info.channels);
    std::vector<float> interleaved(frames * channels);
    benchmark::DoNotOptimize(sf_readf_float(file, interleaved.data(), info.frames));
    sf_close(file);
    if (split) {
        std::vector<std::vector<float>> samples(channels, std::vector<float>(frames));
        for (std::size_t c = 0; c < channels; ++c)
            for (std::size_t i = 0; i < frames; ++i)
                samples[c][i] = interleaved[i * channels + c];
        benchmark::DoNotOptimize(samples.data());
    }
}

// `fresh`: the file leaves the page cache before each load. Ours loads into a new object
// when fresh, into one reused object (as the loader modules do) when reloading.
void BM_Load(benchmark::State& state, const Format& format, int seconds, Loader loader, bool fresh)
{
    const std::filesystem::path& path = prepare(format, seconds);
    AudioFile<float> reused;
    for (auto _ : state) {
        if (fresh) {
            state.PauseTiming();
            dropFromPageCache(path);
            state.ResumeTiming();
        }
        if (loader != Loader::Ours) {
            loadWithSndfile(path, loader == Loader::SndfileSplit);
        } else if (fresh) {
            AudioFile<float> file;
            benchmark::DoNotOptimize(file.load(path.string()));
        } else {
            benchmark::DoNotOptimize(reused.load(path.string()));
        }
    }
}

void BM_OursSave(benchmark::State& state, const Format& format)
{
    AudioFile<float> sound = makeSound(60);
    sound.setBitDepth(format.bitDepth);
    const std::string path = fileFor(format, 60).string() + ".saved";
    for (auto _ : state)
        benchmark::DoNotOptimize(sound.save(path, format.container));
    std::filesystem::remove(path);
}

// `synced`: the file is also flushed to the disk after closing, as our save does before
// it renames its temporary file over the target.
void BM_SndfileSave(benchmark::State& state, const Format& format, bool synced)
{
    const AudioFile<float> source = makeSound(60);
    const std::size_t frames = static_cast<std::size_t>(source.getNumSamplesPerChannel());
    std::vector<float> interleaved(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        interleaved[2 * i] = source.samples[0][i];
        interleaved[2 * i + 1] = source.samples[1][i];
    }
    const auto path = std::filesystem::temp_directory_path() / "audio_file_bench_sndfile.wav";
    for (auto _ : state) {
        SF_INFO info{};
        info.samplerate = sampleRate;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | (format.bitDepth == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24);
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        benchmark::DoNotOptimize(sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(frames)));
        sf_close(file);
        if (synced) {
            const int fd = ::open(path.c_str(), O_RDONLY);
            ::fsync(fd);
            ::close(fd);
        }
    }
    std::filesystem::remove(path);
}

std::string loadName(Loader loader, const Format& format, int seconds, bool fresh)
{
    const char* who = loader == Loader::Ours      ? "BM_OursLoad_"
                      : loader == Loader::Sndfile ? "BM_SndfileLoad_"
                                                  : "BM_SndfileSplitLoad_";
    return who + std::string(format.name) + "_" + std::to_string(seconds) + "s_" + (fresh ? "fresh" : "reload");
}

void registerBenchmarks()
{
    for (const Format& format : formats)
        for (const int seconds : lengths)
            for (const bool fresh : {true, false})
                for (const Loader loader : {Loader::Ours, Loader::Sndfile, Loader::SndfileSplit})
                    benchmark::RegisterBenchmark(loadName(loader, format, seconds, fresh).c_str(),
                                                 [&format, seconds, loader, fresh](benchmark::State& state) {
                                                     BM_Load(state, format, seconds, loader, fresh);
                                                 })
                        ->Unit(benchmark::kMillisecond)
                        ->UseRealTime();
    for (const Format& format : formats) {
        if (format.container != AudioFileFormat::Wave || format.bitDepth == 32)
            continue;
        benchmark::RegisterBenchmark((std::string("BM_OursSave_") + format.name).c_str(),
                                     [&format](benchmark::State& state) { BM_OursSave(state, format); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((std::string("BM_SndfileSave_") + format.name).c_str(),
                                     [&format](benchmark::State& state) { BM_SndfileSave(state, format, false); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((std::string("BM_SndfileSaveSynced_") + format.name).c_str(),
                                     [&format](benchmark::State& state) { BM_SndfileSave(state, format, true); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
}

}  // namespace

// Prints, after the table (higher is better):
//   ratio load_speed_vs_libsndfile_<format>_<n>s_<fresh|reload> <libsndfile time / ours>
//   ratio load_speed_vs_libsndfile_split_<format>_<n>s_<fresh|reload> <the same, libsndfile's
//         frames then split into one array per channel, as ours are>
//   ratio save_speed_vs_libsndfile_<format> <libsndfile time / ours>, 60 s
//   ratio save_speed_vs_libsndfile_synced_<format> <the same, libsndfile's file flushed to the disk too>
int main(int argc, char** argv)
{
    // Both loaders allocate their sound afresh on every fresh load. Left to itself, glibc
    // raises its thresholds as large blocks are freed, so whether that memory stays in the
    // process or goes back to the kernel (to be faulted in again, page by page, on the next
    // load) would depend on which benchmark ran first. Fixed thresholds keep it in the
    // process for both.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    registerBenchmarks();
    // Wall-clock seconds per iteration: a fresh load waits for the disk.
    bench::FigureReporter times(bench::FigureReporter::realSeconds);
    if (!bench::runBenchmarks(argc, argv, times))
        return 1;
    // libsndfile's time over ours: higher is better.
    const auto ratio = [&times](const std::string& name, const std::string& ours, const std::string& theirs) {
        times.printQuotient(name, theirs, ours);
    };
    for (const Format& format : formats)
        for (const int seconds : lengths)
            for (const bool fresh : {true, false}) {
                const std::string file =
                    std::string(format.name) + "_" + std::to_string(seconds) + "s_" + (fresh ? "fresh" : "reload");
                const std::string ours = loadName(Loader::Ours, format, seconds, fresh);
                ratio("load_speed_vs_libsndfile_" + file, ours, loadName(Loader::Sndfile, format, seconds, fresh));
                ratio("load_speed_vs_libsndfile_split_" + file, ours,
                      loadName(Loader::SndfileSplit, format, seconds, fresh));
            }
    for (const Format& format : formats) {
        ratio(std::string("save_speed_vs_libsndfile_") + format.name, std::string("BM_OursSave_") + format.name,
              std::string("BM_SndfileSave_") + format.name);
        ratio(std::string("save_speed_vs_libsndfile_synced_") + format.name, std::string("BM_OursSave_") + format.name,
              std::string("BM_SndfileSaveSynced_") + format.name);
    }
    for (const int seconds : lengths)
        for (const Format& format : formats)
            std::remove(fileFor(format, seconds).c_str());
    return 0;
}
