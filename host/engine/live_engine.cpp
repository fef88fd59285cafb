#include "engine/live_engine.h"

#include <algorithm>

#include "common/allocation_counter.h"
#include "common/spsc_queue.h"
#include "engine/engine_panel.h"
#include "mp_api.h"
#include "platform/clock.h"
#include "services/run_loop.h"

namespace mphost {

namespace {

// Queue sizes, in crossings: enough for seconds of heavy traffic at 64-sample blocks.
constexpr std::size_t toDspCapacity = 4096;
constexpr std::size_t toGuiCapacity = 8192;
// Payload buffers the audio thread fills for the GUI side: many small ones for values and
// short messages, fewer large ones for frames and blobs (a scope frame is some kilobytes).
// The UI thread grows large buffers it recycles to the largest payload seen, so only a
// payload larger than any before costs the audio thread an allocation (a counted one).
constexpr std::size_t smallBufferCount = 4096;
constexpr std::size_t smallBufferBytes = 256;
constexpr std::size_t largeBufferCount = 64;
constexpr std::size_t largeBufferBytes = 16 * 1024;
// Room in the DSP halves for a text event's payload: the 256 characters a text pin holds
// from the start.
constexpr std::size_t textPayloadBytes = 256 * sizeof(wchar_t);
// Buffers that grew past this are freed on the UI thread and replaced rather than recycled.
constexpr std::size_t largestRecycledBuffer = 256 * 1024;

}  // namespace

struct LiveEngine::Crossing {
    enum class Kind : std::uint8_t { Value, Message };
    Kind kind = Kind::Value;
    std::size_t node = 0;
    std::int32_t pinOrId = 0;
    std::int64_t notBefore = 0;  // to the DSP side: the hold's sample; 0 at once
    Bytes payload;
};

// The four queues between the threads, and the engine's view of them.
class LiveEngine::Bridge final : public Engine::ThreadBridge {
public:
    explicit Bridge(const std::int64_t& holdSample)
        : hold(holdSample), toDsp(toDspCapacity), spentOnAudio(toDspCapacity), toGui(toGuiCapacity),
          freeSmall(smallBufferCount), freeLarge(largeBufferCount)
    {
        for (std::size_t i = 0; i < smallBufferCount; ++i)
            recycle(Bytes{});
        for (std::size_t i = 0; i < largeBufferCount; ++i) {
            Bytes buffer;
            buffer.reserve(largeBufferBytes);
            recycle(std::move(buffer));
        }
    }

    // [ui-thread] Hands an emptied payload buffer back to the audio thread's pools.
    void recycle(Bytes buffer)
    {
        buffer.clear();
        if (buffer.capacity() <= smallBufferBytes) {
            buffer.reserve(smallBufferBytes);
            freeSmall.try_enqueue(std::move(buffer));
        } else {
            if (buffer.capacity() > largestRecycledBuffer)
                buffer = Bytes{};  // freed here; a buffer of the usual size takes its place
            else
                largestLarge = std::max(largestLarge, buffer.capacity());
            buffer.reserve(largestLarge);
            freeLarge.try_enqueue(std::move(buffer));
        }
    }

    // [ui-thread]
    void valueToDsp(std::size_t node, std::int32_t pin, const Bytes& value) override
    {
        sendToDsp(Crossing::Kind::Value, node, pin, value);
    }
    void messageToDsp(std::size_t node, std::int32_t id, const Bytes& data) override
    {
        sendToDsp(Crossing::Kind::Message, node, id, data);
    }
    // [audio-thread]
    void valueToGui(std::size_t node, std::int32_t pin, const std::uint8_t* data, std::size_t size) override
    {
        sendToGui(Crossing::Kind::Value, node, pin, data, size);
    }
    void messageToGui(std::size_t node, std::int32_t id, const std::uint8_t* data, std::size_t size) override
    {
        sendToGui(Crossing::Kind::Message, node, id, data, size);
    }

    const std::int64_t& hold;
    moodycamel::ReaderWriterQueue<Crossing> toDsp;        // UI -> audio
    moodycamel::ReaderWriterQueue<Bytes> spentOnAudio;    // audio -> UI: payloads used, to free
    moodycamel::ReaderWriterQueue<Crossing> toGui;        // audio -> UI
    moodycamel::ReaderWriterQueue<Bytes> freeSmall;       // UI -> audio: empty buffers to fill
    moodycamel::ReaderWriterQueue<Bytes> freeLarge;       // UI -> audio: the same, for large payloads
    std::atomic<std::uint64_t> droppedOnUi{0};
    std::atomic<std::uint64_t> droppedOnAudio{0};

private:
    std::size_t largestLarge = largeBufferBytes;  // [ui-thread] what recycled large buffers hold

    void sendToDsp(Crossing::Kind kind, std::size_t node, std::int32_t id, const Bytes& data)
    {
        if (!toDsp.try_enqueue(Crossing{kind, node, id, hold, data}))
            droppedOnUi.fetch_add(1, std::memory_order_relaxed);
    }
    void sendToGui(Crossing::Kind kind, std::size_t node, std::int32_t id, const std::uint8_t* data, std::size_t size)
    {
        Crossing crossing{kind, node, id, 0, {}};
        auto& pool = size <= smallBufferBytes ? freeSmall : freeLarge;
        if (!pool.try_dequeue(crossing.payload)) {
            droppedOnAudio.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        crossing.payload.assign(data, data + size);
        if (!toGui.try_enqueue(std::move(crossing)))
            droppedOnAudio.fetch_add(1, std::memory_order_relaxed);
    }
};

LiveEngine::LiveEngine(const Patch& patch)
{
    Patch live = patch;
    live.snapshots.clear();  // pictures at render times belong to offline renders
    bridge = std::make_unique<Bridge>(holdSample);
    engine = std::make_unique<Engine>(live);
    engine->bridgeThreads(bridge.get());
    engine->begin();
    // What the audio thread would otherwise allocate as event traffic first arrives.
    engine->reserveEvents(256, textPayloadBytes);
    engine->reserveOutputValues(largeBufferBytes);
    // What the GUI halves sent while starting reaches the DSP side at the first block.
    engine->forwardGuiMessages();
    // GUI timers from now on tick on the wall clock, pumped by pumpUserInterface.
    platform::useRealTime();
    panel = engine->panelModules();
    blockChannels = static_cast<int>(engine->patch().outputs.size());
    blockSamples.resize(static_cast<std::size_t>(engine->patch().blockSize * std::max(blockChannels, 1)));
}

LiveEngine::~LiveEngine()
{
    engine.reset();  // the modules go while the bridge they may call still exists
}

int LiveEngine::channels(int maxChannels) const
{
    return std::clamp(blockChannels, 1, std::max(maxChannels, 1));
}

std::uint64_t LiveEngine::droppedCrossings() const
{
    return bridge->droppedOnUi.load(std::memory_order_relaxed) + bridge->droppedOnAudio.load(std::memory_order_relaxed);
}

void LiveEngine::render(float* interleaved, int frames, int channels)
{
    const std::uint64_t allocationsBefore = allocationCount();
    const int blockSize = engine->patch().blockSize;
    int written = 0;
    while (written < frames) {
        if (blockUsed == blockFrames) {
            deliverCrossings(dspPosition);
            engine->processDspSide(blockSize);
            for (int c = 0; c < blockChannels; ++c) {
                const std::span<const float> samples = engine->output(static_cast<std::size_t>(c));
                if (blockChannels == 1) {
                    std::copy_n(samples.begin(), blockSize, blockSamples.begin());
                    break;
                }
                for (int i = 0; i < blockSize; ++i)
                    blockSamples[static_cast<std::size_t>(i * blockChannels + c)] = samples[static_cast<std::size_t>(i)];
            }
            blockFrames = blockSize;
            blockUsed = 0;
            dspPosition += blockSize;
            renderedSamples.store(dspPosition, std::memory_order_release);
        }
        const int count = std::min(frames - written, blockFrames - blockUsed);
        if (channels == blockChannels) {  // the device has the patch's channels: one copy
            std::copy_n(blockSamples.data() + static_cast<std::ptrdiff_t>(blockUsed) * channels, count * channels,
                        interleaved + static_cast<std::ptrdiff_t>(written) * channels);
            written += count;
            blockUsed += count;
            continue;
        }
        for (int i = 0; i < count; ++i) {
            float* frame = interleaved + static_cast<std::ptrdiff_t>(written + i) * channels;
            const float* source = blockSamples.data() + static_cast<std::ptrdiff_t>(blockUsed + i) * blockChannels;
            for (int c = 0; c < channels; ++c)
                frame[c] = c < blockChannels ? source[c] : 0.0f;
        }
        written += count;
        blockUsed += count;
    }
    audioAllocations.fetch_add(allocationCount() - allocationsBefore, std::memory_order_relaxed);
}

// [audio-thread] Before the block at `blockStart`: every crossing from the UI side whose
// hold has come, in the order sent.
void LiveEngine::deliverCrossings(std::int64_t blockStart)
{
    const int blockSize = engine->patch().blockSize;
    while (Crossing* crossing = bridge->toDsp.peek()) {
        if (crossing->notBefore > blockStart)
            break;
        if (crossing->notBefore > 0 && blockStart - blockSize >= crossing->notBefore)
            lateCount.fetch_add(1, std::memory_order_relaxed);
        if (crossing->kind == Crossing::Kind::Value)
            engine->deliverValueToDsp(crossing->node, crossing->pinOrId, crossing->payload.data(),
                                      crossing->payload.size());
        else
            engine->deliverMessageToDsp(crossing->node, crossing->pinOrId, crossing->payload.data(),
                                        crossing->payload.size());
        // The buffer is freed on the UI thread; only when that queue is full does it go here.
        if (crossing->payload.capacity() > 0)
            bridge->spentOnAudio.try_enqueue(std::move(crossing->payload));
        bridge->toDsp.pop();
    }
}

void LiveEngine::pumpUserInterface()
{
    Crossing crossing;
    while (bridge->toGui.try_dequeue(crossing)) {
        if (crossing.kind == Crossing::Kind::Value)
            engine->deliverValueToGui(crossing.node, crossing.pinOrId, crossing.payload);
        else
            engine->deliverMessageToGui(crossing.node, crossing.pinOrId, crossing.payload);
        bridge->recycle(std::move(crossing.payload));
        crossing.payload = {};
    }
    Bytes spent;
    while (bridge->spentOnAudio.try_dequeue(spent))
        spent = {};
    engine->forwardGuiMessages();
    runDueTimers();
}

GuiModule* LiveEngine::moduleAt(GmpiDrawing_API::MP1_POINT point, GmpiDrawing_API::MP1_RECT& rect)
{
    for (auto entry = panel.rbegin(); entry != panel.rend(); ++entry) {
        const auto& [node, module, area] = *entry;
        if (point.x < area.left || point.x >= area.right || point.y < area.top || point.y >= area.bottom)
            continue;
        if (module->hitTest({point.x - area.left, point.y - area.top}) != gmpi::MP_OK)
            continue;
        rect = area;
        return module;
    }
    return nullptr;
}

bool LiveEngine::pointer(PointerAction action, std::int32_t flags, GmpiDrawing_API::MP1_POINT point)
{
    GuiModule* target = nullptr;
    GmpiDrawing_API::MP1_RECT rect{};
    for (const auto& [node, module, area] : panel)
        if (module->graphicsHost().requests().captured) {
            target = module;
            rect = area;
        }
    if (!target && action == PointerAction::Up && pressed) {
        target = pressed;
        rect = pressedRect;
    }
    if (!target)
        target = moduleAt(point, rect);
    if (action == PointerAction::Up)
        pressed = nullptr;
    if (!target)
        return false;
    if (action == PointerAction::Down) {
        pressed = target;
        pressedRect = rect;
    }
    panel::pointer(*target, action, flags, {point.x - rect.left, point.y - rect.top});
    return true;
}

}  // namespace mphost
