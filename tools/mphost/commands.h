// The subcommands of mphost. Each returns the process exit code: 0 success, 1 failure.
#pragma once

#include <filesystem>
#include <optional>
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

struct DescribeOptions {
    std::string bundle;  // a path, or a name looked up in the bundle folders
    std::string id;
    std::vector<std::filesystem::path> bundleFolders;
};
int runDescribe(const DescribeOptions& options);

struct RenderOptions {
    std::filesystem::path patch;   // empty: the embedded demo patch
    std::filesystem::path output;  // WAV; empty: <patch name>.wav when the patch has outputs
    std::filesystem::path png;     // the GUI panel at the end; empty: none (the demo: beside the WAV)
    std::optional<double> seconds;
    std::optional<float> sampleRate;
    std::optional<int> blockSize;
    std::vector<std::filesystem::path> bundleFolders;
    std::filesystem::path skin;    // skin folder instead of the patch's; empty: the patch's or the default skin
};
int runRender(const RenderOptions& options);

// Where bundles named without a path are looked for: `given`, then $MPHOST_BUNDLE_PATH
// (colon-separated), then the bundles folder of the build this program belongs to, then
// the current directory.
std::vector<std::filesystem::path> bundleFolders(const std::vector<std::filesystem::path>& given);

// The skin shipped with the project (skins/default of the source tree this program was
// built from, or beside its build); empty when neither exists.
std::filesystem::path defaultSkinFolder();

}  // namespace mphost::cli
