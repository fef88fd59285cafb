// The DSP module base, its event loop and sleep protocol, and the DSP pins.
//
// A module derives from MpBase2, binds its pins in its constructor with initializePin
// (indices follow declaration order), selects its sample routine with setSubProcess,
// reacts to pin changes in onSetPins and writes samples in that routine. Everything
// reached from process() runs on the audio thread and allocates nothing.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>

#include "mp_sdk_common.h"

class MpPluginBase;
class MpPinBase;

// A pin's event handler: a member of the module, called with the event that changed it.
using MpBaseMemberPtr = void (MpPluginBase::*)(const gmpi::MpEvent*);

// "setHost" as the oldest hosts call it; one operation, no reference counting.
class IoldSchoolInitialisation {
public:
    virtual std::int32_t setHost(gmpi::IMpUnknown* host) = 0;
};

// Base of every DSP module: reference counting, host connection, pins by index and
// the dispatch of events to pins. The event loop itself lives in MpBase2.
class MpPluginBase : public gmpi::IMpPlugin,
                     public gmpi::IMpPlugin2,
                     public IoldSchoolInitialisation,
                     public gmpi::IMpLegacyInitialization {
public:
    MpPluginBase() = default;
    MpPluginBase(const MpPluginBase&) = delete;
    MpPluginBase& operator=(const MpPluginBase&) = delete;

    // IMpUnknown
    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    std::int32_t addRef() override { return ++refCount; }
    std::int32_t release() override;

    // IMpPlugin (primary interface), then the base's own operations in slot order.
    std::int32_t open() override { return gmpi::MP_OK; }
    std::int32_t setBuffer(std::int32_t pinIndex, float* buffer) override;
    void process(std::int32_t count, gmpi::MpEvent* events) override
    {
        process(count, static_cast<const gmpi::MpEvent*>(events));
    }
    std::int32_t receiveMessageFromGui(std::int32_t id, std::int32_t size, void* messageData) override;
    virtual ~MpPluginBase();
    std::int32_t setHost(gmpi::IMpUnknown* host) override;
    void process(std::int32_t count, const gmpi::MpEvent* events) override = 0;
    std::int32_t receiveMessageFromGui(std::int32_t id, std::int32_t size, const void* messageData) override;
    // MIDI arriving on a MIDI input (default handler midiHelper). Override either form.
    virtual void onMidiMessage(int pin, const unsigned char* midiMessage, int size);
    virtual void onMidiMessage(int pin, unsigned char* midiMessage, int size);
    // Runs once per event timestamp at which any pin value or streaming state changed,
    // after all of that timestamp's values are in place.
    virtual void onSetPins() {}
    // An audio input or output changed its streaming state.
    virtual void OnPinStreamingChange(bool isStreaming) = 0;
    // Graph start: every output announces its initial value.
    virtual void onGraphStart();

    // Binds `pin` at `index` with an optional handler; an index already bound keeps its
    // first pin. Input pins without a handler get their default handler.
    void initializePin(int index, MpPinBase& pin, MpBaseMemberPtr handler = nullptr);
    // Binds `pin` at 0, or one past the highest index bound so far.
    void initializePin(MpPinBase& pin, MpBaseMemberPtr handler = nullptr);
    template <class Module>
    void initializePin(int index, MpPinBase& pin, void (Module::*handler)(const gmpi::MpEvent*))
    {
        initializePin(index, pin, static_cast<MpBaseMemberPtr>(handler));
    }
    template <class Module>
    void initializePin(MpPinBase& pin, void (Module::*handler)(const gmpi::MpEvent*))
    {
        initializePin(pin, static_cast<MpBaseMemberPtr>(handler));
    }

    // The default handler of MIDI inputs: forwards the event's bytes to onMidiMessage.
    void midiHelper(const gmpi::MpEvent* event);

    // Sets sleepCount from the host's sleep delay.
    void resetSleepCounter();

    gmpi::IMpHost* getHost() const { return host; }
    gmpi::IMpProcessorHost* getProcessorHost() const { return processorHost; }
    int getBlockPosition() const { return blockPos; }

protected:
    friend class MpPinBase;
    friend class MpAudioPinBase;
    friend class AudioInPin;
    friend class AudioOutPin;

    // Applies the event to its pin; false when the event was ignored (unknown code or
    // unbound pin).
    bool preProcessEvent(const gmpi::MpEvent* event);
    void processEvent(const gmpi::MpEvent* event);
    void postProcessEvent(const gmpi::MpEvent* event);
    MpPinBase* findPin(int index) const;

    // The block loop shared by MpBase2 and MpBase: splits the block at event timestamps,
    // applies each timestamp's events as one group and calls `runCurrent(sampleCount)`
    // for the stretches between them, starting at blockPos.
    template <class RunCurrent>
    void processEventsAndStretches(int count, const gmpi::MpEvent* events, RunCurrent runCurrent);

    // The pre-sleep countdown shared by MpBase2 and MpBase. Runs `runChosen` for the
    // stretches still to be produced while sleeping is allowed, asks the host to sleep
    // when the countdown ends after the block's last event, and returns the samples left
    // once sleeping is no longer allowed (-1 when it returned without handing over).
    template <class RunChosen>
    int runPreSleepCountdown(int sampleFrames, RunChosen runChosen);

    bool sleepAllowed() const { return sleepMode == 1 || (sleepMode == -1 && streamingPins == 0); }

    std::int32_t refCount = 1;
    gmpi::IMpHost* host = nullptr;
    gmpi::IMpProcessorHost* processorHost = nullptr;
    std::map<int, MpPinBase*> pins;
    int blockPos = 0;
    int sleepCount = 0;
    int streamingPins = 0;
    int sleepMode = -1;  // -1 automatic, 0 never sleep, 1 sleep allowed
    bool pastLastEvent = true;
    bool guiMessageGuard = false;
};

// The block processing and routine selection MpBase2 and MpBase share. `Self` is the
// base whose member routines produce samples; they take `Leading...` (nothing, or the
// buffer offset) and then the number of samples.
template <class Self, class... Leading>
class MpSubProcessBase : public MpPluginBase {
public:
    using SubProcess_ptr = void (Self::*)(Leading..., int sampleFrames);

    void process(std::int32_t count, const gmpi::MpEvent* events) override
    {
        processEventsAndStretches(count, events, [this](int sampleFrames) { run(currentSubProcess, sampleFrames); });
    }
    void OnPinStreamingChange(bool isStreaming) override
    {
        streamingPins += isStreaming ? 1 : -1;
        currentSubProcess = (streamingPins != 0 && sleepMode != 1) ? chosenSubProcess : &Self::subProcessPreSleep;
    }

    // Selects the routine that produces samples. While the pre-sleep countdown runs,
    // the new routine takes over only when the countdown hands over.
    template <class Module>
    void setSubProcess(void (Module::*routine)(Leading..., int))
    {
        setSubProcessRoutine(static_cast<SubProcess_ptr>(routine));
    }
    // true: count down and sleep whenever the outputs have settled, even while inputs
    // stream; false: never sleep. After the first call the module never returns to the
    // automatic mode, where it sleeps once no pin streams.
    void setSleep(bool isOkToSleep)
    {
        if (isOkToSleep)
            currentSubProcess = &Self::subProcessPreSleep;
        sleepMode = isOkToSleep ? 1 : 0;
    }

    void subProcessNothing(Leading..., int /*sampleFrames*/) {}
    // Runs the chosen routine during the countdown, then hands over to it.
    void subProcessPreSleep(Leading..., int sampleFrames)
    {
        const int savedBlockPos = blockPos;
        const int rest = runPreSleepCountdown(sampleFrames, [this](int n) { run(chosenSubProcess, n); });
        if (rest < 0)
            return;
        currentSubProcess = chosenSubProcess;
        if (rest > 0)
            run(chosenSubProcess, rest);
        blockPos = savedBlockPos;
    }

protected:
    void setSubProcessRoutine(SubProcess_ptr routine)
    {
        if (currentSubProcess == chosenSubProcess)
            currentSubProcess = routine;
        chosenSubProcess = routine;
    }
    // Calls `routine` for `sampleFrames` samples from blockPos (also the buffer offset).
    void run(SubProcess_ptr routine, int sampleFrames)
    {
        (static_cast<Self*>(this)->*routine)(static_cast<Leading>(blockPos)..., sampleFrames);
    }

    SubProcess_ptr currentSubProcess = &Self::subProcessPreSleep;
    SubProcess_ptr chosenSubProcess = &Self::subProcessNothing;
};

// The base every DSP module of the system derives from. Sample routines take the
// number of samples and work on buffer elements blockPos .. blockPos + count - 1.
class MpBase2 : public MpSubProcessBase<MpBase2> {};

// First-generation variant of MpBase2: routines take (buffer offset, sample count).
class MpBase : public MpSubProcessBase<MpBase, int> {};

// ---------------------------------------------------------------------------------
// Pins

// A connection point of a DSP module: holds the current value and applies events.
class MpPinBase {
public:
    virtual ~MpPinBase() = default;
    // Audio pins store the host's buffer; other pins ignore it.
    virtual void setBuffer(float* /*buffer*/) {}
    virtual void preProcessEvent(const gmpi::MpEvent* /*event*/) {}
    // Calls the handler, if any, on the module.
    virtual void processEvent(const gmpi::MpEvent* event);
    virtual void postProcessEvent(const gmpi::MpEvent* /*event*/) {}
    virtual int getDatatype() const = 0;
    virtual int getDirection() const = 0;
    virtual MpBaseMemberPtr getDefaultEventHandler() { return nullptr; }
    // Publishes the pin's initial value or state at graph start (outputs only).
    virtual void sendFirstUpdate() {}

    void initialize(MpPluginBase* owner, int pinIndex, MpBaseMemberPtr eventHandler);
    // Sends `size` bytes to the host at `blockPosition` (-1: the module's blockPos).
    int sendPinUpdate(int size, const void* data, int blockPosition = -1);

    int getIndex() const { return index; }
    MpPluginBase* getModule() const { return module; }

protected:
    int index = -1;
    MpPluginBase* module = nullptr;
    MpBaseMemberPtr handler = nullptr;
};

class MpAudioPinBase : public MpPinBase {
public:
    void setBuffer(float* newBuffer) override { buffer = newBuffer; }
    int getDatatype() const override { return gmpi::MP_AUDIO; }
    // Audio pins carry no value events.
    virtual void setValueRaw(int /*size*/, void* /*data*/) {}

    float* getBuffer() const { return buffer; }
    // The sample at `bufferPos`, or at the module's blockPos when negative.
    float getValue(int bufferPos = -1) const { return buffer[bufferPos < 0 ? module->getBlockPosition() : bufferPos]; }
    operator float() const { return getValue(); }
    bool isStreaming() const { return streaming; }

protected:
    float* buffer = nullptr;
    bool streaming = false;
};

class AudioInPin : public MpAudioPinBase {
public:
    int getDirection() const override { return gmpi::MP_IN; }
    void preProcessEvent(const gmpi::MpEvent* event) override;
    void postProcessEvent(const gmpi::MpEvent* event) override;
    // Set while a streaming start or stop for this pin is being handled.
    bool isStreamingChanged() const { return streamingChanged; }

private:
    bool streamingChanged = false;
};

class AudioOutPin : public MpAudioPinBase {
public:
    int getDirection() const override { return gmpi::MP_OUT; }
    void sendFirstUpdate() override { setStreaming(true); }
    // Tells the host whether the output varies (true) or holds a constant (false) from
    // `blockPosition` on (-1: the module's blockPos). The host is told on every call;
    // the module's streaming count changes only when the state does.
    void setStreaming(bool isStreaming, int blockPosition = -1);
};

// Control pins: a typed value taken from pin-set events (inputs) or published to the
// host when assigned a different value (outputs).
template <typename T>
struct MpPinValueTraits;

template <>
struct MpPinValueTraits<int> {
    static void setRaw(int& value, std::size_t size, const void* data)
    {
        std::memcpy(&value, data, std::min(size, sizeof(int)));
    }
    static int rawSize(const int&) { return sizeof(int); }
    static const void* rawData(const int& value) { return &value; }
};

template <>
struct MpPinValueTraits<float> {
    static void setRaw(float& value, std::size_t size, const void* data)
    {
        std::memcpy(&value, data, std::min(size, sizeof(float)));
    }
    static int rawSize(const float&) { return sizeof(float); }
    static const void* rawData(const float& value) { return &value; }
};

template <>
struct MpPinValueTraits<bool> {
    // A 4-byte payload is an int32 (non-zero is true); any other size is read from its first byte.
    static void setRaw(bool& value, std::size_t size, const void* data)
    {
        if (size == sizeof(std::int32_t)) {
            std::int32_t word;
            std::memcpy(&word, data, sizeof word);
            value = word != 0;
        } else {
            value = size > 0 && *static_cast<const char*>(data) != 0;
        }
    }
    static int rawSize(const bool&) { return 1; }
    static const void* rawData(const bool& value) { return &value; }
};

template <>
struct MpPinValueTraits<std::wstring> {
    // size / 4 characters; a remainder is dropped.
    static void setRaw(std::wstring& value, std::size_t size, const void* data)
    {
        value.assign(static_cast<const wchar_t*>(data), size / sizeof(wchar_t));
    }
    static int rawSize(const std::wstring& value) { return static_cast<int>(value.size() * sizeof(wchar_t)); }
    static const void* rawData(const std::wstring& value) { return value.data(); }
};

template <>
struct MpPinValueTraits<MpBlob> {
    static void setRaw(MpBlob& value, std::size_t size, const void* data) { value.setValueRaw(size, data); }
    static int rawSize(const MpBlob& value) { return value.getSize(); }
    static const void* rawData(const MpBlob& value) { return value.getData(); }
};

// A pin's value before anything arrives. Text pins start with room for 256 characters, so
// that texts up to that length arrive on the audio thread without an allocation.
template <typename T>
T initialPinValue()
{
    return T{};
}
template <>
inline std::wstring initialPinValue<std::wstring>()
{
    std::wstring text;
    text.reserve(256);
    return text;
}

template <typename T, int pinDatatype>
class MpControlPinBase : public MpPinBase {
public:
    int getDatatype() const override { return pinDatatype; }
    // Code 100 only: takes the payload as the new value and marks the pin updated.
    void preProcessEvent(const gmpi::MpEvent* event) override
    {
        if (event->type == gmpi::EVENT_PIN_SET) {
            setValueRaw(static_cast<std::size_t>(std::max(event->size, 0)), event->payload());
            updated = true;
        }
    }
    void postProcessEvent(const gmpi::MpEvent* event) override
    {
        if (event->type == gmpi::EVENT_PIN_SET)
            updated = false;
    }
    virtual void setValueRaw(int size, const void* data)
    {
        setValueRaw(static_cast<std::size_t>(std::max(size, 0)), data);
    }
    virtual void setValueRaw(std::size_t size, const void* data) { MpPinValueTraits<T>::setRaw(value, size, data); }
    virtual int rawSize() const { return MpPinValueTraits<T>::rawSize(value); }
    virtual const void* rawData() const { return MpPinValueTraits<T>::rawData(value); }

    const T& getValue() const { return value; }
    operator const T&() const { return value; }
    // True while the event group that changed this pin is being handled (onSetPins).
    bool isUpdated() const { return updated; }

protected:
    T value = initialPinValue<T>();
    bool updated = false;
};

template <typename T, int pinDirection, int pinDatatype>
class MpControlPin : public MpControlPinBase<T, pinDatatype> {
public:
    int getDirection() const override { return pinDirection; }
    void sendFirstUpdate() override { this->sendPinUpdate(this->rawSize(), this->rawData()); }

    // Outputs: stores a different value and publishes it at the module's blockPos.
    MpControlPin& operator=(const T& newValue)
    {
        setValue(newValue, -1);
        return *this;
    }
    void setValue(const T& newValue, int blockPosition)
    {
        static_assert(pinDirection == gmpi::MP_OUT, "only output pins publish values");
        if (newValue == this->value)
            return;
        this->value = newValue;
        this->sendPinUpdate(this->rawSize(), this->rawData(), blockPosition);
    }
};

// The instantiations the modules use.
using IntInPin = MpControlPin<int, gmpi::MP_IN, gmpi::MP_INT32>;
using IntOutPin = MpControlPin<int, gmpi::MP_OUT, gmpi::MP_INT32>;
using EnumInPin = MpControlPin<int, gmpi::MP_IN, gmpi::MP_ENUM>;
using FloatInPin = MpControlPin<float, gmpi::MP_IN, gmpi::MP_FLOAT32>;
using FloatOutPin = MpControlPin<float, gmpi::MP_OUT, gmpi::MP_FLOAT32>;
using BoolInPin = MpControlPin<bool, gmpi::MP_IN, gmpi::MP_BOOL>;
using StringOutPin = MpControlPin<std::wstring, gmpi::MP_OUT, gmpi::MP_STRING>;
using BlobInPin = MpControlPin<MpBlob, gmpi::MP_IN, gmpi::MP_BLOB>;
using BlobOutPin = MpControlPin<MpBlob, gmpi::MP_OUT, gmpi::MP_BLOB>;

// Text input with a UTF-8 view of its value.
class StringInPin : public MpControlPin<std::wstring, gmpi::MP_IN, gmpi::MP_STRING> {
public:
    // The value as UTF-8 (ill-formed characters become U+FFFD).
    operator std::string() const;
};

class MidiInPin : public MpPinBase {
public:
    int getDatatype() const override { return gmpi::MP_MIDI; }
    int getDirection() const override { return gmpi::MP_IN; }
    MpBaseMemberPtr getDefaultEventHandler() override { return &MpPluginBase::midiHelper; }
};

class MidiOutPin : public MpPinBase {
public:
    int getDatatype() const override { return gmpi::MP_MIDI; }
    int getDirection() const override { return gmpi::MP_OUT; }
    // Sends `size` MIDI bytes at `blockPosition` (-1: the module's blockPos).
    virtual void send(const unsigned char* data, int size, int blockPosition = -1);
};

// Describes one pin the host instantiated.
class IPinProperties {
public:
    virtual ~IPinProperties() = default;
    virtual int getUniqueId() = 0;
    virtual int getDirection() = 0;
    virtual int getDatatype() = 0;
};

// Walks the pins the host instantiated for a module (auto-duplicated pins included):
//   PinIterator it(this); for (bool more = it.first(); more; more = it.next()) ...
// Use in open() or later, once the host is connected.
class PinIterator : public IPinProperties {
public:
    explicit PinIterator(MpPluginBase* module);
    ~PinIterator() override;
    PinIterator(const PinIterator&) = delete;
    PinIterator& operator=(const PinIterator&) = delete;

    // True while positioned on a pin.
    bool first();
    bool next();
    // Number of pins, 0 when the host offers no iterator.
    int count();
    int getUniqueId() override;
    int getDirection() override;
    int getDatatype() override;

private:
    gmpi::IMpPinIterator* iterator = nullptr;
};

// ---------------------------------------------------------------------------------
// Template members of the base

template <class RunCurrent>
void MpPluginBase::processEventsAndStretches(int count, const gmpi::MpEvent* events, RunCurrent runCurrent)
{
    blockPos = 0;
    int remaining = count;
    const gmpi::MpEvent* event = events;
    while (event) {
        const int gap = std::min(event->timestamp - blockPos, remaining);
        if (gap > 0) {
            pastLastEvent = false;
            runCurrent(gap);
            pastLastEvent = true;
            remaining -= gap;
            if (remaining == 0)
                return;  // events at or beyond the end of the block are dropped
            blockPos += gap;
        }
        // One group: the event and those after it at the same position.
        const gmpi::MpEvent* groupEnd = event->next;
        while (groupEnd && groupEnd->timestamp == blockPos)
            groupEnd = groupEnd->next;

        bool valuesChanged = false;
        for (const gmpi::MpEvent* e = event; e != groupEnd; e = e->next) {
            const bool applied = preProcessEvent(e);
            valuesChanged |= applied && (e->type == gmpi::EVENT_PIN_SET || e->type == gmpi::EVENT_PIN_STREAMING_START ||
                                         e->type == gmpi::EVENT_PIN_STREAMING_STOP);
        }
        for (const gmpi::MpEvent* e = event; e != groupEnd; e = e->next)
            processEvent(e);
        if (valuesChanged)
            onSetPins();
        for (const gmpi::MpEvent* e = event; e != groupEnd; e = e->next)
            postProcessEvent(e);
        event = groupEnd;
    }
    runCurrent(remaining);
}

template <class RunChosen>
int MpPluginBase::runPreSleepCountdown(int sampleFrames, RunChosen runChosen)
{
    const int savedBlockPos = blockPos;
    int remaining = sampleFrames;
    while (sleepAllowed()) {
        if (sleepCount < 1) {
            if (pastLastEvent) {
                host->hostSleep();
                blockPos = savedBlockPos;
                return -1;
            }
            sleepCount = remaining;  // more events follow in this block: keep producing
        }
        if (remaining == 0) {
            blockPos = savedBlockPos;
            return -1;
        }
        const int stretch = std::min(sleepCount, remaining);
        sleepCount -= stretch;
        remaining -= stretch;
        runChosen(stretch);
        blockPos += stretch;
    }
    // Sleeping is no longer allowed; the caller hands over and produces the rest
    // from the advanced blockPos, then restores it.
    const int handedOver = remaining;
    blockPos = savedBlockPos + (sampleFrames - remaining);
    return handedOver;
}
