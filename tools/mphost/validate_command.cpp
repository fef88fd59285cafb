#include <iostream>

#include "commands.h"
#include "common/host_error.h"
#include "validate/validator.h"

namespace mphost::cli {

int runValidate(const ValidateOptions& options)
{
    try {
        const auto reports = validateBundles(options.bundles, options.validation);
        if (options.json)
            std::cout << reportsToJson(reports) << "\n";
        else
            std::cout << formatReports(reports);
        for (const auto& report : reports)
            if (!report.passed)
                return 1;
        return 0;
    } catch (const HostError& error) {
        std::cerr << "mphost validate: " << error.what() << "\n";
        return 1;
    }
}

}  // namespace mphost::cli
