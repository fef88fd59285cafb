#include "services/dsp_host.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "common/allocation_counter.h"
#include "common/com_ptr.h"
#include "services/file_name_reply.h"
#include "unicode_conversion.h"

namespace mphost {

void* SharedMemoryPool::allocate(const std::wstring& name, float sampleRate, std::int32_t size,
                                 bool& needsInitialising)
{
    needsInitialising = false;
    if (size < 0)
        return nullptr;
    const auto key = std::make_pair(name, std::bit_cast<std::uint32_t>(sampleRate));
    if (const auto found = tables.find(key); found != tables.end())
        return static_cast<std::size_t>(size) <= found->second.size ? found->second.memory.get() : nullptr;

    const std::size_t units = (static_cast<std::size_t>(size) + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
    Table table{std::make_unique<std::max_align_t[]>(std::max<std::size_t>(units, 1)), static_cast<std::size_t>(size)};
    void* memory = table.memory.get();
    tables.emplace(key, std::move(table));
    needsInitialising = true;
    return memory;
}

void OutputLog::add(Kind kind, std::int32_t timestamp, std::int32_t pinOrId, std::int32_t streaming,
                    const void* data, std::int32_t size)
{
    const std::uint32_t byteCount = (data && size > 0) ? static_cast<std::uint32_t>(size) : 0;
    const auto offset = static_cast<std::uint32_t>(arena.size());
    // Growing past the reserved room allocates; that cost is the host's, counted apart.
    const bool grows = arena.size() + byteCount > arena.capacity() || entries.size() == entries.capacity();
    const std::uint64_t before = grows ? allocationCount() : 0;
    if (byteCount > 0) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        arena.insert(arena.end(), bytes, bytes + byteCount);
    }
    entries.push_back(Record{kind, timestamp, pinOrId, streaming, offset, byteCount});
    if (grows)
        ownAllocations += allocationCount() - before;
}

namespace {

// The iterator handed to modules by hostCreatePinIterator; deletes itself on release.
class HostPinIterator final : public HostOwnedObject<HostPinIterator, gmpi::IMpPinIterator> {
public:
    explicit HostPinIterator(const std::vector<InstantiatedPin>& pins) : pins(pins) {}

    std::int32_t getCount(std::int32_t& returnCount) override
    {
        returnCount = static_cast<std::int32_t>(pins.size());
        return gmpi::MP_OK;
    }
    std::int32_t first() override
    {
        position = 0;
        return atEnd();
    }
    std::int32_t next() override
    {
        if (position < pins.size())
            ++position;
        return atEnd();
    }
    std::int32_t getPinId(std::int32_t& returnValue) override { return read(&InstantiatedPin::index, returnValue); }
    std::int32_t getPinDirection(std::int32_t& returnValue) override
    {
        return read(&InstantiatedPin::direction, returnValue);
    }
    std::int32_t getPinDatatype(std::int32_t& returnValue) override
    {
        return read(&InstantiatedPin::datatype, returnValue);
    }

private:
    std::int32_t atEnd() const { return position < pins.size() ? 0 : 1; }
    std::int32_t read(std::int32_t InstantiatedPin::*field, std::int32_t& returnValue) const
    {
        if (position >= pins.size())
            return gmpi::MP_FAIL;
        returnValue = pins[position].*field;
        return gmpi::MP_OK;
    }

    std::vector<InstantiatedPin> pins;
    std::size_t position = 0;
};

}  // namespace

gmpi::IMpPinIterator* newPinIterator(std::vector<InstantiatedPin> pins)
{
    return new HostPinIterator(std::move(pins));
}

DspHost::DspHost(DspHostSettings settings, std::shared_ptr<SharedMemoryPool> sharedMemory,
                 std::vector<InstantiatedPin> pins)
    : hostSettings(std::move(settings)),
      sharedMemory(sharedMemory ? std::move(sharedMemory) : std::make_shared<SharedMemoryPool>()),
      pins(std::move(pins))
{
}

std::int32_t DspHost::queryInterface(const gmpi::MpGuid& iid, void** returnInterface)
{
    *returnInterface = nullptr;
    if (iid == gmpi::MP_IID_UNKNOWN || iid == gmpi::MP_IID_HOST)
        *returnInterface = static_cast<gmpi::IMpHost*>(this);
    else if (iid == gmpi::MP_IID_PROCESSOR_HOST)
        *returnInterface = static_cast<gmpi::IMpProcessorHost*>(this);
    else
        return gmpi::MP_NOSUPPORT;
    addRef();
    return gmpi::MP_OK;
}

std::int32_t DspHost::hostSetPin(std::int32_t timestamp, std::int32_t pinIndex, std::int32_t size, const void* data)
{
    outputLog.add(OutputLog::Kind::Value, timestamp, pinIndex, 0, data, size);
    *activity = true;
    return gmpi::MP_OK;
}

std::int32_t DspHost::hostSetPinStreaming(std::int32_t timestamp, std::int32_t pinIndex, std::int32_t isStreaming)
{
    outputLog.add(OutputLog::Kind::Streaming, timestamp, pinIndex, isStreaming != 0 ? 1 : 0, nullptr, 0);
    *activity = true;
    return gmpi::MP_OK;
}

std::int32_t DspHost::hostSleep()
{
    sleepWasRequested = true;
    *activity = true;
    return gmpi::MP_OK;
}

std::int32_t DspHost::hostSendMessageToGui(std::int32_t id, std::int32_t size, const void* data)
{
    if (size < 0 || (size > 0 && !data))
        return gmpi::MP_FAIL;
    outputLog.add(OutputLog::Kind::Message, 0, id, 0, data, size);
    *activity = true;
    return gmpi::MP_OK;
}

std::int32_t DspHost::hostGetSleepDelay(std::int32_t& returnValue)
{
    returnValue = hostSettings.sleepDelay;
    return gmpi::MP_OK;
}

std::int32_t DspHost::hostGetSampleRate(float& returnValue)
{
    returnValue = hostSettings.sampleRate;
    return gmpi::MP_OK;
}

std::int32_t DspHost::hostCreatePinIterator(void** returnInterface)
{
    *returnInterface = static_cast<gmpi::IMpPinIterator*>(new HostPinIterator(pins));
    return gmpi::MP_OK;
}

std::int32_t DspHost::hostAllocateSharedMemory(const wchar_t* tableName, void** returnPointer, float sampleRate,
                                               std::int32_t size, std::int32_t& returnNeedInitialise)
{
    returnNeedInitialise = 0;
    *returnPointer = nullptr;
    if (!tableName)
        return gmpi::MP_FAIL;
    bool needsInitialising = false;
    *returnPointer = sharedMemory->allocate(tableName, sampleRate, size, needsInitialising);
    if (!*returnPointer)
        return gmpi::MP_FAIL;
    returnNeedInitialise = needsInitialising ? 1 : 0;
    return gmpi::MP_OK;
}

std::filesystem::path DspHost::resolve(const std::filesystem::path& fileName) const
{
    if (fileName.empty() || fileName.is_absolute() || hostSettings.searchPaths.empty())
        return fileName;
    std::error_code error;
    for (const auto& folder : hostSettings.searchPaths)
        if (std::filesystem::exists(folder / fileName, error))
            return folder / fileName;
    return hostSettings.searchPaths.front() / fileName;
}

std::int32_t DspHost::hostResolveFilename(const wchar_t* fileName, std::int32_t maxChars, wchar_t* returnFullFilename)
{
    if (!fileName || !returnFullFilename || maxChars < 1)
        return gmpi::MP_FAIL;
    return replyFileName(resolve(WStringToUtf8(fileName)), maxChars, returnFullFilename);
}

std::int32_t DspHost::hostSetLatency(std::int32_t latencySamples)
{
    if (latencySamples < 0)
        return gmpi::MP_FAIL;
    reportedLatency = latencySamples;
    return gmpi::MP_OK;
}

}  // namespace mphost
