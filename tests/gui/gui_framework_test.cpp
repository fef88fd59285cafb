// The GUI module bases and pins through the real binary path (probe bundle, GuiModule).
#include <gtest/gtest.h>

#include "gui_test_support.h"
#include "probe_trace.h"

using namespace gui_testing;
using namespace testing_support;
using mphost::Bytes;
using mphost::GuiModule;
using Words = std::vector<std::int32_t>;

namespace {

std::unique_ptr<GuiModule> makeProbeGui(const std::string& id, mphost::GuiModuleOptions options = {})
{
    return std::make_unique<GuiModule>(probeBundle(), probeModule(id), std::move(options));
}

// The module's reports, as (message id, words).
std::vector<TraceEntry> reports(GuiModule& module)
{
    std::vector<mphost::GuiMessage> messages;
    for (auto& message : module.takeMessagesToDsp())
        messages.push_back({message.id, std::move(message.data)});
    return traceOf(std::move(messages));
}

template <class Result, class... Args>
Result callSlot(void* object, int slot, Args... args)
{
    using Function = Result (*)(void*, Args...);
    void** table = *static_cast<void***>(object);
    return reinterpret_cast<Function>(table[slot])(object, args...);
}

}  // namespace

TEST(GuiFramework, StartSetsAndNotifiesEveryPinThenInitializes)
{
    auto module = makeProbeGui("Probe_Gui");
    EXPECT_EQ(module->subType(), 2);
    module->start();
    const auto trace = reports(*module);
    // Int (default 3), Float, Text (voice 0) handlers in index order, then initialize.
    EXPECT_EQ(trace, (std::vector<TraceEntry>{{probe::TraceHandler, {0, 3, 0}},
                                              {probe::TraceHandler, {1, 0, 0}},
                                              {probe::TraceHandler, {3, 0, 0}},
                                              {probe::TraceOpen, {}}}));
    // Echo's handler (default 0) assigned Int its value: a transmission of the module's own.
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Int", 0}}));
}

TEST(GuiFramework, HandlerRunsOnEveryNotificationEvenWithAnUnchangedValue)
{
    auto module = makeProbeGui("Probe_Gui");
    module->setPin("Int", 7);
    module->setPin("Int", 7);
    EXPECT_EQ(entriesWithId(reports(*module), probe::TraceHandler), (std::vector<Words>{{0, 7, 0}, {0, 7, 0}}));
    // setPin alone stores without running the handler; notifyPin runs it.
    EXPECT_EQ(module->setPinOnly(0, Bytes{9, 0, 0, 0}), gmpi::MP_OK);
    EXPECT_TRUE(reports(*module).empty());
    EXPECT_EQ(module->notifyPin(0), gmpi::MP_OK);
    EXPECT_EQ(entriesWithId(reports(*module), probe::TraceHandler), (std::vector<Words>{{0, 9, 0}}));
}

TEST(GuiFramework, OwnAssignmentTransmitsOnlyChangesAndSkipsTheOwnHandler)
{
    auto module = makeProbeGui("Probe_Gui");
    module->setPin("Echo", 4);  // Int = 4: a change
    const auto first = module->takeTransmissions();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].pinName, "Int");
    EXPECT_EQ(first[0].value, mphost::PinValue(4));
    EXPECT_EQ(first[0].raw, (Bytes{4, 0, 0, 0}));
    EXPECT_TRUE(entriesWithId(reports(*module), probe::TraceHandler).empty());  // Int's handler did not run

    module->setPin("Echo", 4);  // Int already holds 4
    EXPECT_TRUE(module->takeTransmissions().empty());
    EXPECT_EQ(intOf(module->value("Int")), 4);  // the host's view follows transmissions
}

TEST(GuiFramework, TextPayloadTakesWholeCharactersAndIndexedHandlersGetTheVoice)
{
    auto module = makeProbeGui("Probe_Gui");
    module->setPinRaw(3, Bytes{'A', 0, 0, 0, 'B', 0}, 3);  // six bytes: one character
    EXPECT_EQ(entriesWithId(reports(*module), probe::TraceHandler), (std::vector<Words>{{3, 1, 3}}));
}

TEST(GuiFramework, UnboundPinsAreRefused)
{
    auto module = makeProbeGui("Probe_Gui");
    EXPECT_EQ(module->setPinOnly(42, Bytes{1, 0, 0, 0}), gmpi::MP_FAIL);
    EXPECT_EQ(module->notifyPin(42), gmpi::MP_FAIL);
    EXPECT_EQ(module->notifyPin(2), gmpi::MP_OK);  // bound, without handler
    EXPECT_THROW(module->setPin("Int", 1.0f), mphost::HostError);  // wrong datatype
}

TEST(GuiFramework, PinsBoundWithoutIndexFollowAnExplicitIndexFive)
{
    auto module = makeProbeGui("Probe_GuiIndices");
    for (int index = 0; index < 5; ++index)
        EXPECT_EQ(module->setPinOnly(index, Bytes{1, 0, 0, 0}), gmpi::MP_FAIL);
    module->setPin("Six", 10);
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Seven", 11}}));
}

TEST(GuiFramework, UtfEightViewRoundTripsAndMalformedTextNeverThrows)
{
    auto module = makeProbeGui("Probe_Gui");
    module->setPin("Utf8", std::wstring(L"G\u00e9n\u00e9ral \U0001F3B5"));
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Text", std::wstring(L"G\u00e9n\u00e9ral \U0001F3B5")}}));
    module->setPin("Utf8", std::wstring(1, static_cast<wchar_t>(0xD800)));  // a lone surrogate
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Text", std::wstring(L"\uFFFD")}}));
}

TEST(GuiFramework, MessagesFromTheDspHalfArriveAndMessagesToItAreCopied)
{
    auto module = makeProbeGui("Probe_Gui");
    EXPECT_EQ(module->sendMessageFromDsp(5, Bytes{1, 2, 3}), gmpi::MP_OK);
    const auto messages = module->takeMessagesToDsp();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, 1005);
    EXPECT_EQ(messages[0].data, (Bytes{1, 2, 3}));
}

TEST(GuiFramework, FirstGenerationModuleIsCreatedWithItsHostAndUsesThePinMachinery)
{
    auto module = makeProbeGui("Probe_GuiGen1");
    EXPECT_EQ(module->subType(), 1);
    EXPECT_FALSE(queryInterface<gmpi::IMpUserInterface2B>(module->object(), gmpi::MP_IID_GUI_PLUGIN2B));
    EXPECT_TRUE(queryInterface<gmpi::IMpLegacyInitialization>(module->object(), gmpi::MP_IID_LEGACY_INITIALIZATION));
    module->setPin("In", 21);
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Out", 42}}));

    // Without MP_IID_UI_HOST the module refuses the host; the factory turns that into -1.
    mphost::GuiModuleOptions noFirstGeneration;
    noFirstGeneration.host.offerFirstGeneration = false;
    EXPECT_THROW(makeProbeGui("Probe_GuiGen1", noFirstGeneration), mphost::HostError);
}

TEST(GuiFramework, SecondGenerationInterfacesAndSlots)
{
    auto module = makeProbeGui("Probe_Gui");
    void* primary = module->object();
    for (const auto& iid : {gmpi::MP_IID_GUI_PLUGIN2, gmpi::MP_IID_GUI_PLUGIN2B, gmpi::MP_IID_UNKNOWN})
        EXPECT_EQ(queryInterface<gmpi::IMpUnknown>(module->object(), iid).get(), primary);
    EXPECT_FALSE(queryInterface<gmpi::IMpUnknown>(module->object(), gmpi::MP_IID_GUI_PLUGIN));

    const std::int32_t value = 12;
    EXPECT_EQ((callSlot<std::int32_t, std::int32_t, std::int32_t, std::int32_t, const void*>(primary, 5, 0, 0, 4,
                                                                                             &value)),
              gmpi::MP_OK);  // setPin
    EXPECT_EQ((callSlot<std::int32_t, std::int32_t, std::int32_t>(primary, 10, 0, 0)), gmpi::MP_OK);  // notifyPin
    EXPECT_EQ(entriesWithId(reports(*module), probe::TraceHandler), (std::vector<Words>{{0, 12, 0}}));
    // After the destructor's two entries, the base's own pinTransmit.
    const std::int32_t seven = 7;
    EXPECT_EQ((callSlot<std::int32_t, std::int32_t, std::int32_t, const void*, std::int32_t>(primary, 13, 0, 4, &seven,
                                                                                             0)),
              gmpi::MP_OK);
    EXPECT_EQ(sent(*module), (std::vector<Sent>{{"Int", 7}}));
    EXPECT_EQ((callSlot<std::int32_t, float, float, gmpi::IMpUnknown*>(primary, 9, 0.0f, 0.0f, nullptr)),
              gmpi::MP_FAIL);  // getToolTip: none by default
}
