// Both shape bundles under the module validator: random and hostile events, streaming
// changes, sample rates and block sizes, with no allocation in numeric-only blocks and
// static outputs that really hold.
#include <gtest/gtest.h>

#include "test_support.h"
#include "validate/validator.h"

TEST(ShapeValidation, EveryModuleOfBothBundlesPasses)
{
    mphost::ValidationOptions options;
    options.secondsPerModule = 0.15;
    for (const char* name : {"shape_modules", "shape_modules_classic"}) {
        const std::string path = testing_support::bundlePath(name);
        const auto descriptions =
            mphost::BundleDescription::loadFile(mphost::BundleDescription::pathBeside(path));
        for (const mphost::ModuleDescription& module : descriptions.modules) {
            if (!module.dsp)
                continue;
            const mphost::ModuleReport report = mphost::validateDspHalf(path, module, options);
            std::string failures;
            for (const std::string& failure : report.failures)
                failures += failure + "\n";
            EXPECT_TRUE(report.passed) << name << " " << module.id << ":\n" << failures;
        }
    }
}
