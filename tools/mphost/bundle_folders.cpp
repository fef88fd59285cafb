#include <cstdlib>
#include <sstream>

#include "commands.h"
#include "common/host_error.h"

namespace mphost::cli {

std::vector<std::filesystem::path> bundleFolders(const std::vector<std::filesystem::path>& given)
{
    std::vector<std::filesystem::path> folders = given;
    if (const char* variable = std::getenv("MPHOST_BUNDLE_PATH")) {
        std::stringstream list(variable);
        std::string folder;
        while (std::getline(list, folder, ':'))
            if (!folder.empty())
                folders.emplace_back(folder);
    }
    // Beside a built program: build/tools/mphost/mphost finds build/bundles.
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        folders.push_back(program.parent_path() / ".." / ".." / "bundles");
    folders.emplace_back(".");
    return folders;
}

std::filesystem::path findBundle(const std::string& bundle, const std::vector<std::filesystem::path>& given)
{
    if (bundle.find('/') != std::string::npos || bundle.ends_with(".so"))
        return bundle;
    std::error_code error;
    for (const auto& folder : bundleFolders(given))
        if (std::filesystem::is_regular_file(folder / (bundle + ".so"), error))
            return folder / (bundle + ".so");
    std::string searched;
    for (const auto& folder : bundleFolders(given))
        searched += (searched.empty() ? "" : ", ") + folder.string();
    throw HostError("no bundle \"" + bundle + "\" in the bundle folders (" + searched +
                    "); give its path, or add its folder with --bundles or MPHOST_BUNDLE_PATH");
}

std::filesystem::path defaultSkinFolder()
{
    std::error_code error;
    std::vector<std::filesystem::path> candidates;
    // build/tools/mphost/mphost beside the source tree holds skins/default.
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        candidates.push_back(program.parent_path() / ".." / ".." / ".." / "skins" / "default");
#ifdef MP_DEFAULT_SKIN_DIR
    candidates.emplace_back(MP_DEFAULT_SKIN_DIR);
#endif
    for (const auto& folder : candidates)
        if (std::filesystem::is_regular_file(folder / "global.txt", error))
            return folder.lexically_normal();
    return {};
}

}  // namespace mphost::cli
