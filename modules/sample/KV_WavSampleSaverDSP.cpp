// KV_WavSampleSaverDSP: writes one or two sample blobs as a 32-bit float WAV file on the
// audio thread. Saves on a true Trigger, and on every file-name change while AutoTrigger
// is set. Writing the disk in the pin handling is this module's purpose; it produces no
// audio.
#include <string>

#include "AudioFile.h"
#include "SampleBlobs.h"
#include "mp_sdk_audio.h"

namespace {

class KV_WavSampleSaverDSP : public MpBase2 {
    BlobInPin pinLeft;
    BlobInPin pinRight;
    StringInPin pinFName;
    FloatInPin pinRate;  // Hz
    IntInPin pinLoopStart;
    IntInPin pinLoopEnd;
    BoolInPin pinTrigger;
    BoolInPin pinAutoTrigger;

    AudioFile<float> audioFile;            // reused for every save
    sample_blobs::SaveSettings settings;   // rate 0 and no loop until the pins say otherwise
    std::wstring fileName;                 // used as given, not resolved

public:
    KV_WavSampleSaverDSP()
    {
        initializePin(pinLeft);
        initializePin(pinRight);
        initializePin(pinFName);
        initializePin(pinRate);
        initializePin(pinLoopStart);
        initializePin(pinLoopEnd);
        initializePin(pinTrigger);
        initializePin(pinAutoTrigger);
    }

    void onSetPins() override
    {
        if (pinRate.isUpdated())
            settings.sampleRate = sample_blobs::rateFromPin(pinRate);
        // -1 (0xFFFFFFFF) on either loop pin means no loop.
        if (pinLoopStart.isUpdated())
            settings.loopStart = static_cast<std::uint32_t>(pinLoopStart.getValue());
        if (pinLoopEnd.isUpdated())
            settings.loopEnd = static_cast<std::uint32_t>(pinLoopEnd.getValue());
        // A trigger arriving with a new name saves under the previous name first; the new
        // name then saves again only with AutoTrigger on.
        if (pinTrigger.isUpdated() && pinTrigger)
            doSave();
        if (pinFName.isUpdated()) {
            fileName = pinFName;
            if (pinAutoTrigger)
                doSave();
        }
    }

    void doSave() { sample_blobs::saveFile(audioFile, fileName, pinLeft, pinRight, settings); }
};

const bool registered = gmpi::Register<KV_WavSampleSaverDSP>::withId(L"KV_WavSampleSaverDSP");

}  // namespace
