// The sample loaders and savers, both halves, through the built bundle.
#include <limits>

#include <gtest/gtest.h>

#include "sample_test_support.h"

using namespace sample_testing;
using mphost::PinValue;

namespace {

std::vector<std::string> transmitted(mphost::GuiModule& module)
{
    std::vector<std::string> names;
    for (const auto& transmission : module.takeTransmissions())
        names.push_back(transmission.pinName);
    return names;
}

void loadDsp(mphost::DspModule& loader, const std::wstring& name)
{
    loader.queueValue("FName", name);
    loader.queueValue("Trigger", true);
    loader.process(8);
    loader.queueValue("Trigger", false);
}

}  // namespace

TEST(SampleLoaderDsp, PublishesChannelsRateAndLengthAsLibsndfileReadsThem)
{
    TempFolder folder;
    SF_INFO info{0, 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE* file = sf_open((folder.path / "stereo.wav").c_str(), SFM_WRITE, &info);
    const std::vector<short> frames = {100, -200, 32767, -32768, 0, 7};
    sf_writef_short(file, frames.data(), 3);
    sf_close(file);
    const SndfileSound reference = readWithSndfile(folder.path / "stereo.wav");

    auto loader = makeDsp("KV_WavSampleLoaderDSP");
    loadDsp(*loader, folder / "stereo.wav");
    EXPECT_EQ(loader->outputValue("Left"), PinValue(blobOf(reference.samples[0])));
    EXPECT_EQ(loader->outputValue("Right"), PinValue(blobOf(reference.samples[1])));
    EXPECT_EQ(loader->outputValue("Rate"), PinValue(44100.0f));
    EXPECT_EQ(loader->outputValue("Frames"), PinValue(3));

    // Loading again resends both blobs but not the unchanged numbers.
    loader->queueValue("Trigger", true);
    loader->process(8);
    EXPECT_EQ(published(*loader), (std::vector<std::string>{"Left", "Right"}));
}

TEST(SampleLoaderDsp, MonoOnBothBlobsAndLoopPointsOnlyFromFilesThatHaveThem)
{
    TempFolder folder;
    writeBytes(folder.path / "looped.wav", floatWave(1, 48000, ramp(300), {{100, 200}}));
    writeBytes(folder.path / "plain.wav", floatWave(1, 48000, ramp(50, 7)));

    auto loader = makeDsp("KV_WavSampleLoaderDSP");
    loadDsp(*loader, folder / "looped.wav");
    EXPECT_EQ(loader->outputValue("Left"), PinValue(blobOf(ramp(300))));
    EXPECT_EQ(loader->outputValue("Right"), PinValue(blobOf(ramp(300))));
    EXPECT_EQ(loader->outputValue("LoopStart"), PinValue(100));
    EXPECT_EQ(loader->outputValue("LoopEnd"), PinValue(200));

    loadDsp(*loader, folder / "plain.wav");
    EXPECT_EQ(published(*loader), (std::vector<std::string>{"Frames", "Left", "Right"}));
    EXPECT_EQ(loader->outputValue("LoopStart"), PinValue(100));
    EXPECT_EQ(loader->outputValue("Right"), PinValue(blobOf(ramp(50, 7))));
}

TEST(SampleLoaderDsp, RefusedFilesPrintTheReasonAndPublishNothing)
{
    TempFolder folder;
    writeBytes(folder.path / "good.wav", floatWave(1, 48000, ramp(10)));
    Bytes threeChannels = floatWave(3, 48000, ramp(9));
    writeBytes(folder.path / "three.wav", threeChannels);
    auto loader = makeDsp("KV_WavSampleLoaderDSP");
    loadDsp(*loader, folder / "good.wav");

    testing::internal::CaptureStdout();
    loadDsp(*loader, folder / "missing.wav");
    EXPECT_TRUE(published(*loader).empty());
    loadDsp(*loader, folder / "three.wav");
    EXPECT_TRUE(published(*loader).empty());
    loadDsp(*loader, L"");  // no file at all: silently nothing
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ERROR: File doesn't exist or otherwise can't load file\n" + (folder.path / "missing.wav").string() +
                  "\nERROR: this WAV file seems to be neither mono nor stereo (perhaps multi-track, or corrupted?)\n");
    EXPECT_EQ(loader->outputValue("Left"), PinValue(blobOf(ramp(10))));
}

TEST(SampleLoaderDsp, AutoTriggerLoadsOnNameChangesAndNamesResolveInTheSearchPath)
{
    TempFolder folder;
    writeBytes(folder.path / "a.wav", floatWave(1, 48000, ramp(4)));
    mphost::DspModuleOptions options;
    options.searchPaths = {folder.path};
    auto loader = makeDsp("KV_WavSampleLoaderDSP", options);

    loader->queueValue("FName", std::wstring(L"a.wav"));
    loader->process(8);
    EXPECT_TRUE(published(*loader).empty());  // AutoTrigger off: the name alone loads nothing

    loader->queueValue("AutoTrigger", true);
    loader->process(8);
    EXPECT_TRUE(published(*loader).empty());  // switching it on loads nothing by itself
    loader->queueValue("FName", std::wstring(L"missing.wav"));
    loader->process(8);
    loader->queueValue("FName", std::wstring(L"a.wav"));
    loader->queueValue("Trigger", true);
    loader->process(8);
    // Name change and trigger in one block: two loads.
    EXPECT_EQ(published(*loader), (std::vector<std::string>{"Rate", "Frames", "Left", "Right", "Left", "Right"}));
}

TEST(SampleSaverDsp, WritesMonoFromWhicheverBlobHoldsWholeSamples)
{
    TempFolder folder;
    auto saver = makeDsp("KV_WavSampleSaverDSP");
    saver->queueValue("Left", blobOf(ramp(100)));
    saver->queueValue("FName", folder / "left.wav");
    saver->queueValue("Rate", 48000.9f);
    saver->queueValue("Trigger", true);  // saves under the previous (empty) name: nothing
    saver->process(8);
    EXPECT_FALSE(fs::exists(folder.path / "left.wav"));
    saver->queueValue("Trigger", false);
    saver->queueValue("Trigger", true, 1);
    saver->process(8);

    const Bytes bytes = readBytes(folder.path / "left.wav");
    ASSERT_EQ(bytes.size(), 44u + 400u);
    EXPECT_EQ(word32(bytes, 4), 400u + 36u);  // no sampler chunk while the loop points are unset
    EXPECT_EQ(word32(bytes, 24), 48000u);
    const SndfileSound sound = readWithSndfile(folder.path / "left.wav");
    EXPECT_EQ(sound.channels, 1);
    EXPECT_EQ(sound.samples[0], ramp(100));

    // A 6-byte Left is no sample at all: Right alone is saved as mono.
    saver->queueValue("Left", Bytes(6, 1));
    saver->queueValue("Right", blobOf(ramp(10, 5)));
    saver->queueValue("FName", folder / "right.wav");
    saver->queueValue("AutoTrigger", true);
    saver->process(8);
    EXPECT_EQ(readWithSndfile(folder.path / "right.wav").samples, (std::vector<std::vector<float>>{ramp(10, 5)}));

    saver->queueValue("Right", Bytes{});
    saver->queueValue("FName", folder / "none.wav");
    saver->process(8);
    EXPECT_FALSE(fs::exists(folder.path / "none.wav"));
}

TEST(SampleSaverDsp, StereoPadsTheShorterSideAndLoopsRoundTripThroughTheLoader)
{
    TempFolder folder;
    auto saver = makeDsp("KV_WavSampleSaverDSP");
    saver->queueValue("Left", blobOf(ramp(100)));
    saver->queueValue("Right", blobOf(ramp(60, 1)));
    saver->queueValue("Rate", 44100.0f);
    saver->queueValue("LoopStart", 10);
    saver->queueValue("LoopEnd", 50);
    saver->queueValue("FName", folder / "stereo.wav");
    saver->queueValue("Trigger", true, 1);
    saver->process(8);

    const SndfileSound sound = readWithSndfile(folder.path / "stereo.wav");
    ASSERT_EQ(sound.channels, 2);
    std::vector<float> paddedRight = ramp(60, 1);
    paddedRight.resize(100, 0.0f);
    EXPECT_EQ(sound.samples[0], ramp(100));
    EXPECT_EQ(sound.samples[1], paddedRight);

    auto loader = makeDsp("KV_WavSampleLoaderDSP");
    loadDsp(*loader, folder / "stereo.wav");
    EXPECT_EQ(loader->outputValue("LoopStart"), PinValue(10));
    EXPECT_EQ(loader->outputValue("LoopEnd"), PinValue(50));
    EXPECT_EQ(loader->outputValue("Right"), PinValue(blobOf(paddedRight)));
}

TEST(SampleSaverDsp, RatesOutsideTheUnsignedRangeAreLimited)
{
    TempFolder folder;
    auto saver = makeDsp("KV_WavSampleSaverDSP");
    saver->queueValue("Left", blobOf(ramp(4)));
    saver->queueValue("AutoTrigger", true);
    saver->process(8);
    const std::pair<float, std::uint32_t> cases[] = {{0.0f, 0u}, {-5.0f, 0u}, {std::numeric_limits<float>::quiet_NaN(), 0u}, {1e12f, 4294967295u}};
    for (const auto& [rate, written] : cases) {
        const std::string name = "rate" + std::to_string(rate) + ".wav";
        saver->queueValue("Rate", rate);
        saver->queueValue("FName", folder / name);
        saver->process(8);
        const Bytes bytes = readBytes(folder.path / name);
        ASSERT_EQ(bytes.size(), 60u);
        EXPECT_EQ(word32(bytes, 24), written) << rate;
    }
}

TEST(SampleSaverDsp, NameAndTriggerInOneBlockSaveUnderTheOldNameFirst)
{
    TempFolder folder;
    auto saver = makeDsp("KV_WavSampleSaverDSP");
    saver->queueValue("Left", blobOf(ramp(3)));
    saver->queueValue("FName", folder / "old.wav");
    saver->process(8);
    saver->queueValue("FName", folder / "new.wav");
    saver->queueValue("Trigger", true);
    saver->process(8);
    EXPECT_TRUE(fs::exists(folder.path / "old.wav"));
    EXPECT_FALSE(fs::exists(folder.path / "new.wav"));

    saver->queueValue("AutoTrigger", true);
    saver->queueValue("Trigger", false);
    saver->process(8);
    saver->queueValue("FName", folder / "newer.wav");
    saver->queueValue("Trigger", true);
    saver->process(8);
    // The previous name saves again, then the new one.
    EXPECT_TRUE(fs::exists(folder.path / "new.wav"));
    EXPECT_TRUE(fs::exists(folder.path / "newer.wav"));
}

TEST(SampleLoaderGui, LoadsOnTriggerAndAtOnceWhenAutoTriggerTurnsOn)
{
    TempFolder folder;
    writeBytes(folder.path / "a.wav", floatWave(2, 96000, {0.5f, -0.5f, 0.25f, -0.25f}, {{0, 1}}));
    mphost::GuiModuleOptions options;
    options.host.searchPaths = {folder.path};
    auto loader = makeGui("WavSampleLoader", options);

    loader->setPin("FName2", std::wstring(L"a.wav"));
    EXPECT_TRUE(transmitted(*loader).empty());
    loader->setPin("Trigger", true);
    EXPECT_EQ(transmitted(*loader),
              (std::vector<std::string>{"Rate", "Frames", "LoopEnd", "Left", "Right"}));  // LoopStart stays 0
    EXPECT_EQ(loader->value("Right"), PinValue(blobOf({-0.5f, -0.25f})));
    loader->setPin("Trigger", true);
    EXPECT_TRUE(transmitted(*loader).empty());  // nothing changed

    writeBytes(folder.path / "b.wav", floatWave(1, 96000, {0.125f}));
    loader->setPin("FName1", std::wstring(L"b.wav"));
    EXPECT_TRUE(transmitted(*loader).empty());
    loader->setPin("AutoTrigger", true);
    EXPECT_EQ(transmitted(*loader), (std::vector<std::string>{"Frames", "Left", "Right"}));
    EXPECT_EQ(loader->value("Left"), loader->value("Right"));
}

TEST(SampleSaverGui, SavesOnTriggerAndOnNamesWhileAutoTriggerIsOn)
{
    TempFolder folder;
    auto saver = makeGui("WavSampleSaver");
    saver->setPin("Left", blobOf(ramp(5)));
    saver->setPin("Right", blobOf(ramp(7)));
    saver->setPin("Rate", 22050.0f);
    saver->setPin("FName1", folder / "a.wav");
    saver->setPin("AutoTrigger", true);
    EXPECT_FALSE(fs::exists(folder.path / "a.wav"));  // switching AutoTrigger on does not save
    saver->setPin("FName2", folder / "b.wav");
    const SndfileSound sound = readWithSndfile(folder.path / "b.wav");
    EXPECT_EQ(sound.rate, 22050);
    std::vector<float> paddedLeft = ramp(5);
    paddedLeft.resize(7, 0.0f);
    EXPECT_EQ(sound.samples, (std::vector<std::vector<float>>{paddedLeft, ramp(7)}));

    saver->setPin("AutoTrigger", false);
    saver->setPin("FName1", folder / "c.wav");
    EXPECT_FALSE(fs::exists(folder.path / "c.wav"));
    saver->setPin("Trigger", true);
    EXPECT_TRUE(fs::exists(folder.path / "c.wav"));
}
