// The subcommands of mphost. Each returns the process exit code: 0 success, 1 failure.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "validate/validator.h"

namespace mphost::cli {

struct ListOptions {
    std::vector<std::string> bundles;    // paths, or names looked up in the bundle folders
    std::filesystem::path descriptions;  // empty: beside each bundle
    std::vector<std::filesystem::path> bundleFolders;
};
int runList(const ListOptions& options);

struct ValidateOptions {
    std::vector<std::filesystem::path> bundles;
    ValidationOptions validation;
    // As typed, checked by runValidate (a usage error, exit 2, when out of range).
    std::string seedText;
    std::string secondsText;
    std::string blocksText;
    bool list = false;
    bool json = false;
    bool quiet = false;
};
// Exit 0 when every check passed, 1 when one failed or a bundle could not be read, 2 on
// misuse (bad option values, nothing to validate).
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
    bool quiet = false;            // no progress bar and no report of the files written; errors still
};
int runRender(const RenderOptions& options);

struct PlayOptions {
    std::filesystem::path patch;
    std::string device;  // SDL audio output name; empty: the system's default
    std::optional<float> sampleRate;
    std::optional<int> blockSize;
    std::vector<std::filesystem::path> bundleFolders;
    std::filesystem::path skin;    // instead of the patch's; empty: the patch's or the default skin
    std::filesystem::path record;  // WAV of what was heard; empty: none
    bool stats = false;            // the status line on standard output once a second
    bool headless = false;         // no window; a null audio device on the wall clock
    // For tests and soak runs (hidden options): the patch's script played as live input,
    // stop once this much audio has played, a picture of the window when stopping.
    bool runScript = false;
    std::optional<double> quitAfter;
    std::filesystem::path screenshot;
};
// Plays until Q, the window's close button or a signal (SIGINT, SIGTERM, SIGHUP), then
// completes the recording. Exit 0, 1 when the patch, the display, the audio device or a
// file fails, 2 on misuse, 128 + the signal's number when a signal stopped it.
int runPlay(const PlayOptions& options);

struct DocsOptions {
    std::vector<std::string> bundles;  // paths or names; empty: every bundle built beside mphost
    std::filesystem::path out;         // empty: build/docs
    std::filesystem::path skin;        // skin of the GUI pictures; empty: the shipped skin
    std::vector<std::filesystem::path> bundleFolders;
};
// Exit 0 when every page and picture was made, 1 when something is missing (each problem
// printed) or nothing could be written.
int runDocs(const DocsOptions& options);

struct TooltipsOptions {
    std::filesystem::path patch;
    std::vector<std::filesystem::path> bundleFolders;
    std::filesystem::path skin;  // instead of the patch's; empty: the patch's or the default skin
};
// Prints "name: tooltip" for every drawing module on the patch's panel, asked at the
// centre of its rectangle once the patch's initial values are in place ("(no tooltip)"
// when it has none). Exit 0, or 1 when the patch cannot be loaded or has no panel.
int runTooltips(const TooltipsOptions& options);

// Where bundles named without a path are looked for: `given`, then $MPHOST_BUNDLE_PATH
// (colon-separated), then the bundles folder of the build this program belongs to, then
// the current directory.
std::vector<std::filesystem::path> bundleFolders(const std::vector<std::filesystem::path>& given);

// A bundle given on the command line: a path (it holds a '/' or ends in ".so"), used as
// it is, or a name ("shape_modules") looked up in the bundle folders. Throws HostError
// when a name is found in no folder.
std::filesystem::path findBundle(const std::string& bundle, const std::vector<std::filesystem::path>& given);
// The skin shipped with the project (skins/default of the source tree this program was
// built from, or beside its build); empty when neither exists.
std::filesystem::path defaultSkinFolder();

}  // namespace mphost::cli
