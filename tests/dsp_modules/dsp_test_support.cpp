#include "dsp_test_support.h"

#include <algorithm>
#include <ostream>

namespace dsp_test {

namespace {

std::shared_ptr<mphost::Bundle> bundle()
{
    static const auto loaded = mphost::Bundle::load(testing_support::bundlePath("dsp_modules"));
    return loaded;
}

}  // namespace

const mphost::BundleDescription& descriptions()
{
    static const auto loaded = mphost::BundleDescription::loadFile(
        mphost::BundleDescription::pathBeside(testing_support::bundlePath("dsp_modules")));
    return loaded;
}

std::unique_ptr<mphost::DspModule> makeModule(const std::string& id, mphost::DspModuleOptions options)
{
    const mphost::ModuleDescription* description = descriptions().find(id);
    if (!description)
        throw std::runtime_error("no description of " + id);
    return std::make_unique<mphost::DspModule>(bundle(), *description, std::move(options));
}

void PrintTo(const StreamingReport& report, std::ostream* out)
{
    *out << "{" << report.position << ", " << (report.streaming ? "streaming" : "static") << "}";
}

Rendered render(mphost::DspModule& module, int count, const Fill& fill, const std::string& output)
{
    Rendered result;
    result.samples.reserve(static_cast<std::size_t>(count));
    const int outputIndex = module.pin(output).index;
    for (int start = 0; start < count; start += module.maxBlockSize()) {
        const int block = std::min(module.maxBlockSize(), count - start);
        if (fill)
            fill(module, start, block);
        module.process(block);
        if (module.lastBlockSkipped() && result.firstSkipped < 0)
            result.firstSkipped = start;
        for (const auto& record : module.lastBlockLog().records())
            if (record.kind == mphost::OutputLog::Kind::Streaming && record.pinOrId == outputIndex)
                result.reports.push_back({start + record.timestamp, record.streaming != 0});
        const auto samples = module.output(output);
        result.samples.insert(result.samples.end(), samples.begin(), samples.begin() + block);
    }
    return result;
}

std::vector<std::pair<int, bool>> lastReports(const mphost::DspModule& module, const std::string& output)
{
    const int outputIndex = module.pin(output).index;
    std::vector<std::pair<int, bool>> reports;
    for (const auto& record : module.lastBlockLog().records())
        if (record.kind == mphost::OutputLog::Kind::Streaming && record.pinOrId == outputIndex)
            reports.emplace_back(record.timestamp, record.streaming != 0);
    return reports;
}

}  // namespace dsp_test
