// The sample loaders, savers and the blob bridge through the built bundle; files are
// written and read back with libsndfile in a temporary folder.
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "harness/gui_module.h"
#include "test_support.h"
#include "validate/validator.h"

namespace fs = std::filesystem;
using mphost::Bytes;
using mphost::PinValue;
using Names = std::vector<std::string>;

namespace {

const mphost::ModuleDescription& sampleModule(const std::string& id)
{
    const auto& descriptions = testing_support::descriptionsBeside(testing_support::bundlePath("sample_modules"));
    return *descriptions.find(id);
}

std::shared_ptr<mphost::Bundle> sampleBundle()
{
    return testing_support::loadedBundle(testing_support::bundlePath("sample_modules"));
}

// Started, initial values applied, first messages taken.
std::unique_ptr<mphost::DspModule> makeDsp(const std::string& id, mphost::DspModuleOptions options = {})
{
    auto module = std::make_unique<mphost::DspModule>(sampleBundle(), sampleModule(id), std::move(options));
    module->start();
    module->process(1);
    module->takeMessages();
    return module;
}

std::unique_ptr<mphost::GuiModule> makeGui(const std::string& id, mphost::GuiModuleOptions options = {})
{
    auto module = std::make_unique<mphost::GuiModule>(sampleBundle(), sampleModule(id), std::move(options));
    module->start();
    module->takeTransmissions();
    module->takeMessagesToDsp();
    return module;
}

// The pins a DSP module published in its last block / a GUI module sent, in order.
Names published(const mphost::DspModule& module)
{
    Names names;
    for (const auto& record : module.lastBlockLog().records())
        if (record.kind == mphost::OutputLog::Kind::Value)
            names.push_back(module.pins()[static_cast<std::size_t>(record.pinOrId)].name);
    return names;
}
Names transmitted(mphost::GuiModule& module)
{
    Names names;
    for (const auto& transmission : module.takeTransmissions())
        names.push_back(transmission.pinName);
    return names;
}

struct TempFolder {
    fs::path path = fs::temp_directory_path() / ("sample_modules_test_" + std::to_string(::getpid()));
    TempFolder() { fs::create_directories(path); }
    ~TempFolder() { fs::remove_all(path); }
    std::wstring operator/(const std::string& name) const { return (path / name).wstring(); }
};

// n samples 0.001 x (i + offset), optionally padded with zeros to `length`.
std::vector<float> ramp(int n, int offset = 0, int length = 0)
{
    std::vector<float> samples(static_cast<std::size_t>(std::max(n, length)), 0.0f);
    for (int i = 0; i < n; ++i)
        samples[static_cast<std::size_t>(i)] = 0.001f * static_cast<float>(i + offset);
    return samples;
}
Bytes blobOf(const std::vector<float>& samples)
{
    Bytes bytes(samples.size() * sizeof(float));
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

// Writes 32-bit float channels of equal length with libsndfile.
void writeWithSndfile(const fs::path& path, int rate, const std::vector<std::vector<float>>& channels)
{
    SF_INFO info{0, rate, static_cast<int>(channels.size()), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> frames;
    for (std::size_t i = 0; i < channels[0].size(); ++i)
        for (const auto& channel : channels)
            frames.push_back(channel[i]);
    sf_writef_float(file, frames.data(), static_cast<sf_count_t>(channels[0].size()));
    sf_close(file);
}
// The channels of a file as libsndfile reads them (empty when it refuses the file).
std::vector<std::vector<float>> readWithSndfile(const fs::path& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return {};
    std::vector<float> frames(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    std::vector<std::vector<float>> channels(static_cast<std::size_t>(info.channels));
    for (std::size_t i = 0; i < frames.size(); ++i)
        channels[i % channels.size()].push_back(frames[i]);
    return channels;
}
// The bytes of a file and the little-endian word at `at`.
Bytes readBytes(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}
std::uint32_t word32(const Bytes& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

void loadDsp(mphost::DspModule& loader, const std::wstring& name)
{
    loader.queueValue("FName", name);
    loader.queueValue("Trigger", true);
    loader.process(8);
    loader.queueValue("Trigger", false);
}

}  // namespace

TEST(SampleLoaderDsp, MonoOnBothBlobsLoopPointsOnlyFromFilesThatHaveThemAndBlobsResent)
{
    TempFolder folder;
    writeWithSndfile(folder.path / "stereo.wav", 44100, {ramp(3), ramp(3, 9)});
    writeWithSndfile(folder.path / "mono.wav", 44100, {ramp(5, 2)});
    auto saver = makeDsp("KV_WavSampleSaverDSP");  // the one writer of loop points
    for (const auto& [pin, value] : std::vector<std::pair<std::string, PinValue>>{
             {"Left", blobOf(ramp(300))}, {"Rate", 48000.0f}, {"LoopStart", 100}, {"LoopEnd", 200},
             {"FName", folder / "looped.wav"}, {"AutoTrigger", true}})
        saver->queueValue(pin, value);
    saver->process(8);

    auto loader = makeDsp("KV_WavSampleLoaderDSP");
    loadDsp(*loader, folder / "looped.wav");
    EXPECT_EQ(published(*loader), (Names{"Rate", "Frames", "LoopStart", "LoopEnd", "Left", "Right"}));
    EXPECT_EQ(loader->outputValue("LoopEnd"), PinValue(200));
    EXPECT_EQ(loader->outputValue("Right"), PinValue(blobOf(ramp(300))));

    loadDsp(*loader, folder / "stereo.wav");
    EXPECT_EQ(published(*loader), (Names{"Rate", "Frames", "Left", "Right"}));  // loop pins left alone
    EXPECT_EQ(loader->outputValue("Right"), PinValue(blobOf(ramp(3, 9))));
    loadDsp(*loader, folder / "mono.wav");
    EXPECT_EQ(loader->outputValue("Left"), PinValue(blobOf(ramp(5, 2))));
    EXPECT_EQ(loader->outputValue("Right"), PinValue(blobOf(ramp(5, 2))));
    EXPECT_EQ(loader->outputValue("LoopStart"), PinValue(100));
    loadDsp(*loader, folder / "mono.wav");
    EXPECT_EQ(published(*loader), (Names{"Left", "Right"}));  // unchanged numbers are not resent
}

TEST(SampleLoaderDsp, RefusedFilesPrintTheReasonAndPublishNothing)
{
    TempFolder folder;
    writeWithSndfile(folder.path / "good.wav", 8000, {ramp(10)});
    std::ofstream(folder.path / "text.wav") << "not a sound at all";
    auto loader = makeDsp("KV_WavSampleLoaderDSP");
    loadDsp(*loader, folder / "good.wav");

    testing::internal::CaptureStdout();
    for (const char* name : {"missing.wav", "text.wav", ""}) {
        loadDsp(*loader, name[0] ? folder / name : L"");
        EXPECT_EQ(published(*loader), Names{}) << name;
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: File doesn't exist or otherwise can't load file\n" +
                                                          (folder.path / "missing.wav").string() +
                                                          "\nAudio File Type: Error\n");
    EXPECT_EQ(loader->outputValue("Left"), PinValue(blobOf(ramp(10))));
}

TEST(SampleLoaderDsp, AutoTriggerLoadsOnNameChangesResolvedInTheSearchPath)
{
    TempFolder folder;
    writeWithSndfile(folder.path / "a.wav", 48000, {ramp(4)});
    mphost::DspModuleOptions options;
    options.searchPaths = {folder.path};
    auto loader = makeDsp("KV_WavSampleLoaderDSP", options);
    loader->queueValue("FName", std::wstring(L"a.wav"));
    loader->process(8);
    loader->queueValue("AutoTrigger", true);
    loader->process(8);
    EXPECT_EQ(published(*loader), Names{});  // neither the name alone nor switching AutoTrigger on loads
    loader->queueValue("FName", std::wstring(L"b.wav"));
    loader->process(8);
    loader->queueValue("FName", std::wstring(L"a.wav"));
    loader->queueValue("Trigger", true);
    loader->process(8);
    // A name change and a trigger in one block: two loads.
    EXPECT_EQ(published(*loader), (Names{"Rate", "Frames", "Left", "Right", "Left", "Right"}));
}

TEST(SampleSaverDsp, MonoFromWhicheverBlobHoldsWholeSamplesStereoPadded)
{
    TempFolder folder;
    auto saver = makeDsp("KV_WavSampleSaverDSP");
    saver->queueValue("Left", blobOf(ramp(100)));
    saver->queueValue("FName", folder / "left.wav");
    saver->queueValue("Trigger", true, 1);
    saver->process(8);
    EXPECT_FALSE(fs::exists(folder.path / "left.wav"));  // Rate never set: no 0 Hz file is written
    saver->queueValue("Rate", 44100.0f);
    saver->queueValue("Trigger", false);
    saver->process(8);
    saver->queueValue("Trigger", true);
    saver->process(8);
    const Bytes bytes = readBytes(folder.path / "left.wav");
    ASSERT_EQ(bytes.size(), 444u);
    EXPECT_EQ(word32(bytes, 4), 436u);  // no sampler chunk while the loop points are unset
    EXPECT_EQ(word32(bytes, 24), 44100u);
    EXPECT_EQ(word32(bytes, 28), 176400u);
    EXPECT_EQ(std::memcmp(bytes.data() + 44, blobOf(ramp(100)).data(), 400), 0);

    saver->queueValue("Left", Bytes(6, 1));  // no whole sample: counts as empty
    saver->queueValue("Right", blobOf(ramp(10, 5)));
    saver->queueValue("Rate", 96000.0f);
    saver->queueValue("FName", folder / "right.wav");
    saver->queueValue("AutoTrigger", true);
    saver->process(8);
    EXPECT_EQ(readWithSndfile(folder.path / "right.wav"), (std::vector<std::vector<float>>{ramp(10, 5)}));

    saver->queueValue("Left", blobOf(ramp(100)));
    saver->queueValue("Right", blobOf(ramp(60, 1)));
    saver->queueValue("FName", folder / "stereo.wav");
    saver->process(8);
    EXPECT_EQ(readWithSndfile(folder.path / "stereo.wav"),
              (std::vector<std::vector<float>>{ramp(100), ramp(60, 1, 100)}));

    saver->queueValue("Left", Bytes(6, 1));
    saver->queueValue("Right", Bytes{});
    saver->queueValue("FName", folder / "none.wav");
    saver->process(8);
    EXPECT_FALSE(fs::exists(folder.path / "none.wav"));
}

TEST(SampleSaverDsp, RatesOutsideTheUnsignedRangeAreLimited)
{
    TempFolder folder;
    auto saver = makeDsp("KV_WavSampleSaverDSP");
    saver->queueValue("Left", blobOf(ramp(4)));
    saver->queueValue("AutoTrigger", true);
    // Rates that are no rate (0 once limited) write nothing.
    const std::pair<float, std::uint32_t> cases[] = {
        {-5.0f, 0u}, {std::numeric_limits<float>::quiet_NaN(), 0u}, {44100.9f, 44100u}, {1e12f, 4294967295u}};
    for (int i = 0; i < 4; ++i) {
        saver->queueValue("Rate", cases[i].first);
        saver->queueValue("FName", folder / std::to_string(i));
        saver->process(8);
        const Bytes bytes = readBytes(folder.path / std::to_string(i));
        if (cases[i].second == 0) {
            EXPECT_TRUE(bytes.empty()) << cases[i].first;
            continue;
        }
        ASSERT_GE(bytes.size(), 28u);
        EXPECT_EQ(word32(bytes, 24), cases[i].second) << cases[i].first;
    }
}

TEST(SampleSaverDsp, NameAndTriggerInOneBlockSaveUnderTheOldNameFirst)
{
    TempFolder folder;
    auto saver = makeDsp("KV_WavSampleSaverDSP");
    saver->queueValue("Left", blobOf(ramp(3)));
    saver->queueValue("Rate", 48000.0f);
    saver->queueValue("FName", folder / "old.wav");
    saver->process(8);
    saver->queueValue("FName", folder / "new.wav");
    saver->queueValue("Trigger", true);
    saver->process(8);
    EXPECT_TRUE(fs::exists(folder.path / "old.wav"));
    EXPECT_FALSE(fs::exists(folder.path / "new.wav"));  // AutoTrigger off: the new name waits

    saver->queueValue("Trigger", false);
    saver->queueValue("AutoTrigger", true);
    saver->process(8);
    saver->queueValue("FName", folder / "newer.wav");
    saver->queueValue("Trigger", true);
    saver->process(8);
    EXPECT_TRUE(fs::exists(folder.path / "new.wav"));
    EXPECT_TRUE(fs::exists(folder.path / "newer.wav"));
}

TEST(SampleGuiHalves, LoaderAndSaverFollowTheirTriggersAndFileNames)
{
    TempFolder folder;
    mphost::GuiModuleOptions options;
    options.host.searchPaths = {folder.path};
    auto saver = makeGui("WavSampleSaver");
    auto loader = makeGui("WavSampleLoader", options);
    saver->setPin("Left", blobOf(ramp(5)));
    saver->setPin("Right", blobOf(ramp(7)));
    saver->setPin("Rate", 22050.0f);
    saver->setPin("FName1", folder / "a.wav");
    saver->setPin("AutoTrigger", true);
    EXPECT_FALSE(fs::exists(folder.path / "a.wav"));  // switching AutoTrigger on does not save
    saver->setPin("FName2", folder / "b.wav");
    saver->setPin("AutoTrigger", false);
    saver->setPin("Right", blobOf(ramp(2)));
    saver->setPin("FName1", folder / "c.wav");
    saver->setPin("Trigger", true);
    EXPECT_EQ(readWithSndfile(folder.path / "b.wav"), (std::vector<std::vector<float>>{ramp(5, 0, 7), ramp(7)}));

    loader->setPin("FName2", std::wstring(L"b.wav"));  // resolved in the host's folders
    EXPECT_EQ(transmitted(*loader), Names{});
    loader->setPin("Trigger", true);
    EXPECT_EQ(transmitted(*loader), (Names{"Rate", "Frames", "Left", "Right"}));
    EXPECT_EQ(loader->value("Right"), PinValue(blobOf(ramp(7))));
    loader->setPin("Trigger", true);
    EXPECT_EQ(transmitted(*loader), Names{});  // the same sound again: nothing changed

    loader->setPin("FName1", std::wstring(L"c.wav"));
    loader->setPin("AutoTrigger", true);  // loads at once
    EXPECT_EQ(transmitted(*loader), (Names{"Frames", "Left", "Right"}));
    EXPECT_EQ(loader->value("Right"), PinValue(blobOf(ramp(2, 0, 5))));
}

TEST(BlobBridge, CarriesBlobBytesBetweenTheHalvesInBothDirections)
{
    auto dsp = makeDsp("KV_BlobDspGuiBridge");
    auto gui = makeGui("KV_BlobDspGuiBridge");
    const Bytes blob = {1, 2, 3, 4, 5};
    for (int round = 0; round < 2; ++round) {  // the same blob again is forwarded again
        dsp->queueValue("In", blob);
        dsp->process(8);
        EXPECT_EQ(published(*dsp), Names{"Out"});
        const auto messages = dsp->takeMessages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].id, 0);
        EXPECT_EQ(messages[0].data, blob);  // the bytes themselves, not an address
        EXPECT_EQ(gui->sendMessageFromDsp(messages[0].id, messages[0].data), gmpi::MP_OK);
    }
    EXPECT_EQ(transmitted(*gui), Names{"Out"});  // only the first, changed value
    EXPECT_EQ(gui->value("Out"), PinValue(blob));

    const Bytes other(1000, 7);
    gui->setPin("Out", other);
    const auto messages = gui->takeMessagesToDsp();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].data, other);
    EXPECT_EQ(dsp->sendMessageFromGui(messages[0].id, messages[0].data), gmpi::MP_OK);
    EXPECT_EQ(dsp->outputValue("Out"), PinValue(other));
    EXPECT_TRUE(dsp->takeMessages().empty() && gui->takeTransmissions().empty());  // no echo

    // Messages of another kind change nothing.
    EXPECT_EQ(dsp->sendMessageFromGui(1, Bytes{9}), gmpi::MP_FAIL);
    EXPECT_EQ(gui->sendMessageFromDsp(1, Bytes{9}), gmpi::MP_FAIL);
    EXPECT_EQ(dsp->outputValue("Out"), PinValue(other));
    EXPECT_EQ(gui->value("Out"), PinValue(other));
}

TEST(SampleValidation, EveryModulePassesAndLeavesNoFilesBehind)
{
    TempFolder folder;
    const fs::path previous = fs::current_path();
    fs::current_path(folder.path);
    mphost::ValidationOptions options;
    options.secondsPerModule = 0.3;
    // A bundle named relative to the working folder, as on the command line.
    const fs::path bundle = fs::relative(testing_support::bundlePath("sample_modules"), folder.path);
    const auto reports = mphost::validateBundles({bundle}, options);
    fs::current_path(previous);
    for (const mphost::ModuleReport& report : reports)
        EXPECT_TRUE(report.passed) << mphost::formatReports({report});
    EXPECT_TRUE(fs::is_empty(folder.path));  // savers given random names wrote elsewhere
}
