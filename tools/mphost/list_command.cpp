#include <iostream>

#include "commands.h"
#include "common/host_error.h"
#include "loader/bundle.h"
#include "loader/descriptions.h"
#include "unicode_conversion.h"

namespace mphost::cli {

namespace {

const char* subTypeName(int subType)
{
    switch (subType) {
    case 0: return "dsp";
    case 1: return "gui1";
    default: return "gui";
    }
}

// Prints one bundle; returns false when it could not be read at all.
void listBundle(const std::filesystem::path& path, const std::filesystem::path& descriptionsPath)
{
    const auto bundle = Bundle::load(path);
    const auto descriptions =
        BundleDescription::loadFile(descriptionsPath.empty() ? BundleDescription::pathBeside(path) : descriptionsPath);

    std::cout << bundle->name() << "  (" << path.string() << ")\n"
              << "  SDK " << bundle->sdkVersion() << ", " << WStringToUtf8(bundle->compilerInformation()) << "\n";
    int provided = 0, missing = 0;
    for (const ModuleDescription& module : descriptions.modules) {
        for (const auto* half : {&module.dsp, &module.gui}) {
            if (!*half)
                continue;
            ComPtr<gmpi::IMpUnknown> instance;
            const std::int32_t result = bundle->tryCreate((*half)->subType, module.wideId(), instance);
            const bool ok = result == gmpi::MP_OK && instance;
            (ok ? provided : missing)++;
            std::cout << "  " << subTypeName((*half)->subType) << "  " << (*half)->subType << "  " << module.id;
            if (!ok)
                std::cout << "  [not provided: " << describeResult(result) << "]";
            std::cout << "\n";
        }
    }
    std::cout << "  " << provided << " provided";
    if (missing)
        std::cout << ", " << missing << " declared but not provided";
    std::cout << "\n";
}

}  // namespace

int runList(const ListOptions& options)
{
    int exitCode = 0;
    for (const auto& bundle : options.bundles) {
        try {
            listBundle(findBundle(bundle, options.bundleFolders), options.descriptions);
        } catch (const HostError& error) {
            std::cerr << "mphost list: " << error.what() << "\n";
            exitCode = 1;
        }
    }
    return exitCode;
}

}  // namespace mphost::cli
