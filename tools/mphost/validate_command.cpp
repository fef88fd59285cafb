#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <limits>

#include "commands.h"
#include "progress_bar.h"
#include "common/host_error.h"
#include "loader/descriptions.h"
#include "validate/validator.h"

namespace mphost::cli {

namespace {

// A misuse of the command: reported with what to do, exit status 2.
struct UsageError {
    std::string what;
};

std::uint64_t parseSeed(const std::string& text)
{
    const bool digits = !text.empty() && text.size() <= 20 && text.find_first_not_of("0123456789") == std::string::npos;
    errno = 0;
    const unsigned long long value = digits ? std::strtoull(text.c_str(), nullptr, 10) : 0;
    if (!digits || errno == ERANGE)
        throw UsageError{"--seed " + text + ": give a whole number from 0 to 18446744073709551615"};
    return value;
}

double parseSeconds(const std::string& text)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value <= 0 || value > 3600)
        throw UsageError{"--seconds-per-module " + text + ": give a time above 0 and at most 3600 seconds"};
    return value;
}

std::int64_t parseBlocks(const std::string& text)
{
    const bool digits = !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
    const long long value = digits ? std::atoll(text.c_str()) : 0;
    if (value < 1 || value > 100000000)
        throw UsageError{"--blocks " + text + ": give a whole number from 1 to 100000000"};
    return value;
}

ValidationOptions checkedOptions(const ValidateOptions& options)
{
    ValidationOptions validation = options.validation;
    if (!options.seedText.empty())
        validation.seed = parseSeed(options.seedText);
    if (!options.secondsText.empty())
        validation.secondsPerModule = parseSeconds(options.secondsText);
    if (!options.blocksText.empty())
        validation.blocks = parseBlocks(options.blocksText);
    if (!validation.check.empty() && !isCheckName(validation.check))
        throw UsageError{"--check " + validation.check + ": no such check; `mphost validate --list` names them"};
    if (options.bundles.empty())
        throw UsageError{"name the bundles to validate (build/bundles/*.so)"};
    return validation;
}

// Testing nothing is a misuse: an identifier no bundle declares, or bundles without modules.
void requireModules(const std::vector<ModuleReport>& reports, const ValidateOptions& options)
{
    for (const ModuleReport& report : reports)
        if (!report.id.empty())
            return;
    if (!options.validation.only.empty())
        throw UsageError{"--only " + options.validation.only +
                         ": no bundle given declares this module; `mphost list <bundle>` shows the identifiers"};
    // Files that are no bundles (a wrong path, a support library): a problem in the input.
    std::string passedOver;
    for (const ModuleReport& report : reports)
        passedOver += (passedOver.empty() ? "" : ", ") + report.bundle;
    if (!passedOver.empty())
        throw HostError("nothing to validate: " + passedOver +
                        (reports.size() == 1 ? " is" : " are") +
                        " not a plug-in bundle (no MP_GetFactory, no descriptions); name built bundles "
                        "(build/bundles/*.so)");
    throw UsageError{"the bundles given declare no module to validate" +
                     std::string(options.validation.check.empty() ? "" : " with check " + options.validation.check)};
}

// The bar of the running validation (the validator's progress callback takes no state).
ProgressBar* progressBar = nullptr;

void showProgress(std::size_t done, std::size_t total, const std::string& what)
{
    if (progressBar && total > 0)
        progressBar->update(static_cast<double>(done) / static_cast<double>(total), what);
}

void printChecks()
{
    for (const CheckInfo& check : listChecks())
        std::cout << check.name << "  (" << check.half << ")  " << check.summary << "\n";
}

}  // namespace

int runValidate(const ValidateOptions& options)
{
    if (options.list) {
        printChecks();
        return 0;
    }
    try {
        const ValidationOptions validation = checkedOptions(options);
        ProgressBar bar(!options.quiet && !options.json && ProgressBar::terminalWanted(), "validating");
        progressBar = &bar;
        const auto reports = validateBundles(options.bundles, validation, &showProgress);
        progressBar = nullptr;
        bar.finish();
        requireModules(reports, options);
        if (options.json) {
            std::cout << reportsToJson(reports) << "\n";
        } else if (options.quiet) {
            std::cout << formatReports(reports, /*failuresOnly=*/true);
        } else {
            std::cout << formatReports(reports) << "\n" << summaryTable(reports);
        }
        for (const auto& report : reports)
            if (!report.passed)
                return 1;
        return 0;
    } catch (const UsageError& error) {
        std::cerr << "mphost validate: " << error.what << " (see mphost validate --help)\n";
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "mphost validate: " << error.what() << "\n";
        return 1;
    }
}

}  // namespace mphost::cli
