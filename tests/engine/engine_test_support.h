// Patches for the engine tests, written inline with bundle folders of this build.
#pragma once

#include <string>

#include "engine/engine.h"
#include "engine/patch.h"

namespace engine_testing {

// The build's bundle folders (shipped bundles and the test bundles).
mphost::PatchEnvironment environment();
// Parses `json` as the patch "test.json"; throws HostError like a patch file would.
mphost::Patch patch(const std::string& json);
// The HostError message parsing `json` gives, or "" when it parses.
std::string patchError(const std::string& json);

}  // namespace engine_testing
