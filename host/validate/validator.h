// The module validator: runs named checks (`listChecks`, files *_checks.cpp, listed in
// registry.cpp) on every module half a bundle's descriptions declare, each half in a child
// process so that a crash or a hang is a reported failure of the running check, not the
// end of the run. Each check draws from its own generator seeded by the run's seed, the
// module and the check, and performs a fixed count of blocks: a run with a given seed does
// the same work every time, and one check run alone (--check) repeats what it did.
//
// DSP halves run at several sample rates and varying block sizes (1 to 4096) with
// timestamped events of every pin type, with ordinary values and with hostile ones (zero,
// extremes, NaN, infinities, denormals, huge integers, empty and 100000-character texts,
// malformed curves, blobs of odd, zero and very large size), streaming switched on and
// off. Checks: no crash, no hang, no exception out of the module, no allocation inside
// process() for blocks of numeric events (unless the module's descriptions say it
// allocates by design), finite outputs for finite ordinary inputs, and audio outputs
// declared static really staying constant.
//
// GUI halves (both generations) get values on every pin before and after initialize(),
// ordinary then hostile, payloads of the wrong size, and for drawing modules measure and
// arrange at sizes from 0 x 0 to 4000 x 4000, renders, pointer sequences with and
// without the primary button and the fine-adjust flag, hit tests, context menus and
// tooltips. Checks: no crash, no hang, no exception out of the module, no non-finite
// coordinate handed to the drawing layer and no non-finite size asked for in measure.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "loader/descriptions.h"

namespace mphost {

struct ValidationOptions {
    std::uint64_t seed = 1;
    // Work of each check, in seconds of a typical module: sets the block count when
    // `blocks` is 0 (blocksPerCheck). The count, not the clock, decides what runs, so a
    // run with a given seed does the same work every time.
    double secondsPerModule = 1.0;
    std::int64_t blocks = 0;        // blocks (DSP) or operations (GUI) per check; 0: from the seconds
    std::string only;               // validate only this identifier (empty: all)
    std::string check;              // run only this check (empty: all)
    double hangSeconds = 0;         // a child silent this long has hung; 0: 20 s + 10 x the budget
};

// Blocks (or operations) each check performs under `options`.
std::int64_t blocksPerCheck(const ValidationOptions& options);

// The outcome of one named check on one module half.
struct CheckReport {
    std::string name;
    bool passed = true;
    std::vector<std::string> failures;
    std::vector<std::string> notes;
    std::int64_t blocks = 0;  // blocks processed (DSP) or operations performed (GUI)
    double seconds = 0;
};

struct ModuleReport {
    std::string bundle;
    std::string bundlePath;
    std::string id;
    int subType = 0;
    bool passed = true;
    bool skipped = false;          // nothing to validate for this kind of half
    std::vector<std::string> failures;  // every check's, each led by the check's name
    std::vector<std::string> notes;     // reported, not failed (allocation by design, ...)
    std::uint64_t seed = 0;
    std::int64_t blocks = 0;       // over all checks
    std::int64_t blocksPerCheck = 0;
    std::vector<CheckReport> checks;
    // Adds a check's outcome to the totals.
    void add(CheckReport check);
    // The command that repeats the first failed check exactly (empty when all passed).
    std::string reproduceCommand() const;
};

// The named checks, in the order they run: name, half ("dsp" or "gui") and what it does.
struct CheckInfo {
    std::string name;
    std::string half;
    std::string summary;
};
std::vector<CheckInfo> listChecks();
bool isCheckName(const std::string& name);

// Validates one DSP half in this process. Never throws; faults land in the report.
ModuleReport validateDspHalf(const std::filesystem::path& bundlePath, const ModuleDescription& module,
                             const ValidationOptions& options);

// Validates one GUI half (sub-type 2, or 1 for the first generation) in this process.
// Never throws; faults land in the report.
ModuleReport validateGuiHalf(const std::filesystem::path& bundlePath, const ModuleDescription& module,
                             const ValidationOptions& options);

// Validates every declared half of every bundle, each in a child process. `progress`,
// when given, is called after each half with the halves done and the total.
using ValidationProgress = void (*)(std::size_t done, std::size_t total, const std::string& what);
std::vector<ModuleReport> validateBundles(const std::vector<std::filesystem::path>& bundles,
                                          const ValidationOptions& options, ValidationProgress progress = nullptr);

// One line per half, with details under failures and the command that reproduces them,
// then the totals of every half. With `failuresOnly`, only the failing halves get lines;
// the totals still count them all.
std::string formatReports(const std::vector<ModuleReport>& reports, bool failuresOnly = false);
std::string summaryTable(const std::vector<ModuleReport>& reports);
std::string reportsToJson(const std::vector<ModuleReport>& reports);

}  // namespace mphost
