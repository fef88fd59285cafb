// KV_WavSampleLoaderDSP: reads a WAV or AIFF file on the audio thread and publishes it as
// one sample blob per channel with its rate, length and loop points. Loads on a true
// Trigger, and on every file-name change while AutoTrigger is set. Reading the disk in
// the pin handling is this module's purpose; it produces no audio.
#include <string>

#include "AudioFile.h"
#include "SampleBlobs.h"
#include "mp_sdk_audio.h"

namespace {

class KV_WavSampleLoaderDSP : public MpBase2 {
    StringInPin pinFName;
    BoolInPin pinTrigger;
    BoolInPin pinAutoTrigger;
    BlobOutPin pinLeft;
    BlobOutPin pinRight;  // channel 1, or channel 0 again for a mono file
    FloatOutPin pinRate;  // Hz
    IntOutPin pinFrames;  // frames per channel
    IntOutPin pinLoopStart;
    IntOutPin pinLoopEnd;

    AudioFile<float> audioFile;  // reused for every load
    std::wstring fileName;       // resolved by the host; empty: nothing to load

public:
    KV_WavSampleLoaderDSP()
    {
        initializePin(pinFName);
        initializePin(pinTrigger);
        initializePin(pinAutoTrigger);
        initializePin(pinLeft);
        initializePin(pinRight);
        initializePin(pinRate);
        initializePin(pinFrames);
        initializePin(pinLoopStart);
        initializePin(pinLoopEnd);
    }

    void onSetPins() override
    {
        if (pinFName.isUpdated()) {
            fileName = resolveFilename(pinFName);
            if (pinAutoTrigger)
                doLoad();
        }
        // A name change and a trigger in one event group load twice with AutoTrigger on.
        if (pinTrigger.isUpdated() && pinTrigger)
            doLoad();
    }

    void doLoad()
    {
        if (!sample_blobs::loadFile(audioFile, fileName))
            return;  // every output keeps its value
        pinRate = static_cast<float>(audioFile.getSampleRate());
        pinFrames = audioFile.getNumSamplesPerChannel();
        if (audioFile.getLoopStart() != sample_blobs::noLoop && audioFile.getLoopEnd() != sample_blobs::noLoop) {
            pinLoopStart = static_cast<int>(audioFile.getLoopStart());
            pinLoopEnd = static_cast<int>(audioFile.getLoopEnd());
        }
        // Both blobs go out on every load, changed or not: a trigger is a request to resend.
        publish(pinLeft, sample_blobs::channelSamples(audioFile, 0));
        publish(pinRight, sample_blobs::channelSamples(audioFile, 1));
    }

private:
    // The host's full path for `name` (capacity 500 characters); the name itself when the
    // host cannot resolve it.
    std::wstring resolveFilename(const std::wstring& name)
    {
        wchar_t fullName[500] = {};
        if (name.empty() || getHost()->hostResolveFilename(name.c_str(), 500, fullName) != gmpi::MP_OK)
            return name;
        return fullName;
    }

    static void publish(BlobOutPin& pin, std::span<const float> samples)
    {
        pin.setValueRaw(samples.size_bytes(), samples.data());
        pin.sendPinUpdate(pin.rawSize(), pin.rawData());
    }
};

const bool registered = gmpi::Register<KV_WavSampleLoaderDSP>::withId(L"KV_WavSampleLoaderDSP");

}  // namespace
