#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>

#include <sndfile.h>

#include "commands.h"
#include "common/file_access.h"
#include "common/host_error.h"
#include "demo_patch.h"
#include "progress_bar.h"
#include "engine/engine.h"
#include "engine/patch.h"

namespace mphost::cli {

namespace {

// The signal that asked the render to stop (SIGINT, SIGTERM, SIGHUP), or 0.
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void askToStop(int signal)
{
    stopSignal = signal;
}

// While it lives, an interrupt stops the render at the next block instead of killing the
// program in the middle of a file; a file too large for the process's limit is an error
// of the write rather than a signal.
class InterruptGuard {
public:
    InterruptGuard()
    {
        struct sigaction action {};
        action.sa_handler = askToStop;
        sigemptyset(&action.sa_mask);
        // A signal ignored when the program started (nohup, a background job) stays ignored.
        for (std::size_t i = 0; i < std::size(signals); ++i) {
            sigaction(signals[i], nullptr, &previous[i]);
            if (previous[i].sa_handler != SIG_IGN)
                sigaction(signals[i], &action, nullptr);
        }
        std::signal(SIGXFSZ, SIG_IGN);
    }
    ~InterruptGuard()
    {
        for (std::size_t i = 0; i < std::size(signals); ++i)
            sigaction(signals[i], &previous[i], nullptr);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    static constexpr int signals[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction previous[3] {};
};

struct Interrupted {
    int signal;
};

// 32-bit float WAV, one channel per patch output, written block by block into a temporary
// file that replaces the target when the render is complete.
class WavWriter {
public:
    WavWriter(const std::filesystem::path& file, int channels, float sampleRate) : output(file), channelCount(channels)
    {
        SF_INFO info{};
        info.channels = channels;
        info.samplerate = static_cast<int>(sampleRate);
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        handle = sf_open_fd(output.descriptor(), SFM_WRITE, &info, SF_FALSE);
        if (!handle)
            throw HostError("cannot write '" + file.string() + "': " + sf_strerror(nullptr));
        // No peak chunk: it carries the time of writing, and a render must give the same
        // file every time.
        sf_command(handle, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
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
            throw HostError("cannot write '" + output.targetPath().string() + "': " + sf_strerror(handle));
    }

    // Completes the header, flushes and puts the file in place of the target.
    void close()
    {
        const int result = sf_close(handle);
        handle = nullptr;
        if (result != 0)
            throw HostError("cannot finish '" + output.targetPath().string() + "': " + sf_error_number(result));
        output.commit();
    }

private:
    AtomicFile output;
    SNDFILE* handle = nullptr;
    int channelCount;
    std::vector<float> interleaved;
};

// The same file, existing or not: both names lead to one place once resolved.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::error_code error;
    if (std::filesystem::equivalent(a, b, error))
        return true;
    const auto resolvedA = std::filesystem::weakly_canonical(std::filesystem::absolute(a, error), error);
    const auto resolvedB = std::filesystem::weakly_canonical(std::filesystem::absolute(b, error), error);
    return !resolvedA.empty() && resolvedA == resolvedB;
}

// Every file the render will write, checked before it starts: none is the patch, none is
// named twice, each can be created in its folder.
void checkOutputs(const std::vector<std::pair<std::filesystem::path, std::string>>& outputs,
                  const std::filesystem::path& patchFile)
{
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const auto& [file, what] = outputs[i];
        if (!patchFile.empty() && sameFile(file, patchFile))
            throw HostError("the " + what + " '" + file.string() + "' is the patch file itself");
        for (std::size_t j = 0; j < i; ++j)
            if (sameFile(file, outputs[j].first))
                throw HostError("the " + what + " '" + file.string() + "' is also the " + outputs[j].second);
        checkWritable(file, what);
    }
}

}  // namespace

int runRender(const RenderOptions& options)
{
    stopSignal = 0;
    InterruptGuard interrupts;
    // Renders longer than a second show their progress when someone watches the terminal.
    ProgressBar progress(!options.quiet && ProgressBar::terminalWanted(), "rendering");
    try {
        PatchEnvironment environment;
        environment.bundleFolders = bundleFolders(options.bundleFolders);
        Patch patch = options.patch.empty() ? parsePatch(demoPatch, "demo patch", environment)
                                            : loadPatch(options.patch, environment);
        try {
            patch.changeTiming(options.seconds, options.sampleRate, options.blockSize);
        } catch (const HostError& error) {
            // Only the command line's values can be out of range here: a usage error.
            std::cerr << "mphost render: " << error.what() << " (check --seconds, --rate and --block)\n";
            return 2;
        }
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
        if (!pngFile.empty() && !patch.hasPanel())
            throw HostError(patch.source + ": the patch has no GUI module with a \"rect\" on the panel to draw to '" +
                            pngFile.string() + "'");

        std::vector<std::pair<std::filesystem::path, std::string>> outputs;
        if (!wavFile.empty())
            outputs.emplace_back(wavFile, "WAV file");
        if (!pngFile.empty())
            outputs.emplace_back(pngFile, "panel picture");
        for (const Snapshot& snapshot : patch.snapshots)
            outputs.emplace_back(snapshot.file, "snapshot");
        checkOutputs(outputs, options.patch);

        Engine engine(patch);
        std::optional<WavWriter> wav;
        if (!wavFile.empty())
            wav.emplace(wavFile, static_cast<int>(patch.outputs.size()), patch.sampleRate);
        const double length = static_cast<double>(patch.lengthInSamples());
        while (const int count = engine.processBlock()) {
            if (stopSignal)
                throw Interrupted{stopSignal};
            if (wav)
                wav->write(engine, count);
            progress.update(static_cast<double>(engine.position()) / length);
        }
        if (stopSignal)
            throw Interrupted{stopSignal};
        if (wav)
            wav->close();
        if (!pngFile.empty())
            engine.writePanel(pngFile);
        progress.finish();
        if (options.quiet)
            return 0;
        if (wav)
            std::cout << "wrote " << wavFile.string() << " (" << patch.outputs.size() << " channel"
                      << (patch.outputs.size() == 1 ? "" : "s") << ", " << patch.seconds << " s at " << patch.sampleRate
                      << " Hz)\n";
        else
            std::cout << "rendered " << patch.seconds << " s; the patch names no \"outputs\", so no WAV was written\n";
        for (const Snapshot& snapshot : patch.snapshots)
            std::cout << "wrote " << snapshot.file.string() << " (snapshot at " << snapshot.time << " s)\n";
        if (!pngFile.empty())
            std::cout << "wrote " << pngFile.string() << "\n";
        return 0;
    } catch (const HostError& error) {
        progress.finish();
        std::cerr << "mphost render: " << error.what() << "\n";
        return 1;
    } catch (const Interrupted& interrupted) {
        progress.finish();
        std::cerr << "mphost render: interrupted; the WAV file and the panel picture were not replaced\n";
        // Ends as the signal would have, once the temporary files are gone.
        std::signal(interrupted.signal, SIG_DFL);
        std::raise(interrupted.signal);
        return 128 + interrupted.signal;
    }
}

}  // namespace mphost::cli
