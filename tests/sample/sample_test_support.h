// Helpers of the sample module tests: the sample_modules bundle, a temporary folder,
// WAV files built byte by byte or through libsndfile, and blobs of float samples.
#pragma once

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <sndfile.h>

#include "gui_module.h"
#include "test_support.h"

namespace sample_testing {

namespace fs = std::filesystem;
using mphost::Bytes;

inline std::shared_ptr<mphost::Bundle> sampleBundle()
{
    static const auto bundle = mphost::Bundle::load(testing_support::bundlePath("sample_modules"));
    return bundle;
}

inline const mphost::ModuleDescription& sampleModule(const std::string& id)
{
    static const auto descriptions = mphost::BundleDescription::loadFile(
        mphost::BundleDescription::pathBeside(testing_support::bundlePath("sample_modules")));
    return *descriptions.find(id);
}

inline std::unique_ptr<mphost::DspModule> makeDsp(const std::string& id, mphost::DspModuleOptions options = {})
{
    auto module = std::make_unique<mphost::DspModule>(sampleBundle(), sampleModule(id), std::move(options));
    module->start();
    module->process(1);
    module->takeMessages();
    return module;
}

inline std::unique_ptr<mphost::GuiModule> makeGui(const std::string& id, mphost::GuiModuleOptions options = {})
{
    auto module = std::make_unique<mphost::GuiModule>(sampleBundle(), sampleModule(id), std::move(options));
    module->start();
    module->takeTransmissions();
    return module;
}

// Names of the pins the DSP module published in its last block, in order.
inline std::vector<std::string> published(const mphost::DspModule& module)
{
    std::vector<std::string> names;
    for (const auto& record : module.lastBlockLog().records())
        if (record.kind == mphost::OutputLog::Kind::Value)
            names.push_back(module.pins()[static_cast<std::size_t>(record.pinOrId)].name);
    return names;
}

struct TempFolder {
    fs::path path;
    TempFolder()
    {
        path = fs::temp_directory_path() / ("sample_modules_test_" + std::to_string(::getpid()) + "_" +
                                            std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        fs::create_directories(path);
    }
    ~TempFolder()
    {
        std::error_code error;
        fs::remove_all(path, error);
    }
    std::wstring operator/(const std::string& name) const { return (path / name).wstring(); }
};

inline Bytes blobOf(const std::vector<float>& samples)
{
    Bytes bytes(samples.size() * sizeof(float));
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

// n samples 0.001 * (i + offset).
inline std::vector<float> ramp(int n, int offset = 0)
{
    std::vector<float> samples;
    for (int i = 0; i < n; ++i)
        samples.push_back(0.001f * static_cast<float>(i + offset));
    return samples;
}

inline Bytes readBytes(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

inline void writeBytes(const fs::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

inline std::uint32_t word32(const Bytes& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

// A 32-bit float WAV (frames interleaved), with a sampler chunk when `loop` is given.
inline Bytes floatWave(int channels, std::uint32_t rate, const std::vector<float>& interleaved,
                       std::optional<std::pair<std::uint32_t, std::uint32_t>> loop = {})
{
    Bytes out;
    const auto text = [&](const char* t) { out.insert(out.end(), t, t + 4); };
    const auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const auto u16 = [&](std::uint32_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    const auto dataSize = static_cast<std::uint32_t>(interleaved.size() * 4);
    text("RIFF");
    u32(dataSize + (loop ? 104 : 36));
    text("WAVE");
    text("fmt ");
    u32(16);
    u16(3);
    u16(static_cast<std::uint32_t>(channels));
    u32(rate);
    u32(rate * static_cast<std::uint32_t>(channels) * 4);
    u16(static_cast<std::uint32_t>(channels) * 4);
    u16(32);
    if (loop) {
        text("smpl");
        u32(60);
        for (const std::uint32_t v : {0u, 0u, 0u, 0u, 0u, 0u, 0u, 1u, 0u, 0u, 0u, loop->first, loop->second, 0u, 0u})
            u32(v);
    }
    text("data");
    u32(dataSize);
    const Bytes samples = blobOf(interleaved);
    out.insert(out.end(), samples.begin(), samples.end());
    return out;
}

// A file read back through libsndfile: channels, rate and the samples per channel.
struct SndfileSound {
    int channels = 0;
    int rate = 0;
    std::vector<std::vector<float>> samples;
};

inline SndfileSound readWithSndfile(const fs::path& path)
{
    SndfileSound sound;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return sound;
    std::vector<float> frames(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    sound.channels = info.channels;
    sound.rate = info.samplerate;
    sound.samples.assign(static_cast<std::size_t>(info.channels), {});
    for (std::size_t i = 0; i < frames.size(); ++i)
        sound.samples[i % static_cast<std::size_t>(info.channels)].push_back(frames[i]);
    return sound;
}

}  // namespace sample_testing
