// The patch engine on two threads, for playing a patch live: the DSP side on the audio
// thread, the GUI side and its timers on the user-interface thread, on the wall clock.
//
//   LiveEngine live(patch);                    // on the UI thread: modules created, started
//   // audio callback:                  // UI loop:
//   live.render(buffer, frames, 2);     live.pumpUserInterface();  live.pointer(...);
//
// What the offline Engine hands from one side to the other between blocks crosses here in
// lock-free single-producer single-consumer queues: GUI values and messages for the DSP
// halves (UI thread to audio thread), DSP values and messages for the GUI halves (audio
// thread to UI thread). Payload buffers travel with them and come back through two more
// queues, so that the audio thread neither allocates nor frees memory for them. The
// audio thread takes no lock and allocates nothing once the modules' event buffers have
// grown to the traffic they see (allocationsOnAudioThread() counts what it did allocate).
//
// A GUI value sent while a hold is set (holdUntil) reaches the DSP side at the first block
// that starts at or after the hold's sample: scripted input then lands on the same blocks
// as in an offline render of the same script, and the two renders are identical.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <tuple>
#include <vector>

#include "engine/engine.h"
#include "engine/patch.h"

namespace mphost {

class LiveEngine {
public:
    // [ui-thread] Creates and starts every module (graph start, initial values, GUI halves
    // set up on the panel) and switches the GUI timers to the wall clock. The patch's
    // length and its snapshots play no part: the DSP side runs until the engine is gone.
    // Throws HostError as Engine does.
    explicit LiveEngine(const Patch& patch);
    ~LiveEngine();
    LiveEngine(const LiveEngine&) = delete;
    LiveEngine& operator=(const LiveEngine&) = delete;

    // Interleaved channels render() writes: the patch's outputs, at most `maxChannels`.
    int channels(int maxChannels = 2) const;

    // [audio-thread] Fills `frames` frames of `channels` interleaved samples: the patch's
    // outputs in order, silence for channels beyond them. Runs DSP blocks of the patch's
    // block size as needed, keeping what a block had beyond `frames` for the next call.
    void render(float* interleaved, int frames, int channels);
    // Samples the DSP side has rendered (any thread; the audio thread's count, published
    // after each block).
    std::int64_t position() const { return renderedSamples.load(std::memory_order_acquire); }
    // Heap allocations made on the audio thread inside render() so far (0 unless the
    // counting allocator is linked in, see allocation_counter.h).
    std::uint64_t allocationsOnAudioThread() const { return audioAllocations.load(std::memory_order_relaxed); }
    // Crossings dropped because a queue was full or no payload buffer was free.
    std::uint64_t droppedCrossings() const;
    // Held GUI values that reached the DSP side after the block their hold named.
    std::uint64_t lateCrossings() const { return lateCount.load(std::memory_order_relaxed); }

    // [ui-thread] One turn of the UI side: DSP values and messages reach the GUI halves,
    // GUI messages go to the DSP halves, GUI timers due on the wall clock tick, payload
    // buffers the audio thread is done with are freed.
    void pumpUserInterface();
    // [ui-thread] What the UI side sends from now on reaches the DSP side no earlier than
    // the block starting at the first block boundary at or after `sample`; 0: at once.
    void holdUntil(std::int64_t sample) { holdSample = sample; }
    // [ui-thread] A pointer event at `point` in panel coordinates: it goes to the module
    // holding the pointer capture, else (a press or a hover) to the topmost drawing module
    // under the point, and a release to the module that had the press. False when no
    // module took it.
    bool pointer(PointerAction action, std::int32_t flags, GmpiDrawing_API::MP1_POINT point);
    // [ui-thread] The panel as Engine::renderPanel draws it, and its size in pixels.
    DrawingSurface renderPanel() { return engine->renderPanel(); }
    // [ui-thread] The engine itself, for its GUI halves and patch.
    Engine& offline() { return *engine; }

private:
    struct Crossing;
    class Bridge;
    void deliverCrossings(std::int64_t blockStart);
    GuiModule* moduleAt(GmpiDrawing_API::MP1_POINT point, GmpiDrawing_API::MP1_RECT& rect);

    std::unique_ptr<Bridge> bridge;
    std::unique_ptr<Engine> engine;
    std::vector<std::tuple<std::size_t, GuiModule*, GmpiDrawing_API::MP1_RECT>> panel;
    GuiModule* pressed = nullptr;  // the module that took the last press, until its release
    GmpiDrawing_API::MP1_RECT pressedRect{};
    std::int64_t holdSample = 0;

    // Audio thread only.
    std::vector<float> blockSamples;  // the last DSP block, interleaved, and how much of it is left
    int blockFrames = 0;
    int blockUsed = 0;
    int blockChannels = 0;
    std::int64_t dspPosition = 0;
    std::atomic<std::int64_t> renderedSamples{0};
    std::atomic<std::uint64_t> audioAllocations{0};
    std::atomic<std::uint64_t> lateCount{0};
};

}  // namespace mphost
