// The patch engine: runs a validated Patch block by block, offline and single-threaded.
//
//   Engine engine(patch);
//   while (engine.processBlock() > 0)
//       write(engine.output(0), ...);          // the block's samples of each output
//
// Each block: the UI side is pumped first (virtual time set to the block's start, GUI
// timer ticks at their own virtual times, scripted GUI pin changes and pointer events due
// by then, GUI transmissions and messages turned into events and messages for the DSP
// halves), then every DSP module runs in dependency order. What a module publishes reaches
// the modules after it in the same block at the same sample position; a connection back to
// a module that already ran (feedback) arrives one block later. Audio outputs are wired to
// inputs without copying; an input with several sources reads their sum. Unconnected audio
// inputs are static signals at their value. A module that sleeps is skipped until events
// wake it; its outputs hold their level. After the DSP side, DSP outputs connected or
// linked to GUI pins and DSP messages reach the GUI halves. The same patch renders the
// same samples on every run.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/patch.h"
#include "harness/dsp_module.h"
#include "harness/gui_module.h"

namespace mphost {

class Engine {
public:
    // Loads the bundles, creates every module half and wires the graph. Throws HostError
    // when a module cannot be created.
    explicit Engine(const Patch& patch);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Renders the next block (the patch's block size, shorter at the end). Returns the
    // number of samples rendered, 0 once the patch's length is reached. The first call
    // starts the graph: graph start and every input's initial value, GUI halves set up and
    // initialised.
    int processBlock();

    // Renders the whole patch; one vector of samples per output of the patch. `progress`
    // (may be empty) is told the fraction done after each block.
    std::vector<std::vector<float>> render(const std::function<void(double)>& progress = {});

    // The samples of output channel `channel` (Patch::outputs) in the last block.
    std::span<const float> output(std::size_t channel) const;
    std::int64_t position() const { return samplePosition; }
    bool finished() const { return samplePosition >= length; }

    // The halves of a module by instance name; null when the module has no such half.
    DspModule* dsp(std::string_view moduleName);
    GuiModule* gui(std::string_view moduleName);
    // Blocks in which the module's DSP half was skipped because it slept.
    std::int64_t skippedBlocks(std::string_view moduleName) const;
    // Blocks that were, from start to end, each module's process() call and nothing else.
    std::int64_t quietBlocksRun() const { return quietBlockCount; }
    // Module instance names in the order their DSP halves run.
    std::vector<std::string> processingOrder() const;

    // Sets the graph up as the first block does (every input's initial value, GUI halves
    // started and arranged on the panel) without rendering; processBlock then goes on.
    void begin();

    // Two threads (see live_engine.h): the UI side on one, the DSP side on the audio
    // thread. Once bridged, what the offline engine hands across between blocks goes to
    // the bridge instead: GUI transmissions to DSP inputs and GUI messages (UI thread),
    // DSP values for GUI pins and DSP messages (audio thread). Each side delivers what
    // the other sent through the deliver* calls of its own thread.
    class ThreadBridge {
    public:
        virtual ~ThreadBridge() = default;
        // [ui-thread] A GUI value for DSP input `pin` of node `node`'s DSP half.
        virtual void valueToDsp(std::size_t node, std::int32_t pin, const Bytes& value) = 0;
        // [ui-thread] A GUI half's message to its DSP half.
        virtual void messageToDsp(std::size_t node, std::int32_t id, const Bytes& data) = 0;
        // [audio-thread] A DSP value for GUI pin `pin`; `data` is valid for the call only.
        virtual void valueToGui(std::size_t node, std::int32_t pin, const std::uint8_t* data, std::size_t size) = 0;
        // [audio-thread] A DSP half's message to its GUI half; `data` is valid for the call only.
        virtual void messageToGui(std::size_t node, std::int32_t id, const std::uint8_t* data, std::size_t size) = 0;
    };
    // Room in every DSP half for `events` queued events of up to `payloadBytes`.
    void reserveEvents(std::size_t events, std::size_t payloadBytes);
    // Room for `bytes` in every DSP half's text, blob and MIDI output values.
    void reserveOutputValues(std::size_t bytes);
    // Call before begin(); `bridge` outlives the engine's use of it.
    void bridgeThreads(ThreadBridge* bridge) { threadBridge = bridge; }
    // [audio-thread] One block of `count` samples (1 .. block size) of the DSP side alone,
    // with no end: the patch's DSP pin changes due in it, every DSP half, what they
    // published routed. Values and messages for GUI halves go to the bridge (without
    // one, they are delivered at once, on this thread).
    void processDspSide(int count);
    // [audio-thread] What crossed from the UI side, for the next processDspSide block.
    void deliverValueToDsp(std::size_t node, std::int32_t pin, const std::uint8_t* data, std::size_t size);
    void deliverMessageToDsp(std::size_t node, std::int32_t id, const std::uint8_t* data, std::size_t size);
    // [ui-thread] What crossed from the DSP side.
    void deliverValueToGui(std::size_t node, std::int32_t pin, const Bytes& value);
    void deliverMessageToGui(std::size_t node, std::int32_t id, const Bytes& data);
    // [ui-thread] The GUI halves' messages to their DSP halves, handed to the bridge
    // (without one, delivered at once).
    void forwardGuiMessages();
    // The drawing GUI half of node `node` with its panel rectangle, in patch order: what
    // a live panel routes pointer input to. Empty until begin().
    std::vector<std::tuple<std::size_t, GuiModule*, GmpiDrawing_API::MP1_RECT>> panelModules();

    const Patch& patch() const { return thePatch; }
    // The GUI panel now: every drawing GUI half at its rectangle on white, on a picture
    // just large enough for all rectangles.
    DrawingSurface renderPanel();
    // renderPanel() written to a PNG file; throws HostError when it cannot be written.
    void writePanel(const std::filesystem::path& file);

private:
    struct Node;
    struct Target {
        std::size_t node;
        std::int32_t pin;  // pin index in the target half
        bool toGui;
        bool feedback;  // DSP target that runs before the source in the block
    };
    struct MixedInput;
    // One DSP half in processing order, with what every block needs of it: the per-block
    // loop walks this contiguous array and reaches the Node only for mixed inputs, skipped
    // blocks and published values.
    struct Step {
        DspModule* dsp;
        gmpi::IMpPlugin2* plugin;  // dsp's module, called directly in quiet blocks
        std::size_t node;
        bool hasMixedInputs;
        bool asleep;  // in quiet blocks: the module sleeps (dsp skips it)
    };

    bool needsGui(std::size_t index) const;
    void build();
    void order();
    void wireAudio();
    void planBlocks();
    void start();
    void pumpUserInterface(std::int64_t until);
    void processDsp(int count);
    void runStep(const Step& step, int count);
    void afterStep(const Step& step, int count);
    void mixInputs(Node& node, int count);
    void forwardPublished(std::size_t nodeIndex, int count);
    void deliverToGuis();
    void onTransmission(std::size_t nodeIndex, const PinTransmission& transmission);
    void applyScriptedPin(const ScriptEvent& event, int timestamp);
    void chooseFromContextMenu(GuiModule& module, const ScriptEvent& event);
    void setGuiPin(std::size_t nodeIndex, std::int32_t pin, const Bytes& value);
    void takeSnapshots(std::int64_t until);
    std::int32_t pinIndex(const PinRef& pin) const;

    Patch thePatch;
    std::vector<std::unique_ptr<Node>> nodes;
    std::vector<std::size_t> runOrder;  // DSP nodes, in processing order
    std::vector<std::size_t> guiNodes;  // nodes with a GUI half
    std::vector<Step> steps;            // the DSP halves, in processing order
    // DSP halves in patch order with their GUI half (may be null): where messages go.
    std::vector<std::pair<DspModule*, GuiModule*>> messageRoutes;
    std::vector<std::unique_ptr<MixedInput>> mixedInputs;
    std::vector<const float*> outputBuffers;                                  // per patch output
    std::vector<std::tuple<std::size_t, std::int32_t, Bytes>> guiDeliveries;  // after the DSP side
    std::vector<std::tuple<std::size_t, std::string, float>> levelRefills;    // scripted audio levels
    // The user's scripted answers to the file dialogs of every GUI half.
    std::shared_ptr<FileDialogScript> fileDialogs = std::make_shared<FileDialogScript>();
    std::size_t nextGuiEvent = 0;  // script cursors: the UI side and the DSP side
    std::size_t nextDspEvent = 0;
    std::size_t nextSnapshot = 0;
    std::int64_t samplePosition = 0;
    std::int64_t length = 0;
    int lastBlock = 0;
    bool started = false;
    bool messagesWaiting = false;  // some DSP half holds messages after the DSP side
    // Set by every DSP half when an event is queued for it or it publishes, sends or asks
    // anything during a block; cleared after each block that looked at every module.
    bool dspActivity = true;
    // Every DSP half was quiet after the last full block: while nothing reports activity,
    // a block is each module's process() call and nothing else.
    bool quietBlocks = false;
    std::int64_t quietBlockCount = 0;
    int transmitDepth = 0;
    ThreadBridge* threadBridge = nullptr;  // null: one thread, offline
};

}  // namespace mphost
