// The live engine: the DSP side on a thread of its own, the GUI side on the test's thread,
// compared with the offline engine on the same patch and input.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "common/allocation_counter.h"
#include "engine/live_engine.h"
#include "engine_test_support.h"

using engine_testing::patch;

namespace {

// A drawing probe whose drag position sets a gain: the output is the GUI's value, block
// by block. Block size 64; the drag's points are whole pixels.
const char* const dragPatch = R"json({ "seconds": 1, "blockSize": 64,
  "modules": [
    { "name": "pad", "bundle": "probe_modules", "id": "Probe_Drawing", "rect": [10, 20, 110, 60] },
    { "name": "gain", "bundle": "probe_modules", "id": "Probe_Gain", "values": { "In": 1, "Gain": 0.25 } } ],
  "connections": [ "pad.DragX -> gain.Gain" ],
  "outputs": [ "gain.Out" ],
  "script": [
    { "time": 0.1, "drag": "pad", "from": [5, 10], "to": [45, 10], "duration": 0.2, "steps": 8 },
    { "time": 0.6, "drag": "pad", "from": [30, 5], "to": [2, 5], "duration": 0.1, "steps": 4 } ] })json";

// Plays `patch` live for its length: an audio thread renders in callbacks of
// `callbackFrames` (not a multiple of the block: blocks are split across callbacks) at a
// few times real time, while this thread replays the script's pointer events at panel
// coordinates, each held until its sample, ahead of the DSP side by `lead` samples.
std::vector<float> playLive(mphost::LiveEngine& live, const mphost::Patch& patch, int callbackFrames)
{
    const std::int64_t length = patch.lengthInSamples();
    const std::int64_t lead = static_cast<std::int64_t>(patch.sampleRate) / 4;
    std::vector<float> heard;
    heard.reserve(static_cast<std::size_t>(length + callbackFrames));
    std::atomic<bool> done{false};
    std::thread audio([&] {
        std::vector<float> buffer(static_cast<std::size_t>(callbackFrames));
        while (static_cast<std::int64_t>(heard.size()) < length) {
            live.render(buffer.data(), callbackFrames, 1);
            heard.insert(heard.end(), buffer.begin(), buffer.end());
            std::this_thread::sleep_for(std::chrono::microseconds(150));
        }
        done = true;
    });
    std::size_t next = 0;
    while (!done) {
        for (; next < patch.script.size() && patch.script[next].sample <= live.position() + lead; ++next) {
            const mphost::ScriptEvent& event = patch.script[next];
            const auto& rect = *patch.modules[event.module].rect;
            live.holdUntil(event.sample);
            live.pointer(event.action, event.flags, {rect.left + event.point.x, rect.top + event.point.y});
        }
        live.pumpUserInterface();
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    audio.join();
    heard.resize(static_cast<std::size_t>(length));
    return heard;
}

}  // namespace

TEST(LiveEngine, HeldPointerInputGivesTheOfflineRenderSampleForSample)
{
    const mphost::Patch drag = patch(dragPatch);
    mphost::Engine offline(drag);
    const std::vector<float> expected = offline.render().at(0);

    mphost::LiveEngine live(drag);
    EXPECT_EQ(live.channels(), 1);
    const std::vector<float> heard = playLive(live, drag, 100);
    ASSERT_EQ(live.lateCrossings(), 0u) << "the GUI side fell behind the audio thread";
    EXPECT_EQ(live.droppedCrossings(), 0u);
    ASSERT_EQ(heard.size(), expected.size());
    // The drag moved the gain: the comparison is not between two silent renders.
    EXPECT_EQ(expected.front(), 0.25f);
    EXPECT_EQ(expected[static_cast<std::size_t>(0.4 * 48000)], 45.0f);
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(heard[i], expected[i]) << "sample " << i;
    if (mphost::allocationCountingActive()) {
        EXPECT_EQ(live.allocationsOnAudioThread(), 0u);
    }
}

TEST(LiveEngine, PointerGoesToTheModuleUnderItAndAReleaseToTheModulePressed)
{
    mphost::LiveEngine live(patch(dragPatch));
    const auto flags = gmpi_gui_api::GG_POINTER_FLAG_FIRSTBUTTON;
    // Outside every rectangle, and in the probe's right half, which its hit test refuses.
    EXPECT_FALSE(live.pointer(mphost::PointerAction::Down, flags, {5, 5}));
    EXPECT_FALSE(live.pointer(mphost::PointerAction::Down, flags, {90, 30}));
    mphost::GuiModule& pad = *live.offline().gui("pad");
    EXPECT_EQ(std::get<std::int32_t>(pad.value("Clicks")), 0);
    // A press at panel (20, 30) is module point (10, 10); the drag leaves the module and
    // still reaches it (it holds the capture), in module coordinates.
    EXPECT_TRUE(live.pointer(mphost::PointerAction::Down, flags, {20, 30}));
    EXPECT_EQ(std::get<std::int32_t>(pad.value("Clicks")), 1);
    EXPECT_TRUE(live.pointer(mphost::PointerAction::Move, flags, {200, 200}));
    EXPECT_EQ(std::get<float>(pad.value("DragX")), 190.0f);
    EXPECT_TRUE(live.pointer(mphost::PointerAction::Up, flags, {200, 200}));
    EXPECT_FALSE(live.pointer(mphost::PointerAction::Move, 0, {200, 200}));
}

TEST(LiveEngine, RendersSilenceBeyondThePatchOutputsAndKeepsBlocksAcrossCallbacks)
{
    // Two outputs on four channels; callbacks of 7 frames cut the 64-sample blocks.
    mphost::LiveEngine live(patch(R"json({ "seconds": 1, "blockSize": 64, "modules": [
        { "name": "a", "bundle": "probe_modules", "id": "Probe_Gain", "values": { "In": 1, "Gain": 0.5 } },
        { "name": "b", "bundle": "probe_modules", "id": "Probe_Gain", "values": { "In": 1, "Gain": -2 } } ],
      "outputs": [ "a.Out", "b.Out" ] })json"));
    EXPECT_EQ(live.channels(), 2);
    EXPECT_EQ(live.channels(1), 1);
    std::vector<float> buffer(7 * 4, 99.0f);
    for (int call = 0; call < 20; ++call) {
        live.render(buffer.data(), 7, 4);
        for (int frame = 0; frame < 7; ++frame) {
            ASSERT_EQ(buffer[static_cast<std::size_t>(frame * 4)], 0.5f);
            ASSERT_EQ(buffer[static_cast<std::size_t>(frame * 4 + 1)], -2.0f);
            ASSERT_EQ(buffer[static_cast<std::size_t>(frame * 4 + 2)], 0.0f);
            ASSERT_EQ(buffer[static_cast<std::size_t>(frame * 4 + 3)], 0.0f);
        }
    }
    EXPECT_EQ(live.position(), 192);  // 140 frames heard: three blocks rendered
}

// Scope frames (12.8 kB each) and bridged blobs larger than any buffer made ready: the
// audio thread allocates nothing for the frames, and no crossing is lost however many
// large payloads go by.
TEST(LiveEngine, FramesAndLargeBlobsReachTheGuiSideWithoutLossAndFramesWithoutAllocation)
{
    mphost::LiveEngine live(patch(R"json({ "seconds": 1, "blockSize": 64, "modules": [
        { "name": "pulses", "bundle": "dsp_modules", "id": "Dirac", "values": { "Pitch": 0.011 } },
        { "name": "scope", "bundle": "dsp_modules", "id": "Oscilloscope", "rect": [0, 0, 240, 160],
          "values": { "SweepRate": 30 } },
        { "name": "scope2", "bundle": "dsp_modules", "id": "Oscilloscope2", "rect": [250, 0, 490, 160],
          "values": { "SweepRate": 30 } },
        { "name": "bridge", "bundle": "sample_modules", "id": "KV_BlobDspGuiBridge", "rect": [0, 170, 10, 180] } ],
      "connections": [ "pulses.Out -> scope.Y", "pulses.Out -> scope2.Y" ],
      "outputs": [ "pulses.Out" ] })json"));
    std::vector<float> block(64);
    const auto playBlock = [&] {
        live.render(block.data(), 64, 1);
        live.pumpUserInterface();
    };
    for (int i = 0; i < 1500; ++i)  // 2 s: 120 frames
        playBlock();
    EXPECT_EQ(live.allocationsOnAudioThread(), 0u);
    EXPECT_EQ(live.droppedCrossings(), 0u);

    // Each blob goes to the GUI half as a message and as the Out value.
    const std::vector<std::uint8_t> blob(1536 * 1024, 0x5a);
    for (int i = 0; i < 100; ++i) {
        live.offline().deliverValueToDsp(3, 0, blob.data(), blob.size());
        playBlock();
    }
    EXPECT_EQ(live.droppedCrossings(), 0u);
}
