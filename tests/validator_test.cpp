// The validator finds what it promises to find, and passes sound modules.
#include <gtest/gtest.h>

#include "test_support.h"
#include "validate/validator.h"

using namespace testing_support;

namespace {

// The report of the given half of probe module `id` (the first declared half by default).
mphost::ModuleReport validateProbe(const std::string& id, double seconds = 0.2, int subType = -1)
{
    mphost::ValidationOptions options;
    options.only = id;
    options.secondsPerModule = seconds;
    options.hangSeconds = 3;
    const auto reports = mphost::validateBundles({testBundlePath("probe_modules")}, options);
    EXPECT_GE(reports.size(), 1u);
    for (const auto& report : reports)
        if (subType < 0 || report.subType == subType)
            return report;
    ADD_FAILURE() << id << " has no half of sub-type " << subType;
    return reports.front();
}

std::string failuresOf(const mphost::ModuleReport& report)
{
    std::string text;
    for (const auto& failure : report.failures)
        text += failure + "\n";
    return text;
}

}  // namespace

TEST(Validator, PassesSoundModulesAndIsReproducible)
{
    for (const char* id : {"Probe_Gain", "Probe_DynamicInputs", "Probe_HostServices", "Probe_Gen1"}) {
        const auto report = validateProbe(id);
        EXPECT_TRUE(report.passed) << id << ": " << failuresOf(report);
        EXPECT_GT(report.blocks, 10) << id;
    }
    mphost::ValidationOptions options;
    options.seed = 7;
    const auto first = mphost::validateDspHalf(testBundlePath("probe_modules"), probeModule("Probe"), options);
    const auto second = mphost::validateDspHalf(testBundlePath("probe_modules"), probeModule("Probe"), options);
    EXPECT_EQ(first.failures, second.failures);
    EXPECT_EQ(first.blocks, second.blocks);
}

TEST(Validator, ASeedDoesTheSameWorkEveryTimeAndTheBlockCountDecidesIt)
{
    // "Probe" breaks its static promise at a random block: the same one in every run.
    const auto first = validateProbe("Probe", 0.3);
    ASSERT_FALSE(first.passed);
    for (int run = 0; run < 3; ++run) {
        const auto again = validateProbe("Probe", 0.3);
        EXPECT_EQ(again.failures, first.failures);
        EXPECT_EQ(again.blocks, first.blocks);
    }
    EXPECT_EQ(first.blocksPerCheck, 300);
    mphost::ValidationOptions options;
    options.blocks = 17;
    options.check = "dsp.ordinary-events";
    const auto counted = mphost::validateDspHalf(testBundlePath("probe_modules"), probeModule("Probe_Gain"), options);
    ASSERT_EQ(counted.checks.size(), 1u);
    EXPECT_EQ(counted.checks[0].name, "dsp.ordinary-events");
    EXPECT_EQ(counted.blocks, 17);
}

TEST(Validator, ReportsCrashesHangsAllocationsAndNonFiniteOutput)
{
    const auto crash = validateProbe("Probe_Crashes");
    EXPECT_FALSE(crash.passed);
    EXPECT_FALSE(crash.failures.empty());  // a signal, or a sanitizer's exit without a report

    const auto hang = validateProbe("Probe_Hangs");
    EXPECT_FALSE(hang.passed);
    EXPECT_NE(failuresOf(hang).find("hang: no result within 3 s"), std::string::npos);

    const auto allocation = validateProbe("Probe_Allocates");
    EXPECT_FALSE(allocation.passed);
    EXPECT_NE(failuresOf(allocation).find("heap allocation(s) inside process()"), std::string::npos);

    // Allocation declared by design is a note, given once though every run allocates.
    const auto byDesign = validateProbe("Probe_AllocatesByDesign");
    EXPECT_TRUE(byDesign.passed) << failuresOf(byDesign);
    EXPECT_EQ(byDesign.notes, std::vector<std::string>{"allocates while processing (by design)"});

    const auto notFinite = validateProbe("Probe_NotFinite");
    EXPECT_FALSE(notFinite.passed);
    EXPECT_NE(failuresOf(notFinite).find("is not finite"), std::string::npos);
}

TEST(Validator, ReportsBrokenPromisesAndCreationFailures)
{
    // "Probe" can be told to declare its output static while it varies.
    const auto liar = validateProbe("Probe", 1.0);
    EXPECT_NE(failuresOf(liar).find("is declared static"), std::string::npos) << failuresOf(liar);

    EXPECT_EQ(failuresOf(validateProbe("Probe_Throws")), "dsp.creation: creation returned failure without an object\n");
    EXPECT_EQ(failuresOf(validateProbe("Probe_NotInBundle")),
              "dsp.creation: creation returned not supported without an object\n");

    const auto text = mphost::formatReports({validateProbe("Probe_Throws")});
    EXPECT_NE(text.find("FAIL  probe_modules  dsp  Probe_Throws"), std::string::npos);
    EXPECT_NE(text.find("reproduce: mphost validate " + testBundlePath("probe_modules") +
                        " --seed 1 --only \"Probe_Throws\" --check dsp.creation --blocks 200"),
              std::string::npos)
        << text;
}

TEST(Validator, DrivesGuiHalvesOfBothGenerations)
{
    for (const char* id : {"Probe_Gui", "Probe_GuiIndices", "Probe_GuiGen1", "Probe_Drawing"}) {
        const auto report = validateProbe(id);
        EXPECT_TRUE(report.passed) << id << ": " << failuresOf(report);
        EXPECT_FALSE(report.skipped) << id;
        EXPECT_GT(report.blocks, 20) << id;
    }
    EXPECT_EQ(validateProbe("Probe_GuiGen1").subType, 1);

    // A DSP half's GUI partner that is not a GUI module at all is reported, not skipped.
    const auto marker = validateProbe("Probe", 0.2, 2);
    EXPECT_FALSE(marker.passed);
    EXPECT_NE(failuresOf(marker).find("does not answer MP_IID_GUI_PLUGIN2B"), std::string::npos) << failuresOf(marker);

    const auto text = mphost::formatReports({validateProbe("Probe_Drawing")});
    EXPECT_NE(text.find("PASS  probe_modules  gui  Probe_Drawing  ("), std::string::npos) << text;
    EXPECT_NE(text.find(" operations)"), std::string::npos) << text;
    EXPECT_EQ(text.find("not validated yet"), std::string::npos) << text;
}

TEST(Validator, ReportsGuiCrashesAndNonFiniteDrawing)
{
    const auto crash = validateProbe("Probe_GuiCrashes");
    EXPECT_FALSE(crash.passed);
    EXPECT_FALSE(crash.failures.empty());

    const auto nan = validateProbe("Probe_GuiNaN");
    EXPECT_FALSE(nan.passed);
    EXPECT_NE(failuresOf(nan).find("render at"), std::string::npos) << failuresOf(nan);
    EXPECT_NE(failuresOf(nan).find("non-finite coordinate(s) handed to the drawing layer"), std::string::npos);
    EXPECT_NE(failuresOf(nan).find("pin values: Value = "), std::string::npos) << failuresOf(nan);
    const std::string json = mphost::reportsToJson({nan});
    EXPECT_NE(json.find("\"subType\": 2"), std::string::npos) << json;
    EXPECT_NE(json.find("\"passed\": false"), std::string::npos) << json;

    // The same seed finds the same fault in this process too.
    mphost::ValidationOptions options;
    options.seed = 11;
    options.secondsPerModule = 0.3;
    const auto first = mphost::validateGuiHalf(testBundlePath("probe_modules"), probeModule("Probe_GuiNaN"), options);
    EXPECT_FALSE(first.passed);
    EXPECT_EQ(first.subType, 2);
}

TEST(Validator, PassesOverSupportLibrariesBesideTheBundles)
{
    // A pattern over the bundle folder also names the shared support library.
    mphost::ValidationOptions options;
    options.only = "Probe_Gain";
    const auto reports = mphost::validateBundles({NOT_A_BUNDLE_PATH, testBundlePath("probe_modules")}, options);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_TRUE(reports[0].skipped);
    EXPECT_TRUE(reports[0].id.empty());
    EXPECT_TRUE(reports[1].passed);
    const std::string text = mphost::formatReports(reports);
    EXPECT_NE(text.find("SKIP  not_a_bundle.so  [not a plug-in bundle"), std::string::npos) << text;
    EXPECT_NE(text.find("validated 1 module halves: 1 pass, 0 fail, 1 skipped"), std::string::npos) << text;
}

TEST(Validator, FindsStateSharedBetweenInstancesSubnormalsAndGuiStateTouchedFromTheAudioThread)
{
    const auto leaks = validateProbe("Probe_LeaksState");
    EXPECT_FALSE(leaks.passed);
    EXPECT_NE(failuresOf(leaks).find("dsp.determinism: two instances interleaved block by block differ from one "
                                     "alone (state shared between instances?): output \"Out\" is "),
              std::string::npos)
        << failuresOf(leaks);

    const auto subnormals = validateProbe("Probe_Subnormals");
    EXPECT_FALSE(subnormals.passed);
    EXPECT_NE(failuresOf(subnormals).find("dsp.subnormals: output \"Out\" is subnormal"), std::string::npos)
        << failuresOf(subnormals);
    EXPECT_NE(failuresOf(subnormals).find("samples of silence following loud input"), std::string::npos);
    EXPECT_EQ(subnormals.failures.size(), 1u) << failuresOf(subnormals);  // the other checks run flushed

    const auto racy = validateProbe("Probe_RacyPair", 0.2, 0);
    EXPECT_FALSE(racy.passed);
    EXPECT_NE(failuresOf(racy).find("dsp.threads: GUI pin \"Shown\" transmitted from the audio thread"),
              std::string::npos)
        << failuresOf(racy);

    // Halves that talk only through messages pass, on two threads.
    mphost::ValidationOptions options;
    options.check = "dsp.threads";
    const auto pair = mphost::validateDspHalf(testBundlePath("probe_modules"), probeModule("Probe_Pair"), options);
    EXPECT_TRUE(pair.passed) << failuresOf(pair);
    EXPECT_GT(pair.blocks, 100);
}

TEST(Validator, RateChangesAndDeterminismPassSoundModules)
{
    mphost::ValidationOptions options;
    options.blocks = 60;
    for (const char* check : {"dsp.determinism", "dsp.rate-changes", "dsp.subnormals"}) {
        options.check = check;
        for (const char* id : {"Probe_Gain", "Probe_DynamicInputs", "Probe_SharedTable"}) {
            const auto report = mphost::validateDspHalf(testBundlePath("probe_modules"), probeModule(id), options);
            EXPECT_TRUE(report.passed) << id << " " << check << ": " << failuresOf(report);
            EXPECT_GT(report.blocks, 10) << id << " " << check;
        }
    }
}

TEST(Validator, ShippedDcBlockerDecaysWithoutSubnormalsOnAHostThatDoesNotFlush)
{
    const auto descriptions =
        mphost::BundleDescription::loadFile(mphost::BundleDescription::pathBeside(bundlePath("dsp_modules")));
    mphost::ValidationOptions options;
    options.check = "dsp.subnormals";
    const auto report = mphost::validateDspHalf(bundlePath("dsp_modules"), *descriptions.find("DC_Blocker"), options);
    EXPECT_TRUE(report.passed) << failuresOf(report);
}

TEST(Validator, GuiDeterminismPassesSoundGuiHalvesAndFindsStateSharedThroughGlobals)
{
    mphost::ValidationOptions options;
    options.blocks = 200;
    options.check = "gui.determinism";
    for (const char* id : {"Probe_Gui", "Probe_GuiGen1", "Probe_Drawing"}) {
        const auto report = mphost::validateGuiHalf(testBundlePath("probe_modules"), probeModule(id), options);
        EXPECT_TRUE(report.passed) << id << ": " << failuresOf(report);
        EXPECT_GT(report.blocks, 100) << id;
    }
    // Its transmissions and its picture both follow a count kept in a global.
    const auto leaks =
        mphost::validateGuiHalf(testBundlePath("probe_modules"), probeModule("Probe_GuiLeaksState"), options);
    EXPECT_FALSE(leaks.passed);
    const std::string failures = failuresOf(leaks);
    EXPECT_NE(failures.find("gui.determinism: two instances driven alike, operation by operation, differ from one "
                            "alone (state shared between instances?): start-up gave \"pin \"Count\" = "),
              std::string::npos)
        << failures;
    EXPECT_NE(failures.find("picture #"), std::string::npos) << failures;

    // A generator seeded from each instance by design is noted, not failed.
    const auto descriptions =
        mphost::BundleDescription::loadFile(mphost::BundleDescription::pathBeside(bundlePath("ui_modules")));
    const auto random = mphost::validateGuiHalf(bundlePath("ui_modules"), *descriptions.find("KV_RndInt"), options);
    EXPECT_TRUE(random.passed) << failuresOf(random);
    ASSERT_EQ(random.notes.size(), 1u);
    EXPECT_NE(random.notes[0].find("differs by design"), std::string::npos) << random.notes[0];
}
