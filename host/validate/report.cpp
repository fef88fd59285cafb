// What the validator reports: JSON per check, one line per module half with its failures
// and the command that reproduces them, a summary table; and the run over bundles.
#include <dlfcn.h>

#include <algorithm>
#include <iomanip>
#include <sstream>

#include "validate/half_runner.h"

namespace mphost::validation {

nlohmann::json toJson(const CheckReport& report)
{
    return {{"name", report.name},         {"passed", report.passed}, {"failures", report.failures},
            {"notes", report.notes},       {"blocks", report.blocks}, {"seconds", report.seconds}};
}

CheckReport checkFromJson(const nlohmann::json& json)
{
    CheckReport report;
    report.name = json.at("name").get<std::string>();
    report.passed = json.at("passed").get<bool>();
    report.failures = json.at("failures").get<std::vector<std::string>>();
    report.notes = json.at("notes").get<std::vector<std::string>>();
    report.blocks = json.at("blocks").get<std::int64_t>();
    report.seconds = json.at("seconds").get<double>();
    return report;
}

nlohmann::json toJson(const ModuleReport& report)
{
    nlohmann::json checks = nlohmann::json::array();
    for (const CheckReport& check : report.checks)
        checks.push_back(toJson(check));
    nlohmann::json json{{"bundle", report.bundle},   {"id", report.id},         {"subType", report.subType},
                        {"passed", report.passed},   {"skipped", report.skipped}, {"failures", report.failures},
                        {"notes", report.notes},     {"seed", report.seed},     {"blocks", report.blocks},
                        {"blocksPerCheck", report.blocksPerCheck}, {"checks", checks}};
    if (!report.passed)
        json["reproduce"] = report.reproduceCommand();
    return json;
}

namespace {

// Whether the shared library exports the bundle entry point. Loaded only for libraries
// without descriptions, so no bundle's initialisers run in this process.
bool exportsBundleEntry(const std::filesystem::path& path)
{
    void* library = dlopen(std::filesystem::absolute(path).c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!library)
        return false;
    const bool found = dlsym(library, gmpi::MP_GET_FACTORY_SYMBOL) != nullptr;
    dlclose(library);
    return found;
}

bool halfHasChecks(Half half, const ValidationOptions& options)
{
    for (const Check& check : registry())
        if (check.half == half && (options.check.empty() || check.name == options.check))
            return true;
    return false;
}

}  // namespace

}  // namespace mphost::validation

namespace mphost {

using namespace validation;

std::vector<ModuleReport> validateBundles(const std::vector<std::filesystem::path>& bundles,
                                          const ValidationOptions& options, ValidationProgress progress)
{
    std::vector<ModuleReport> reports;
    // What will run: (bundle, module, half), so that progress knows the total.
    struct Job {
        std::filesystem::path bundle;
        ModuleDescription module;
        Half half;
    };
    std::vector<Job> jobs;
    for (const auto& bundlePath : bundles) {
        // A support library that a shell pattern over the bundle folder picks up is
        // listed and passed over; a bundle without descriptions stays an error.
        if (!std::filesystem::exists(BundleDescription::pathBeside(bundlePath)) && std::filesystem::exists(bundlePath) &&
            !std::filesystem::is_directory(bundlePath) && !exportsBundleEntry(bundlePath)) {
            ModuleReport library;
            library.bundle = bundlePath.filename().string();
            library.skipped = true;
            library.seed = options.seed;
            library.notes.push_back("not a plug-in bundle (no MP_GetFactory, no descriptions): passed over");
            reports.push_back(library);
            continue;
        }
        const BundleDescription descriptions = BundleDescription::loadFile(BundleDescription::pathBeside(bundlePath));
        for (const ModuleDescription& module : descriptions.modules) {
            if (!options.only.empty() && module.id != options.only)
                continue;
            if (module.dsp && halfHasChecks(Half::Dsp, options))
                jobs.push_back({bundlePath, module, Half::Dsp});
            if (module.gui && halfHasChecks(Half::Gui, options))
                jobs.push_back({bundlePath, module, Half::Gui});
        }
    }
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (progress)
            progress(i, jobs.size(), jobs[i].module.id);
        reports.push_back(runHalfInChild(jobs[i].bundle, jobs[i].module, options, jobs[i].half));
    }
    if (progress)
        progress(jobs.size(), jobs.size(), "");
    return reports;
}

std::string formatReports(const std::vector<ModuleReport>& reports, bool failuresOnly)
{
    std::ostringstream text;
    int passed = 0, failed = 0, skipped = 0;
    for (const ModuleReport& report : reports) {
        if (report.id.empty()) {  // a library that is not a bundle
            ++skipped;
            text << "SKIP  " << report.bundle;
            for (const auto& note : report.notes)
                text << "  [" << note << "]";
            text << "\n";
            continue;
        }
        const char* verdict = report.skipped ? "SKIP" : report.passed ? "PASS" : "FAIL";
        (report.skipped ? skipped : report.passed ? passed : failed)++;
        if (failuresOnly && report.passed)
            continue;
        text << verdict << "  " << report.bundle << "  " << (report.subType == 0 ? "dsp" : "gui") << "  "
             << report.id;
        if (!report.skipped)
            text << "  (" << report.blocks << (report.subType == 0 ? " blocks)" : " operations)");
        for (const auto& note : report.notes)
            text << "  [" << note << "]";
        text << "\n";
        for (const auto& failure : report.failures)
            text << "      " << failure << "\n";
        if (!report.passed)
            text << "      reproduce: " << report.reproduceCommand() << "\n";
    }
    text << "validated " << passed + failed << " module halves: " << passed << " pass, " << failed << " fail";
    if (skipped)
        text << ", " << skipped << " skipped";
    text << "\n";
    return text.str();
}

std::string summaryTable(const std::vector<ModuleReport>& reports)
{
    struct Row {
        int passed = 0, failed = 0;
        std::int64_t blocks = 0;
        double seconds = 0;
    };
    // In the order the checks run.
    std::vector<std::pair<std::string, Row>> rows;
    for (const Check& check : registry())
        rows.push_back({std::string(check.name), Row{}});
    for (const ModuleReport& report : reports)
        for (const CheckReport& check : report.checks) {
            auto found = std::find_if(rows.begin(), rows.end(), [&](const auto& row) { return row.first == check.name; });
            if (found == rows.end())
                found = rows.insert(rows.end(), {check.name, Row{}});
            Row& row = found->second;
            (check.passed ? row.passed : row.failed)++;
            row.blocks += check.blocks;
            row.seconds += check.seconds;
        }
    std::ostringstream text;
    text << std::left << std::setw(26) << "check" << std::right << std::setw(7) << "pass" << std::setw(7) << "fail"
         << std::setw(10) << "blocks" << std::setw(10) << "seconds" << "\n";
    for (const auto& [name, row] : rows)
        if (row.passed + row.failed > 0)
            text << std::left << std::setw(26) << name << std::right << std::setw(7) << row.passed << std::setw(7)
             << row.failed << std::setw(10) << row.blocks << std::setw(10) << std::fixed << std::setprecision(2)
             << row.seconds << "\n";
    return text.str();
}

std::string reportsToJson(const std::vector<ModuleReport>& reports)
{
    nlohmann::json list = nlohmann::json::array();
    for (const ModuleReport& report : reports)
        list.push_back(toJson(report));
    return list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace mphost
