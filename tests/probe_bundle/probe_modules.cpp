// Probe modules: a test-only bundle that exercises the DSP framework through the real
// binary path. The probes report what the framework did to them as messages to their
// GUI half (hostSendMessageToGui), one message per call, payload int32 words; tests
// read the trace back from the host.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

#include "mp_sdk_audio.h"
#include "mp_sdk_gfx.h"
#include "mp_sdk_gui.h"
#include "probe_trace.h"

using namespace probe;

namespace {

void trace(MpPluginBase* module, Trace id, std::initializer_list<std::int32_t> words)
{
    const std::vector<std::int32_t> payload(words);  // allocates: not for use inside process()
    module->getHost()->hostSendMessageToGui(id, static_cast<std::int32_t>(payload.size() * 4), payload.data());
}

// Allocation-free trace for use inside process().
template <std::size_t N>
void traceWords(MpPluginBase* module, Trace id, const std::int32_t (&words)[N])
{
    module->getHost()->hostSendMessageToGui(id, static_cast<std::int32_t>(N * 4), words);
}

// Pins of every kind, echoing inputs to outputs and tracing every framework call.
class Probe : public MpBase2 {
    AudioInPin pinIn;
    AudioOutPin pinOut;
    IntInPin pinInt;
    FloatInPin pinFloat;
    BoolInPin pinBool;
    StringInPin pinText;
    BlobInPin pinBlob;
    EnumInPin pinChoice;
    MidiInPin pinMidiIn;
    IntOutPin pinIntOut;      // 2 x Int, plus 1000 while Bool is true
    FloatOutPin pinFloatOut;
    StringOutPin pinTextOut;
    BlobOutPin pinBlobOut;
    MidiOutPin pinMidiOut;
    IntInPin pinSleepMode;    // -1 leave automatic, 0 setSleep(false), 1 setSleep(true)
    IntInPin pinRoutine;      // 0 copy In + Float to Out, 1 write 2.0
    IntInPin pinOutStreaming; // -1 nothing, 0 or 1: Out.setStreaming at that timestamp

public:
    Probe()
    {
        initializePin(pinIn);
        initializePin(pinOut);
        initializePin(pinInt, &Probe::onSetInt);
        initializePin(pinFloat);
        initializePin(pinBool);
        initializePin(pinText);
        initializePin(pinBlob);
        initializePin(pinChoice);
        initializePin(pinMidiIn);
        initializePin(pinIntOut);
        initializePin(pinFloatOut);
        initializePin(pinTextOut);
        initializePin(pinBlobOut);
        initializePin(pinMidiOut);
        initializePin(pinSleepMode);
        initializePin(pinRoutine);
        initializePin(pinOutStreaming);
        setSubProcess(&Probe::subProcessCopy);
    }

    void onSetInt(const gmpi::MpEvent* event) { traceWords(this, TraceHandler, {blockPos, event->pinIndex}); }

    void onSetPins() override
    {
        // Bit n set: pin n changed at this timestamp.
        std::int32_t changed = 0;
        const auto mark = [&changed](const MpPinBase& pin, bool flag) { changed |= flag ? 1 << pin.getIndex() : 0; };
        mark(pinIn, pinIn.isStreamingChanged());
        mark(pinInt, pinInt.isUpdated());
        mark(pinFloat, pinFloat.isUpdated());
        mark(pinBool, pinBool.isUpdated());
        mark(pinText, pinText.isUpdated());
        mark(pinBlob, pinBlob.isUpdated());
        mark(pinChoice, pinChoice.isUpdated());
        mark(pinSleepMode, pinSleepMode.isUpdated());
        mark(pinRoutine, pinRoutine.isUpdated());
        mark(pinOutStreaming, pinOutStreaming.isUpdated());
        traceWords(this, TraceSetPins, {blockPos, changed, pinIn.isStreaming() ? 1 : 0});

        pinIntOut = static_cast<int>(static_cast<std::int64_t>(pinInt) * 2 + (pinBool ? 1000 : 0));  // wraps
        pinFloatOut = pinFloat;
        pinTextOut = pinText.getValue();
        pinBlobOut = pinBlob.getValue();
        if (pinSleepMode.isUpdated() && pinSleepMode >= 0)
            setSleep(pinSleepMode == 1);
        if (pinRoutine.isUpdated()) {
            if (pinRoutine == 1)
                setSubProcess(&Probe::subProcessConstant);
            else
                setSubProcess(&Probe::subProcessCopy);
        }
        if (pinOutStreaming.isUpdated() && pinOutStreaming >= 0)
            pinOut.setStreaming(pinOutStreaming == 1);
    }

    void OnPinStreamingChange(bool isStreaming) override
    {
        MpBase2::OnPinStreamingChange(isStreaming);
        traceWords(this, TraceStreaming, {isStreaming ? 1 : 0, streamingPins});
    }

    void onGraphStart() override
    {
        MpBase2::onGraphStart();
        traceWords(this, TraceGraphStart, {blockPos});
    }

    void onMidiMessage(int pin, const unsigned char* midiMessage, int size) override
    {
        traceWords(this, TraceMidi, {pin, size, size > 0 ? midiMessage[0] : -1});
        pinMidiOut.send(midiMessage, size);
    }

    std::int32_t receiveMessageFromGui(std::int32_t id, std::int32_t size, const void* messageData) override
    {
        // Echo back so tests see the message arrived intact.
        getHost()->hostSendMessageToGui(id, size, messageData);
        return gmpi::MP_OK;
    }

    void subProcessCopy(int sampleFrames)
    {
        traceWords(this, TraceSubProcess, {blockPos, sampleFrames, 0});
        const float* in = pinIn.getBuffer() + blockPos;
        float* out = pinOut.getBuffer() + blockPos;
        const float offset = pinFloat;
        for (int i = 0; i < sampleFrames; ++i)
            out[i] = in[i] + offset;
    }

    void subProcessConstant(int sampleFrames)
    {
        traceWords(this, TraceSubProcess, {blockPos, sampleFrames, 1});
        float* out = pinOut.getBuffer() + blockPos;
        for (int i = 0; i < sampleFrames; ++i)
            out[i] = 2.0f;
    }

};

// The first-generation base: routines receive (buffer offset, count).
class ProbeGen1 : public MpBase {
    AudioInPin pinIn;
    AudioOutPin pinOut;
    IntInPin pinInt;

public:
    ProbeGen1()
    {
        initializePin(pinIn);
        initializePin(pinOut);
        initializePin(pinInt);
        setSubProcess(&ProbeGen1::subProcess);
        setSleep(false);
    }
    void onSetPins() override { traceWords(this, TraceSetPins, {blockPos, pinInt, 0}); }
    void subProcess(int bufferOffset, int sampleFrames)
    {
        traceWords(this, TraceSubProcess, {bufferOffset, sampleFrames, 0});
        for (int i = bufferOffset; i < bufferOffset + sampleFrames; ++i)
            pinOut.getBuffer()[i] = pinIn.getBuffer()[i] * 2.0f;
    }
};

// Overrides only the first-generation (non-const) message form.
class ProbeMessageNonConst : public MpBase2 {
public:
    std::int32_t receiveMessageFromGui(std::int32_t id, std::int32_t size, void* messageData) override
    {
        getHost()->hostSendMessageToGui(id, size, messageData);
        return 7;
    }
};

// Overrides neither message form: the two defaults must not call each other forever.
class ProbeMessageNone : public MpBase2 {};

// Binds its inputs in open() from the host's pin list: Out = sum of every audio input.
class ProbeDynamicInputs : public MpBase2 {
    AudioOutPin pinOut;
    std::vector<AudioInPin> inputs;

public:
    std::int32_t open() override
    {
        MpBase2::open();
        initializePin(pinOut);
        setSubProcess(&ProbeDynamicInputs::subProcess);
        PinIterator it(this);
        int count = 0;
        for (bool more = it.first(); more; more = it.next())
            count += it.getDirection() == gmpi::MP_IN && it.getDatatype() == gmpi::MP_AUDIO;
        inputs.resize(static_cast<std::size_t>(count));
        for (auto& input : inputs)
            initializePin(input);
        trace(this, TraceOpen, {it.count(), count});
        return gmpi::MP_OK;
    }
    void onSetPins() override
    {
        bool any = false;
        for (const auto& input : inputs)
            any |= input.isStreaming();
        pinOut.setStreaming(any);
    }
    void subProcess(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        for (int i = 0; i < sampleFrames; ++i) {
            float sum = 0;
            for (const auto& input : inputs)
                sum += input.getBuffer()[blockPos + i];
            out[i] = sum;
        }
    }
};

// Reads a shared table in open(), filling it when asked to.
class ProbeSharedTable : public MpBase2 {
public:
    std::int32_t open() override
    {
        MpBase2::open();
        float* table = nullptr;
        std::int32_t needsInitialising = 0;
        float sampleRate = 0;
        getHost()->hostGetSampleRate(sampleRate);
        const std::int32_t result = getHost()->hostAllocateSharedMemory(
            L"KAVRO PROBE RAMP TABLE", reinterpret_cast<void**>(&table), sampleRate, 1024 * sizeof(float),
            needsInitialising);
        if (result == gmpi::MP_OK && needsInitialising)
            for (int i = 0; i < 1024; ++i)
                table[i] = static_cast<float>(i) * 0.5f;
        trace(this, TraceOpen, {result, needsInitialising, table ? static_cast<std::int32_t>(table[10]) : -1});
        return gmpi::MP_OK;
    }
};

// Reports latency and resolves file names on request.
class ProbeHostServices : public MpBase2 {
    IntInPin pinLatency;
    StringInPin pinFileName;
    StringOutPin pinFullName;

public:
    ProbeHostServices()
    {
        initializePin(pinLatency);
        initializePin(pinFileName);
        initializePin(pinFullName);
    }
    void onSetPins() override
    {
        if (pinLatency.isUpdated() && getProcessorHost())
            getProcessorHost()->hostSetLatency(std::max(0, pinLatency.getValue()));
        if (pinFileName.isUpdated()) {
            wchar_t fullName[500];
            if (getHost()->hostResolveFilename(pinFileName.getValue().c_str(), 500, fullName) == gmpi::MP_OK)
                pinFullName = fullName;
        }
    }
};

// The cheapest useful module: Out = In x Gain. Measures the framework's own cost.
class ProbeGain : public MpBase2 {
    AudioInPin pinIn;
    FloatInPin pinGain;
    AudioOutPin pinOut;

public:
    ProbeGain()
    {
        initializePin(pinIn);
        initializePin(pinGain);
        initializePin(pinOut);
        setSubProcess(&ProbeGain::subProcess);
        setSleep(false);
    }
    void subProcess(int sampleFrames)
    {
        const float* in = pinIn.getBuffer() + blockPos;
        float* out = pinOut.getBuffer() + blockPos;
        const float gain = pinGain;
        for (int i = 0; i < sampleFrames; ++i)
            out[i] = in[i] * gain;
    }
};

// Modules with one deliberate fault each, for the validator to find.
enum class Fault { Crash, Hang, Allocate, NotFinite };

template <Fault fault>
class ProbeFaulty : public MpBase2 {
    AudioInPin pinIn;
    AudioOutPin pinOut;

public:
    ProbeFaulty()
    {
        initializePin(pinIn);
        initializePin(pinOut);
        setSubProcess(&ProbeFaulty::subProcess);
        setSleep(false);
    }
    void subProcess(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        if constexpr (fault == Fault::Crash) {
            std::raise(SIGSEGV);
        } else if constexpr (fault == Fault::Hang) {
            for (volatile bool forever = true; forever;) {
            }
        } else if constexpr (fault == Fault::Allocate) {
            std::vector<float> scratch(static_cast<std::size_t>(sampleFrames));
            std::copy(scratch.begin(), scratch.end(), out);
        } else {
            for (int i = 0; i < sampleFrames; ++i)
                out[i] = std::numeric_limits<float>::quiet_NaN();
        }
    }
};

// GUI pin machinery through the real binary path. Handlers report to the host as
// messages to the DSP half: {pin index, value bits or length, voice}.
class ProbeGui : public SeGuiInvisibleBase {
    MpGuiPin<int> pinInt;
    MpGuiPin<float> pinFloat;
    MpGuiPin<bool> pinBool;
    StringGuiPin pinText;
    MpGuiPin<MpBlob> pinBlob;
    MpGuiPin<int> pinEcho;     // assigns Int its value: a transmission of our own
    StringGuiPin pinUtf8;      // assigns Text from this pin's UTF-8 view
    MpGuiPin<int> pinSkin;     // 1: resolve and read skin "probe" (ImageMeta); 2: host resource "probe.wav" (Audio)

public:
    ProbeGui()
    {
        initializePin(pinInt, &ProbeGui::onSetInt);
        initializePin(pinFloat, &ProbeGui::onSetFloat);
        initializePin(pinBool);
        initializePin(pinText, &ProbeGui::onSetText);
        initializePin(pinBlob);
        initializePin(pinEcho, &ProbeGui::onSetEcho);
        initializePin(pinUtf8, &ProbeGui::onSetUtf8);
        initializePin(pinSkin, &ProbeGui::onSetSkin);
    }

    std::int32_t initialize() override
    {
        report(TraceOpen, {});
        return SeGuiInvisibleBase::initialize();
    }
    void onSetInt() { report(TraceHandler, {0, pinInt, 0}); }
    void onSetFloat()
    {
        std::int32_t bits;
        std::memcpy(&bits, &pinFloat.getValue(), 4);
        report(TraceHandler, {1, bits, 0});
    }
    void onSetText(int voice) { report(TraceHandler, {3, static_cast<std::int32_t>(pinText.getValue().size()), voice}); }
    void onSetEcho() { pinInt = pinEcho.getValue(); }
    void onSetUtf8() { pinText = static_cast<std::string>(pinUtf8); }
    void onSetSkin()
    {
        gmpi_sdk::MpString name;
        if (pinSkin == 1) {
            std::int32_t found = getHost()->resolveSkinResource("probe", "ImageMeta", &name);
            gmpi::IProtectedFile2* file = nullptr;
            std::int64_t size = -1;
            std::vector<char> bytes;
            if (found == gmpi::MP_OK && getHost()->openSkinResource(name.getData(), &file) == gmpi::MP_OK && file) {
                file->getSize(&size);
                bytes.resize(static_cast<std::size_t>(size));
                file->read(bytes.data(), size);
                file->release();
            }
            pinText = std::string(bytes.begin(), bytes.end());
            report(TraceOpen, {found, static_cast<std::int32_t>(size)});
        } else if (pinSkin == 2) {
            const std::int32_t found = getHost()->findHostResource("probe.wav", "Audio", &name);
            pinText = name.str();
            report(TraceOpen, {found, name.getSize()});
        }
    }

    std::int32_t receiveMessageFromAudio(std::int32_t id, std::int32_t size, const void* data) override
    {
        getHost()->sendMessageToAudio(id + 1000, size, data);
        return gmpi::MP_OK;
    }

private:
    void report(Trace id, std::initializer_list<std::int32_t> words)
    {
        const std::vector<std::int32_t> payload(words);
        getHost()->sendMessageToAudio(id, static_cast<std::int32_t>(payload.size() * 4), payload.data());
    }
};

// Explicit index 5 first, then automatic indices. Seven = Six + 1, wrapping around.
class ProbeGuiIndices : public SeGuiInvisibleBase {
    MpGuiPin<int> pinFive;
    MpGuiPin<int> pinSix;
    MpGuiPin<int> pinSeven;

public:
    ProbeGuiIndices()
    {
        initializePin(5, pinFive);
        initializePin(pinSix, &ProbeGuiIndices::onSetSix);
        initializePin(pinSeven);
    }
    void onSetSix() { pinSeven = static_cast<int>(static_cast<std::uint32_t>(pinSix.getValue()) + 1u); }
};

// The first-generation base: Out = In x 2 (wrapping around) on every notification.
class ProbeGuiGen1 : public MpGuiBase {
    MpGuiPin<int> pinIn;
    MpGuiPin<int> pinOut;

public:
    explicit ProbeGuiGen1(gmpi::IMpUnknown* host) : MpGuiBase(host)
    {
        initializePin(pinIn, &ProbeGuiGen1::onSetIn);
        initializePin(pinOut);
    }
    void onSetIn() { pinOut = static_cast<int>(static_cast<std::uint32_t>(pinIn.getValue()) * 2u); }
};

// A pair whose halves talk by messages: the DSP half sends each new Int to the GUI half
// (id 7); the GUI half shows it on Shown and answers with twice the value (id 8); the DSP
// half echoes that back (id 9) and the GUI half shows it on Echoed.
class ProbePair : public MpBase2 {
    IntInPin pinInt;

public:
    ProbePair() { initializePin(pinInt); }
    void onSetPins() override
    {
        if (!pinInt.isUpdated())
            return;
        const std::int32_t value = pinInt;
        getHost()->hostSendMessageToGui(7, 4, &value);
    }
    std::int32_t receiveMessageFromGui(std::int32_t id, std::int32_t size, const void* messageData) override
    {
        if (id == 8)
            getHost()->hostSendMessageToGui(9, size, messageData);
        return gmpi::MP_OK;
    }
};

class ProbePairGui : public SeGuiInvisibleBase {
    MpGuiPin<int> pinShown;
    MpGuiPin<int> pinEchoed;

public:
    ProbePairGui()
    {
        initializePin(pinShown);
        initializePin(pinEchoed);
    }
    std::int32_t receiveMessageFromAudio(std::int32_t id, std::int32_t size, const void* data) override
    {
        if (size != 4)
            return gmpi::MP_FAIL;
        std::int32_t value;
        std::memcpy(&value, data, 4);
        if (id == 7) {
            pinShown = value;
            const auto twice = static_cast<std::int32_t>(static_cast<std::uint32_t>(value) * 2u);  // wraps
            getHost()->sendMessageToAudio(8, 4, &twice);
        } else if (id == 9) {
            pinEchoed = value;
        }
        return gmpi::MP_OK;
    }
};

// A drawing module: fills its rectangle (and tries to draw beyond it), draws a red bar
// Value wide and a label; counts primary-button presses on Clicks while capturing the
// pointer, reports drag positions on DragX; only its left half is hit; has a tooltip.
class ProbeDrawing : public gmpi_gui::MpGuiGfxBase {
    MpGuiPin<float> pinValue;
    MpGuiPin<int> pinClicks;
    MpGuiPin<float> pinDragX;

public:
    ProbeDrawing()
    {
        initializePin(pinValue, &ProbeDrawing::onSetValue);
        initializePin(pinClicks);
        initializePin(pinDragX);
    }
    void onSetValue() { invalidateRect(); }

    std::int32_t measure(GmpiDrawing_API::MP1_SIZE, GmpiDrawing_API::MP1_SIZE* returnDesiredSize) override
    {
        *returnDesiredSize = {50, 20};
        return gmpi::MP_OK;
    }
    std::int32_t OnRender(GmpiDrawing_API::IMpDeviceContext* drawingContext) override
    {
        GmpiDrawing::Graphics g(drawingContext);
        const float width = getRect().getWidth();
        const float height = getRect().getHeight();
        // Beyond the module's own rectangle on every side: the host clips it.
        g.FillRectangle(GmpiDrawing::Rect(-20, -20, width + 20, height + 20),
                        g.CreateSolidColorBrush(GmpiDrawing::Color(0, 0, 1)));
        // Value is a fraction of the width; anything else (NaN included) draws no bar.
        const float value = pinValue.getValue();
        const float fraction = value >= 0.0f && value <= 1.0f ? value : 0.0f;
        g.FillRectangle(GmpiDrawing::Rect(0, 0, width * fraction, height),
                        g.CreateSolidColorBrush(GmpiDrawing::Color(1, 0, 0)));
        auto format = g.GetFactory().CreateTextFormat(12);
        g.DrawTextU("Probe", format, GmpiDrawing::Rect(0, 0, width, height),
                    g.CreateSolidColorBrush(GmpiDrawing::Color(1, 1, 1)));
        return gmpi::MP_OK;
    }
    std::int32_t onPointerDown(std::int32_t flags, GmpiDrawing_API::MP1_POINT point) override
    {
        if (!(flags & gmpi_gui_api::GG_POINTER_FLAG_FIRSTBUTTON) || hitTest(point) != gmpi::MP_OK)
            return gmpi::MP_FAIL;
        setCapture();
        pinClicks = static_cast<int>(static_cast<std::uint32_t>(pinClicks.getValue()) + 1u);  // wraps around
        return gmpi::MP_OK;
    }
    std::int32_t onPointerMove(std::int32_t, GmpiDrawing_API::MP1_POINT point) override
    {
        if (!getCapture())
            return gmpi::MP_FAIL;
        pinDragX = point.x;
        return gmpi::MP_OK;
    }
    std::int32_t onPointerUp(std::int32_t, GmpiDrawing_API::MP1_POINT) override
    {
        if (!getCapture())
            return gmpi::MP_FAIL;
        releaseCapture();
        return gmpi::MP_OK;
    }
    std::int32_t hitTest(GmpiDrawing_API::MP1_POINT point) override
    {
        return point.x < getRect().getWidth() / 2 ? gmpi::MP_OK : gmpi::MP_FAIL;
    }
    std::int32_t getToolTip(GmpiDrawing_API::MP1_POINT, gmpi::IString* returnString) override
    {
        returnString->setData("probe tip", 9);
        return gmpi::MP_OK;
    }
    using MpGuiGfxBase::getToolTip;
};

// Faulty GUI halves the validator must catch: one crashes on a very long text, one
// draws a bar whose width is Value, NaN included.
class ProbeGuiCrashes : public SeGuiInvisibleBase {
    StringGuiPin pinText;

public:
    ProbeGuiCrashes() { initializePin(pinText, &ProbeGuiCrashes::onSetText); }
    void onSetText()
    {
        if (pinText.getValue().size() > 1000)
            std::raise(SIGSEGV);
    }
};

class ProbeGuiNaN : public gmpi_gui::MpGuiGfxBase {
    MpGuiPin<float> pinValue;

public:
    ProbeGuiNaN() { initializePin(pinValue); }
    std::int32_t OnRender(GmpiDrawing_API::IMpDeviceContext* drawingContext) override
    {
        GmpiDrawing::Graphics g(drawingContext);
        g.FillRectangle(GmpiDrawing::Rect(0, 0, pinValue, 10), g.CreateSolidColorBrush(GmpiDrawing::Color(1, 0, 0)));
        return gmpi::MP_OK;
    }
};

// Counts the values it is given in a global and transmits the count, drawing a bar as
// wide: instances disturb one another, and a second run goes on from the first.
int leakedGuiCount = 0;

class ProbeGuiLeaksState : public gmpi_gui::MpGuiGfxBase {
    MpGuiPin<float> pinValue;
    MpGuiPin<int> pinCount;

public:
    ProbeGuiLeaksState()
    {
        initializePin(pinValue, &ProbeGuiLeaksState::onSetValue);
        initializePin(pinCount);
    }
    void onSetValue()
    {
        pinCount = ++leakedGuiCount;
        invalidateRect();
    }
    std::int32_t OnRender(GmpiDrawing_API::IMpDeviceContext* drawingContext) override
    {
        GmpiDrawing::Graphics g(drawingContext);
        g.FillRectangle(GmpiDrawing::Rect(0, 0, static_cast<float>(leakedGuiCount % 64), 10),
                        g.CreateSolidColorBrush(GmpiDrawing::Color(1, 0, 0)));
        return gmpi::MP_OK;
    }
};

// Keeps its ramp's phase in a global: instances disturb one another, and a second run
// starts where the first stopped.
float leakedPhase = 0;

class ProbeLeaksState : public MpBase2 {
    AudioOutPin pinOut;

public:
    ProbeLeaksState()
    {
        initializePin(pinOut);
        setSubProcess(&ProbeLeaksState::subProcess);
        setSleep(false);
    }
    void subProcess(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        for (int i = 0; i < sampleFrames; ++i) {
            out[i] = leakedPhase;
            leakedPhase = leakedPhase < 1.0f ? leakedPhase + 0.001f : 0.0f;
        }
    }
};

// A one-pole low-pass whose state decays into subnormal values once the input is silent.
class ProbeSubnormals : public MpBase2 {
    AudioInPin pinIn;
    AudioOutPin pinOut;
    float state = 0;

public:
    ProbeSubnormals()
    {
        initializePin(pinIn);
        initializePin(pinOut);
        setSubProcess(&ProbeSubnormals::subProcess);
        setSleep(false);
    }
    void subProcess(int sampleFrames)
    {
        const float* in = pinIn.getBuffer() + blockPos;
        float* out = pinOut.getBuffer() + blockPos;
        for (int i = 0; i < sampleFrames; ++i) {
            state = 0.9f * state + 0.1f * in[i];
            out[i] = state;
        }
    }
};

// A pair whose DSP half reaches into its GUI half (found through a global) and sets a GUI
// pin from the audio thread, once.
class ProbeRacyPairGui;
std::atomic<ProbeRacyPairGui*> racyGui{nullptr};

class ProbeRacyPairGui : public SeGuiInvisibleBase {
    MpGuiPin<int> pinShown;

public:
    ProbeRacyPairGui()
    {
        initializePin(pinShown);
        racyGui = this;
    }
    ~ProbeRacyPairGui() override
    {
        ProbeRacyPairGui* self = this;
        racyGui.compare_exchange_strong(self, nullptr);
    }
    void show(int value) { pinShown = value; }
};

class ProbeRacyPair : public MpBase2 {
    AudioOutPin pinOut;
    bool touched = false;

public:
    ProbeRacyPair()
    {
        initializePin(pinOut);
        setSubProcess(&ProbeRacyPair::subProcess);
        setSleep(false);
    }
    void subProcess(int sampleFrames)
    {
        float* out = pinOut.getBuffer() + blockPos;
        std::fill(out, out + sampleFrames, 0.0f);
        if (ProbeRacyPairGui* gui = racyGui.load(); gui && !touched) {
            touched = true;
            gui->show(sampleFrames);
        }
    }
};

class ProbeThrows : public MpBase2 {
public:
    ProbeThrows() { throw std::runtime_error("construction fails on purpose"); }
};

// A non-DSP object under sub-type 2 of the identifier "Probe".
class ProbeMarker final : public gmpi::IMpUnknown {
    std::int32_t references = 1;

public:
    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
    {
        *returnInterface = nullptr;
        if (iid != gmpi::MP_IID_UNKNOWN)
            return gmpi::MP_NOSUPPORT;
        *returnInterface = this;
        addRef();
        return gmpi::MP_OK;
    }
    std::int32_t addRef() override { return ++references; }
    std::int32_t release() override
    {
        const std::int32_t count = --references;
        if (count == 0)
            delete this;
        return count;
    }
};

gmpi::IMpUnknown* createNothing()
{
    return nullptr;
}
gmpi::IMpUnknown* createMarker()
{
    return new ProbeMarker();
}

// Registration order matters here: the second "Probe" sub-type 0 registration must lose.
const bool registered = gmpi::Register<Probe>::withId(L"Probe") &&
                        RegisterPlugin(0, L"Probe", &gmpi::Register<ProbeThrows>::create) == 0 &&
                        RegisterPlugin(2, L"Probe", &createMarker) == 0 &&
                        gmpi::Register<ProbeGen1>::withId(L"Probe_Gen1") &&
                        gmpi::Register<ProbeMessageNonConst>::withId(L"Probe_MessageNonConst") &&
                        gmpi::Register<ProbeMessageNone>::withId(L"Probe_MessageNone") &&
                        gmpi::Register<ProbeDynamicInputs>::withId(L"Probe_DynamicInputs") &&
                        gmpi::Register<ProbeSharedTable>::withId(L"Probe_SharedTable") &&
                        gmpi::Register<ProbeHostServices>::withId(L"Probe_HostServices") &&
                        gmpi::Register<ProbeGain>::withId(L"Probe_Gain") &&
                        gmpi::Register<ProbeFaulty<Fault::Crash>>::withId(L"Probe_Crashes") &&
                        gmpi::Register<ProbeFaulty<Fault::Hang>>::withId(L"Probe_Hangs") &&
                        gmpi::Register<ProbeFaulty<Fault::Allocate>>::withId(L"Probe_Allocates") &&
                        gmpi::Register<ProbeFaulty<Fault::Allocate>>::withId(L"Probe_AllocatesByDesign") &&
                        gmpi::Register<ProbeFaulty<Fault::NotFinite>>::withId(L"Probe_NotFinite") &&
                        gmpi::Register<ProbeThrows>::withId(L"Probe_Throws") &&
                        gmpi::Register<ProbeDrawing>::withId(L"Probe_Drawing") &&
                        RegisterPlugin(0, L"Probe_Null", &createNothing) == 0 &&
                        RegisterPlugin(0, L"Probe_NullCreator", nullptr) == 0 &&
                        gmpi::Register<ProbeGui>::withId(L"Probe_Gui") &&
                        gmpi::Register<ProbeGuiIndices>::withId(L"Probe_GuiIndices") &&
                        gmpi::Register<ProbeGuiGen1>::withId(L"Probe_GuiGen1") &&
                        gmpi::Register<ProbePair>::withId(L"Probe_Pair") &&
                        gmpi::Register<ProbePairGui>::withId(L"Probe_Pair") &&
                        gmpi::Register<ProbeGuiCrashes>::withId(L"Probe_GuiCrashes") &&
                        gmpi::Register<ProbeGuiNaN>::withId(L"Probe_GuiNaN") &&
                        gmpi::Register<ProbeGuiLeaksState>::withId(L"Probe_GuiLeaksState") &&
                        gmpi::Register<ProbeLeaksState>::withId(L"Probe_LeaksState") &&
                        gmpi::Register<ProbeSubnormals>::withId(L"Probe_Subnormals") &&
                        gmpi::Register<ProbeRacyPair>::withId(L"Probe_RacyPair") &&
                        gmpi::Register<ProbeRacyPairGui>::withId(L"Probe_RacyPair") &&
                        RegisterPluginXml("<Plugin id=\"ignored\"/>") == 0;

}  // namespace
