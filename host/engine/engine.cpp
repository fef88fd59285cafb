#include "engine/engine.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <sstream>

#include "common/flush_subnormals.h"
#include "common/host_error.h"
#include "engine/engine_panel.h"
#include "mp_api.h"
#include "platform/clock.h"
#include "services/run_loop.h"
#include "common/file_access.h"

namespace mphost {

// An audio input with several sources, or fed back from a module that runs later, reads
// the sum of its sources from a buffer of its own, filled just before its module runs.
// Its streaming state is that of any source streaming.
struct Engine::MixedInput {
    std::size_t node;
    std::int32_t pin;
    std::vector<const float*> sources;
    std::vector<bool> streaming;  // per source
    std::vector<float> buffer;
};

struct Engine::Node {
    std::unique_ptr<DspModule> dsp;
    std::unique_ptr<GuiModule> gui;
    // Where each pin's published values go, by pin index of the half.
    std::vector<std::vector<Target>> dspRoutes;
    std::vector<std::vector<Target>> guiRoutes;
    // For audio routes into mixed inputs: the mix and the source's slot, by (pin, target).
    std::vector<std::vector<std::pair<MixedInput*, std::size_t>>> dspMixes;
    std::vector<MixedInput*> mixedInputs;  // this node's inputs that sum several sources
    int position = -1;                     // in the processing order
    std::int64_t skipped = 0;
};

namespace {

std::int64_t nanosecondsAt(std::int64_t sample, float sampleRate)
{
    return std::llround(static_cast<double>(sample) * 1e9 / static_cast<double>(sampleRate));
}

}  // namespace

Engine::Engine(const Patch& patch) : thePatch(patch), length(patch.lengthInSamples())
{
    build();
    for (const ScriptEvent& event : thePatch.script)
        if (event.kind == ScriptEvent::Kind::Pointer && !nodes[event.module]->gui->isGraphical())
            throw HostError(thePatch.source + ": module \"" + thePatch.modules[event.module].name +
                            "\" does not draw and takes no pointer events");
    order();
    wireAudio();
    planBlocks();
}

Engine::~Engine()
{
    nodes.clear();  // modules go before their bundles
    if (started)
        platform::useRealTime();
}

std::int32_t Engine::pinIndex(const PinRef& pin) const
{
    const Node& node = *nodes[pin.module];
    return pin.half == Half::Dsp ? node.dsp->pin(pin.pin).index : node.gui->pin(pin.pin).index;
}

// A GUI half is created when it has a part to play: a module with no DSP half, a pair
// whose halves share pins, a rectangle on the panel, or pins the patch uses.
bool Engine::needsGui(std::size_t index) const
{
    const PatchModule& module = thePatch.modules[index];
    if (!module.description->dsp || !module.description->links.empty() || module.rect)
        return true;
    const auto isOurs = [index](const PinRef& pin) { return pin.module == index && pin.half == Half::Gui; };
    for (const auto& [pin, value] : module.values)
        if (isOurs(pin))
            return true;
    for (const Connection& connection : thePatch.connections)
        if (isOurs(connection.from) || isOurs(connection.to))
            return true;
    for (const ScriptEvent& event : thePatch.script)
        if (((event.kind == ScriptEvent::Kind::Pointer || event.kind == ScriptEvent::Kind::ContextMenu) &&
             event.module == index) ||
            (event.kind == ScriptEvent::Kind::SetPin && isOurs(event.pin)))
            return true;
    return false;
}

void Engine::build()
{
    std::map<std::filesystem::path, std::shared_ptr<Bundle>> bundles;
    auto sharedMemory = std::make_shared<SharedMemoryPool>();
    for (const PatchModule& module : thePatch.modules) {
        auto& bundle = bundles[module.bundlePath];
        if (!bundle)
            bundle = Bundle::load(module.bundlePath);
        auto node = std::make_unique<Node>();
        try {
            if (module.description->dsp) {
                DspModuleOptions options;
                options.sampleRate = thePatch.sampleRate;
                options.maxBlockSize = thePatch.blockSize;
                options.sharedMemory = sharedMemory;
                options.duplicates = module.duplicates;
                options.callerFlushesSubnormals = true;  // processDsp holds the mode for the block
                options.reserveLater = true;
                node->dsp = std::make_unique<DspModule>(bundle, *module.description, options);
                node->dspRoutes.resize(node->dsp->pins().size());
                node->dspMixes.resize(node->dsp->pins().size());
            }
            if (module.description->gui && needsGui(nodes.size())) {
                GuiModuleOptions options;
                options.duplicates = module.duplicates;
                options.host.skinFolder = thePatch.skinFolder;
                options.host.fileDialogs = fileDialogs;
                node->gui = std::make_unique<GuiModule>(bundle, *module.description, options);
                node->guiRoutes.resize(node->gui->pins().size());
                const std::size_t index = nodes.size();
                node->gui->onTransmit(
                    [this, index](const PinTransmission& transmission) { onTransmission(index, transmission); });
            }
        } catch (const HostError& error) {
            throw HostError(thePatch.source + ": module \"" + module.name + "\": " + error.what());
        }
        if (node->gui)
            guiNodes.push_back(nodes.size());
        nodes.push_back(std::move(node));
    }

    for (const Connection& connection : thePatch.connections) {
        Node& from = *nodes[connection.from.module];
        const std::int32_t fromPin = pinIndex(connection.from);
        const Target target{connection.to.module, pinIndex(connection.to), connection.to.half == Half::Gui, false};
        (connection.from.half == Half::Dsp ? from.dspRoutes : from.guiRoutes)[static_cast<std::size_t>(fromPin)]
            .push_back(target);
    }

    // The pins the two halves of a pair share: DSP outputs shown by the GUI half, GUI
    // values driving DSP inputs. Auto-duplicated pins are linked instance by instance.
    for (std::size_t index = 0; index < nodes.size(); ++index) {
        Node& node = *nodes[index];
        if (!node.dsp || !node.gui)
            continue;
        for (const PinLink& link : thePatch.modules[index].description->links) {
            for (const DspPin& dspPin : node.dsp->pins()) {
                if (dspPin.description->name != link.dspPin)
                    continue;
                const std::string guiName = link.guiPin + dspPin.name.substr(link.dspPin.size());
                const auto& guiPins = node.gui->pins();
                const auto guiPin = std::find_if(guiPins.begin(), guiPins.end(),
                                                 [&](const GuiPin& pin) { return pin.name == guiName; });
                if (guiPin == guiPins.end())
                    continue;
                if (dspPin.isInput())
                    node.guiRoutes[static_cast<std::size_t>(guiPin->index)].push_back(
                        {index, dspPin.index, false, false});
                else
                    node.dspRoutes[static_cast<std::size_t>(dspPin.index)].push_back(
                        {index, guiPin->index, true, false});
            }
        }
    }

    for (const PinRef& output : thePatch.outputs)
        outputBuffers.push_back(nodes[output.module]->dsp->output(output.pin).data());
    for (const auto& node : nodes)
        if (node->dsp)
            node->dsp->reserveBlockRoom();
}

// Dependency order of the DSP halves: a module runs after the modules feeding it, ties
// broken by patch order. Where connections form a loop, the earliest waiting module in
// patch order runs first and what it reads from the loop arrives one block late.
void Engine::order()
{
    std::vector<std::set<std::size_t>> feeders(nodes.size());
    for (const Connection& connection : thePatch.connections)
        if (connection.from.half == Half::Dsp && connection.to.half == Half::Dsp &&
            connection.from.module != connection.to.module)
            feeders[connection.to.module].insert(connection.from.module);

    std::vector<bool> placed(nodes.size(), false);
    std::size_t remaining = 0;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        placed[i] = !nodes[i]->dsp;
        remaining += nodes[i]->dsp ? 1 : 0;
    }
    while (remaining > 0) {
        std::size_t next = nodes.size();
        for (std::size_t i = 0; i < nodes.size() && next == nodes.size(); ++i)
            if (!placed[i] &&
                std::all_of(feeders[i].begin(), feeders[i].end(), [&](std::size_t f) { return placed[f]; }))
                next = i;
        if (next == nodes.size())  // a loop: break it at its earliest module
            next = static_cast<std::size_t>(std::find(placed.begin(), placed.end(), false) - placed.begin());
        placed[next] = true;
        --remaining;
        nodes[next]->position = static_cast<int>(runOrder.size());
        runOrder.push_back(next);
    }

    for (const auto& node : nodes)
        for (auto& routes : node->dspRoutes)
            for (Target& target : routes)
                target.feedback = !target.toGui && nodes[target.node]->position <= node->position;
}

void Engine::wireAudio()
{
    // Sources of every connected audio input, in patch order.
    std::map<std::pair<std::size_t, std::int32_t>, std::vector<std::pair<std::size_t, std::int32_t>>> sources;
    for (const Connection& connection : thePatch.connections)
        if (connection.from.half == Half::Dsp && connection.to.half == Half::Dsp &&
            connection.to.description->datatype == gmpi::MP_AUDIO)
            sources[{connection.to.module, pinIndex(connection.to)}].push_back(
                {connection.from.module, pinIndex(connection.from)});

    for (const auto& [input, feeding] : sources) {
        Node& node = *nodes[input.first];
        const std::string& inputName = node.dsp->pins()[static_cast<std::size_t>(input.second)].name;
        const auto bufferOf = [this](std::size_t module, std::int32_t pin) {
            DspModule& source = *nodes[module]->dsp;
            return source.output(source.pins()[static_cast<std::size_t>(pin)].name).data();
        };
        // A module that runs before its source (a loop) reads the source's previous block
        // from a buffer of its own, never the buffer the source is about to overwrite.
        const bool loop = std::any_of(feeding.begin(), feeding.end(), [&](const auto& source) {
            return nodes[source.first]->position >= node.position;
        });
        if (feeding.size() == 1 && !loop) {
            node.dsp->connectInput(inputName, bufferOf(feeding[0].first, feeding[0].second));
            continue;
        }
        auto mix = std::make_unique<MixedInput>();
        mix->node = input.first;
        mix->pin = input.second;
        mix->buffer.assign(static_cast<std::size_t>(thePatch.blockSize), 0.0f);
        for (std::size_t slot = 0; slot < feeding.size(); ++slot) {
            const auto [module, pin] = feeding[slot];
            mix->sources.push_back(bufferOf(module, pin));
            mix->streaming.push_back(false);
            Node& source = *nodes[module];
            const auto& routes = source.dspRoutes[static_cast<std::size_t>(pin)];
            auto& mixes = source.dspMixes[static_cast<std::size_t>(pin)];
            mixes.resize(routes.size(), {nullptr, 0});
            for (std::size_t r = 0; r < routes.size(); ++r)
                if (!routes[r].toGui && routes[r].node == input.first && routes[r].pin == input.second)
                    mixes[r] = {mix.get(), slot};
        }
        node.dsp->connectInput(inputName, mix->buffer.data());
        node.mixedInputs.push_back(mix.get());
        mixedInputs.push_back(std::move(mix));
    }
}

void Engine::planBlocks()
{
    for (const std::size_t index : runOrder) {
        DspModule& dsp = *nodes[index]->dsp;
        dsp.reportActivityTo(&dspActivity);
        steps.push_back({&dsp, dsp.plugin(), index, !nodes[index]->mixedInputs.empty(), false});
    }
    for (const auto& node : nodes)
        if (node->dsp)
            messageRoutes.emplace_back(node->dsp.get(), node->gui.get());
}

void Engine::start()
{
    started = true;
    platform::setVirtualTime(0);

    // Initial values by half; a value on a linked pin reaches the other half too.
    std::vector<std::map<std::string, PinValue>> dspValues(nodes.size()), guiValues(nodes.size());
    for (std::size_t index = 0; index < nodes.size(); ++index) {
        const PatchModule& module = thePatch.modules[index];
        for (const auto& [pin, value] : module.values) {
            (pin.half == Half::Dsp ? dspValues : guiValues)[index][pin.pin] = value;
            for (const PinLink& link : module.description->links) {
                if (pin.half == Half::Dsp && pin.description->name == link.dspPin)
                    guiValues[index][link.guiPin + pin.pin.substr(link.dspPin.size())] = value;
                if (pin.half == Half::Gui && pin.description->name == link.guiPin)
                    dspValues[index][link.dspPin + pin.pin.substr(link.guiPin.size())] = value;
            }
        }
    }
    for (std::size_t index = 0; index < nodes.size(); ++index)
        if (nodes[index]->dsp)
            nodes[index]->dsp->start(dspValues[index]);
    // What a GUI half transmits while it starts waits until every GUI half has started:
    // a value for a later-listed half would otherwise be overwritten by that half's own
    // start-up values. Then it is routed in the order it was sent.
    std::vector<std::pair<std::size_t, PinTransmission>> startupTransmissions;
    for (const std::size_t index : guiNodes)
        nodes[index]->gui->onTransmit([&startupTransmissions, index](const PinTransmission& transmission) {
            startupTransmissions.emplace_back(index, transmission);
        });
    const auto routeTransmissions = [this] {
        for (const std::size_t index : guiNodes)
            nodes[index]->gui->onTransmit(
                [this, index](const PinTransmission& transmission) { onTransmission(index, transmission); });
    };
    try {
        for (const std::size_t index : guiNodes) {
            GuiModule& gui = *nodes[index]->gui;
            gui.start(guiValues[index]);
            if (const auto& rect = thePatch.modules[index].rect)
                panel::arrange(gui, *rect);
        }
    } catch (...) {
        routeTransmissions();
        throw;
    }
    routeTransmissions();
    for (const auto& [index, transmission] : startupTransmissions)
        onTransmission(index, transmission);
}

void Engine::begin()
{
    if (!started)
        start();
}

int Engine::processBlock()
{
    if (finished())
        return 0;
    if (!started)
        start();
    const int count = static_cast<int>(std::min<std::int64_t>(thePatch.blockSize, length - samplePosition));
    if (!guiNodes.empty())  // without GUI halves there are no timers, GUI events or dialogs
        pumpUserInterface(samplePosition);
    processDsp(count);
    deliverToGuis();
    samplePosition += count;
    lastBlock = count;
    takeSnapshots(samplePosition);
    return count;
}

std::vector<std::vector<float>> Engine::render(const std::function<void(double)>& progress)
{
    std::vector<std::vector<float>> channels(outputBuffers.size());
    for (auto& channel : channels)
        channel.reserve(static_cast<std::size_t>(length - samplePosition));
    while (const int count = processBlock()) {
        for (std::size_t c = 0; c < channels.size(); ++c)
            channels[c].insert(channels[c].end(), outputBuffers[c], outputBuffers[c] + count);
        if (progress)
            progress(static_cast<double>(samplePosition) / static_cast<double>(length));
    }
    return channels;
}

std::span<const float> Engine::output(std::size_t channel) const
{
    return {outputBuffers.at(channel), static_cast<std::size_t>(lastBlock)};
}

// Between blocks: the clock reads the block's start; GUI timer ticks and scripted GUI
// changes and pointer events due by then happen (each at its own time on the clock, a
// tick before an event at the same time); GUI messages go to the DSP halves.
void Engine::pumpUserInterface(std::int64_t until)
{
    // File dialogs opened at an earlier turn complete first when their answer is in.
    fileDialogs->deliver();
    for (; nextGuiEvent < thePatch.script.size(); ++nextGuiEvent) {
        const ScriptEvent& event = thePatch.script[nextGuiEvent];
        if (event.sample > until)
            break;
        if (event.kind == ScriptEvent::Kind::FileDialog) {
            fileDialogs->answer(event.dialogAnswer);  // taken at the next turn
            continue;
        }
        const bool onGui = event.kind != ScriptEvent::Kind::SetPin || event.pin.half == Half::Gui;
        if (!onGui)
            continue;  // DSP pin changes are queued at their sample by processDsp
        advanceVirtualTime(nanosecondsAt(event.sample, thePatch.sampleRate));  // ticks due first
        Node& node = *nodes[event.kind == ScriptEvent::Kind::SetPin ? event.pin.module : event.module];
        if (event.kind == ScriptEvent::Kind::Pointer)
            panel::pointer(*node.gui, event.action, event.flags, event.point);
        else if (event.kind == ScriptEvent::Kind::ContextMenu)
            chooseFromContextMenu(*node.gui, event);
        else
            node.gui->setPinRaw(pinIndex(event.pin), encodePinValue(event.value));
    }
    advanceVirtualTime(nanosecondsAt(until, thePatch.sampleRate));
    for (const std::size_t index : guiNodes) {
        Node& node = *nodes[index];
        for (const MessageToDsp& message : node.gui->takeMessagesToDsp())
            if (node.dsp)
                node.dsp->sendMessageFromGui(message.id, message.data);
    }
}

// A scripted right click: the module fills its menu and the item the script names is
// chosen. A menu without that item is the patch's fault, reported with what it offered.
void Engine::chooseFromContextMenu(GuiModule& module, const ScriptEvent& event)
{
    const std::vector<ContextMenuItem> items = module.openContextMenu(event.point);
    for (const ContextMenuItem& item : items) {
        if (event.menuText ? item.text == *event.menuText : item.id == event.menuId) {
            module.chooseContextMenuItem(item.id);
            return;
        }
    }
    std::string offered;
    for (const ContextMenuItem& item : items)
        offered += (offered.empty() ? "" : ", ") + ("\"" + item.text + "\" (id " + std::to_string(item.id) + ")");
    const std::string wanted = event.menuText ? "\"" + *event.menuText + "\"" : "with id " + std::to_string(event.menuId);
    std::ostringstream when;
    when << event.time;
    throw HostError(thePatch.source + ": at " + when.str() + " s the context menu of module \"" +
                    thePatch.modules[event.module].name + "\" has no item " + wanted +
                    (items.empty() ? "; it offers no items" : "; it offers " + offered));
}

void Engine::processDsp(int count)
{
    // DSP pin changes of the script, at their sample within this block.
    const std::int64_t end = samplePosition + count;
    // Levels that stepped during the last block hold their new value through this one.
    for (const auto& [node, pin, level] : levelRefills) {
        const std::span<float> buffer = nodes[node]->dsp->input(pin);
        std::fill(buffer.begin(), buffer.end(), level);
    }
    levelRefills.clear();  // keeps its capacity: no allocation per block
    for (; nextDspEvent < thePatch.script.size() && thePatch.script[nextDspEvent].sample < end; ++nextDspEvent) {
        const ScriptEvent& event = thePatch.script[nextDspEvent];
        if (event.kind != ScriptEvent::Kind::SetPin || event.pin.half != Half::Dsp)
            continue;
        DspModule& module = *nodes[event.pin.module]->dsp;
        const int timestamp = static_cast<int>(event.sample - samplePosition);
        if (event.pin.description->datatype != gmpi::MP_AUDIO) {
            module.queueRawEvent(gmpi::EVENT_PIN_SET, pinIndex(event.pin), encodePinValue(event.value), timestamp);
            continue;
        }
        // A new level of an unconnected audio input: the static signal steps at its sample.
        const std::span<float> buffer = module.input(event.pin.pin);
        std::fill(buffer.begin() + timestamp, buffer.end(), std::get<float>(event.value));
        module.queueStreaming(event.pin.pin, false, timestamp);
        levelRefills.emplace_back(event.pin.module, event.pin.pin, std::get<float>(event.value));
    }

    const FlushSubnormals flush;
    messagesWaiting = false;
    std::size_t next = 0;  // the first step not yet run
    if (quietBlocks && !dspActivity) {
        // Nothing queued, published or held: each step is its module's process() call
        // (nothing for a sleeping one), until a module reports activity; from that module
        // on, the block takes the full path.
        for (; next < steps.size() && !dspActivity; ++next) {
            const Step& step = steps[next];
            if (step.hasMixedInputs)
                mixInputs(*nodes[step.node], count);
            if (step.asleep) {
                step.dsp->process(count);
                ++nodes[step.node]->skipped;
                continue;
            }
            step.plugin->process(count, nullptr);
            if (dspActivity) {
                step.dsp->finishQuietBlock(count);
                afterStep(step, count);
            }
        }
        if (!dspActivity) {
            ++quietBlockCount;
            return;
        }
    }
    for (; next < steps.size(); ++next)
        runStep(steps[next], count);
    // Whether the next block can be a quiet one.
    quietBlocks = true;
    for (Step& step : steps) {
        quietBlocks = quietBlocks && step.dsp->quiet();
        step.asleep = step.dsp->asleep();
    }
    dspActivity = false;
}

void Engine::runStep(const Step& step, int count)
{
    if (step.hasMixedInputs)
        mixInputs(*nodes[step.node], count);
    step.dsp->process(count);
    afterStep(step, count);
}

void Engine::afterStep(const Step& step, int count)
{
    if (step.dsp->lastBlockSkipped())
        ++nodes[step.node]->skipped;
    else if (step.dsp->publishedInLastBlock())
        forwardPublished(step.node, count);
    // Every DSP half runs once per block, so this sees every message waiting, however
    // it came; deliverToGuis need not look at every module when none has any.
    messagesWaiting = messagesWaiting || step.dsp->messagesWaiting();
}

void Engine::mixInputs(Node& node, int count)
{
    for (MixedInput* mix : node.mixedInputs) {
        std::fill(mix->buffer.begin(), mix->buffer.begin() + count, 0.0f);
        for (const float* source : mix->sources)
            for (int i = 0; i < count; ++i)
                mix->buffer[static_cast<std::size_t>(i)] += source[i];
    }
}

// Turns what a module published during the block into events for the DSP inputs it
// feeds (same position in this block, or in the next one for feedback) and values for
// the GUI pins it feeds (after the block).
void Engine::forwardPublished(std::size_t nodeIndex, int count)
{
    Node& node = *nodes[nodeIndex];
    const OutputLog& log = node.dsp->lastBlockLog();
    for (const OutputLog::Record& record : log.records()) {
        if (record.kind == OutputLog::Kind::Message || record.pinOrId < 0 ||
            static_cast<std::size_t>(record.pinOrId) >= node.dspRoutes.size())
            continue;
        const auto pin = static_cast<std::size_t>(record.pinOrId);
        const DspPin& source = node.dsp->pins()[pin];
        if (source.isInput())
            continue;
        const auto& routes = node.dspRoutes[pin];
        const int timestamp = std::clamp(record.timestamp, 0, count - 1);
        for (std::size_t r = 0; r < routes.size(); ++r) {
            const Target& target = routes[r];
            if (record.kind == OutputLog::Kind::Streaming) {
                if (target.toGui)
                    continue;
                bool streaming = record.streaming != 0;
                if (r < node.dspMixes[pin].size() && node.dspMixes[pin][r].first) {
                    auto [mix, slot] = node.dspMixes[pin][r];
                    mix->streaming[slot] = streaming;
                    streaming = std::find(mix->streaming.begin(), mix->streaming.end(), true) != mix->streaming.end();
                }
                nodes[target.node]->dsp->queueRawEvent(streaming ? gmpi::EVENT_PIN_STREAMING_START
                                                                 : gmpi::EVENT_PIN_STREAMING_STOP,
                                                       target.pin, {}, timestamp);
                continue;
            }
            const std::uint8_t* bytes = log.payload(record);
            if (target.toGui && threadBridge)
                threadBridge->valueToGui(target.node, target.pin, bytes, record.size);
            else if (target.toGui)
                guiDeliveries.emplace_back(target.node, target.pin, Bytes(bytes, bytes + record.size));
            else
                nodes[target.node]->dsp->queueRawBytes(source.datatype == gmpi::MP_MIDI ? gmpi::EVENT_MIDI
                                                                                        : gmpi::EVENT_PIN_SET,
                                                       target.pin, bytes, record.size, timestamp);
        }
    }
}

// After the DSP side: DSP values reach the GUI pins they feed, DSP messages their GUI half.
void Engine::deliverToGuis()
{
    for (auto& [node, pin, value] : guiDeliveries)
        setGuiPin(node, pin, value);
    guiDeliveries.clear();
    if (!messagesWaiting)
        return;
    for (const auto& [dsp, gui] : messageRoutes) {
        if (!dsp->messagesWaiting())
            continue;
        std::vector<GuiMessage> messages = dsp->takeMessages();
        if (gui)
            for (const GuiMessage& message : messages)
                gui->sendMessageFromDsp(message.id, message.data);
    }
}

void Engine::setGuiPin(std::size_t nodeIndex, std::int32_t pin, const Bytes& value)
{
    nodes[nodeIndex]->gui->setPinRaw(pin, value);
}

// A GUI module assigned a pin: connected and linked DSP inputs receive it at the start of
// the next block, connected GUI pins at once. A chain of GUI pins feeding each other in a
// circle stops after a bounded depth instead of recursing forever.
void Engine::onTransmission(std::size_t nodeIndex, const PinTransmission& transmission)
{
    const Node& node = *nodes[nodeIndex];
    if (transmission.pinIndex < 0 || static_cast<std::size_t>(transmission.pinIndex) >= node.guiRoutes.size())
        return;
    if (transmitDepth >= 16)
        return;
    ++transmitDepth;
    for (const Target& target : node.guiRoutes[static_cast<std::size_t>(transmission.pinIndex)]) {
        if (target.toGui)
            setGuiPin(target.node, target.pin, transmission.raw);
        else if (threadBridge)
            threadBridge->valueToDsp(target.node, target.pin, transmission.raw);
        else
            nodes[target.node]->dsp->queueRawEvent(gmpi::EVENT_PIN_SET, target.pin, transmission.raw, 0);
    }
    --transmitDepth;
}

void Engine::takeSnapshots(std::int64_t until)
{
    for (; nextSnapshot < thePatch.snapshots.size() && thePatch.snapshots[nextSnapshot].sample <= until; ++nextSnapshot)
        writePanel(thePatch.snapshots[nextSnapshot].file);
}

void Engine::processDspSide(int count)
{
    processDsp(count);
    samplePosition += count;
    lastBlock = count;
    if (!threadBridge) {  // one thread after all: as processBlock delivers them
        deliverToGuis();
        return;
    }
    if (!messagesWaiting)
        return;
    for (std::size_t index = 0; index < nodes.size(); ++index) {
        DspModule* module = nodes[index]->dsp.get();
        if (!module || !module->messagesWaiting())
            continue;
        module->forEachMessage([&](std::int32_t id, const Bytes& data) {
            if (nodes[index]->gui)
                threadBridge->messageToGui(index, id, data.data(), data.size());
        });
    }
}

void Engine::reserveEvents(std::size_t events, std::size_t payloadBytes)
{
    for (const auto& node : nodes)
        if (node->dsp)
            node->dsp->reserveEvents(events, payloadBytes);
}

void Engine::reserveOutputValues(std::size_t bytes)
{
    for (const auto& node : nodes)
        if (node->dsp)
            node->dsp->reserveOutputValues(bytes);
}

void Engine::deliverValueToDsp(std::size_t node, std::int32_t pin, const std::uint8_t* data, std::size_t size)
{
    nodes.at(node)->dsp->queueRawBytes(gmpi::EVENT_PIN_SET, pin, data, size, 0);
}

void Engine::deliverMessageToDsp(std::size_t node, std::int32_t id, const std::uint8_t* data, std::size_t size)
{
    nodes.at(node)->dsp->sendMessageFromGui(id, data, size);
}

void Engine::deliverValueToGui(std::size_t node, std::int32_t pin, const Bytes& value)
{
    setGuiPin(node, pin, value);
}

void Engine::deliverMessageToGui(std::size_t node, std::int32_t id, const Bytes& data)
{
    nodes.at(node)->gui->sendMessageFromDsp(id, data);
}

void Engine::forwardGuiMessages()
{
    for (const std::size_t index : guiNodes) {
        Node& node = *nodes[index];
        for (const MessageToDsp& message : node.gui->takeMessagesToDsp()) {
            if (node.dsp && threadBridge)
                threadBridge->messageToDsp(index, message.id, message.data);
            else if (node.dsp)
                node.dsp->sendMessageFromGui(message.id, message.data);
        }
    }
}

std::vector<std::tuple<std::size_t, GuiModule*, GmpiDrawing_API::MP1_RECT>> Engine::panelModules()
{
    std::vector<std::tuple<std::size_t, GuiModule*, GmpiDrawing_API::MP1_RECT>> modules;
    if (!started)
        return modules;
    for (std::size_t index = 0; index < nodes.size(); ++index)
        if (nodes[index]->gui && nodes[index]->gui->isGraphical() && thePatch.modules[index].rect)
            modules.emplace_back(index, nodes[index]->gui.get(), *thePatch.modules[index].rect);
    return modules;
}

DrawingSurface Engine::renderPanel()
{
    if (!started)
        start();
    std::vector<std::pair<GuiModule*, GmpiDrawing_API::MP1_RECT>> drawn;
    for (std::size_t index = 0; index < nodes.size(); ++index)
        if (nodes[index]->gui && thePatch.modules[index].rect)
            drawn.emplace_back(nodes[index]->gui.get(), *thePatch.modules[index].rect);
    return panel::render(drawn);
}

void Engine::writePanel(const std::filesystem::path& file)
{
    // Written beside the target and renamed over it once complete: a failure keeps the
    // previous picture.
    AtomicFile picture(file);
    if (!renderPanel().writePng(picture.temporaryPath()))
        throw HostError("cannot write the panel picture '" + file.string() + "'");
    picture.commit();
}

DspModule* Engine::dsp(std::string_view moduleName)
{
    const int index = thePatch.findModule(moduleName);
    if (index < 0)
        throw HostError("the patch has no module \"" + std::string(moduleName) + "\"");
    return nodes[static_cast<std::size_t>(index)]->dsp.get();
}

GuiModule* Engine::gui(std::string_view moduleName)
{
    const int index = thePatch.findModule(moduleName);
    if (index < 0)
        throw HostError("the patch has no module \"" + std::string(moduleName) + "\"");
    return nodes[static_cast<std::size_t>(index)]->gui.get();
}

std::int64_t Engine::skippedBlocks(std::string_view moduleName) const
{
    const int index = thePatch.findModule(moduleName);
    if (index < 0)
        throw HostError("the patch has no module \"" + std::string(moduleName) + "\"");
    return nodes[static_cast<std::size_t>(index)]->skipped;
}

std::vector<std::string> Engine::processingOrder() const
{
    std::vector<std::string> names;
    for (const std::size_t index : runOrder)
        names.push_back(thePatch.modules[index].name);
    return names;
}

}  // namespace mphost
