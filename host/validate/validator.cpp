#include "validate/validator.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "common/host_error.h"
#include "validate/checks.h"
#include "validate/half_runner.h"

namespace mphost {

std::int64_t blocksPerCheck(const ValidationOptions& options)
{
    if (options.blocks > 0)
        return options.blocks;
    // About what a typical module processes in that time; at least a few blocks.
    constexpr double blocksPerSecond = 1000.0;
    return std::max<std::int64_t>(3, std::llround(options.secondsPerModule * blocksPerSecond));
}

void ModuleReport::add(CheckReport check)
{
    passed = passed && check.passed;
    blocks += check.blocks;
    for (const auto& failure : check.failures)
        failures.push_back(check.name + ": " + failure);
    for (const auto& note : check.notes)
        if (std::find(notes.begin(), notes.end(), note) == notes.end())
            notes.push_back(note);
    checks.push_back(std::move(check));
}

std::string ModuleReport::reproduceCommand() const
{
    for (const CheckReport& check : checks)
        if (!check.passed)
            return "mphost validate " + (bundlePath.empty() ? bundle : bundlePath) + " --seed " + std::to_string(seed) +
                   " --only \"" + id + "\" --check " + check.name + " --blocks " + std::to_string(blocksPerCheck);
    return {};
}

namespace validation {

ModuleReport runHalfChecks(const std::filesystem::path& bundlePath, const ModuleDescription& module,
                           const ValidationOptions& options, Half half, const CheckListener& listener)
{
    ModuleReport report = emptyReport(bundlePath, module, options, half);
    std::shared_ptr<Bundle> bundle;
    try {
        bundle = Bundle::load(bundlePath);
    } catch (const std::exception& error) {
        report.passed = false;
        report.failures.push_back(error.what());
        return report;
    }
    for (const Check& check : registry()) {
        if (check.half != half || (!options.check.empty() && check.name != options.check))
            continue;
        CheckReport result;
        result.name = std::string(check.name);
        if (listener.started)
            listener.started(result.name);
        CheckContext context{bundle, module, options,
                             Random(checkSeed(options.seed, module.id, report.subType, result.name)),
                             report.blocksPerCheck, result};
        const auto start = std::chrono::steady_clock::now();
        try {
            check.run(context);
        } catch (const std::exception& error) {
            context.fail(error.what());
        }
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (listener.finished)
            listener.finished(result);
        const bool created = result.passed || check.name.find(".creation") == std::string_view::npos;
        report.add(std::move(result));
        if (!created)
            break;  // nothing else can run on a module that cannot be created
    }
    return report;
}

ModuleReport emptyReport(const std::filesystem::path& bundlePath, const ModuleDescription& module,
                         const ValidationOptions& options, Half half)
{
    ModuleReport report;
    report.bundle = bundlePath.stem().string();
    report.bundlePath = bundlePath.string();
    report.id = module.id;
    report.subType = half == Half::Dsp ? 0 : module.gui ? module.gui->subType : gmpi::MP_SUB_TYPE_GUI2;
    report.seed = options.seed;
    report.blocksPerCheck = blocksPerCheck(options);
    return report;
}

}  // namespace validation

ModuleReport validateDspHalf(const std::filesystem::path& bundlePath, const ModuleDescription& module,
                             const ValidationOptions& options)
{
    if (!module.dsp) {
        ModuleReport report = validation::emptyReport(bundlePath, module, options, validation::Half::Dsp);
        report.passed = false;
        report.failures.push_back("the module has no DSP half");
        return report;
    }
    return validation::runHalfChecks(bundlePath, module, options, validation::Half::Dsp, {});
}

ModuleReport validateGuiHalf(const std::filesystem::path& bundlePath, const ModuleDescription& module,
                             const ValidationOptions& options)
{
    if (!module.gui) {
        ModuleReport report = validation::emptyReport(bundlePath, module, options, validation::Half::Gui);
        report.passed = false;
        report.failures.push_back("the module has no GUI half");
        return report;
    }
    return validation::runHalfChecks(bundlePath, module, options, validation::Half::Gui, {});
}

}  // namespace mphost
