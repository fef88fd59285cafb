#include <algorithm>
#include <chrono>
#include <iostream>

#include "commands.h"
#include "common/host_error.h"
#include "docs/site.h"

namespace mphost::cli {

namespace {

// Every .so of the build's bundles folder (beside this program), in name order.
std::vector<std::filesystem::path> builtBundles()
{
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    std::vector<std::filesystem::path> bundles;
    if (error)
        return bundles;
    const auto folder = program.parent_path() / ".." / ".." / "bundles";
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.path().extension() == ".so")
            bundles.push_back(entry.path().lexically_normal());
    std::sort(bundles.begin(), bundles.end());
    return bundles;
}

}  // namespace

int runDocs(const DocsOptions& options)
{
    try {
        docs::SiteOptions site;
        for (const std::string& bundle : options.bundles)
            site.bundles.push_back(findBundle(bundle, options.bundleFolders));
        if (site.bundles.empty())
            site.bundles = builtBundles();
        if (site.bundles.empty())
            throw HostError("no bundles given and none built beside mphost; name bundle files or build them first");
        site.out = options.out.empty() ? std::filesystem::path("build/docs") : options.out;
        site.skinFolder = options.skin.empty() ? defaultSkinFolder() : options.skin;
        const auto start = std::chrono::steady_clock::now();
        const docs::SiteReport report = docs::writeSite(site);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        for (const std::string& problem : report.problems)
            std::cerr << "mphost docs: " << problem << "\n";
        std::cout << "mphost docs: " << report.modules << " modules of " << report.bundles << " bundles, "
                  << report.pictures << " pictures in " << seconds << " s: " << (site.out / "index.html").string()
                  << "\n";
        return report.problems.empty() ? 0 : 1;
    } catch (const HostError& error) {
        std::cerr << "mphost docs: " << error.what() << "\n";
        return 1;
    }
}

}  // namespace mphost::cli
