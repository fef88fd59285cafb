// The harness for one DSP module instance: creates it from a bundle by identifier,
// connects the host services, owns the audio buffers, delivers timestamped events,
// processes blocks and collects what the module published. Tests, the validator and
// the patch engine all drive modules through this class.
//
//   DspModule module(bundle, *descriptions.find("DC_Blocker"));
//   module.start();                               // graph start and initial values
//   module.queueStreaming("In", true);
//   fill(module.input("In"), ...);
//   module.process(64);
//   module.output("Out");                         // the block's samples
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/com_ptr.h"
#include "common/pin_value.h"
#include "loader/bundle.h"
#include "loader/descriptions.h"
#include "common/allocation_counter.h"
#include "services/dsp_host.h"

namespace mphost {

struct DspModuleOptions {
    float sampleRate = 48000.0f;
    int maxBlockSize = 64;
    int sleepDelay = -1;  // samples; -1: maxBlockSize
    std::vector<std::filesystem::path> searchPaths;
    std::shared_ptr<SharedMemoryPool> sharedMemory;  // null: a pool of the module's own
    // Instances of each auto-duplicated pin, by pin name (1 when not given; 0 allowed).
    std::map<std::string, int> duplicates;
    // Create through createInstance with the host (legacy initialisation) instead of
    // createInstance2 followed by setHost.
    bool legacyCreation = false;
    // The caller runs process() with subnormals already flushed (FlushSubnormals held
    // around a whole block of modules), so the harness need not read the mode per call.
    bool callerFlushesSubnormals = false;
    // The caller calls reserveBlockRoom() itself before the first process(), once it has
    // created every module: room taken in the constructor would lie in memory between the
    // parts of consecutive modules that every block touches.
    bool reserveLater = false;
};

// An instantiated pin: auto-duplicated pins appear once per instance, named "Name[k]".
struct DspPin {
    std::string name;
    std::int32_t index = 0;
    const PinDescription* description = nullptr;
    std::int32_t datatype = 0;
    std::int32_t direction = 0;
    std::vector<float> buffer;  // audio pins: maxBlockSize samples
    // Outputs: the last published value and streaming state.
    PinValue value;
    bool streaming = false;
    int staticSince = -1;  // audio outputs: position in the last block where it went static
    float heldValue = 0;   // audio outputs: the last sample, held while the module sleeps

    bool isAudio() const { return datatype == 5; }
    bool isInput() const { return direction == 0; }
};

// A message the module sent to its GUI half.
struct GuiMessage {
    std::int32_t id;
    Bytes data;
};

class DspModule {
public:
    // Creates, connects (setHost), opens and hands every audio buffer to the module.
    // Throws HostError when the module cannot be created or refuses the host.
    DspModule(std::shared_ptr<Bundle> bundle, const ModuleDescription& description, DspModuleOptions options = {});
    ~DspModule();
    DspModule(const DspModule&) = delete;
    DspModule& operator=(const DspModule&) = delete;

    const std::vector<DspPin>& pins() const { return pinList; }
    // The pin named `name`; throws HostError naming the module's pins when absent.
    const DspPin& pin(std::string_view name) const;
    gmpi::IMpPlugin2* plugin() const { return module.get(); }
    DspHost& host() { return *dspHost; }
    const std::string& id() const { return moduleId; }

    // Events for the next process() call, at `timestamp` samples into it. Events at or
    // beyond that block's length move on to the following block.
    void queueValue(std::string_view pinName, const PinValue& value, int timestamp = 0);
    void queueStreaming(std::string_view pinName, bool streaming, int timestamp = 0);
    void queueMidi(std::string_view pinName, const Bytes& bytes, int timestamp = 0);
    void queueGraphStart(int timestamp = 0);
    // Any event, unchecked: for probing how modules handle what hosts should not send.
    void queueRawEvent(int type, int pinIndex, const Bytes& payload, int timestamp = 0);
    // The same from `size` bytes at `data` (copied). Payload buffers of delivered events are
    // kept for later events, so that a module's event traffic stops allocating once the
    // buffers have grown to the sizes it sees: what an audio thread needs.
    void queueRawBytes(int type, int pinIndex, const std::uint8_t* data, std::size_t size, int timestamp = 0);
    // Room for `events` more queued events, taken now: a caller on an audio thread reserves
    // before it starts. Payloads for text, blob and MIDI inputs, and messages to the GUI
    // half, get room for `payloadBytes` each; values of the other pins take 4 bytes.
    void reserveEvents(std::size_t events, std::size_t payloadBytes);
    // Room for `bytes` in the values of text, blob and MIDI outputs, so that publishing them
    // on the audio thread allocates nothing.
    void reserveOutputValues(std::size_t bytes);
    // The room every block may need: queued events, delivered events and what the module
    // publishes. Taken by the constructor unless DspModuleOptions::reserveLater.
    void reserveBlockRoom();
    // Graph start, then every control input's default value and every audio input
    // reported static with its buffer filled with the default, all at timestamp 0.
    void start();
    // As start(), with `values` (by pin name) in place of the defaults; an audio input's
    // value is the constant of its static signal.
    void start(const std::map<std::string, PinValue>& values);

    // Makes an audio input read `buffer` (maxBlockSize samples, owned by the caller and
    // outliving the module) instead of its own: how an engine wires an output to inputs
    // without copying.
    void connectInput(std::string_view pinName, const float* buffer);

    // An audio input's buffer (maxBlockSize samples) to fill before process().
    std::span<float> input(std::string_view pinName);
    // Fills an audio input with a constant.
    void fillInput(std::string_view pinName, float value);

    // Processes `count` samples (1 .. maxBlockSize). A module that asked to sleep and has
    // no events waiting is not called: its outputs hold their last value. The module runs
    // with subnormal floats flushed to zero (inputs and results), as on audio hosts.
    void process(int count)
    {
        // Most blocks of a running module: nothing queued or published since the last
        // block, awake, no output held, subnormals flushed by the caller. Inline and with
        // no event or output bookkeeping: with cheap modules the harness's own work per
        // block is a large share of the time.
        if (!callerFlushes || !pending.empty() || sleeping || outputsWentStatic ||
            !dspHost->log().records().empty() || count < 1 || count > blockLimit) {
            processWithEvents(count);
            return;
        }
        dspHost->clearBlockState();
        collectedRecords = 0;
        const std::uint64_t before = allocationCount();
        const std::uint64_t hostBefore = dspHost->log().growthAllocations();
        module->process(count, nullptr);
        allocationsDuringProcess = allocationCount() - before - (dspHost->log().growthAllocations() - hostBefore);
        publishedInBlock = !dspHost->log().records().empty();
        if (publishedInBlock || dspHost->sleepRequested())
            afterQuietBlock(count);
    }

    // For an engine that runs many modules, most of them quiet in most blocks: it
    // watches one flag, set (never cleared) by every event queued for any of them and
    // everything any of them publishes, sends or asks during a block.
    void reportActivityTo(bool* flag)
    {
        activity = flag;
        dspHost->reportActivityTo(flag);
    }
    // True when the next block of this module needs nothing but the module's own
    // process() call (or, asleep, nothing at all): no event queued, nothing published in
    // the last block or held since, subnormals flushed by the caller.
    bool quiet() const
    {
        return callerFlushes && pending.empty() && !outputsWentStatic && dspHost->log().records().empty();
    }
    // The rest of process() after the caller called plugin()->process(count, nullptr) itself
    // on an awake quiet module that then reported activity. Neither call counts the
    // module's allocations.
    void finishQuietBlock(int count)
    {
        publishedInBlock = !dspHost->log().records().empty();
        if (publishedInBlock || dspHost->sleepRequested())
            afterQuietBlock(count);
    }

    std::span<const float> output(std::string_view pinName) const;
    // The last value the module published on a control output (its zero value before).
    const PinValue& outputValue(std::string_view pinName) const;
    bool outputStreaming(std::string_view pinName) const;
    // What the module published during the last processed block, in call order.
    const OutputLog& lastBlockLog() const { return dspHost->log(); }
    // Messages the module sent to its GUI half since the last call (from open(),
    // process() or receiveMessageFromGui), oldest first.
    std::vector<GuiMessage> takeMessages();
    // Calls `visit(id, data)` for each message takeMessages() would return, then forgets
    // them, keeping the queue's memory: for an audio thread.
    template <class Visit>
    void forEachMessage(Visit visit)
    {
        collectMessages();
        for (std::size_t i = 0; i < messageCount; ++i)
            visit(messages[i].id, messages[i].data);
        messageCount = 0;
    }
    // True when messages from the last process() call wait to be taken.
    bool messagesWaiting() const { return messageCount > 0; }

    // Delivers a message from the GUI half (the payload is copied for the call).
    std::int32_t sendMessageFromGui(std::int32_t id, const Bytes& payload);
    // The same with a payload the caller keeps valid and unchanged for the call (no copy).
    std::int32_t sendMessageFromGui(std::int32_t id, const std::uint8_t* data, std::size_t size);

    bool asleep() const { return sleeping; }
    // True when the last process() call skipped the sleeping module.
    bool lastBlockSkipped() const { return skipped; }
    // True when the module published anything (values, streaming states, messages) during
    // the last process() call: a check that needs no look at the log.
    bool publishedInLastBlock() const { return publishedInBlock; }
    // Heap allocations the module made inside its last process() call (see
    // allocation_counter.h; 0 when counting is not linked in). The host's own growth of
    // its output log is not counted. Blocks an engine runs through plugin() directly
    // (see quiet) leave it as it was.
    std::uint64_t allocationsInLastProcess() const { return allocationsDuringProcess; }
    int maxBlockSize() const { return options.maxBlockSize; }

private:
    struct QueuedEvent {
        int timestamp;
        int type;
        int pinIndex;
        Bytes payload;
    };

    DspPin& findPin(std::string_view name);
    const DspPin& findPin(std::string_view name) const;
    DspPin* pinByIndex(int index);
    void queue(QueuedEvent event);
    void processWithEvents(int count);
    void afterQuietBlock(int count);
    void collectOutputs(int count);
    void collectMessages();
    void keepMessage(std::int32_t id, const std::uint8_t* data, std::size_t size);
    void updateHeldValues(int count);
    void holdOutputs(int count);

    std::shared_ptr<Bundle> bundle;  // first: the bundle stays loaded until everything else is gone
    // What every block touches comes next, together, so that a chain of many cheap modules
    // reads few cache lines per module: the module, the flags, the event queue.
    ComPtr<gmpi::IMpPlugin2> module;
    int blockLimit = 0;                    // options.maxBlockSize
    bool callerFlushes = false;            // options.callerFlushesSubnormals
    bool sleeping = false;
    bool skipped = false;
    bool publishedInBlock = false;         // the last process() call left records in the log
    bool outputsWentStatic = false;        // some audio output's staticSince is set
    std::size_t collectedRecords = 0;      // log records already taken into pins and messages
    std::uint64_t allocationsDuringProcess = 0;
    std::vector<QueuedEvent> pending;      // in timestamp order, stable
    std::vector<Bytes> sparePayloads;      // emptied payloads of delivered events, for reuse
    std::vector<GuiMessage> messages;      // the first messageCount wait; the rest are spare slots
    std::size_t messageCount = 0;
    // The module's host services live inside the harness (created once the pins are
    // known), not in an object of their own elsewhere on the heap.
    std::optional<DspHost> dspHost;
    bool ownActivity = false;
    bool* activity = &ownActivity;  // see reportActivityTo

    std::vector<gmpi::MpEvent> eventRecords;  // the delivered events, only in blocks with events
    std::vector<DspPin> pinList;
    std::vector<std::size_t> audioOutputs;  // indices into pinList

    std::string moduleId;
    DspModuleOptions options;
};

}  // namespace mphost
