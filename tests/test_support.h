// Shared helpers of the tests: bundle locations, the probe bundle, trace decoding.
#pragma once

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/host_error.h"
#include "harness/dsp_module.h"
#include "loader/bundle.h"
#include "loader/descriptions.h"

namespace testing_support {

std::string bundlePath(const std::string& name);      // build/bundles/<name>.so
std::string testBundlePath(const std::string& name);  // build/tests/bundles/<name>.so

// The bundle at `path` and the descriptions beside it, each loaded once per test program.
std::shared_ptr<mphost::Bundle> loadedBundle(const std::string& path);
const mphost::BundleDescription& descriptionsBeside(const std::string& bundlePath);

// The probe bundle and its descriptions, loaded once per test program.
std::shared_ptr<mphost::Bundle> probeBundle();
const mphost::BundleDescription& probeDescriptions();
const mphost::ModuleDescription& probeModule(const std::string& id);

// The mphost program run with `arguments` (shell words), stdout and stderr together.
struct CommandResult {
    int exitCode;  // -1 when it did not exit normally
    std::string output;
};
CommandResult runMphost(const std::string& arguments);

// A fresh folder under the system's temporary folder, removed with everything in it when
// the object goes.
struct TempFolder {
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // Writes `contents` to `name` (a path inside the folder; its folders are made) and
    // returns the file's path.
    std::filesystem::path write(const std::string& name, const std::string& contents) const;

    std::filesystem::path path;
};

// A probe module instance with the given options.
std::unique_ptr<mphost::DspModule> makeProbe(const std::string& id, mphost::DspModuleOptions options = {});

// `object`'s interface `iid`, or null.
template <class Interface>
mphost::ComPtr<Interface> queryInterface(gmpi::IMpUnknown* object, const gmpi::MpGuid& iid)
{
    mphost::ComPtr<Interface> result;
    object->queryInterface(iid, result.receive());
    return result;
}

// One traced call: the message id and its int32 words.
struct TraceEntry {
    int id;
    std::vector<std::int32_t> words;
    bool operator==(const TraceEntry&) const = default;
};
void PrintTo(const TraceEntry& entry, std::ostream* out);
std::vector<TraceEntry> traceOf(std::vector<mphost::GuiMessage> messages);
// Only the entries with message id `id`.
std::vector<std::vector<std::int32_t>> entriesWithId(const std::vector<TraceEntry>& trace, int id);

}  // namespace testing_support
