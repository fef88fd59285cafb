// Running the checks of one module half, in this process or in a child process.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "validate/checks.h"

namespace mphost::validation {

// Told when each check starts and when it has finished (the child process reports
// through it, so that a crash or a hang is laid on the check that was running).
struct CheckListener {
    std::function<void(const std::string& name)> started;
    std::function<void(const CheckReport& report)> finished;
};

// The report of a half before any check ran.
ModuleReport emptyReport(const std::filesystem::path& bundlePath, const ModuleDescription& module,
                         const ValidationOptions& options, Half half);

// Runs the checks of `half` (only options.check when given) in this process.
ModuleReport runHalfChecks(const std::filesystem::path& bundlePath, const ModuleDescription& module,
                           const ValidationOptions& options, Half half, const CheckListener& listener);

// The same in a child process: a crash or a hang becomes a failure of the running check.
ModuleReport runHalfInChild(const std::filesystem::path& bundlePath, const ModuleDescription& module,
                            const ValidationOptions& options, Half half);

// Reports as JSON and back (the child's channel and the --json output).
nlohmann::json toJson(const CheckReport& report);
CheckReport checkFromJson(const nlohmann::json& json);
nlohmann::json toJson(const ModuleReport& report);

}  // namespace mphost::validation
