// The subcommands of mphost. Each returns the process exit code: 0 success, 1 failure.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace mphost::cli {

struct ListOptions {
    std::vector<std::filesystem::path> bundles;
    std::filesystem::path descriptions;  // empty: beside each bundle
};
int runList(const ListOptions& options);

}  // namespace mphost::cli
