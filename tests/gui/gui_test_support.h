// Helpers of the GUI tests: the ui_modules bundle and started GUI modules.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "harness/gui_module.h"
#include "test_support.h"
#include "validate/validator.h"

namespace gui_testing {

inline std::shared_ptr<mphost::Bundle> uiBundle()
{
    return testing_support::loadedBundle(testing_support::bundlePath("ui_modules"));
}

inline const mphost::BundleDescription& uiDescriptions()
{
    const auto& descriptions = testing_support::descriptionsBeside(testing_support::bundlePath("ui_modules"));
    return descriptions;
}

inline const mphost::ModuleDescription& uiModule(const std::string& id)
{
    const mphost::ModuleDescription* module = uiDescriptions().find(id);
    if (!module)
        throw std::runtime_error("no ui module " + id);
    return *module;
}

// A ui_modules GUI module; started (defaults set, initialized) unless `start` is false.
inline std::unique_ptr<mphost::GuiModule> makeUi(const std::string& id, mphost::GuiModuleOptions options = {},
                                                 bool start = true)
{
    auto module = std::make_unique<mphost::GuiModule>(uiBundle(), uiModule(id), std::move(options));
    if (start) {
        module->start();
        module->takeTransmissions();
    }
    return module;
}

// The transmissions as (pin name, value) pairs.
struct Sent {
    std::string pin;
    mphost::PinValue value;
    bool operator==(const Sent&) const = default;
};
inline void PrintTo(const Sent& sent, std::ostream* out)
{
    *out << "{" << sent.pin << ", " << mphost::formatPinValue(sent.value) << "}";
}
inline std::vector<Sent> sent(mphost::GuiModule& module)
{
    std::vector<Sent> result;
    for (const auto& transmission : module.takeTransmissions())
        result.push_back({transmission.pinName, transmission.value});
    return result;
}

inline float floatOf(const mphost::PinValue& value)
{
    return std::get<float>(value);
}
inline std::int32_t intOf(const mphost::PinValue& value)
{
    return std::get<std::int32_t>(value);
}
inline std::wstring textOf(const mphost::PinValue& value)
{
    return std::get<std::wstring>(value);
}

// The validator's failures for module `id` of ui_modules (0.2 s per module), one a line;
// empty when it passed. A module the validator passed over counts as a failure.
inline std::string validationFailures(const std::string& id)
{
    mphost::ValidationOptions options;
    options.only = id;
    options.secondsPerModule = 0.2;
    const auto reports = mphost::validateBundles({testing_support::bundlePath("ui_modules")}, options);
    if (reports.size() != 1)
        return "expected one report, got " + std::to_string(reports.size());
    std::string failures = reports.front().skipped ? "skipped\n" : "";
    for (const auto& failure : reports.front().failures)
        failures += failure + "\n";
    return failures;
}

}  // namespace gui_testing
