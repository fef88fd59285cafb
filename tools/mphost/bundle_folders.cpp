#include <cstdlib>
#include <sstream>

#include "commands.h"

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

}  // namespace mphost::cli
