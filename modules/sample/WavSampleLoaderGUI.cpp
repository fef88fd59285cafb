// WavSampleLoader (GUI half, no drawing): reads a WAV or AIFF file on the user-interface
// thread and sends it as one sample blob per channel with its rate, length and loop
// points. Loads on a true Trigger, at once when AutoTrigger is switched on, and on every
// change of either file-name pin while AutoTrigger is on. Names are resolved through the
// host's resource folders.
#include <string>

#include "AudioFile.h"
#include "SampleBlobs.h"
#include "mp_sdk_gui.h"

namespace {

// 0 Left, 1 Right, 3 Rate, 4 Frames, 5 LoopStart, 6 LoopEnd are sent by the module.
class WavSampleLoaderGUI : public SeGuiInvisibleBase {
    MpGuiPin<MpBlob> pinLeft;
    MpGuiPin<MpBlob> pinRight;  // channel 1, or channel 0 again for a mono file
    StringGuiPin pinFName1;
    MpGuiPin<float> pinRate;  // Hz
    MpGuiPin<int> pinFrames;  // frames per channel
    MpGuiPin<int> pinLoopStart;
    MpGuiPin<int> pinLoopEnd;
    MpGuiPin<bool> pinTrigger;
    MpGuiPin<bool> pinAutoTrigger;
    StringGuiPin pinFName2;

    AudioFile<float> audioFile;  // reused for every load
    std::wstring fileName;       // resolved; empty: nothing to load
    bool autoTrigger = false;

public:
    WavSampleLoaderGUI()
    {
        initializePin(pinLeft);
        initializePin(pinRight);
        initializePin(pinFName1, &WavSampleLoaderGUI::onPinFName1);
        initializePin(pinRate);
        initializePin(pinFrames);
        initializePin(pinLoopStart);
        initializePin(pinLoopEnd);
        initializePin(pinTrigger, &WavSampleLoaderGUI::onPinTrigger);
        initializePin(pinAutoTrigger, &WavSampleLoaderGUI::onPinAutoTrigger);
        initializePin(pinFName2, &WavSampleLoaderGUI::onPinFName2);
    }

    void onPinFName1() { setFileName(pinFName1); }
    void onPinFName2() { setFileName(pinFName2); }
    void onPinTrigger()
    {
        if (pinTrigger)
            doLoad();
    }
    void onPinAutoTrigger()
    {
        autoTrigger = pinAutoTrigger;
        if (autoTrigger)
            doLoad();
    }

    // The full path the host's first-generation interface gives for `name` (capacity 500
    // characters); the name itself when that interface is not offered or cannot resolve
    // it. The empty name stays empty: it means "no file", not the resource folder.
    std::wstring resolveFilename(const std::wstring& name)
    {
        gmpi::IMpUserInterfaceHost* host = nullptr;
        if (name.empty() || !getHost() ||
            getHost()->queryInterface(gmpi::MP_IID_UI_HOST, reinterpret_cast<void**>(&host)) != gmpi::MP_OK || !host)
            return name;
        wchar_t fullName[500] = {};
        const std::int32_t result = host->resolveFilename(name.c_str(), 500, fullName);
        host->release();
        return result == gmpi::MP_OK ? std::wstring(fullName) : name;
    }

    void doLoad()
    {
        if (!sample_blobs::loadFile(audioFile, fileName))
            return;  // every output keeps its value
        // Assignments send only values that changed.
        pinRate = static_cast<float>(audioFile.getSampleRate());
        pinFrames = audioFile.getNumSamplesPerChannel();
        if (audioFile.getLoopStart() != sample_blobs::noLoop && audioFile.getLoopEnd() != sample_blobs::noLoop) {
            pinLoopStart = static_cast<int>(audioFile.getLoopStart());
            pinLoopEnd = static_cast<int>(audioFile.getLoopEnd());
        }
        pinLeft = blobOf(sample_blobs::channelSamples(audioFile, 0));
        pinRight = blobOf(sample_blobs::channelSamples(audioFile, 1));
    }

private:
    void setFileName(const std::wstring& name)
    {
        fileName = resolveFilename(name);
        if (autoTrigger)
            doLoad();
    }

    static MpBlob blobOf(std::span<const float> samples) { return MpBlob(samples.size_bytes(), samples.data()); }
};

const bool registered = gmpi::Register<WavSampleLoaderGUI>::withId(L"WavSampleLoader");

}  // namespace
