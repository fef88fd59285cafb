// The subcommands of mphost. Each returns the process exit code: 0 success, 1 failure.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "validator.h"

namespace mphost::cli {

struct ListOptions {
    std::vector<std::filesystem::path> bundles;
    std::filesystem::path descriptions;  // empty: beside each bundle
};
int runList(const ListOptions& options);

struct ValidateOptions {
    std::vector<std::filesystem::path> bundles;
    ValidationOptions validation;
    bool json = false;
};
int runValidate(const ValidateOptions& options);

}  // namespace mphost::cli
