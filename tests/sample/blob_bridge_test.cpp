// The blob bridge in both directions, and the whole bundle under the validator.
#include <gtest/gtest.h>

#include "sample_test_support.h"
#include "validator.h"

using namespace sample_testing;
using mphost::PinValue;

TEST(BlobBridge, AudioSideForwardsInToOutAndToTheInterfaceSide)
{
    auto dsp = makeDsp("KV_BlobDspGuiBridge");
    auto gui = makeGui("KV_BlobDspGuiBridge");
    const Bytes blob = {1, 2, 3, 4, 5};
    for (int round = 0; round < 2; ++round) {  // the same blob again is forwarded again
        dsp->queueValue("In", blob);
        dsp->process(8);
        EXPECT_EQ(published(*dsp), std::vector<std::string>{"Out"});
        EXPECT_EQ(dsp->outputValue("Out"), PinValue(blob));
        const auto messages = dsp->takeMessages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].id, 0);
        EXPECT_EQ(messages[0].data, blob);  // the bytes themselves, not an address
        EXPECT_EQ(gui->sendMessageFromDsp(messages[0].id, messages[0].data), gmpi::MP_OK);
    }
    // The interface side transmits only the first, changed value.
    const auto sent = gui->takeTransmissions();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].value, PinValue(blob));

    dsp->queueValue("In", Bytes{});
    dsp->process(8);
    const auto empty = dsp->takeMessages();
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(gui->sendMessageFromDsp(0, empty[0].data), gmpi::MP_OK);
    EXPECT_EQ(gui->value("Out"), PinValue(Bytes{}));
}

TEST(BlobBridge, InterfaceSideSendsItsBlobToTheAudioSidesOut)
{
    auto dsp = makeDsp("KV_BlobDspGuiBridge");
    auto gui = makeGui("KV_BlobDspGuiBridge");
    gui->takeMessagesToDsp();
    const Bytes blob(1000, 7);
    gui->setPin("Out", blob);
    const auto messages = gui->takeMessagesToDsp();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, 0);
    EXPECT_EQ(messages[0].data, blob);
    EXPECT_TRUE(gui->takeTransmissions().empty());  // no echo to the host

    EXPECT_EQ(dsp->sendMessageFromGui(messages[0].id, messages[0].data), gmpi::MP_OK);
    EXPECT_EQ(dsp->outputValue("Out"), PinValue(blob));
    EXPECT_TRUE(dsp->takeMessages().empty());  // nothing goes back

    // Messages of another kind change nothing.
    EXPECT_EQ(dsp->sendMessageFromGui(1, Bytes{9}), gmpi::MP_FAIL);
    EXPECT_EQ(gui->sendMessageFromDsp(1, Bytes{9}), gmpi::MP_FAIL);
    EXPECT_EQ(dsp->outputValue("Out"), PinValue(blob));
    EXPECT_EQ(gui->value("Out"), PinValue(blob));
}

TEST(SampleValidation, EveryModulePassesAndLeavesNoFilesBehind)
{
    TempFolder folder;
    const fs::path previous = fs::current_path();
    fs::current_path(folder.path);
    mphost::ValidationOptions options;
    options.secondsPerModule = 0.3;
    const auto reports = mphost::validateBundles({testing_support::bundlePath("sample_modules")}, options);
    fs::current_path(previous);
    for (const mphost::ModuleReport& report : reports)
        EXPECT_TRUE(report.passed) << mphost::formatReports({report});
    EXPECT_TRUE(fs::is_empty(folder.path));  // savers given random names wrote elsewhere
}
