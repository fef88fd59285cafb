// The recorder (both halves, alone and in a rendered patch that saves the recording with
// the WAV saver) and shape-to-sample, through the built bundle.
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "engine/engine.h"
#include "engine/patch.h"
#include "sample_test_support.h"

using namespace sample_test;
using mphost::Bytes;
using mphost::PinValue;

namespace {

// Signal sample i of the render is i + 1 (exact in float up to 2^24).
void countingSignal(mphost::DspModule& module, int first, int count)
{
    auto signal = module.input("Signal");
    for (int i = 0; i < count; ++i)
        signal[static_cast<std::size_t>(i)] = static_cast<float>(first + i + 1);
}

std::vector<float> countFrom(int firstValue, int n)
{
    std::vector<float> values(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        values[static_cast<std::size_t>(i)] = static_cast<float>(firstValue + i);
    return values;
}

std::unique_ptr<mphost::DspModule> recorder(std::map<std::string, PinValue> values = {})
{
    auto module = std::make_unique<mphost::DspModule>(bundle(), *descriptions().find("AudioRecorder"),
                                                      mphost::DspModuleOptions{.maxBlockSize = 4096});
    module->start(values);
    return module;
}

// What the recorder published, without the first report of its empty outputs.
Rendered record(mphost::DspModule& module, int count, std::function<bool(int)> gate)
{
    Rendered result = render(
        module, count,
        [gate](mphost::DspModule& m, int first, int n) {
            countingSignal(m, first, n);
            auto buffer = m.input("Gate");
            for (int i = 0; i < n; ++i)
                buffer[static_cast<std::size_t>(i)] = gate(first + i) ? 1.0f : 0.0f;
        },
        "");
    std::erase_if(result.values, [](const Published& v) {
        return v.value == PinValue(Bytes{}) || v.value == PinValue(std::int32_t{0});
    });
    return result;
}

TEST(AudioRecorder, GateModeRecordsWhileHighAndPublishesAtTheSampleWhereItFalls)
{
    auto module = recorder();
    const auto out = record(*module, 64, [](int i) { return i >= 5 && i < 15; });
    ASSERT_EQ(out.values.size(), 2u);
    EXPECT_EQ(out.values[0].pin, "Sample");
    EXPECT_EQ(out.values[0].position, 15);
    EXPECT_EQ(floatsOf(out.values[0].value), countFrom(6, 10));
    EXPECT_EQ(out.values[1].pin, "Length");
    EXPECT_EQ(out.values[1].position, 15);
    EXPECT_EQ(out.values[1].value, PinValue(10));
    const auto messages = module->takeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, 0);
    EXPECT_EQ(messages[0].data, blobOf(countFrom(6, 10)));  // the bytes, not an address

    // The same length again: Sample is sent, Length is not.
    const auto again = record(*module, 64, [](int i) { return i >= 20 && i < 30; });
    ASSERT_EQ(again.values.size(), 1u);
    EXPECT_EQ(floatsOf(again.values[0].value), countFrom(21, 10));
    // The earlier message still holds the earlier recording.
    EXPECT_EQ(messages[0].data, blobOf(countFrom(6, 10)));
}

TEST(AudioRecorder, AGateAlreadyHighAtTheFirstSampleStartsARecording)
{
    auto module = recorder();
    const auto out = record(*module, 64, [](int i) { return i < 3; });
    ASSERT_FALSE(out.values.empty());
    EXPECT_EQ(floatsOf(out.values[0].value), countFrom(1, 3));
}

TEST(AudioRecorder, WithoutAutoExtendAFullBufferEndsTheRecordingAtTheFloor)
{
    for (const int size : {0, -5, 99999}) {
        auto module = recorder({{"BufferSize", size}});
        const auto out = record(*module, 110000, [](int) { return true; });
        ASSERT_EQ(out.values.size(), 2u) << size;
        EXPECT_EQ(out.values[0].position, 100000);
        EXPECT_EQ(floatsOf(out.values[0].value), countFrom(1, 100000));
        EXPECT_EQ(out.values[1].value, PinValue(100000));
    }
    auto larger = recorder({{"BufferSize", 150000}});
    const auto out = record(*larger, 160000, [](int) { return true; });
    ASSERT_FALSE(out.values.empty());
    EXPECT_EQ(out.values[1].value, PinValue(150000));
}

TEST(AudioRecorder, AutoExtendKeepsEverySampleAndAllocatesOnlyWhenItGrows)
{
    auto module = recorder({{"AutoExtend", true}});
    const auto out = record(*module, 350000, [](int i) { return i < 345678; });
    ASSERT_EQ(out.values.size(), 2u);
    EXPECT_EQ(out.values[0].position, 345678);
    EXPECT_EQ(floatsOf(out.values[0].value), countFrom(1, 345678));
    EXPECT_EQ(out.values[1].value, PinValue(345678));

    // A second recording of the same length reuses the storage: only the published blob
    // of a new size allocates, and here the size is the same.
    module->takeMessages();
    const auto again = record(*module, 350000, [](int i) { return i < 345678; });
    EXPECT_EQ(again.allocations, 0u);
}

TEST(AudioRecorder, StreamModeRecordsWhileTheSignalStreamsAndIgnoresTheGate)
{
    auto module = recorder({{"RecMode", 1}});
    module->queueStreaming("Signal", true, 10);
    module->queueStreaming("Signal", false, 110);
    const auto out = record(*module, 256, [](int i) { return i % 2 == 0; });
    ASSERT_EQ(out.values.size(), 2u);
    EXPECT_EQ(out.values[0].position, 110);
    EXPECT_EQ(floatsOf(out.values[0].value), countFrom(11, 100));
}

TEST(AudioRecorderGui, ShowsWhatTheDspHalfSentAndRefusesMalformedMessages)
{
    auto gui = makeGui("AudioRecorder");
    const Bytes recording = blobOf(countFrom(1, 5));
    EXPECT_EQ(gui->sendMessageFromDsp(0, recording), gmpi::MP_OK);
    auto sent = gui->takeTransmissions();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].pinName, "Length");
    EXPECT_EQ(sent[0].value, PinValue(5));
    EXPECT_EQ(sent[1].pinName, "Sample");
    EXPECT_EQ(sent[1].value, PinValue(recording));

    const Bytes other = blobOf(countFrom(7, 5));  // same length: only Sample
    gui->sendMessageFromDsp(0, other);
    sent = gui->takeTransmissions();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].value, PinValue(other));

    EXPECT_EQ(gui->sendMessageFromDsp(3, recording), gmpi::MP_FAIL);
    EXPECT_TRUE(gui->takeTransmissions().empty());
}

// A shape oscillator recorded for half a second from a scripted gate, the recording
// shown by the recorder's GUI half (which passes it on to a GUI-side reader) and saved by the WAV saver on a scripted trigger.
TEST(AudioRecorderInAPatch, RecordsTheRenderedSignalAndTheSaverWritesIt)
{
    const auto file = std::filesystem::temp_directory_path() / ("recorder_test_" + std::to_string(::getpid()) + ".wav");
    const std::string json = R"({
      "seconds": 0.75, "sampleRate": 48000, "blockSize": 64,
      "modules": [
        {"name": "osc", "bundle": "shape_modules", "id": "KV_ShapeOsc", "values": {"FreqMode": "Hz", "Pitch": 10}},
        {"name": "rec", "bundle": "sample_modules", "id": "AudioRecorder", "values": {"Gate": 0}},
        {"name": "saver", "bundle": "sample_modules", "id": "KV_WavSampleSaverDSP",
         "values": {"FName": ")" + file.string() + R"(", "Rate": 48000}},
        {"name": "reader", "bundle": "sample_modules", "id": "SampleValueGUI"}
      ],
      "connections": ["osc.Out -> rec.Signal", "rec.Sample -> saver.Left", "rec.gui.Sample -> reader.Sample"],
      "outputs": ["osc.Out"],
      "script": [
        {"time": 0.1, "set": "rec.Gate", "value": 1},
        {"time": 0.6, "set": "rec.Gate", "value": 0},
        {"time": 0.7, "set": "saver.Trigger", "value": true}
      ]
    })";
    mphost::PatchEnvironment environment;
    environment.bundleFolders = {MP_BUNDLE_DIR};
    const auto patch = mphost::parsePatch(json, "recorder.json", environment);
    mphost::Engine engine(patch);
    const auto out = engine.render().at(0);
    ASSERT_NE(engine.gui("rec"), nullptr);
    ASSERT_NE(engine.gui("reader"), nullptr);

    const std::vector<float> expected(out.begin() + 4800, out.begin() + 28800);
    EXPECT_EQ(engine.gui("rec")->value("Length"), PinValue(24000));
    EXPECT_EQ(engine.gui("rec")->value("Sample"), PinValue(blobOf(expected)));
    EXPECT_EQ(engine.dsp("rec")->outputValue("Sample"), PinValue(blobOf(expected)));
    EXPECT_EQ(engine.gui("reader")->value("Sample"), PinValue(blobOf(expected)));

    SF_INFO info{};
    SNDFILE* sound = sf_open(file.c_str(), SFM_READ, &info);
    ASSERT_NE(sound, nullptr);
    std::vector<float> saved(static_cast<std::size_t>(info.frames));
    sf_readf_float(sound, saved.data(), info.frames);
    sf_close(sound);
    std::filesystem::remove(file);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(saved, expected);
}

// ---------------------------------------------------------------------------------------
// KV_Shape2Spl

std::vector<float> lastSample(mphost::GuiModule& module)
{
    std::vector<float> result;
    for (const auto& t : module.takeTransmissions())
        if (t.pinName == "Sample")
            result = floatsOf(t.value);
    return result;
}

TEST(Shape2Spl, AStraightLineInLinearModeSpansTheRange)
{
    auto module = makeGui("KV_Shape2Spl");
    module->setPin("Shape", std::wstring(L"(-5,-5)(5,5)"));
    module->setPin("Range", 10.0f);
    module->setPin("Size", 11);
    const auto samples = lastSample(*module);
    ASSERT_EQ(samples.size(), 11u);
    for (int i = 0; i <= 10; ++i)
        EXPECT_NEAR(samples[static_cast<std::size_t>(i)], -1.0f + 0.2f * static_cast<float>(i), 1e-6f) << i;
}

TEST(Shape2Spl, SizeIsLimitedModesAboveThreeAreNoneAndTheDefaultAmplitudeIsAHalf)
{
    auto module = std::make_unique<mphost::GuiModule>(bundle(), *descriptions().find("KV_Shape2Spl"));
    module->start({{"Range", 5.0f}});
    module->takeTransmissions();
    module->setPin("Shape", std::wstring(L"(-5,5)(0,-5)(5,5)"));
    module->setPin("Size", 5);
    auto samples = lastSample(*module);
    ASSERT_EQ(samples.size(), 10u);
    EXPECT_FLOAT_EQ(samples[0], 0.5f);
    EXPECT_FLOAT_EQ(samples[9], 0.5f);

    module->setPin("ITP", 7);
    samples = lastSample(*module);
    ASSERT_EQ(samples.size(), 10u);
    // None: only the node frames 0, int(0.5 x 9) = 4 and 9 are set.
    EXPECT_EQ(samples, (std::vector<float>{0.5f, 0, 0, 0, -0.5f, 0, 0, 0, 0, 0.5f}));

    module->setPin("Size", 1 << 30);
    EXPECT_EQ(lastSample(*module).size(), 262144u);
    module->setPin("Size", -4);
    EXPECT_EQ(lastSample(*module).size(), 10u);
}

TEST(Shape2Spl, EveryInterpolationStaysWithinTheRangeAndRendersOnMouseUp)
{
    auto module = makeGui("KV_Shape2Spl");
    module->setPin("Size", 1000);
    module->setPin("Range", 10.0f);
    lastSample(*module);
    // Lenient parsing: text between groups is skipped.
    module->setPin("Shape", std::wstring(L"(-5,0) x (-2,5)(0,-5) (3,5)(5,0)"));
    EXPECT_TRUE(lastSample(*module).empty());  // a shape alone does not render
    module->setPin("MouseDown", true);
    EXPECT_TRUE(lastSample(*module).empty());
    module->setPin("MouseDown", false);
    const auto linear = lastSample(*module);
    ASSERT_EQ(linear.size(), 1000u);
    EXPECT_NEAR(linear[999 * 3 / 10], 1.0f, 1e-2f);  // the node at x = -2
    EXPECT_NEAR(linear[999 / 2], -1.0f, 1e-2f);
    for (const int mode : {1, 2}) {
        module->setPin("ITP", mode);
        const auto samples = lastSample(*module);
        ASSERT_EQ(samples.size(), 1000u);
        EXPECT_NE(samples, linear) << mode;
        for (float v : samples)
            ASSERT_TRUE(v >= -1.0f && v <= 1.0f) << mode;
    }
}

TEST(Shape2Spl, InvalidShapesAndValuesKeepThePreviousSample)
{
    auto module = makeGui("KV_Shape2Spl");
    module->setPin("Shape", std::wstring(L"(-5,-5)(5,5)"));
    module->setPin("Size", 20);
    const auto good = lastSample(*module);
    ASSERT_EQ(good.size(), 20u);
    for (const std::wstring& text : {std::wstring(L""), std::wstring(L"(0,0)"), std::wstring(L"(((("),
                                     std::wstring(L"(-5,1)(5,1) trailing")}) {
        module->setPin("Shape", text);
        module->setPin("Size", 30);
        EXPECT_TRUE(lastSample(*module).empty());
        module->setPin("Size", 20);
    }
    module->setPin("Shape", std::wstring(L"(-5,-5)(5,5)"));
    module->setPin("Range", std::numeric_limits<float>::quiet_NaN());
    const auto samples = lastSample(*module);  // the amplitude stays 0.5
    EXPECT_TRUE(samples.empty() || samples == good);
}

}  // namespace
