// WavSampleSaver (GUI half, no drawing): writes one or two sample blobs as a 32-bit float
// WAV file on the user-interface thread. Saves on a true Trigger and on every change of
// either file-name pin while AutoTrigger is on; switching AutoTrigger on does not save by
// itself. Names are used as given.
#include <string>

#include "AudioFile.h"
#include "SampleBlobs.h"
#include "mp_sdk_gui.h"

namespace {

// Every pin is an input.
class WavSampleSaverGUI : public SeGuiInvisibleBase {
    MpGuiPin<MpBlob> pinLeft;
    MpGuiPin<MpBlob> pinRight;
    StringGuiPin pinFName1;
    MpGuiPin<float> pinRate;  // Hz
    MpGuiPin<int> pinLoopStart;
    MpGuiPin<int> pinLoopEnd;
    MpGuiPin<bool> pinTrigger;
    MpGuiPin<bool> pinAutoTrigger;
    StringGuiPin pinFName2;

    AudioFile<float> audioFile;           // reused for every save
    sample_blobs::SaveSettings settings;  // rate 0 and no loop until the pins say otherwise
    std::wstring fileName;                // used as given, not resolved
    bool autoTrigger = false;

public:
    WavSampleSaverGUI()
    {
        initializePin(pinLeft);
        initializePin(pinRight);
        initializePin(pinFName1, &WavSampleSaverGUI::onPinFName1);
        initializePin(pinRate, &WavSampleSaverGUI::onPinRate);
        initializePin(pinLoopStart, &WavSampleSaverGUI::onPinLoopStart);
        initializePin(pinLoopEnd, &WavSampleSaverGUI::onPinLoopEnd);
        initializePin(pinTrigger, &WavSampleSaverGUI::onPinTrigger);
        initializePin(pinAutoTrigger, &WavSampleSaverGUI::onPinAutoTrigger);
        initializePin(pinFName2, &WavSampleSaverGUI::onPinFName2);
    }

    void onPinFName1() { setFileName(pinFName1); }
    void onPinFName2() { setFileName(pinFName2); }
    void onPinRate() { settings.sampleRate = sample_blobs::rateFromPin(pinRate); }
    // -1 (0xFFFFFFFF) on either loop pin means no loop.
    void onPinLoopStart() { settings.loopStart = static_cast<std::uint32_t>(pinLoopStart.getValue()); }
    void onPinLoopEnd() { settings.loopEnd = static_cast<std::uint32_t>(pinLoopEnd.getValue()); }
    void onPinTrigger()
    {
        if (pinTrigger)
            doSave();
    }
    void onPinAutoTrigger() { autoTrigger = pinAutoTrigger; }

    void doSave() { sample_blobs::saveFile(audioFile, fileName, pinLeft, pinRight, settings); }

private:
    void setFileName(const std::wstring& name)
    {
        fileName = name;
        if (autoTrigger)
            doSave();
    }
};

const bool registered = gmpi::Register<WavSampleSaverGUI>::withId(L"WavSampleSaver");

}  // namespace
