// The reference host's own services: loading, descriptions, shared tables, file names
// and latency reports.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "probe_trace.h"
#include "test_support.h"

using namespace testing_support;
using mphost::BundleDescription;
using mphost::HostError;

namespace {

// The HostError message of `action`, or "" when it did not throw.
template <class Action>
std::string errorOf(Action action)
{
    try {
        action();
    } catch (const HostError& error) {
        return error.what();
    }
    return "";
}

std::string descriptionError(const std::string& json)
{
    return errorOf([&] { BundleDescription::parse(json, "test.json"); });
}

}  // namespace

TEST(HostLoader, RefusesMissingFilesNonLibrariesAndLibrariesWithoutTheEntryPoint)
{
    EXPECT_NE(errorOf([] { mphost::Bundle::load("/nonexistent/x.so"); }).find("'/nonexistent/x.so' does not exist"),
              std::string::npos);
    const std::string notLibrary = std::string(MP_SOURCE_DIR) + "/CMakeLists.txt";
    EXPECT_NE(errorOf([&] { mphost::Bundle::load(notLibrary); }).find("is not a loadable bundle"), std::string::npos);
    EXPECT_NE(errorOf([] { mphost::Bundle::load(NOT_A_BUNDLE_PATH); }).find("does not export MP_GetFactory"),
              std::string::npos);
    EXPECT_NE(errorOf([] { probeBundle()->create(0, L"Probe_NotInBundle"); }).find("is not provided by the bundle"),
              std::string::npos);
}

TEST(HostDescriptions, TheProbeDescriptionsLoadWithTypesDefaultsAndLists)
{
    const auto& probe = probeModule("Probe");
    ASSERT_TRUE(probe.dsp);
    EXPECT_EQ(probe.dsp->pins.size(), 17u);
    const auto* choice = probe.dsp->find("Choice");
    ASSERT_NE(choice, nullptr);
    EXPECT_EQ(choice->datatype, gmpi::MP_ENUM);
    EXPECT_EQ(std::get<std::int32_t>(choice->defaultValue), 1);
    EXPECT_EQ(choice->list, "Off,Low=10,High");
    EXPECT_EQ(probe.gui->subType, 2);
    EXPECT_TRUE(probeModule("Probe_DynamicInputs").dsp->pins.back().autoDuplicate);
}

TEST(HostDescriptions, ErrorsNameTheFileTheJsonPathAndWhatWasExpected)
{
    EXPECT_NE(descriptionError("{").find("test.json: not valid JSON"), std::string::npos);
    // A number too large for any type is a refusal too, not an escaping exception.
    EXPECT_NE(descriptionError(std::string(400, '6')).find("test.json: not valid JSON"), std::string::npos);
    EXPECT_EQ(descriptionError(R"({"modules": []})"), "test.json: $: expected member \"bundle\"");
    EXPECT_EQ(descriptionError(R"({"bundle": "b", "modules": {}})"),
              "test.json: $.modules: expected an array, found object {}");
    EXPECT_EQ(descriptionError(R"({"bundle": "b", "modules": [{"id": "M"}]})"),
              "test.json: $.modules[0]: expected a \"dsp\" or a \"gui\" half");
    EXPECT_EQ(
        descriptionError(
            R"({"bundle": "b", "modules": [{"id": "M", "dsp": {"pins": [{"name": "A", "type": "double", "direction": "in"}]}}]})"),
        "test.json: $.modules[0].dsp.pins[0].type: expected one of enum, text, midi, bool, audio, float, int, blob, "
        "found string \"double\"");
    EXPECT_EQ(
        descriptionError(
            R"({"bundle": "b", "modules": [{"id": "M", "dsp": {"pins": [{"name": "A", "type": "int", "direction": "in", "default": 2.5}]}}]})"),
        "test.json: $.modules[0].dsp.pins[0].default: expected a 32-bit integer, found number 2.5");
    EXPECT_EQ(
        descriptionError(
            R"({"bundle": "b", "modules": [{"id": "M", "dsp": {"pins": [{"name": "A", "type": "int", "direction": "in", "defualt": 2}]}}]})"),
        "test.json: $.modules[0].dsp.pins[0].defualt: expected one of the members \"name\", \"type\", \"direction\", "
        "\"default\", \"list\", \"autoDuplicate\"");
    EXPECT_NE(
        descriptionError(
            R"({"bundle": "b", "modules": [{"id": "M", "dsp": {"pins": [{"name": "A", "type": "int", "direction": "in"}, {"name": "A", "type": "int", "direction": "out"}]}}]})")
            .find("$.modules[0].dsp.pins[1].name: expected a pin name not used before"),
        std::string::npos);
    EXPECT_NE(
        descriptionError(
            R"({"bundle": "b", "modules": [{"id": "M", "dsp": {"pins": [{"name": "A", "type": "audio", "direction": "in", "autoDuplicate": true}, {"name": "B", "type": "int", "direction": "out"}]}}]})")
            .find("auto-duplicated pins to come last"),
        std::string::npos);
    EXPECT_NE(
        descriptionError(
            R"({"bundle": "b", "modules": [{"id": "M", "dsp": {"pins": []}, "gui": {"pins": []}, "links": [{"dsp": "X", "gui": "Y"}]}]})")
            .find("$.modules[0].links[0].dsp: expected the name of a DSP pin"),
        std::string::npos);
    EXPECT_NE(descriptionError(R"({"bundle": "b", "modules": [{"id": "M", "dsp": {"pins": []}}, {"id": "M", "dsp": {"pins": []}}]})")
                  .find("$.modules[1].id: expected an identifier not used before"),
              std::string::npos);
}

TEST(HostSharedMemory, OneBlockPerNameAndRateAndOnlyTheFirstCallerFillsIt)
{
    auto pool = std::make_shared<mphost::SharedMemoryPool>();
    const auto openTrace = [&](float sampleRate) {
        auto module = makeProbe("Probe_SharedTable", {.sampleRate = sampleRate, .sharedMemory = pool});
        return traceOf(module->takeMessages()).at(0).words;
    };
    using Words = std::vector<std::int32_t>;
    EXPECT_EQ(openTrace(48000), (Words{0, 1, 5}));
    EXPECT_EQ(openTrace(48000), (Words{0, 0, 5}));  // same block, already filled
    EXPECT_EQ(openTrace(44100), (Words{0, 1, 5}));  // another rate, another block
    EXPECT_EQ(pool->tableCount(), 2u);

    bool needsInitialising = false;
    EXPECT_EQ(pool->allocate(L"KAVRO PROBE RAMP TABLE", 48000, 1 << 20, needsInitialising), nullptr)
        << "a larger request for an existing table is refused rather than overrun";
    EXPECT_EQ(pool->allocate(L"T", -1, -5, needsInitialising), nullptr);
}

TEST(HostServices, LatencyReportsAndFileNameResolution)
{
    const auto folder = std::filesystem::temp_directory_path() / "mphost_resolve_test";
    std::filesystem::create_directories(folder / "second");
    std::ofstream(folder / "second" / "found.wav") << "x";

    auto module = makeProbe("Probe_HostServices", {.searchPaths = {folder, folder / "second"}});
    module->start();
    module->queueValue("Latency", -5);
    module->process(64);
    EXPECT_EQ(module->host().latency(), 0);
    module->queueValue("Latency", 128);
    module->queueValue("File Name", std::wstring(L"found.wav"));
    module->process(64);
    EXPECT_EQ(module->host().latency(), 128);
    EXPECT_EQ(std::get<std::wstring>(module->outputValue("Full Name")),
              (folder / "second" / "found.wav").wstring());

    module->queueValue("File Name", std::wstring(L"missing.wav"));
    module->process(64);
    EXPECT_EQ(std::get<std::wstring>(module->outputValue("Full Name")), (folder / "missing.wav").wstring());
    module->queueValue("File Name", std::wstring(L"/abs/file.wav"));
    module->process(64);
    EXPECT_EQ(std::get<std::wstring>(module->outputValue("Full Name")), L"/abs/file.wav");
    // A name that does not fit the caller's 500 characters is refused, not cut.
    module->queueValue("File Name", std::wstring(600, L'a'));
    module->process(64);
    EXPECT_EQ(std::get<std::wstring>(module->outputValue("Full Name")), L"/abs/file.wav");
    EXPECT_EQ(module->host().hostSetLatency(-1), gmpi::MP_FAIL);
    std::filesystem::remove_all(folder);
}

TEST(HostHarness, RefusesMisuseWithClearErrors)
{
    auto module = makeProbe("Probe");
    EXPECT_NE(errorOf([&] { module->queueValue("Nope", 1); }).find("has no DSP pin \"Nope\" (pins: In, Out"),
              std::string::npos);
    EXPECT_NE(errorOf([&] { module->queueValue("Int", 1.0f); }).find("takes int values"), std::string::npos);
    EXPECT_NE(errorOf([&] { module->queueValue("Out", 1.0f); }).find("is not a control input"), std::string::npos);
    EXPECT_NE(errorOf([&] { module->process(65); }).find("expected 1 to 64"), std::string::npos);
}

TEST(HostHarness, EventsBeyondTheBlockMoveOnToTheNextBlock)
{
    auto module = makeProbe("Probe");
    module->start();
    module->queueValue("Sleep Mode", 0);
    module->queueValue("Int", 50, 70);
    module->process(64);
    EXPECT_EQ(std::get<std::int32_t>(module->outputValue("Int Out")), 6);
    module->process(64);
    EXPECT_EQ(std::get<std::int32_t>(module->outputValue("Int Out")), 100);
    const auto handlers = entriesWithId(traceOf(module->takeMessages()), probe::TraceHandler);
    EXPECT_EQ(handlers.back(), (std::vector<std::int32_t>{6, 2}));
}

TEST(HostPinValues, EmptyPayloadsWithoutABufferDecodeToZero)
{
    // A host sends an empty payload as (0, null); every datatype must take it.
    EXPECT_EQ(std::get<std::int32_t>(mphost::decodePinValue(gmpi::MP_INT32, nullptr, 0)), 0);
    EXPECT_EQ(std::get<std::int32_t>(mphost::decodePinValue(gmpi::MP_ENUM, nullptr, 0)), 0);
    EXPECT_EQ(std::get<float>(mphost::decodePinValue(gmpi::MP_FLOAT32, nullptr, 0)), 0.0f);
    EXPECT_FALSE(std::get<bool>(mphost::decodePinValue(gmpi::MP_BOOL, nullptr, 0)));
    EXPECT_TRUE(std::get<std::wstring>(mphost::decodePinValue(gmpi::MP_STRING, nullptr, 0)).empty());
    EXPECT_TRUE(std::get<mphost::Bytes>(mphost::decodePinValue(gmpi::MP_BLOB, nullptr, 0)).empty());
    // Short payloads fill the low bytes.
    const std::uint8_t one[] = {7};
    EXPECT_EQ(std::get<std::int32_t>(mphost::decodePinValue(gmpi::MP_INT32, one, 1)), 7);
}
