#include "engine_test_support.h"

#include "common/host_error.h"

namespace engine_testing {

mphost::PatchEnvironment environment()
{
    mphost::PatchEnvironment result;
    result.bundleFolders = {MP_BUNDLE_DIR, MP_TEST_BUNDLE_DIR};
    return result;
}

mphost::Patch patch(const std::string& json)
{
    return mphost::parsePatch(json, "test.json", environment());
}

std::string patchError(const std::string& json)
{
    try {
        patch(json);
    } catch (const mphost::HostError& error) {
        return error.what();
    }
    return "";
}

}  // namespace engine_testing
