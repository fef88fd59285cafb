// The mphost program as a user meets it: output, messages and exit codes.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "test_support.h"

namespace {

struct CommandResult {
    int exitCode;
    std::string output;  // stdout and stderr together
};

CommandResult runMphost(const std::string& arguments)
{
    const std::string command = std::string(MPHOST_PATH) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    CommandResult result{-1, ""};
    if (!pipe)
        return result;
    char buffer[4096];
    while (const std::size_t count = fread(buffer, 1, sizeof buffer, pipe))
        result.output.append(buffer, count);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace

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
    EXPECT_NE(missing.output.find("mphost list: bundle '/nonexistent/bundle.so' does not exist"), std::string::npos);

    const auto notLibrary = runMphost(std::string("list ") + MP_SOURCE_DIR + "/CMakeLists.txt");
    EXPECT_EQ(notLibrary.exitCode, 1);
    EXPECT_NE(notLibrary.output.find("is not a loadable bundle"), std::string::npos);

    const auto noEntry = runMphost(std::string("list ") + NOT_A_BUNDLE_PATH);
    EXPECT_EQ(noEntry.exitCode, 1);
    EXPECT_NE(noEntry.output.find("does not export MP_GetFactory"), std::string::npos);

    // One bad bundle does not stop the others from being listed.
    const auto mixed =
        runMphost("list /nonexistent/bundle.so " + testing_support::testBundlePath("probe_modules"));
    EXPECT_EQ(mixed.exitCode, 1);
    EXPECT_NE(mixed.output.find("Probe_Gen1"), std::string::npos);
}
