// The binary layout of the contract: operations called through raw vtable slot indices
// on real objects land on the named operations.
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness/context_menu.h"
#include "harness/gui_module.h"
#include "harness/return_string.h"
#include "probe_trace.h"
#include "test_support.h"

using namespace testing_support;

namespace {

// Calls slot `slot` of `object`'s vtable as a function of the given signature.
template <class Result, class... Args>
Result callSlot(void* object, int slot, Args... args)
{
    using Function = Result (*)(void*, Args...);
    void** table = *static_cast<void***>(object);
    return reinterpret_cast<Function>(table[slot])(object, args...);
}

}  // namespace

TEST(AbiLayout, RecordsHaveTheirContractSizes)
{
    static_assert(sizeof(gmpi::MpEvent) == 40);
    static_assert(sizeof(gmpi::MpGuid) == 16);
    static_assert(sizeof(wchar_t) == 4);
    const gmpi::MpGuid& iid = gmpi::MP_IID_FACTORY2;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&iid);
    // {91c3d2ee-c701-4f35-...}: each word little-endian.
    EXPECT_EQ(bytes[0], 0xEE);
    EXPECT_EQ(bytes[3], 0x91);
    EXPECT_EQ(bytes[4], 0x01);
    EXPECT_EQ(bytes[6], 0x35);
    EXPECT_EQ(bytes[8], 0x91);
    EXPECT_EQ(bytes[15], 0x76);
}

TEST(AbiLayout, FactorySlots)
{
    void* factory = probeBundle()->factory2();
    EXPECT_EQ((callSlot<std::int32_t>(factory, 1)), 1);  // addRef
    std::int32_t version = 0;
    wchar_t text[64];
    EXPECT_EQ((callSlot<std::int32_t, std::int32_t&, std::int32_t, wchar_t*>(factory, 4, version, 64, text)), 0);
    EXPECT_EQ(version, 30800);

    void* created = nullptr;
    EXPECT_EQ((callSlot<std::int32_t, const wchar_t*, std::int32_t, void**>(factory, 5, L"Probe", 0, &created)), 0);
    ASSERT_NE(created, nullptr);
    static_cast<gmpi::IMpUnknown*>(created)->release();
    EXPECT_EQ((callSlot<std::int32_t, const wchar_t*, std::int32_t, gmpi::IMpUnknown*, void**>(
                  factory, 3, L"Nothing", 0, nullptr, &created)),
              gmpi::MP_NOSUPPORT);
}

TEST(AbiLayout, DspModuleSlotsOfBothInterfaces)
{
    auto module = makeProbe("Probe");
    module->start();
    module->queueValue("Sleep Mode", 0);
    module->process(64);
    module->takeMessages();

    // IMpPlugin2: slot 6 process(count, const events).
    gmpi::IMpPlugin2* plugin2 = module->plugin();
    callSlot<void, std::int32_t, const gmpi::MpEvent*>(plugin2, 6, 16, nullptr);
    EXPECT_EQ(traceOf(module->takeMessages()), (std::vector<TraceEntry>{{probe::TraceSubProcess, {0, 16, 0}}}));
    // Slot 7 receiveMessageFromGui.
    std::int32_t word = 99;
    callSlot<std::int32_t, std::int32_t, std::int32_t, const void*>(plugin2, 7, 3, 4, &word);
    EXPECT_EQ(traceOf(module->takeMessages()), (std::vector<TraceEntry>{{3, {99}}}));

    // The primary interface continues with the base's own operations.
    auto primary = queryInterface<gmpi::IMpPlugin>(plugin2, gmpi::MP_IID_PLUGIN);
    ASSERT_TRUE(primary);
    callSlot<void, std::int32_t, gmpi::MpEvent*>(primary.get(), 5, 8, nullptr);  // first-generation process
    EXPECT_EQ(traceOf(module->takeMessages()), (std::vector<TraceEntry>{{probe::TraceSubProcess, {0, 8, 0}}}));
    callSlot<void>(primary.get(), 14);  // onSetPins
    EXPECT_EQ(traceOf(module->takeMessages()).at(0).id, probe::TraceSetPins);
    callSlot<void, bool>(primary.get(), 15, true);  // OnPinStreamingChange
    EXPECT_EQ(traceOf(module->takeMessages()).at(0).id, probe::TraceStreaming);
    callSlot<void>(primary.get(), 16);  // onGraphStart
    EXPECT_EQ(traceOf(module->takeMessages()).back().id, probe::TraceGraphStart);
    const unsigned char midi[3] = {0x90, 1, 2};
    callSlot<void, int, const unsigned char*, int>(primary.get(), 12, 8, midi, 3);  // onMidiMessage, const form
    EXPECT_EQ(traceOf(module->takeMessages()).at(0), (TraceEntry{probe::TraceMidi, {8, 3, 0x90}}));

    // IMpLegacyInitialization: slot 3 setHost.
    auto legacy = queryInterface<gmpi::IMpLegacyInitialization>(plugin2, gmpi::MP_IID_LEGACY_INITIALIZATION);
    ASSERT_TRUE(legacy);
    EXPECT_EQ((callSlot<std::int32_t, gmpi::IMpUnknown*>(legacy.get(), 3, static_cast<gmpi::IMpHost*>(&module->host()))),
              gmpi::MP_OK);
}

TEST(AbiLayout, HostSlots)
{
    auto module = makeProbe("Probe_HostServices", {.sampleRate = 44100, .sleepDelay = 33});
    void* host = static_cast<gmpi::IMpHost*>(&module->host());
    std::int32_t delay = 0;
    float rate = 0;
    EXPECT_EQ((callSlot<std::int32_t, std::int32_t&>(host, 7, delay)), 0);
    EXPECT_EQ(delay, 33);
    EXPECT_EQ((callSlot<std::int32_t, float&>(host, 8, rate)), 0);
    EXPECT_EQ(rate, 44100.0f);
    wchar_t path[16];
    EXPECT_EQ((callSlot<std::int32_t, const wchar_t*, std::int32_t, wchar_t*>(host, 17, L"/a", 16, path)), 0);
    EXPECT_EQ(std::wstring(path), L"/a");
    void* table = nullptr;
    std::int32_t needsInit = 0;
    EXPECT_EQ((callSlot<std::int32_t, const wchar_t*, void**, float, std::int32_t, std::int32_t&>(
                  host, 16, L"KAVRO SLOT TEST TABLE", &table, -1.0f, 64, needsInit)),
              0);
    EXPECT_EQ(needsInit, 1);

    // The pin iterator: slots 4 to 8.
    void* iterator = nullptr;
    EXPECT_EQ((callSlot<std::int32_t, void**>(host, 13, &iterator)), 0);
    ASSERT_NE(iterator, nullptr);
    std::vector<std::array<std::int32_t, 3>> pins;
    for (auto more = callSlot<std::int32_t>(iterator, 4); more == 0; more = callSlot<std::int32_t>(iterator, 5)) {
        std::array<std::int32_t, 3> pin{};
        callSlot<std::int32_t, std::int32_t&>(iterator, 6, pin[0]);
        callSlot<std::int32_t, std::int32_t&>(iterator, 7, pin[1]);
        callSlot<std::int32_t, std::int32_t&>(iterator, 8, pin[2]);
        pins.push_back(pin);
    }
    static_cast<gmpi::IMpUnknown*>(iterator)->release();
    EXPECT_EQ(pins, (std::vector<std::array<std::int32_t, 3>>{{0, 0, 8}, {1, 0, 1}, {2, 1, 1}}));

    // The processor host: slot 5 hostSetLatency.
    void* processorHost = static_cast<gmpi::IMpProcessorHost*>(&module->host());
    EXPECT_EQ((callSlot<std::int32_t, std::int32_t>(processorHost, 5, 256)), 0);
    EXPECT_EQ(module->host().latency(), 256);
}

// ---------------------------------------------------------------------------------
// The GUI host's services that widgets reach, and the widget operations a host calls for
// context menus and tooltips, each through its raw slot.

namespace {

std::shared_ptr<mphost::Bundle> uiBundle()
{
    return testing_support::loadedBundle(bundlePath("ui_modules"));
}

const mphost::ModuleDescription& uiModule(const std::string& id)
{
    const auto& descriptions = testing_support::descriptionsBeside(bundlePath("ui_modules"));
    const mphost::ModuleDescription* module = descriptions.find(id);
    if (!module)
        throw std::runtime_error("no ui module " + id);
    return *module;
}

// A completion callback that records its results; lives on the stack.
class CompletionRecorder final : public gmpi_gui::IMpCompletionCallback {
public:
    std::int32_t queryInterface(const gmpi::MpGuid& iid, void** returnInterface) override
    {
        *returnInterface = nullptr;
        if (iid != gmpi::MP_IID_UNKNOWN && iid != gmpi_gui::SE_IID_COMPLETION_CALLBACK)
            return gmpi::MP_NOSUPPORT;
        *returnInterface = static_cast<gmpi_gui::IMpCompletionCallback*>(this);
        return gmpi::MP_OK;
    }
    std::int32_t addRef() override { return 1; }
    std::int32_t release() override { return 1; }
    void OnComplete(std::int32_t result) override { results.push_back(result); }

    std::vector<std::int32_t> results;
};

// queryInterface through slot 0.
void* querySlot(void* object, const gmpi::MpGuid& iid)
{
    void* found = nullptr;
    EXPECT_EQ((callSlot<std::int32_t, const gmpi::MpGuid&, void**>(object, 0, iid, &found)), gmpi::MP_OK);
    return found;
}

}  // namespace

TEST(AbiLayout, ReturnedTextAndHostResourceSlots)
{
    const auto folder = std::filesystem::temp_directory_path() / ("abi-resources-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "kick.wav") << "RIFF";
    mphost::GuiModuleOptions options;
    options.host.resourceFolders["Audio"] = folder;
    mphost::GuiModule module(probeBundle(), probeModule("Probe_Gui"), options);
    void* host2 = querySlot(static_cast<gmpi::IMpUserInterfaceHost2*>(&module.host()), gmpi::MP_IID_UI_HOST2);
    ASSERT_NE(host2, nullptr);

    // IString: slot 3 setData, slot 4 getSize, slot 5 getData.
    mphost::ReturnString text;
    EXPECT_EQ((callSlot<std::int32_t, const char*, std::int32_t>(&text, 3, "abcdef", 3)), gmpi::MP_OK);
    EXPECT_EQ(callSlot<std::int32_t>(&text, 4), 3);
    EXPECT_STREQ(callSlot<const char*>(&text, 5), "abc");

    // IMpUserInterfaceHost2 slot 10 findHostResource(name, type, IString*).
    EXPECT_EQ((callSlot<std::int32_t, const char*, const char*, gmpi::IString*>(host2, 10, "kick.wav", "Audio", &text)),
              gmpi::MP_OK);
    EXPECT_EQ(std::filesystem::path(text.text), folder / "kick.wav");
    text.text = "kept";
    EXPECT_EQ((callSlot<std::int32_t, const char*, const char*, gmpi::IString*>(host2, 10, "kick.wav", "MIDI", &text)),
              gmpi::MP_FAIL);
    EXPECT_EQ(text.text, "kept");
    static_cast<gmpi::IMpUnknown*>(host2)->release();
    std::filesystem::remove_all(folder);
}

TEST(AbiLayout, FileDialogSlots)
{
    mphost::GuiModule module(probeBundle(), probeModule("Probe_Gui"));
    void* base = querySlot(static_cast<gmpi::IMpUserInterfaceHost2*>(&module.host()), gmpi_gui::SE_IID_GRAPHICS_HOST_BASE);
    ASSERT_NE(base, nullptr);

    // IMpGraphicsHostBase slot 3 createFileDialog(type, IMpFileDialog**).
    void* dialog = nullptr;
    EXPECT_EQ((callSlot<std::int32_t, std::int32_t, void**>(base, 3, gmpi_gui::MP_FILE_DIALOG_OPEN, &dialog)),
              gmpi::MP_OK);
    ASSERT_NE(dialog, nullptr);
    // IMpFileDialog: 3 AddExtension, 4 SetInitialFullPath, 5 ShowAsync, 6 GetSelectedFilename.
    EXPECT_EQ((callSlot<std::int32_t, const char*, const char*>(dialog, 3, "wav", "Audio")), gmpi::MP_OK);
    EXPECT_EQ((callSlot<std::int32_t, const char*>(dialog, 4, "/start/here.wav")), gmpi::MP_OK);
    CompletionRecorder completion;
    EXPECT_EQ((callSlot<std::int32_t, gmpi::IMpUnknown*>(dialog, 5, &completion)), gmpi::MP_OK);
    mphost::ReturnString picked;
    EXPECT_EQ((callSlot<std::int32_t, gmpi::IMpUnknown*>(dialog, 6, &picked)), gmpi::MP_FAIL);  // not yet answered

    module.host().fileDialogs().answer("/picked/kick.wav");
    EXPECT_EQ(module.pump(), 1);
    // The host called slot 3 of the callback, OnComplete.
    EXPECT_EQ(completion.results, (std::vector<std::int32_t>{gmpi::MP_OK}));
    EXPECT_EQ((callSlot<std::int32_t, gmpi::IMpUnknown*>(dialog, 6, &picked)), gmpi::MP_OK);
    EXPECT_EQ(picked.text, "/picked/kick.wav");
    const auto& record = module.host().fileDialogs().history().at(0);
    EXPECT_EQ(record.extensions, (std::vector<std::string>{"wav"}));
    EXPECT_EQ(record.initialPath, "/start/here.wav");
    static_cast<gmpi::IMpUnknown*>(dialog)->release();
    static_cast<gmpi::IMpUnknown*>(base)->release();
}

TEST(AbiLayout, ContextMenuAndTooltipSlots)
{
    // The host's sink: slot 3 AddItem(text, id, flags).
    mphost::ContextMenuSink sink;
    void* items = querySlot(&sink, gmpi::MP_IID_CONTEXT_ITEMS_SINK);
    ASSERT_EQ(items, static_cast<void*>(static_cast<gmpi::IMpContextItemSink*>(&sink)));
    EXPECT_EQ((callSlot<std::int32_t, const char*, std::int32_t, std::int32_t>(items, 3, "Host item", 7, 0)),
              gmpi::MP_OK);
    EXPECT_EQ(sink.items, (std::vector<mphost::ContextMenuItem>{{"Host item", 7, 0}}));

    mphost::GuiModule knob(uiBundle(), uiModule("KV_VecJS"));
    knob.start({{"MenuItems", std::wstring(L"Zero=0,Half=5")}, {"Tooltip", std::wstring(L"Turn me")}});
    knob.takeTransmissions();
    // IMpUserInterface2 slot 7 populateContextMenu(x, y, sink), slot 8 onContextMenu(id).
    void* widget = knob.object();
    EXPECT_EQ((callSlot<std::int32_t, float, float, gmpi::IMpUnknown*>(widget, 7, 10.0f, 10.0f, &sink)), gmpi::MP_OK);
    EXPECT_EQ(sink.items, (std::vector<mphost::ContextMenuItem>{{"Host item", 7, 0}, {"Zero", 0, 0}, {"Half", 5, 0}}));
    EXPECT_EQ((callSlot<std::int32_t, std::int32_t>(widget, 8, 5)), gmpi::MP_OK);
    std::vector<mphost::PinValue> selections;
    for (const auto& transmission : knob.takeTransmissions())
        if (transmission.pinName == "MenuSelection")
            selections.push_back(transmission.value);
    EXPECT_EQ(selections, (std::vector<mphost::PinValue>{5, -1}));

    // IMpGraphics2 slot 10 getToolTip(point, IString*).
    void* graphics = querySlot(widget, gmpi_gui_api::SE_IID_GRAPHICS_MPGUI2);
    ASSERT_NE(graphics, nullptr);
    mphost::ReturnString tip;
    EXPECT_EQ((callSlot<std::int32_t, GmpiDrawing_API::MP1_POINT, gmpi::IString*>(graphics, 10, {5, 5}, &tip)),
              gmpi::MP_OK);
    EXPECT_EQ(tip.text, "Turn me");
    static_cast<gmpi::IMpUnknown*>(graphics)->release();
}
