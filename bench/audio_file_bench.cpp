// Load and save of a 60-second stereo 48 kHz file at 16 and 24 bits: our codec against
// libsndfile reading to (and writing from) float in the same process.
#include <cmath>
#include <filesystem>
#include <vector>

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include "AudioFile.h"

namespace {

constexpr int frames = 60 * 48000;

std::filesystem::path fileFor(int bitDepth)
{
    return std::filesystem::temp_directory_path() / ("audio_file_bench_" + std::to_string(bitDepth) + ".wav");
}

AudioFile<float>& sound(int bitDepth)
{
    static AudioFile<float> file = [] {
        AudioFile<float> f;
        std::vector<float> left(frames), right(frames);
        for (int i = 0; i < frames; ++i) {
            left[static_cast<std::size_t>(i)] = std::sin(static_cast<float>(i) * 0.01f) * 0.7f;
            right[static_cast<std::size_t>(i)] = std::cos(static_cast<float>(i) * 0.013f) * 0.7f;
        }
        f.setAudioBuffer({left, right});
        f.setSampleRate(48000);
        return f;
    }();
    file.setBitDepth(bitDepth);
    file.save(fileFor(bitDepth).string(), AudioFileFormat::Wave);
    return file;
}

void BM_OursLoad(benchmark::State& state)
{
    const int bitDepth = static_cast<int>(state.range(0));
    sound(bitDepth);
    for (auto _ : state) {
        AudioFile<float> file;
        benchmark::DoNotOptimize(file.load(fileFor(bitDepth).string()));
    }
}

// As the loader modules do: one object reused for every load.
void BM_OursReload(benchmark::State& state)
{
    const int bitDepth = static_cast<int>(state.range(0));
    sound(bitDepth);
    AudioFile<float> file;
    for (auto _ : state)
        benchmark::DoNotOptimize(file.load(fileFor(bitDepth).string()));
}

void BM_SndfileLoad(benchmark::State& state)
{
    const int bitDepth = static_cast<int>(state.range(0));
    sound(bitDepth);
    for (auto _ : state) {
        // Like our loader, each load produces a new sound in memory.
        SF_INFO info{};
        SNDFILE* file = sf_open(fileFor(bitDepth).c_str(), SFM_READ, &info);
        std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
        benchmark::DoNotOptimize(sf_readf_float(file, interleaved.data(), info.frames));
        sf_close(file);
    }
}

void BM_OursSave(benchmark::State& state)
{
    const int bitDepth = static_cast<int>(state.range(0));
    AudioFile<float>& file = sound(bitDepth);
    for (auto _ : state)
        benchmark::DoNotOptimize(file.save(fileFor(bitDepth).string(), AudioFileFormat::Wave));
}

void BM_SndfileSave(benchmark::State& state)
{
    const int bitDepth = static_cast<int>(state.range(0));
    AudioFile<float>& source = sound(bitDepth);
    std::vector<float> interleaved(2 * frames);
    for (int i = 0; i < frames; ++i) {
        interleaved[2 * static_cast<std::size_t>(i)] = source.samples[0][static_cast<std::size_t>(i)];
        interleaved[2 * static_cast<std::size_t>(i) + 1] = source.samples[1][static_cast<std::size_t>(i)];
    }
    const auto path = std::filesystem::temp_directory_path() / "audio_file_bench_sndfile.wav";
    for (auto _ : state) {
        SF_INFO info{};
        info.samplerate = 48000;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | (bitDepth == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24);
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        benchmark::DoNotOptimize(sf_writef_float(file, interleaved.data(), frames));
        sf_close(file);
    }
}

}  // namespace

BENCHMARK(BM_OursLoad)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursReload)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SndfileLoad)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursSave)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SndfileSave)->Arg(16)->Arg(24)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
