// The host services a DSP module reaches through MP_IID_HOST and MP_IID_PROCESSOR_HOST.
// One DspHost serves one module instance; the harness owns it. Calls made from the
// module's process() allocate nothing while the output log has room.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/pin_value.h"
#include "mp_api.h"

namespace mphost {

// Shared read-only tables by (name, sample rate): every caller of one key receives the
// same zero-initialised block, and only the first is asked to fill it. Blocks live as
// long as the pool. Not thread-safe: modules call it from open().
class SharedMemoryPool {
public:
    // The block for (name, sampleRate) of at least `size` bytes, or null when a block of
    // that key exists with a smaller size or `size` is negative. `needsInitialising`
    // is true for the caller that created the block.
    void* allocate(const std::wstring& name, float sampleRate, std::int32_t size, bool& needsInitialising);
    std::size_t tableCount() const { return tables.size(); }

private:
    struct Table {
        std::unique_ptr<std::max_align_t[]> memory;
        std::size_t size = 0;
    };
    std::map<std::pair<std::wstring, std::uint32_t>, Table> tables;  // rate keyed by its bit pattern
};

// What a module published during one block: output values, streaming states and
// messages to its GUI half, with their payload bytes copied into one arena.
class OutputLog {
public:
    enum class Kind : std::uint8_t { Value, Streaming, Message };
    struct Record {
        Kind kind;
        std::int32_t timestamp;  // sample offset in the block (Value, Streaming); 0 for messages
        std::int32_t pinOrId;    // pin index, or message id
        std::int32_t streaming;  // Streaming: 0 or 1
        std::uint32_t offset;    // payload position in the arena
        std::uint32_t size;      // payload size in bytes
    };

    // Room for `records` records and `bytes` payload bytes, so that a module publishing
    // that much in a block allocates nothing.
    void reserve(std::size_t records, std::size_t bytes)
    {
        entries.reserve(records);
        arena.reserve(bytes);
    }
    void clear()
    {
        entries.clear();
        arena.clear();
    }
    void add(Kind kind, std::int32_t timestamp, std::int32_t pinOrId, std::int32_t streaming, const void* data,
             std::int32_t size);

    const std::vector<Record>& records() const { return entries; }
    // Heap allocations the log itself made while growing (not the module's).
    std::uint64_t growthAllocations() const { return ownAllocations; }
    const std::uint8_t* payload(const Record& record) const { return arena.data() + record.offset; }

private:
    std::vector<Record> entries;
    std::vector<std::uint8_t> arena;
    std::uint64_t ownAllocations = 0;
};

// One pin the host instantiated for a module, as the pin iterator reports it.
struct InstantiatedPin {
    std::int32_t index;
    std::int32_t direction;
    std::int32_t datatype;
};

// A new pin iterator over `pins` (reference count 1, deleted at 0): what both hosts'
// createPinIterator operations hand out.
gmpi::IMpPinIterator* newPinIterator(std::vector<InstantiatedPin> pins);

struct DspHostSettings {
    float sampleRate = 48000.0f;
    std::int32_t sleepDelay = 64;  // samples a module keeps producing after its outputs settle
    // Folders searched, in order, for relative file names; absolute names are kept.
    std::vector<std::filesystem::path> searchPaths;
};

class DspHost final : public gmpi::IMpHost, public gmpi::IMpProcessorHost {
public:
    DspHost(DspHostSettings settings, std::shared_ptr<SharedMemoryPool> sharedMemory,
            std::vector<InstantiatedPin> pins);
    DspHost(const DspHost&) = delete;
    DspHost& operator=(const DspHost&) = delete;

    // IMpUnknown. The harness owns the object: the count is kept so a test can check
    // that a module released everything it obtained, but nothing is deleted.
    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override;
    std::int32_t addRef() override { return ++references; }
    std::int32_t release() override { return --references; }

    // IMpHost
    std::int32_t hostSetPin(std::int32_t timestamp, std::int32_t pinIndex, std::int32_t size,
                            const void* data) override;
    std::int32_t hostSetPinStreaming(std::int32_t timestamp, std::int32_t pinIndex, std::int32_t isStreaming) override;
    std::int32_t hostSleep() override;
    std::int32_t hostSendMessageToGui(std::int32_t id, std::int32_t size, const void* data) override;
    std::int32_t hostGetSleepDelay(std::int32_t& returnValue) override;
    std::int32_t hostGetSampleRate(float& returnValue) override;
    std::int32_t hostReserved9() override { return gmpi::MP_NOSUPPORT; }
    std::int32_t hostReserved10() override { return gmpi::MP_NOSUPPORT; }
    std::int32_t hostReserved11() override { return gmpi::MP_NOSUPPORT; }
    std::int32_t hostReserved12() override { return gmpi::MP_NOSUPPORT; }
    std::int32_t hostCreatePinIterator(void** returnInterface) override;
    std::int32_t hostReserved14() override { return gmpi::MP_NOSUPPORT; }
    std::int32_t hostReserved15() override { return gmpi::MP_NOSUPPORT; }
    std::int32_t hostAllocateSharedMemory(const wchar_t* tableName, void** returnPointer, float sampleRate,
                                          std::int32_t size, std::int32_t& returnNeedInitialise) override;
    std::int32_t hostResolveFilename(const wchar_t* fileName, std::int32_t maxChars,
                                     wchar_t* returnFullFilename) override;

    // IMpProcessorHost
    std::int32_t hostReserved3() override { return gmpi::MP_NOSUPPORT; }
    std::int32_t hostReserved4() override { return gmpi::MP_NOSUPPORT; }
    std::int32_t hostSetLatency(std::int32_t latencySamples) override;

    // The full path for `fileName`: kept when absolute or when no search path holds it
    // (then joined to the first search path, if any).
    std::filesystem::path resolve(const std::filesystem::path& fileName) const;

    const DspHostSettings& settings() const { return hostSettings; }
    // The shared tables this host hands out (shared with the other modules of an engine).
    SharedMemoryPool& sharedMemoryPool() { return *sharedMemory; }
    OutputLog& log() { return outputLog; }
    const OutputLog& log() const { return outputLog; }
    bool sleepRequested() const { return sleepWasRequested; }
    // `flag` is set (never cleared) whenever the module publishes a value or a streaming
    // state, sends a message to its GUI half or asks to sleep: an engine watches one flag
    // for all its modules. Until this is called the host sets a flag of its own.
    void reportActivityTo(bool* flag) { activity = flag; }
    void clearBlockState()
    {
        outputLog.clear();
        sleepWasRequested = false;
    }
    // Samples of latency last reported, or -1.
    std::int32_t latency() const { return reportedLatency; }
    std::int32_t referenceCount() const { return references; }

private:
    // The sleep flag and the log first: the harness reads them around every block.
    bool sleepWasRequested = false;
    bool ownActivity = false;
    bool* activity = &ownActivity;
    std::int32_t references = 0;
    std::int32_t reportedLatency = -1;
    OutputLog outputLog;
    DspHostSettings hostSettings;
    std::shared_ptr<SharedMemoryPool> sharedMemory;
    std::vector<InstantiatedPin> pins;
};

}  // namespace mphost
