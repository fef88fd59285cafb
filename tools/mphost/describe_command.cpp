#include <iostream>

#include "commands.h"
#include "common/host_error.h"
#include "loader/descriptions.h"
#include "mp_api.h"

namespace mphost::cli {

namespace {

void printHalf(const char* title, const HalfDescription& half)
{
    std::cout << title << " (sub-type " << half.subType << ")";
    if (half.allocatesInProcess)
        std::cout << ", allocates while processing";
    std::cout << "\n";
    if (half.pins.empty())
        std::cout << "  no pins\n";
    for (std::size_t i = 0; i < half.pins.size(); ++i) {
        const PinDescription& pin = half.pins[i];
        std::cout << "  " << i << "  " << pin.name << "  " << datatypeName(pin.datatype) << " "
                  << (pin.isInput() ? "in" : "out");
        const bool hasDefault = pin.isInput() && pin.datatype != gmpi::MP_MIDI;
        if (hasDefault) {
            const char* quote = pin.datatype == gmpi::MP_STRING ? "\"" : "";
            std::cout << "  default " << quote << formatPinValue(pin.defaultValue) << quote;
        }
        if (!pin.list.empty())
            std::cout << "  list \"" << pin.list << "\"";
        if (pin.autoDuplicate)
            std::cout << "  auto-duplicated";
        std::cout << "\n";
    }
}

}  // namespace

int runDescribe(const DescribeOptions& options)
{
    try {
        const std::filesystem::path bundle = findBundle(options.bundle, options.bundleFolders);
        const auto descriptions = BundleDescription::loadFile(BundleDescription::pathBeside(bundle));
        const ModuleDescription* module = descriptions.find(options.id);
        if (!module) {
            std::string ids;
            for (const auto& m : descriptions.modules)
                ids += (ids.empty() ? "" : ", ") + m.id;
            throw HostError("bundle \"" + descriptions.bundle + "\" has no module \"" + options.id +
                            "\" (modules: " + ids + ")");
        }
        std::cout << module->id << "  (" << descriptions.bundle << ")\n";
        if (module->dsp)
            printHalf("DSP half", *module->dsp);
        if (module->gui)
            printHalf("GUI half", *module->gui);
        for (const PinLink& link : module->links)
            std::cout << "  link: DSP \"" << link.dspPin << "\" <-> GUI \"" << link.guiPin << "\"\n";
        return 0;
    } catch (const HostError& error) {
        std::cerr << "mphost describe: " << error.what() << "\n";
        return 1;
    }
}

}  // namespace mphost::cli
