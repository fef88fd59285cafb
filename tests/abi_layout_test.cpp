// The binary layout of the contract: operations called through raw vtable slot indices
// on real objects land on the named operations.
#include <array>

#include <gtest/gtest.h>

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
