#include <cstdio>
#include <iostream>
#include <unistd.h>

#include <sndfile.h>

#include "commands.h"
#include "demo_patch.h"
#include "engine.h"
#include "host_error.h"
#include "patch.h"

namespace mphost::cli {

namespace {

// 32-bit float WAV, one channel per patch output, written block by block.
class WavWriter {
public:
    WavWriter(const std::filesystem::path& file, int channels, float sampleRate) : channelCount(channels)
    {
        SF_INFO info{};
        info.channels = channels;
        info.samplerate = static_cast<int>(sampleRate);
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        handle = sf_open(file.c_str(), SFM_WRITE, &info);
        if (!handle)
            throw HostError("cannot write '" + file.string() + "': " + sf_strerror(nullptr));
        // No peak chunk: it carries the time of writing, and a render must give the same
        // file every time.
        sf_command(handle, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
        path = file;
    }
    ~WavWriter()
    {
        if (handle)
            sf_close(handle);
    }
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    void write(const Engine& engine, int count)
    {
        interleaved.resize(static_cast<std::size_t>(count * channelCount));
        for (int c = 0; c < channelCount; ++c) {
            const auto samples = engine.output(static_cast<std::size_t>(c));
            for (int i = 0; i < count; ++i)
                interleaved[static_cast<std::size_t>(i * channelCount + c)] = samples[static_cast<std::size_t>(i)];
        }
        if (sf_writef_float(handle, interleaved.data(), count) != count)
            throw HostError("cannot write '" + path.string() + "': " + sf_strerror(handle));
    }

    void close()
    {
        const int result = sf_close(handle);
        handle = nullptr;
        if (result != 0)
            throw HostError("cannot finish '" + path.string() + "': " + sf_error_number(result));
    }

private:
    SNDFILE* handle = nullptr;
    int channelCount;
    std::filesystem::path path;
    std::vector<float> interleaved;
};

// "rendering [#######             ]  35%" on stderr, redrawn when the percentage changes.
class ProgressBar {
public:
    explicit ProgressBar(bool enabled) : enabled(enabled) {}
    void update(double fraction)
    {
        const int percent = static_cast<int>(fraction * 100.0);
        if (!enabled || percent == shown)
            return;
        shown = percent;
        const int filled = percent / 5;
        std::fprintf(stderr, "\rrendering [%.*s%*s] %3d%%", filled, "####################", 20 - filled, "", percent);
        if (percent >= 100)
            std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    bool enabled;
    int shown = -1;
};

}  // namespace

int runRender(const RenderOptions& options)
{
    try {
        PatchEnvironment environment;
        environment.bundleFolders = bundleFolders(options.bundleFolders);
        Patch patch = options.patch.empty() ? parsePatch(demoPatch, "demo patch", environment)
                                            : loadPatch(options.patch, environment);
        patch.changeTiming(options.seconds, options.sampleRate, options.blockSize);
        if (!options.skin.empty())
            patch.skinFolder = options.skin;
        else if (patch.skinFolder.empty())
            patch.skinFolder = defaultSkinFolder();

        std::filesystem::path wavFile = options.output;
        if (wavFile.empty() && !patch.outputs.empty())
            wavFile = options.patch.empty() ? "demo.wav" : options.patch.stem().string() + ".wav";
        // The demo also shows its panel: beside the WAV, as a PNG of the same name.
        std::filesystem::path pngFile = options.png;
        if (pngFile.empty() && options.patch.empty())
            pngFile = std::filesystem::path(wavFile).replace_extension(".png");
        if (!wavFile.empty() && patch.outputs.empty())
            throw HostError(patch.source + ": the patch names no \"outputs\" to write to '" + wavFile.string() + "'");

        Engine engine(patch);
        std::optional<WavWriter> wav;
        if (!wavFile.empty())
            wav.emplace(wavFile, static_cast<int>(patch.outputs.size()), patch.sampleRate);
        // Long renders show their progress when someone watches the terminal.
        ProgressBar progress(isatty(STDERR_FILENO) && patch.seconds >= 20.0);
        const double length = static_cast<double>(patch.lengthInSamples());
        while (const int count = engine.processBlock()) {
            if (wav)
                wav->write(engine, count);
            progress.update(static_cast<double>(engine.position()) / length);
        }
        if (wav) {
            wav->close();
            std::cout << "wrote " << wavFile.string() << " (" << patch.outputs.size() << " channel"
                      << (patch.outputs.size() == 1 ? "" : "s") << ", " << patch.seconds << " s at " << patch.sampleRate
                      << " Hz)\n";
        }
        if (!wav)
            std::cout << "rendered " << patch.seconds << " s; the patch names no \"outputs\", so no WAV was written\n";
        if (!pngFile.empty()) {
            engine.writePanel(pngFile);
            std::cout << "wrote " << pngFile.string() << "\n";
        }
        return 0;
    } catch (const HostError& error) {
        std::cerr << "mphost render: " << error.what() << "\n";
        return 1;
    }
}

}  // namespace mphost::cli
