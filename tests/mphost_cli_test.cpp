// The mphost program as a user meets it: output, messages and exit codes.
#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

using testing_support::runMphost;

TEST(MphostCli, HelpAndMisuse)
{
    const auto help = runMphost("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("list"), std::string::npos);
    EXPECT_EQ(runMphost("list --help").exitCode, 0);
    EXPECT_EQ(runMphost("").exitCode, 2);
    EXPECT_EQ(runMphost("frobnicate").exitCode, 2);
    EXPECT_EQ(runMphost("list").exitCode, 2);
}

TEST(MphostCli, ListShowsDeclaredModulesAndMarksTheMissingOnes)
{
    const auto result = runMphost("list " + testing_support::testBundlePath("probe_modules"));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("SDK 30800, GCC Compiler V1002 (Release)"), std::string::npos);
    EXPECT_NE(result.output.find("dsp  0  Probe_Gen1\n"), std::string::npos);
    EXPECT_NE(result.output.find("gui  2  Probe\n"), std::string::npos);
    EXPECT_NE(result.output.find("Probe_NotInBundle  [not provided: not supported]"), std::string::npos);
    EXPECT_NE(result.output.find("Probe_Throws  [not provided: failure]"), std::string::npos);
}

TEST(MphostCli, UnreadableBundlesFailWithTheirReason)
{
    const auto missing = runMphost("list /nonexistent/bundle.so");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.output.find("mphost list: bundle '/nonexistent/bundle.so' does not exist; give the path of a "
                                  "built bundle (build/bundles/<name>.so)"),
              std::string::npos)
        << missing.output;
    const auto unknownName = runMphost("describe no_such_bundle X");
    EXPECT_EQ(unknownName.exitCode, 1);
    EXPECT_NE(unknownName.output.find("no bundle \"no_such_bundle\" in the bundle folders ("), std::string::npos);
    EXPECT_NE(unknownName.output.find("); give its path, or add its folder with --bundles or MPHOST_BUNDLE_PATH"),
              std::string::npos)
        << unknownName.output;

    const auto notLibrary = runMphost(std::string("list ") + MP_SOURCE_DIR + "/CMakeLists.txt");
    EXPECT_EQ(notLibrary.exitCode, 1);
    EXPECT_NE(notLibrary.output.find("is not a loadable bundle"), std::string::npos);

    const auto noEntry = runMphost(std::string("list ") + NOT_A_BUNDLE_PATH);
    EXPECT_EQ(noEntry.exitCode, 1);
    EXPECT_NE(noEntry.output.find("does not export MP_GetFactory; name a module bundle"), std::string::npos);

    // One bad bundle does not stop the others from being listed.
    const auto mixed =
        runMphost("list /nonexistent/bundle.so " + testing_support::testBundlePath("probe_modules"));
    EXPECT_EQ(mixed.exitCode, 1);
    EXPECT_NE(mixed.output.find("Probe_Gen1"), std::string::npos);
}

TEST(MphostCli, ValidateRefusesToTestNothingAndBadNumbers)
{
    const std::string probe = testing_support::testBundlePath("probe_modules");
    for (const char* options : {"--seconds-per-module 0", "--seconds-per-module nan", "--seconds-per-module -1",
                                "--seconds-per-module 1e9", "--seed -1",
                                "--seed 18446744073709551616", "--seed 1x", "--blocks 0", "--check NoSuch"}) {
        const auto result = runMphost("validate " + probe + " --only Probe_Gain " + options);
        EXPECT_EQ(result.exitCode, 2) << options << "\n" << result.output;
        EXPECT_NE(result.output.find("mphost validate: "), std::string::npos) << options;
    }
    EXPECT_EQ(runMphost("validate").exitCode, 2);
    const auto nothing = runMphost("validate " + probe + " --only NoSuch");
    EXPECT_EQ(nothing.exitCode, 2);
    EXPECT_NE(nothing.output.find("--only NoSuch: no bundle given declares this module"), std::string::npos);
    const auto largest = runMphost("validate " + probe + " --only Probe_Gain --blocks 3 --seed 18446744073709551615");
    EXPECT_EQ(largest.exitCode, 0) << largest.output;
}

TEST(MphostCli, ValidateListsItsChecksAndRunsOneByName)
{
    const auto list = runMphost("validate --list");
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_NE(list.output.find("dsp.creation  (dsp)"), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("gui.extreme-sizes  (gui)"), std::string::npos) << list.output;

    const std::string probe = testing_support::testBundlePath("probe_modules");
    const auto one = runMphost("validate " + probe + " --only Probe_Gain --check dsp.ordinary-events --blocks 30");
    EXPECT_EQ(one.exitCode, 0) << one.output;
    EXPECT_NE(one.output.find("PASS  probe_modules  dsp  Probe_Gain  (30 blocks)"), std::string::npos) << one.output;
    EXPECT_EQ(one.output.find("dsp.creation"), std::string::npos) << one.output;

    // Quiet: no line for a passing half, but the totals count it.
    const auto quiet = runMphost("validate " + probe + " --only Probe_Gain --check dsp.ordinary-events --blocks 30 --quiet");
    EXPECT_EQ(quiet.exitCode, 0) << quiet.output;
    EXPECT_EQ(quiet.output.find("PASS"), std::string::npos) << quiet.output;
    EXPECT_NE(quiet.output.find("validated 1 module halves: 1 pass, 0 fail"), std::string::npos) << quiet.output;

    // A failure prints the command that repeats it; that command finds it again, exactly.
    const auto failed = runMphost("validate " + probe + " --only Probe_Throws");
    EXPECT_EQ(failed.exitCode, 1);
    const auto at = failed.output.find("reproduce: ");
    ASSERT_NE(at, std::string::npos) << failed.output;
    const std::string command = failed.output.substr(at + 11, failed.output.find('\n', at) - at - 11);
    EXPECT_EQ(command, "mphost validate " + probe + " --seed 1 --only \"Probe_Throws\" --check dsp.creation --blocks 1000");
    const auto again = runMphost(command.substr(7));
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.output.find("dsp.creation: creation returned failure"), std::string::npos) << again.output;
}

TEST(MphostCli, TooltipsPrintsEachPanelModulesTooltipAtItsCentre)
{
    const testing_support::TempFolder folder;
    const auto write = [&](const std::string& name, const std::string& text) { return folder.write(name, text).string(); };
    const std::string bundles = std::string(" --bundles ") + MP_TEST_BUNDLE_DIR;
    const auto panel = write("panel.json", R"({"modules": [
        {"name": "pad", "bundle": "probe_modules", "id": "Probe_Drawing", "rect": [0, 0, 40, 20]},
        {"name": "bar", "bundle": "probe_modules", "id": "Probe_GuiNaN", "rect": [0, 30, 40, 20]},
        {"name": "gain", "bundle": "probe_modules", "id": "Probe_Gain"}]})");
    const auto result = runMphost("tooltips " + panel + bundles);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output, "pad: probe tip\nbar: (no tooltip)\n");

    const auto noPanel = runMphost(
        "tooltips " + write("none.json", R"({"modules": [{"name": "gain", "bundle": "probe_modules", "id": "Probe_Gain"}]})") +
        bundles);
    EXPECT_EQ(noPanel.exitCode, 1);
    EXPECT_NE(noPanel.output.find("no GUI module with a \"rect\""), std::string::npos) << noPanel.output;
    EXPECT_EQ(runMphost("tooltips").exitCode, 2);
    EXPECT_EQ(runMphost("tooltips /nonexistent/patch.json").exitCode, 2);
}

TEST(MphostCli, QuietRenderPrintsNothingAndValidateDrawsNoBarOffTheTerminal)
{
    const std::string folder = ::testing::TempDir() + "mphost_quiet_render";
    std::filesystem::create_directories(folder);
    const auto quiet = runMphost("render --quiet -o " + folder + "/demo.wav --png " + folder + "/demo.png");
    EXPECT_EQ(quiet.exitCode, 0) << quiet.output;
    EXPECT_EQ(quiet.output, "");
    EXPECT_TRUE(std::filesystem::file_size(folder + "/demo.wav") > 44);
    const auto loud = runMphost("render -o " + folder + "/demo.wav --png " + folder + "/demo.png");
    EXPECT_NE(loud.output.find("wrote " + folder + "/demo.wav"), std::string::npos) << loud.output;
    std::filesystem::remove_all(folder);

    // Standard error is a pipe here: no bar, no carriage returns.
    const auto validate = runMphost("validate " + testing_support::testBundlePath("probe_modules") +
                                    " --only Probe_Gain --blocks 20");
    EXPECT_EQ(validate.exitCode, 0) << validate.output;
    EXPECT_EQ(validate.output.find('\r'), std::string::npos);
}

TEST(MphostCli, EveryErrorNamesWhatIsWrongAndTheStatusTellsInputFromUsage)
{
    const testing_support::TempFolder folder;
    const auto write = [&](const std::string& name, const std::string& text) { return folder.write(name, text).string(); };
    const std::string probe = testing_support::testBundlePath("probe_modules");
    const std::string bundles = std::string(" --bundles ") + MP_TEST_BUNDLE_DIR;
    const std::string broken = write("broken.json", "{ \"modules\": [ ");
    const std::string unknownId =
        write("unknown_id.json", R"({"modules": [{"name": "a", "bundle": "probe_modules", "id": "Nope"}]})");
    const std::string unknownPin = write(
        "unknown_pin.json", R"({"modules": [{"name": "a", "bundle": "probe_modules", "id": "Probe_Gain", "values": {"Loud": 1}}], "outputs": ["a.Out"]})");
    const std::string noBundle =
        write("no_bundle.json", R"({"modules": [{"name": "a", "bundle": "no_such_bundle", "id": "X"}]})");
    const std::string good = write(
        "good.json", R"({"seconds": 0.01, "modules": [{"name": "a", "bundle": "probe_modules", "id": "Probe_Gain"}], "outputs": ["a.Out"]})");

    struct Case {
        std::string arguments;
        int status;
        std::vector<std::string> fragments;  // each must appear in the output
    };
    const std::vector<Case> cases{
        // Usage errors: the command line itself is wrong.
        {"", 2, {"mphost: A subcommand is required (mphost --help)"}},
        {"frobnicate", 2, {"unknown command 'frobnicate'", "mphost --help"}},
        {"list", 2, {"mphost list: bundles is required (mphost list --help)"}},
        {"describe " + probe, 2, {"mphost describe: identifier is required"}},
        {"render --frobnicate", 2, {"mphost render: ", "--frobnicate", "(mphost render --help)"}},
        {"render " + good + " --rate 500", 2, {"mphost render: --rate: '500' is not a whole number from 1000 to 768000"}},
        {"render " + good + " --seconds nan", 2, {"--seconds", "'nan' is not a finite number"}},
        {"render " + good + bundles + " --seconds 0.00001 --rate 1000", 2, {"at least one sample", "check --seconds"}},
        {"render /nonexistent/patch.json", 2, {"mphost render: ", "/nonexistent/patch.json"}},
        {"validate " + probe + " --seed x", 2, {"mphost validate: --seed x: give a whole number", "--help"}},
        {"validate " + probe + " --check nope", 2, {"--check nope: no such check", "mphost validate --list"}},
        {"validate /nonexistent/bundle.so", 2, {"mphost validate: ", "'/nonexistent/bundle.so' does not exist"}},
        // Problems in the input: a file, a bundle, a module or a pin named, and what to do.
        {"list /nonexistent/bundle.so", 1, {"bundle '/nonexistent/bundle.so' does not exist", "give the path"}},
        {"describe " + probe + " Nope", 1, {"has no module \"Nope\"", "(modules: "}},
        {"validate " + std::string(MP_SOURCE_DIR) + "/CMakeLists.txt", 1,
         {"nothing to validate: CMakeLists.txt is not a plug-in bundle", "name built bundles"}},
        {"describe no_such_bundle X", 1, {"no bundle \"no_such_bundle\"", "add its folder with --bundles"}},
        {"render " + broken + bundles, 1, {broken + ": "}},
        {"render " + unknownId + bundles, 1, {unknownId + ": $.modules[0].id: expected a module identifier of bundle"}},
        {"render " + unknownPin + bundles, 1, {unknownPin + ": $.modules[0].values.Loud", "\"Loud\""}},
        {"render " + noBundle + bundles, 1, {noBundle + ": $.modules[0].bundle", "no_such_bundle"}},
        {"render " + good + bundles + " -o /nonexistent/folder/out.wav", 1, {"'/nonexistent/folder/out.wav'"}},
        {"tooltips " + good + bundles, 1, {good + ": the patch has no GUI module with a \"rect\""}},
    };
    for (const Case& test : cases) {
        const auto result = runMphost(test.arguments);
        EXPECT_EQ(result.exitCode, test.status) << test.arguments << "\n" << result.output;
        for (const std::string& fragment : test.fragments)
            EXPECT_NE(result.output.find(fragment), std::string::npos)
                << test.arguments << ": no \"" << fragment << "\" in\n" << result.output;
    }
}
