#include "harness/dsp_module.h"

#include <algorithm>
#include <cstring>

#include "common/allocation_counter.h"
#include "common/flush_subnormals.h"
#include "common/host_error.h"
#include "harness/module_pins.h"

namespace mphost {

namespace {
// Payload buffers of delivered events kept for later events, per module.
constexpr std::size_t keptPayloads = 64;
// Message slots made ready by reserveEvents (more are added when a block sends more).
constexpr std::size_t keptMessages = 16;
}  // namespace

DspModule::DspModule(std::shared_ptr<Bundle> bundleToUse, const ModuleDescription& description,
                     DspModuleOptions moduleOptions)
    : bundle(std::move(bundleToUse)), moduleId(description.id), options(std::move(moduleOptions))
{
    blockLimit = options.maxBlockSize;
    callerFlushes = options.callerFlushesSubnormals;
    if (!description.dsp)
        throw HostError("module \"" + moduleId + "\" has no DSP half");
    if (options.maxBlockSize < 1)
        throw HostError("the maximum block size must be at least 1");

    std::vector<InstantiatedPin> instantiated =
        instantiatePins(description.dsp->pins, options.duplicates, pinList,
                        [this](DspPin& pin, const PinDescription& pinDescription) {
                            pin.value = pin.isInput() ? pinDescription.defaultValue : zeroValue(pin.datatype);
                            if (pin.isAudio()) {
                                const float fill = pin.isInput() ? std::get<float>(pinDescription.defaultValue) : 0.0f;
                                pin.buffer.assign(static_cast<std::size_t>(options.maxBlockSize), fill);
                            }
                        });

    DspHostSettings settings;
    settings.sampleRate = options.sampleRate;
    settings.sleepDelay = options.sleepDelay < 0 ? options.maxBlockSize : options.sleepDelay;
    settings.searchPaths = options.searchPaths;
    dspHost.emplace(settings, options.sharedMemory, std::move(instantiated));

    const std::wstring wideId = description.wideId();
    ComPtr<gmpi::IMpUnknown> object;
    if (options.legacyCreation) {
        ComPtr<gmpi::IMpUnknown> created;
        const std::int32_t result = bundle->factory()->createInstance(
            wideId.c_str(), gmpi::MP_SUB_TYPE_AUDIO, static_cast<gmpi::IMpHost*>(&*dspHost), created.receive());
        if (result != gmpi::MP_OK || !created)
            throw HostError("module \"" + moduleId + "\" could not be created: " + describeResult(result));
        object = created;
    } else {
        object = bundle->create(gmpi::MP_SUB_TYPE_AUDIO, wideId);
    }
    // Set up through a local pointer, kept only at the end: the members are destroyed in
    // reverse order, dspHost before module, so a failure here must release the module
    // (which may release its host interfaces) while the host still exists.
    ComPtr<gmpi::IMpPlugin2> plugin = object.as<gmpi::IMpPlugin2>(gmpi::MP_IID_PLUGIN2);
    if (!plugin)
        throw HostError("module \"" + moduleId + "\" is not a DSP module (no IMpPlugin2)");
    if (!options.legacyCreation) {
        const std::int32_t result = plugin->setHost(static_cast<gmpi::IMpHost*>(&*dspHost));
        if (result != gmpi::MP_OK)
            throw HostError("module \"" + moduleId + "\" refused the host: " + describeResult(result));
    }
    for (std::size_t i = 0; i < pinList.size(); ++i)
        if (pinList[i].isAudio() && !pinList[i].isInput())
            audioOutputs.push_back(i);
    plugin->open();
    collectMessages();
    for (DspPin& pin : pinList)
        if (pin.isAudio())
            plugin->setBuffer(pin.index, pin.buffer.data());

    module = std::move(plugin);
    if (!options.reserveLater)
        reserveBlockRoom();
}

void DspModule::reserveBlockRoom()
{
    pending.reserve(256);
    eventRecords.reserve(256);
    dspHost->log().reserve(4096, 256 * 1024);
}

DspModule::~DspModule()
{
    module.reset();  // the module releases its host interfaces before the host goes
}

DspPin& DspModule::findPin(std::string_view name)
{
    return const_cast<DspPin&>(std::as_const(*this).findPin(name));
}

const DspPin& DspModule::findPin(std::string_view name) const
{
    return findPinNamed(pinList, name, moduleId, "DSP");
}

const DspPin& DspModule::pin(std::string_view name) const
{
    return findPin(name);
}

DspPin* DspModule::pinByIndex(int index)
{
    return pinAtIndex(pinList, index);
}

void DspModule::queue(QueuedEvent event)
{
    if (event.timestamp < 0)
        throw HostError("event timestamps must not be negative");
    const auto position = std::upper_bound(pending.begin(), pending.end(), event.timestamp,
                                           [](int timestamp, const QueuedEvent& e) { return timestamp < e.timestamp; });
    pending.insert(position, std::move(event));
    *activity = true;
}

void DspModule::queueValue(std::string_view pinName, const PinValue& value, int timestamp)
{
    const DspPin& pin = findPin(pinName);
    if (!pin.isInput() || pin.isAudio() || pin.datatype == gmpi::MP_MIDI)
        throw HostError("pin \"" + pin.name + "\" of \"" + moduleId + "\" is not a control input");
    if (!holdsDatatype(value, pin.datatype))
        throw HostError("pin \"" + pin.name + "\" of \"" + moduleId + "\" takes " +
                        std::string(datatypeName(pin.datatype)) + " values");
    queue({timestamp, gmpi::EVENT_PIN_SET, pin.index, encodePinValue(value)});
}

void DspModule::queueStreaming(std::string_view pinName, bool streaming, int timestamp)
{
    const DspPin& pin = findPin(pinName);
    if (!pin.isInput() || !pin.isAudio())
        throw HostError("pin \"" + pin.name + "\" of \"" + moduleId + "\" is not an audio input");
    queue({timestamp, streaming ? gmpi::EVENT_PIN_STREAMING_START : gmpi::EVENT_PIN_STREAMING_STOP, pin.index, {}});
}

void DspModule::queueMidi(std::string_view pinName, const Bytes& bytes, int timestamp)
{
    const DspPin& pin = findPin(pinName);
    if (!pin.isInput() || pin.datatype != gmpi::MP_MIDI)
        throw HostError("pin \"" + pin.name + "\" of \"" + moduleId + "\" is not a MIDI input");
    queue({timestamp, gmpi::EVENT_MIDI, pin.index, bytes});
}

void DspModule::queueGraphStart(int timestamp)
{
    queue({timestamp, gmpi::EVENT_GRAPH_START, -1, {}});
}

void DspModule::queueRawEvent(int type, int pinIndex, const Bytes& payload, int timestamp)
{
    queueRawBytes(type, pinIndex, payload.data(), payload.size(), timestamp);
}

void DspModule::queueRawBytes(int type, int pinIndex, const std::uint8_t* data, std::size_t size, int timestamp)
{
    Bytes payload;
    if (!sparePayloads.empty()) {
        payload = std::move(sparePayloads.back());
        sparePayloads.pop_back();
    }
    reserveGrowing(payload, size);
    if (size > 0)
        payload.assign(data, data + size);
    queue({timestamp, type, pinIndex, std::move(payload)});
}

// Message slots past messageCount keep their memory: a message no longer than the one the
// slot held before is copied without allocating.
void DspModule::keepMessage(std::int32_t id, const std::uint8_t* data, std::size_t size)
{
    if (messageCount == messages.size())
        messages.emplace_back();
    GuiMessage& message = messages[messageCount++];
    message.id = id;
    message.data.assign(data, data + size);
}

void DspModule::reserveEvents(std::size_t events, std::size_t payloadBytes)
{
    while (messages.size() < std::min(events, keptMessages)) {
        messages.emplace_back();
        messages.back().data.reserve(payloadBytes);
    }
    pending.reserve(pending.size() + events);
    eventRecords.reserve(pending.size() + events);
    const bool longPayloads = std::any_of(pinList.begin(), pinList.end(), [](const DspPin& pin) {
        return pin.isInput() && (pin.datatype == gmpi::MP_STRING || pin.datatype == gmpi::MP_BLOB ||
                                 pin.datatype == gmpi::MP_MIDI);
    });
    sparePayloads.reserve(keptPayloads);
    while (sparePayloads.size() < std::min(events, keptPayloads)) {
        Bytes buffer;
        buffer.reserve(longPayloads ? payloadBytes : sizeof(std::int32_t));
        sparePayloads.push_back(std::move(buffer));
    }
}

void DspModule::reserveOutputValues(std::size_t bytes)
{
    for (DspPin& pin : pinList) {
        if (pin.isInput())
            continue;
        if (auto* text = std::get_if<std::wstring>(&pin.value))
            text->reserve(bytes / sizeof(wchar_t));
        else if (auto* blob = std::get_if<Bytes>(&pin.value))
            blob->reserve(bytes);
    }
}

void DspModule::start()
{
    start({});
}

void DspModule::start(const std::map<std::string, PinValue>& values)
{
    for (const auto& [name, value] : values) {
        const DspPin& pin = findPin(name);
        if (!pin.isInput() || pin.datatype == gmpi::MP_MIDI || !holdsDatatype(value, pin.datatype))
            throw HostError("pin \"" + pin.name + "\" of \"" + moduleId + "\" takes no initial " +
                            std::string(datatypeName(pin.datatype)) + " value of that type");
    }
    queueGraphStart(0);
    for (DspPin& pin : pinList) {
        if (!pin.isInput() || pin.datatype == gmpi::MP_MIDI)
            continue;
        const auto given = values.find(pin.name);
        const PinValue& value = given != values.end() ? given->second : pin.description->defaultValue;
        if (pin.isAudio()) {
            std::fill(pin.buffer.begin(), pin.buffer.end(), std::get<float>(value));
            queueStreaming(pin.name, false, 0);
        } else {
            queueValue(pin.name, value, 0);
        }
    }
}

void DspModule::connectInput(std::string_view pinName, const float* buffer)
{
    const DspPin& pin = findPin(pinName);
    if (!pin.isInput() || !pin.isAudio())
        throw HostError("pin \"" + pin.name + "\" of \"" + moduleId + "\" is not an audio input");
    module->setBuffer(pin.index, const_cast<float*>(buffer));
}

std::span<float> DspModule::input(std::string_view pinName)
{
    DspPin& pin = findPin(pinName);
    if (!pin.isInput() || !pin.isAudio())
        throw HostError("pin \"" + pin.name + "\" of \"" + moduleId + "\" is not an audio input");
    return pin.buffer;
}

void DspModule::fillInput(std::string_view pinName, float value)
{
    const std::span<float> buffer = input(pinName);
    std::fill(buffer.begin(), buffer.end(), value);
}

std::span<const float> DspModule::output(std::string_view pinName) const
{
    const DspPin& pin = findPin(pinName);
    if (pin.isInput() || !pin.isAudio())
        throw HostError("pin \"" + pin.name + "\" of \"" + moduleId + "\" is not an audio output");
    return pin.buffer;
}

const PinValue& DspModule::outputValue(std::string_view pinName) const
{
    const DspPin& pin = findPin(pinName);
    if (pin.isInput())
        throw HostError("pin \"" + pin.name + "\" of \"" + moduleId + "\" is not an output");
    return pin.value;
}

bool DspModule::outputStreaming(std::string_view pinName) const
{
    return findPin(pinName).streaming;
}

void DspModule::processWithEvents(int count)
{
    if (count < 1 || count > blockLimit)
        throw HostError("block of " + std::to_string(count) + " samples for module \"" + moduleId +
                        "\": expected 1 to " + std::to_string(blockLimit));
    // The checks around the module call are written out here, cheap and inline: with
    // cheap modules, the harness's own per-block work is a large share of the time.
    if (dspHost->log().records().size() != collectedRecords)
        collectMessages();  // published outside process() since the last look
    dspHost->clearBlockState();
    collectedRecords = 0;
    publishedInBlock = false;
    // Only touch the output pins when an output went static since the last reset: most
    // blocks of most modules publish nothing.
    if (outputsWentStatic) {
        for (const std::size_t output : audioOutputs)
            pinList[output].staticSince = -1;
        outputsWentStatic = false;
    }

    // Events of this block; later ones move on, shifted to the next block's time.
    const auto firstLater = std::find_if(pending.begin(), pending.end(),
                                         [count](const QueuedEvent& e) { return e.timestamp >= count; });
    const auto deliverCount = static_cast<std::size_t>(firstLater - pending.begin());

    skipped = sleeping && deliverCount == 0;
    if (skipped) {
        for (auto& event : pending)
            event.timestamp -= count;
        holdOutputs(count);
        allocationsDuringProcess = 0;
        return;
    }
    sleeping = false;

    if (deliverCount > 0)
        eventRecords.resize(deliverCount);
    for (std::size_t i = 0; i < deliverCount; ++i) {
        const QueuedEvent& source = pending[i];
        gmpi::MpEvent& record = eventRecords[i];
        record = gmpi::MpEvent{};
        record.timestamp = source.timestamp;
        record.type = source.type;
        record.pinIndex = source.pinIndex;
        record.size = static_cast<std::int32_t>(source.payload.size());
        if (source.payload.size() <= sizeof record.inlineData) {
            if (!source.payload.empty())
                std::memcpy(record.inlineData, source.payload.data(), source.payload.size());
        } else {
            record.data = source.payload.data();
        }
        record.next = i + 1 < deliverCount ? &eventRecords[i + 1] : nullptr;
    }

    const std::uint64_t before = allocationCount();
    const std::uint64_t hostBefore = dspHost->log().growthAllocations();
    if (callerFlushes) {
        module->process(count, deliverCount ? eventRecords.data() : nullptr);
    } else {
        const FlushSubnormals flush;
        module->process(count, deliverCount ? eventRecords.data() : nullptr);
    }
    allocationsDuringProcess =
        allocationCount() - before - (dspHost->log().growthAllocations() - hostBefore);

    if (!pending.empty()) {
        // The delivered events' payload buffers serve later events; a bounded number is
        // kept so that one burst does not hold memory for ever.
        for (auto event = pending.begin(); event != firstLater && sparePayloads.size() < keptPayloads; ++event)
            if (event->payload.capacity() > 0) {
                event->payload.clear();
                sparePayloads.push_back(std::move(event->payload));
            }
        pending.erase(pending.begin(), firstLater);
        for (auto& event : pending)
            event.timestamp -= count;
    }

    publishedInBlock = !dspHost->log().records().empty();
    if (publishedInBlock)
        collectOutputs(count);
    sleeping = dspHost->sleepRequested();
    if (sleeping || outputsWentStatic)
        updateHeldValues(count);  // otherwise no output went static and none is held
}

// The end of a block that process() ran inline when the module published or asked to
// sleep: the same steps as at the end of processWithEvents().
void DspModule::afterQuietBlock(int count)
{
    if (publishedInBlock)
        collectOutputs(count);
    sleeping = dspHost->sleepRequested();
    if (sleeping || outputsWentStatic)
        updateHeldValues(count);
}

std::int32_t DspModule::sendMessageFromGui(std::int32_t id, const Bytes& payload)
{
    const Bytes copy = payload;  // the module may not rely on the sender's memory
    collectMessages();
    const std::int32_t result =
        module->receiveMessageFromGui(id, static_cast<std::int32_t>(copy.size()), copy.empty() ? nullptr : copy.data());
    collectMessages();
    return result;
}

std::int32_t DspModule::sendMessageFromGui(std::int32_t id, const std::uint8_t* data, std::size_t size)
{
    collectMessages();
    const std::int32_t result =
        module->receiveMessageFromGui(id, static_cast<std::int32_t>(size), size == 0 ? nullptr : data);
    collectMessages();
    return result;
}

std::vector<GuiMessage> DspModule::takeMessages()
{
    collectMessages();
    std::vector<GuiMessage> taken(std::make_move_iterator(messages.begin()),
                                  std::make_move_iterator(messages.begin() + static_cast<std::ptrdiff_t>(messageCount)));
    messageCount = 0;
    return taken;
}

// Takes what the module published outside process() (from open(), a message handler
// or a direct call) into the pins and the message queue.
void DspModule::collectMessages()
{
    collectOutputs(options.maxBlockSize);
}

void DspModule::collectOutputs(int count)
{
    const OutputLog& log = dspHost->log();
    const auto& records = log.records();
    if (records.size() == collectedRecords)
        return;
    for (std::size_t i = collectedRecords; i < records.size(); ++i) {
        const OutputLog::Record& record = records[i];
        if (record.kind == OutputLog::Kind::Message) {
            const std::uint8_t* bytes = log.payload(record);
            keepMessage(record.pinOrId, bytes, record.size);
            continue;
        }
        DspPin* pin = pinByIndex(record.pinOrId);
        if (!pin || pin->isInput())
            continue;  // a module publishing on a pin it does not have: ignored
        if (record.kind == OutputLog::Kind::Streaming) {
            pin->streaming = record.streaming != 0;
            if (pin->isAudio() && !pin->streaming) {
                pin->staticSince = std::clamp(record.timestamp, 0, count - 1);
                outputsWentStatic = true;
            }
        } else if (!pin->isAudio()) {
            decodePinValueInto(pin->value, pin->datatype, log.payload(record), record.size);
        }
    }
    collectedRecords = records.size();
}

// The value a static audio output holds is the sample where it went static (the module
// writes that one); it stays the held value until the output streams again. A module that
// falls asleep may leave the rest of the block unwritten, and skipped blocks are not
// written at all: the host fills both with the held value. A streaming output of a module
// that sleeps anyway holds its last sample.
void DspModule::updateHeldValues(int count)
{
    for (const std::size_t output : audioOutputs) {
        DspPin& pin = pinList[output];
        if (!pin.streaming && pin.staticSince >= 0)
            pin.heldValue = pin.buffer[static_cast<std::size_t>(pin.staticSince)];
        if (sleeping) {
            const int from = pin.streaming ? count - 1 : std::max(pin.staticSince, 0);
            if (pin.streaming)
                pin.heldValue = pin.buffer[static_cast<std::size_t>(from)];
            std::fill(pin.buffer.begin() + from, pin.buffer.begin() + count, pin.heldValue);
        }
    }
}

void DspModule::holdOutputs(int count)
{
    for (const std::size_t output : audioOutputs) {
        DspPin& pin = pinList[output];
        std::fill(pin.buffer.begin(), pin.buffer.begin() + count, pin.heldValue);
    }
}

}  // namespace mphost
