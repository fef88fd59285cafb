#include "test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <ostream>

namespace testing_support {

std::string bundlePath(const std::string& name)
{
    return std::string(MP_BUNDLE_DIR) + "/" + name + ".so";
}

std::string testBundlePath(const std::string& name)
{
    return std::string(MP_TEST_BUNDLE_DIR) + "/" + name + ".so";
}

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

TempFolder::TempFolder()
{
    static std::atomic<int> made{0};
    path = std::filesystem::temp_directory_path() /
           ("mp_test_" + std::to_string(getpid()) + "_" + std::to_string(made++));
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
}

TempFolder::~TempFolder()
{
    std::error_code error;
    std::filesystem::remove_all(path, error);
}

std::filesystem::path TempFolder::write(const std::string& name, const std::string& contents) const
{
    const std::filesystem::path file = path / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << contents;
    return file;
}

std::shared_ptr<mphost::Bundle> loadedBundle(const std::string& path)
{
    // Kept to the end of the program: bundles stay loaded while the other statics that
    // loading them made are destroyed.
    static std::mutex lock;
    static auto& bundles = *new std::map<std::string, std::shared_ptr<mphost::Bundle>>;
    const std::lock_guard guard(lock);
    auto& bundle = bundles[path];
    if (!bundle)
        bundle = mphost::Bundle::load(path);
    return bundle;
}

const mphost::BundleDescription& descriptionsBeside(const std::string& bundlePath)
{
    static std::mutex lock;
    static auto& descriptions = *new std::map<std::string, mphost::BundleDescription>;
    const std::lock_guard guard(lock);
    auto found = descriptions.find(bundlePath);
    if (found == descriptions.end())
        found = descriptions
                    .emplace(bundlePath, mphost::BundleDescription::loadFile(
                                             mphost::BundleDescription::pathBeside(bundlePath)))
                    .first;
    return found->second;
}

std::shared_ptr<mphost::Bundle> probeBundle()
{
    return loadedBundle(testBundlePath("probe_modules"));
}

const mphost::BundleDescription& probeDescriptions()
{
    return descriptionsBeside(testBundlePath("probe_modules"));
}

const mphost::ModuleDescription& probeModule(const std::string& id)
{
    const mphost::ModuleDescription* module = probeDescriptions().find(id);
    if (!module)
        throw std::runtime_error("no probe module " + id);
    return *module;
}

std::unique_ptr<mphost::DspModule> makeProbe(const std::string& id, mphost::DspModuleOptions options)
{
    return std::make_unique<mphost::DspModule>(probeBundle(), probeModule(id), std::move(options));
}

void PrintTo(const TraceEntry& entry, std::ostream* out)
{
    *out << "{" << entry.id << ", {";
    for (std::size_t i = 0; i < entry.words.size(); ++i)
        *out << (i ? ", " : "") << entry.words[i];
    *out << "}}";
}

std::vector<TraceEntry> traceOf(std::vector<mphost::GuiMessage> messages)
{
    std::vector<TraceEntry> trace;
    for (const auto& message : messages) {
        TraceEntry entry{message.id, std::vector<std::int32_t>(message.data.size() / 4)};
        if (!entry.words.empty())
            std::memcpy(entry.words.data(), message.data.data(), entry.words.size() * 4);
        trace.push_back(std::move(entry));
    }
    return trace;
}

std::vector<std::vector<std::int32_t>> entriesWithId(const std::vector<TraceEntry>& trace, int id)
{
    std::vector<std::vector<std::int32_t>> result;
    for (const auto& entry : trace)
        if (entry.id == id)
            result.push_back(entry.words);
    return result;
}

}  // namespace testing_support
