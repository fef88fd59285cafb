// The time `mphost docs` takes to write the whole module reference (every built bundle:
// pages, GUI pictures, measured charts) into a temporary folder. Prints
// "ratio docs_generation_seconds <s>" and "ratio docs_generation_over_budget <s / 30 s>".
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

#include "common/host_error.h"
#include "docs/site.h"

int main()
{
    namespace fs = std::filesystem;
    mphost::docs::SiteOptions options;
    for (const auto& entry : fs::directory_iterator(MP_BUNDLE_DIR))
        if (entry.path().extension() == ".so")
            options.bundles.push_back(entry.path());
    options.skinFolder = MP_DEFAULT_SKIN_DIR;
    options.out = fs::temp_directory_path() / ("mp_docs_bench." + std::to_string(::getpid()));
    try {
        const auto start = std::chrono::steady_clock::now();
        const auto report = mphost::docs::writeSite(options);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%d modules, %d pictures\n", report.modules, report.pictures);
        std::printf("ratio docs_generation_seconds %.3f\n", seconds);
        std::printf("ratio docs_generation_over_budget %.3f\n", seconds / 30.0);
    } catch (const mphost::HostError& error) {
        std::fprintf(stderr, "docs_bench: %s\n", error.what());
        fs::remove_all(options.out);
        return 1;
    }
    fs::remove_all(options.out);
    return 0;
}
