// The GUI host services: skin resources, host resources by type, file-name resolution,
// transmission and message checks.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "probe_trace.h"
#include "unicode_conversion.h"

using namespace gui_testing;
using namespace testing_support;
using mphost::Bytes;
using mphost::GuiHost;
using mphost::GuiModule;
namespace fs = std::filesystem;

namespace {

// The host's IString as a module would pass it.
class TestString final : public gmpi::IString {
public:
    std::int32_t queryInterface(const gmpi::MpGuid&, void** returnInterface) override
    {
        *returnInterface = nullptr;
        return gmpi::MP_NOSUPPORT;
    }
    std::int32_t addRef() override { return 1; }
    std::int32_t release() override { return 1; }
    std::int32_t setData(const char* data, std::int32_t size) override
    {
        text.assign(data, size > 0 ? static_cast<std::size_t>(size) : 0);
        return gmpi::MP_OK;
    }
    std::int32_t getSize() override { return static_cast<std::int32_t>(text.size()); }
    const char* getData() override { return text.c_str(); }
    std::string text;
};

GuiHost makeHost(const fs::path& skin, std::vector<mphost::InstantiatedPin> pins = {{0, 0, gmpi::MP_INT32}})
{
    mphost::GuiHostSettings settings;
    settings.skinFolder = skin;
    return GuiHost(settings, std::move(pins));
}

}  // namespace

TEST(GuiHost, SkinResourcesResolveInsideTheSkinFolderOnly)
{
    TempFolder skin;
    const fs::path knob = skin.write("knob.png", "png");
    skin.write("knob.txt", "frame_size 50 50");
    TempFolder outside;
    outside.write("secret.txt", "no");

    GuiHost host = makeHost(skin.path);
    TestString name;
    EXPECT_EQ(host.resolveSkinResource("knob.png", "Image", &name), gmpi::MP_OK);
    EXPECT_EQ(fs::path(name.text), knob);
    EXPECT_EQ(host.resolveSkinResource("knob", "Image", &name), gmpi::MP_OK);  // extension found by kind
    EXPECT_EQ(fs::path(name.text), knob);
    EXPECT_EQ(host.resolveSkinResource("knob", "ImageMeta", &name), gmpi::MP_OK);
    EXPECT_EQ(fs::path(name.text).filename(), "knob.txt");
    // A full name returned earlier resolves to itself.
    EXPECT_EQ(host.resolveSkinResource(knob.string().c_str(), "Image", &name), gmpi::MP_OK);

    for (const std::string& refused : std::vector<std::string>{"missing.png", "", "../" + outside.path.filename().string() + "/secret.txt",
                                      (outside.path / "secret.txt").string()})
        EXPECT_EQ(host.resolveSkinResource(refused.c_str(), "ImageMeta", &name), gmpi::MP_FAIL) << refused;
    EXPECT_EQ(host.resolveSkinResource(nullptr, "Image", &name), gmpi::MP_FAIL);

    gmpi::IProtectedFile2* file = nullptr;
    EXPECT_EQ(host.openSkinResource((outside.path / "secret.txt").string().c_str(), &file), gmpi::MP_FAIL);
    EXPECT_EQ(file, nullptr);
}

TEST(GuiHost, SkinFilesReadWholeAndReportShortReads)
{
    TempFolder skin;
    skin.write("meta.txt", "abcdef");
    GuiHost host = makeHost(skin.path);
    TestString name;
    ASSERT_EQ(host.resolveSkinResource("meta", "ImageMeta", &name), gmpi::MP_OK);
    gmpi::IProtectedFile2* file = nullptr;
    ASSERT_EQ(host.openSkinResource(name.getData(), &file), gmpi::MP_OK);
    std::int64_t size = 0;
    EXPECT_EQ(file->getSize(&size), gmpi::MP_OK);
    EXPECT_EQ(size, 6);
    EXPECT_EQ(file->getSize(nullptr), gmpi::MP_FAIL);
    char buffer[8] = {};
    EXPECT_EQ(file->read(buffer, 4), gmpi::MP_OK);
    EXPECT_EQ(file->read(buffer + 4, 4), gmpi::MP_FAIL);  // only two bytes left: a failure, nothing copied
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(file->read(buffer + 4, 2), gmpi::MP_OK);  // the position stayed
    EXPECT_STREQ(buffer, "abcdef");
    EXPECT_EQ(file->read(buffer, 0), gmpi::MP_OK);
    EXPECT_EQ(file->read(buffer, -1), gmpi::MP_FAIL);
    EXPECT_EQ(file->read(nullptr, 1), gmpi::MP_FAIL);
    // Slot 4, reached by index as a bundle would, is reserved.
    using Slot4 = std::int32_t (*)(gmpi::IProtectedFile2*);
    EXPECT_EQ(reinterpret_cast<Slot4*>(*reinterpret_cast<void***>(file))[4](file), gmpi::MP_NOSUPPORT);
    EXPECT_EQ(file->release(), 0);
}

TEST(GuiHost, ModulesReachSkinsAndHostResourcesThroughTheirHost)
{
    TempFolder skin, audio;
    skin.write("probe.txt", "frame_size 50 50\n");
    const fs::path sample = audio.write("probe.wav", "RIFF");
    mphost::GuiModuleOptions options;
    options.host.skinFolder = skin.path;
    options.host.resourceFolders["Audio"] = audio.path;
    GuiModule module(probeBundle(), probeModule("Probe_Gui"), options);

    module.setPin("Skin", 1);
    EXPECT_EQ(textOf(module.value("Text")), L"frame_size 50 50\n");
    EXPECT_EQ(entriesWithId(traceOf([&] {
                                std::vector<mphost::GuiMessage> messages;
                                for (auto& m : module.takeMessagesToDsp())
                                    messages.push_back({m.id, m.data});
                                return messages;
                            }()),
                            probe::TraceOpen),
              (std::vector<std::vector<std::int32_t>>{{0, 17}}));

    module.setPin("Skin", 2);
    EXPECT_EQ(fs::path(textOf(module.value("Text"))), sample);
}

TEST(GuiHost, HostResourcesAreFoundByBareNameAndType)
{
    TempFolder audio;
    const fs::path sample = audio.write("a.wav", "x");
    mphost::GuiHostSettings settings;
    settings.resourceFolders["Audio"] = audio.path;
    GuiHost host(settings, {});
    TestString path;
    EXPECT_EQ(host.findHostResource("a.wav", "Audio", &path), gmpi::MP_OK);
    EXPECT_EQ(fs::path(path.text), sample);
    path.text = "unchanged";
    EXPECT_EQ(host.findHostResource("a.wav", "Image", &path), gmpi::MP_FAIL);
    EXPECT_EQ(host.findHostResource("b.wav", "Audio", &path), gmpi::MP_FAIL);
    EXPECT_EQ(host.findHostResource("../a.wav", "Audio", &path), gmpi::MP_FAIL);
    EXPECT_EQ(path.text, "unchanged");
}

TEST(GuiHost, FirstGenerationResolutionUsesTheSearchPathsAndNeverCutsAPath)
{
    TempFolder first, second;
    second.write("found.txt", "x");
    mphost::GuiHostSettings settings;
    settings.searchPaths = {first.path, second.path};
    GuiHost host(settings, {});
    gmpi::IMpUserInterfaceHost* generation1 = nullptr;
    ASSERT_EQ(host.queryInterface(gmpi::MP_IID_UI_HOST, reinterpret_cast<void**>(&generation1)), gmpi::MP_OK);

    wchar_t buffer[500];
    EXPECT_EQ(generation1->resolveFilename(L"found.txt", 500, buffer), gmpi::MP_OK);
    EXPECT_EQ(fs::path(WStringToUtf8(buffer)), second.path / "found.txt");
    EXPECT_EQ(generation1->resolveFilename(L"", 500, buffer), gmpi::MP_OK);  // the resource folder
    EXPECT_EQ(fs::path(WStringToUtf8(buffer)), first.path);
    EXPECT_EQ(generation1->resolveFilename(L"/abs/name", 500, buffer), gmpi::MP_OK);
    EXPECT_EQ(std::wstring(buffer), L"/abs/name");
    EXPECT_EQ(generation1->resolveFilename(L"found.txt", 3, buffer), gmpi::MP_FAIL);
    EXPECT_EQ(buffer[0], L'\0');
    generation1->release();

    settings.offerFirstGeneration = false;
    GuiHost secondOnly(settings, {});
    EXPECT_EQ(secondOnly.queryInterface(gmpi::MP_IID_UI_HOST, reinterpret_cast<void**>(&generation1)),
              gmpi::MP_NOSUPPORT);
    EXPECT_EQ(generation1, nullptr);
}

TEST(GuiHost, TransmissionsAndMessagesAreCheckedAndCopied)
{
    GuiHost host = makeHost({});
    std::vector<Bytes> received;
    host.setTransmitSink([&](std::int32_t, std::int32_t, Bytes data) { received.push_back(std::move(data)); });
    std::int32_t word = 5;
    EXPECT_EQ(host.pinTransmit(0, 4, &word, 0), gmpi::MP_OK);
    word = 6;  // the host copied the first payload
    EXPECT_EQ(received, (std::vector<Bytes>{{5, 0, 0, 0}}));
    EXPECT_EQ(host.pinTransmit(1, 4, &word, 0), gmpi::MP_FAIL);  // no such pin
    EXPECT_EQ(host.pinTransmit(0, -1, &word, 0), gmpi::MP_FAIL);
    EXPECT_EQ(host.pinTransmit(0, 4, nullptr, 0), gmpi::MP_FAIL);

    EXPECT_EQ(host.sendMessageToAudio(3, 4, &word), gmpi::MP_OK);
    word = 7;
    EXPECT_EQ(host.sendMessageToAudio(3, -2, &word), gmpi::MP_FAIL);
    const auto messages = host.takeMessagesToDsp();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].data, (Bytes{6, 0, 0, 0}));

    gmpi::IMpPinIterator* pins = nullptr;
    ASSERT_EQ(host.createPinIterator(reinterpret_cast<void**>(&pins)), gmpi::MP_OK);
    std::int32_t count = 0;
    pins->getCount(count);
    EXPECT_EQ(count, 1);
    pins->release();
}
