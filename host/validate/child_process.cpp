// Each module half is validated in a child process of its own, so that a crash or a hang
// is a reported failure of the check that was running, not the end of the run. The child
// writes one line per event to a pipe: "start <check>" and the JSON of each finished check.
#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "validate/half_runner.h"

namespace mphost::validation {

namespace {

using Clock = std::chrono::steady_clock;

std::string signalName(int signal)
{
    const char* name = strsignal(signal);
    return std::to_string(signal) + (name ? std::string(" (") + name + ")" : "");
}

void writeAll(int fd, const std::string& text)
{
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = write(fd, text.data() + written, text.size() - written);
        if (n <= 0)
            return;
        written += static_cast<std::size_t>(n);
    }
}

[[noreturn]] void childMain(int fd, const std::filesystem::path& scratch, const std::filesystem::path& bundle,
                            const ModuleDescription& module, const ValidationOptions& options, Half half)
{
    if (chdir(scratch.c_str()) != 0)
        _exit(1);  // no report: the parent records the failure
    // What modules print (the codec's diagnostics for random file names) is not part of
    // the report.
    if (!std::getenv("MPHOST_VALIDATE_TRACE"))
        (void)std::freopen("/dev/null", "w", stdout);
    CheckListener listener;
    listener.started = [fd](const std::string& name) { writeAll(fd, "start " + name + "\n"); };
    listener.finished = [fd](const CheckReport& report) {
        writeAll(fd, toJson(report).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
    };
    const ModuleReport report = runHalfChecks(bundle, module, options, half, listener);
    if (report.checks.empty() && !report.failures.empty())  // the bundle did not load
        writeAll(fd, "error " + report.failures.front() + "\n");
    close(fd);
    _exit(0);
}

// Reads the child's lines until it closes the pipe; false on a hang, when the child stays
// silent for `allowed` seconds (each check reports its start and its end).
bool readChild(int fd, double allowed, std::string& text)
{
    const auto silence = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(allowed));
    auto deadline = Clock::now() + silence;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd descriptor{fd, POLLIN, 0};
        if (poll(&descriptor, 1, static_cast<int>(left)) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return true;
        text.append(buffer, static_cast<std::size_t>(n));
        deadline = Clock::now() + silence;
    }
}

// The child's lines into `report`; the check that started without finishing gets `ending`.
void collect(const std::string& text, std::string ending, ModuleReport& report)
{
    std::istringstream lines(text);
    std::string line, running;
    while (std::getline(lines, line)) {
        if (line.rfind("start ", 0) == 0) {
            running = line.substr(6);
        } else if (line.rfind("error ", 0) == 0) {
            report.passed = false;
            report.failures.push_back(line.substr(6));
        } else {
            try {
                report.add(checkFromJson(nlohmann::json::parse(line)));
                running.clear();
            } catch (const std::exception&) {
            }
        }
    }
    if (ending.empty() && !running.empty())
        ending = "the child process ended during the check without its report";
    if (ending.empty())
        return;
    CheckReport broken;
    broken.name = running.empty() ? "child process" : running;
    broken.passed = false;
    broken.failures.push_back(ending);
    report.add(std::move(broken));
}

}  // namespace

ModuleReport runHalfInChild(const std::filesystem::path& bundlePath, const ModuleDescription& module,
                            const ValidationOptions& options, Half half)
{
    ModuleReport report = emptyReport(bundlePath, module, options, half);
    int channel[2];
    if (pipe(channel) != 0) {
        report.passed = false;
        report.failures.push_back("cannot create a pipe for the child process");
        return report;
    }
    // The child works in a fresh folder of its own, removed afterwards: modules that write
    // files (savers given random names) must not litter the caller's working folder.
    static int children = 0;
    std::error_code folderError;
    const std::filesystem::path bundle = std::filesystem::absolute(bundlePath, folderError);
    const std::filesystem::path scratch =
        std::filesystem::temp_directory_path(folderError) /
        ("mphost-validate-" + std::to_string(getpid()) + "-" + std::to_string(++children));
    std::filesystem::create_directories(scratch, folderError);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        childMain(channel[1], scratch, bundle, module, options, half);
    }
    close(channel[1]);
    if (child < 0) {
        close(channel[0]);
        std::filesystem::remove_all(scratch, folderError);
        report.passed = false;
        report.failures.push_back("cannot start a child process");
        return report;
    }
    const double allowed = options.hangSeconds > 0 ? options.hangSeconds : 20.0 + 10.0 * options.secondsPerModule;
    std::string text;
    const bool hung = !readChild(channel[0], allowed, text);
    close(channel[0]);
    if (hung)
        kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    std::filesystem::remove_all(scratch, folderError);

    std::string ending;
    if (hung)
        ending = "hang: no result within " + std::to_string(static_cast<int>(allowed)) + " s";
    else if (WIFSIGNALED(status))
        ending = "crashed with signal " + signalName(WTERMSIG(status));
#if defined(MP_TSAN)
    else if (WEXITSTATUS(status) == 66)
        ending = "ThreadSanitizer found a data race (its report, on standard error, names both threads' stacks)";
#endif
    else if (WEXITSTATUS(status) != 0)
        ending = "the child process ended without a report (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
    collect(text, ending, report);
    return report;
}

}  // namespace mphost::validation
