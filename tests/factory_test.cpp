// The bundle's entry point and factory, seen from the host.
#include <gtest/gtest.h>

#include "test_support.h"

using namespace testing_support;
using mphost::ComPtr;

namespace {

std::int32_t create(std::int32_t subType, const wchar_t* id, ComPtr<gmpi::IMpUnknown>& result)
{
    return probeBundle()->factory2()->createInstance2(id, subType, result.receive());
}

}  // namespace

TEST(Factory, AnswersOnlyFactoryInterfacesAndReportsItsSdk)
{
    gmpi::IMpFactory* factory = probeBundle()->factory();
    void* answer = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->queryInterface(gmpi::MP_IID_PLUGIN, &answer), gmpi::MP_NOSUPPORT);
    EXPECT_EQ(answer, nullptr);
    EXPECT_EQ(factory->queryInterface(gmpi::MP_IID_FACTORY2, &answer), gmpi::MP_OK);
    EXPECT_EQ(answer, static_cast<gmpi::IMpFactory2*>(probeBundle()->factory2()));

    EXPECT_EQ(probeBundle()->sdkVersion(), 30800);
    EXPECT_EQ(probeBundle()->compilerInformation(), L"GCC Compiler V1002 (Release)");
    std::int32_t version = 0;
    wchar_t shortText[5] = {L'x', L'x', L'x', L'x', L'x'};
    factory->getSdkInformation(version, 5, shortText);
    EXPECT_EQ(std::wstring(shortText), L"GCC ");
}

TEST(Factory, KeysAreSubTypeAndIdentifierAndTheFirstRegistrationWins)
{
    ComPtr<gmpi::IMpUnknown> dsp, gui, gen1, other;
    // "Probe" sub-type 0 was registered twice; the second creator would throw.
    EXPECT_EQ(create(0, L"Probe", dsp), gmpi::MP_OK);
    EXPECT_TRUE(dsp.as<gmpi::IMpPlugin2>(gmpi::MP_IID_PLUGIN2));
    // Sub-type 2 is an independent entry (a marker object, not a DSP module).
    EXPECT_EQ(create(2, L"Probe", gui), gmpi::MP_OK);
    ASSERT_TRUE(gui);
    EXPECT_FALSE(gui.as<gmpi::IMpPlugin2>(gmpi::MP_IID_PLUGIN2));
    EXPECT_EQ(create(1, L"Probe", gen1), gmpi::MP_NOSUPPORT);
    EXPECT_FALSE(gen1);
    EXPECT_EQ(create(0, L"Probe_", other), gmpi::MP_NOSUPPORT);
    EXPECT_EQ(create(0, L"Prob", other), gmpi::MP_NOSUPPORT);
    EXPECT_EQ(create(0, L"", other), gmpi::MP_NOSUPPORT);
}

TEST(Factory, CreationFailuresBecomeResultCodes)
{
    ComPtr<gmpi::IMpUnknown> object;
    EXPECT_EQ(create(0, L"Probe_Throws", object), gmpi::MP_FAIL);
    EXPECT_FALSE(object);
    EXPECT_EQ(create(0, L"Probe_Null", object), gmpi::MP_OK);
    EXPECT_FALSE(object);
    EXPECT_EQ(create(0, L"Probe_NullCreator", object), gmpi::MP_NOSUPPORT);
    EXPECT_THROW(probeBundle()->create(0, L"Probe_Throws"), mphost::HostError);
}

TEST(Factory, LegacyCreationConnectsTheHostThroughCreateInstance)
{
    auto module = makeProbe("Probe", {.legacyCreation = true});
    module->start();
    module->queueValue("Int", 4);
    module->process(64);
    EXPECT_EQ(std::get<std::int32_t>(module->outputValue("Int Out")), 8);
}

TEST(Factory, ModulesStartWithOneReferenceAndReleaseTheirHostInterfaces)
{
    auto module = makeProbe("Probe");
    mphost::DspHost& host = module->host();
    EXPECT_EQ(host.referenceCount(), 2);  // the host and the processor host
    gmpi::IMpPlugin2* plugin = module->plugin();
    EXPECT_EQ(plugin->addRef(), 2);
    EXPECT_EQ(plugin->release(), 1);

    // Reconnecting releases the first host's interfaces.
    plugin->setHost(static_cast<gmpi::IMpHost*>(&host));
    EXPECT_EQ(host.referenceCount(), 2);
    EXPECT_EQ(plugin->setHost(nullptr), gmpi::MP_NOSUPPORT);
    EXPECT_EQ(host.referenceCount(), 0);
}

TEST(Factory, BundlesDoNotShareRegistriesOrSymbols)
{
    auto empty = mphost::Bundle::load(testBundlePath("empty_modules"));
    EXPECT_NE(static_cast<void*>(empty->factory()), static_cast<void*>(probeBundle()->factory()));
    ComPtr<gmpi::IMpUnknown> object;
    EXPECT_EQ(empty->tryCreate(0, L"Probe", object), gmpi::MP_NOSUPPORT);
    EXPECT_EQ(empty->sdkVersion(), 30800);
}
