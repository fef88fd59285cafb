#include "mp_sdk_audio.h"

#include "unicode_conversion.h"

// ---------------------------------------------------------------------------------
// MpPluginBase

MpPluginBase::~MpPluginBase()
{
    pins.clear();
    if (host)
        host->release();
    if (processorHost)
        processorHost->release();
}

std::int32_t MpPluginBase::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    *returnInterface = nullptr;
    if (iid == gmpi::MP_IID_UNKNOWN || iid == gmpi::MP_IID_PLUGIN)
        *returnInterface = static_cast<gmpi::IMpPlugin*>(this);
    else if (iid == gmpi::MP_IID_PLUGIN2)
        *returnInterface = static_cast<gmpi::IMpPlugin2*>(this);
    else if (iid == gmpi::MP_IID_LEGACY_INITIALIZATION)
        *returnInterface = static_cast<gmpi::IMpLegacyInitialization*>(this);
    else
        return gmpi::MP_NOSUPPORT;
    addRef();
    return gmpi::MP_OK;
}

std::int32_t MpPluginBase::release()
{
    const std::int32_t count = --refCount;
    if (count == 0)
        delete this;
    return count;
}

std::int32_t MpPluginBase::setHost(gmpi::IMpUnknown* newHost)
{
    // Reconnecting drops the interfaces obtained from the previous host.
    if (processorHost) {
        processorHost->release();
        processorHost = nullptr;
    }
    if (host) {
        host->release();
        host = nullptr;
    }
    if (!newHost)
        return gmpi::MP_NOSUPPORT;
    newHost->queryInterface(gmpi::MP_IID_PROCESSOR_HOST, reinterpret_cast<void**>(&processorHost));
    return newHost->queryInterface(gmpi::MP_IID_HOST, reinterpret_cast<void**>(&host));
}

std::int32_t MpPluginBase::setBuffer(std::int32_t pinIndex, float* buffer)
{
    MpPinBase* pin = findPin(pinIndex);
    if (!pin)
        return gmpi::MP_FAIL;
    pin->setBuffer(buffer);
    return gmpi::MP_OK;
}

// The two message overloads call each other so that a module may override either; the
// guard stops the round trip when a module overrides neither.
std::int32_t MpPluginBase::receiveMessageFromGui(std::int32_t id, std::int32_t size, void* messageData)
{
    if (guiMessageGuard)
        return gmpi::MP_OK;
    guiMessageGuard = true;
    const std::int32_t result = receiveMessageFromGui(id, size, static_cast<const void*>(messageData));
    guiMessageGuard = false;
    return result;
}

std::int32_t MpPluginBase::receiveMessageFromGui(std::int32_t id, std::int32_t size, const void* messageData)
{
    if (guiMessageGuard)
        return gmpi::MP_OK;
    guiMessageGuard = true;
    const std::int32_t result = receiveMessageFromGui(id, size, const_cast<void*>(messageData));
    guiMessageGuard = false;
    return result;
}

void MpPluginBase::onMidiMessage(int pin, const unsigned char* midiMessage, int size)
{
    onMidiMessage(pin, const_cast<unsigned char*>(midiMessage), size);
}

void MpPluginBase::onMidiMessage(int /*pin*/, unsigned char* /*midiMessage*/, int /*size*/) {}

void MpPluginBase::onGraphStart()
{
    for (const auto& [pinIndex, pin] : pins) {
        if (pin->getDirection() == gmpi::MP_OUT)
            pin->sendFirstUpdate();
    }
}

void MpPluginBase::initializePin(int index, MpPinBase& pin, MpBaseMemberPtr handler)
{
    pin.initialize(this, index, handler);
    pins.try_emplace(index, &pin);
}

void MpPluginBase::initializePin(MpPinBase& pin, MpBaseMemberPtr handler)
{
    const int index = pins.empty() ? 0 : pins.rbegin()->first + 1;
    initializePin(index, pin, handler);
}

void MpPluginBase::midiHelper(const gmpi::MpEvent* event)
{
    onMidiMessage(event->pinIndex, static_cast<const unsigned char*>(event->payload()), event->size);
}

void MpPluginBase::resetSleepCounter()
{
    if (host)
        host->hostGetSleepDelay(sleepCount);
}

MpPinBase* MpPluginBase::findPin(int index) const
{
    const auto found = pins.find(index);
    return found == pins.end() ? nullptr : found->second;
}

static bool isPinEvent(const gmpi::MpEvent* event)
{
    return event->type >= gmpi::EVENT_PIN_SET && event->type <= gmpi::EVENT_MIDI;
}

bool MpPluginBase::preProcessEvent(const gmpi::MpEvent* event)
{
    if (!isPinEvent(event))
        return false;
    MpPinBase* pin = findPin(event->pinIndex);
    if (!pin)
        return false;
    pin->preProcessEvent(event);
    return true;
}

void MpPluginBase::processEvent(const gmpi::MpEvent* event)
{
    if (isPinEvent(event)) {
        if (MpPinBase* pin = findPin(event->pinIndex))
            pin->processEvent(event);
    } else if (event->type == gmpi::EVENT_GRAPH_START) {
        onGraphStart();
    }
}

void MpPluginBase::postProcessEvent(const gmpi::MpEvent* event)
{
    if (isPinEvent(event))
        if (MpPinBase* pin = findPin(event->pinIndex))
            pin->postProcessEvent(event);
}

// ---------------------------------------------------------------------------------
// Pins

void MpPinBase::initialize(MpPluginBase* owner, int pinIndex, MpBaseMemberPtr eventHandler)
{
    module = owner;
    index = pinIndex;
    handler = (eventHandler == nullptr && getDirection() == gmpi::MP_IN) ? getDefaultEventHandler() : eventHandler;
}

void MpPinBase::processEvent(const gmpi::MpEvent* event)
{
    if (handler)
        (module->*handler)(event);
}

int MpPinBase::sendPinUpdate(int size, const void* data, int blockPosition)
{
    gmpi::IMpHost* host = module->getHost();
    if (!host)
        return gmpi::MP_FAIL;
    const int timestamp = blockPosition == -1 ? module->getBlockPosition() : blockPosition;
    return host->hostSetPin(timestamp, index, size, data);
}

void AudioInPin::preProcessEvent(const gmpi::MpEvent* event)
{
    if (event->type != gmpi::EVENT_PIN_STREAMING_START && event->type != gmpi::EVENT_PIN_STREAMING_STOP)
        return;
    streamingChanged = true;
    const bool newState = event->type == gmpi::EVENT_PIN_STREAMING_START;
    if (newState != streaming) {
        streaming = newState;
        module->OnPinStreamingChange(newState);
    }
    // A static input still needs one more sample of output before the module may sleep.
    if (!streaming)
        module->sleepCount = std::max(module->sleepCount, 1);
}

void AudioInPin::postProcessEvent(const gmpi::MpEvent* event)
{
    if (event->type == gmpi::EVENT_PIN_STREAMING_START || event->type == gmpi::EVENT_PIN_STREAMING_STOP)
        streamingChanged = false;
}

void AudioOutPin::setStreaming(bool isStreaming, int blockPosition)
{
    const int timestamp = blockPosition == -1 ? module->getBlockPosition() : blockPosition;
    if (isStreaming != streaming) {
        streaming = isStreaming;
        module->OnPinStreamingChange(isStreaming);
    }
    if (!streaming)
        module->resetSleepCounter();
    if (gmpi::IMpHost* host = module->getHost())
        host->hostSetPinStreaming(timestamp, index, streaming ? 1 : 0);
}

StringInPin::operator std::string() const
{
    return WStringToUtf8(value);
}

void MidiOutPin::send(const unsigned char* data, int size, int blockPosition)
{
    sendPinUpdate(size, data, blockPosition);
}

// ---------------------------------------------------------------------------------
// PinIterator

PinIterator::PinIterator(MpPluginBase* module)
{
    if (gmpi::IMpHost* host = module->getHost())
        host->hostCreatePinIterator(reinterpret_cast<void**>(&iterator));
}

PinIterator::~PinIterator()
{
    if (iterator)
        iterator->release();
}

bool PinIterator::first()
{
    return iterator && iterator->first() == 0;
}

bool PinIterator::next()
{
    return iterator && iterator->next() == 0;
}

int PinIterator::count()
{
    std::int32_t result = 0;
    if (iterator)
        iterator->getCount(result);
    return result;
}

int PinIterator::getUniqueId()
{
    std::int32_t result = -1;
    if (iterator)
        iterator->getPinId(result);
    return result;
}

int PinIterator::getDirection()
{
    std::int32_t result = -1;
    if (iterator)
        iterator->getPinDirection(result);
    return result;
}

int PinIterator::getDatatype()
{
    std::int32_t result = -1;
    if (iterator)
        iterator->getPinDatatype(result);
    return result;
}
