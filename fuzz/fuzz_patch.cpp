// Whole patch files read against the descriptions of the built bundles: any bytes give a
// patch or a HostError, nothing else (no crash, no stack exhaustion, no unbounded memory).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/host_error.h"
#include "engine/patch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    mphost::PatchEnvironment environment;
    environment.bundleFolders = {FUZZ_BUNDLE_DIR};
    environment.patchFolder = FUZZ_BUNDLE_DIR;
    try {
        const mphost::Patch patch =
            mphost::parsePatch(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz", environment);
        (void)patch.lengthInSamples();
        for (const auto& connection : patch.connections)
            (void)(patch.describe(connection.from) + patch.describe(connection.to));
        for (const auto& output : patch.outputs)
            (void)patch.describe(output);
    } catch (const mphost::HostError&) {
    }
    return 0;
}
