// Pin bookkeeping shared by the two module harnesses (DspModule, GuiModule): creating the
// pins from a module description and finding them by name or index.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/host_error.h"
#include "loader/descriptions.h"
#include "services/dsp_host.h"

namespace mphost {

// Appends one pin per described pin to `pins` (an auto-duplicated pin once per instance
// asked for in `duplicates`, default 1, named "Name[k]"), with name, index, description,
// datatype and direction set; `setUp(pin, description)` completes each one. Returns the
// pins as the pin iterator reports them.
template <class Pin, class SetUp>
std::vector<InstantiatedPin> instantiatePins(const std::vector<PinDescription>& descriptions,
                                             const std::map<std::string, int>& duplicates, std::vector<Pin>& pins,
                                             SetUp setUp)
{
    std::vector<InstantiatedPin> instantiated;
    for (const PinDescription& pinDescription : descriptions) {
        int instances = 1;
        if (pinDescription.autoDuplicate) {
            const auto found = duplicates.find(pinDescription.name);
            instances = found == duplicates.end() ? 1 : std::max(found->second, 0);
        }
        for (int k = 0; k < instances; ++k) {
            Pin pin;
            pin.name = pinDescription.autoDuplicate ? pinDescription.name + "[" + std::to_string(k) + "]"
                                                    : pinDescription.name;
            pin.index = static_cast<std::int32_t>(pins.size());
            pin.description = &pinDescription;
            pin.datatype = pinDescription.datatype;
            pin.direction = pinDescription.direction;
            setUp(pin, pinDescription);
            instantiated.push_back({pin.index, pin.direction, pin.datatype});
            pins.push_back(std::move(pin));
        }
    }
    return instantiated;
}

// The pin called `name`. Throws HostError naming the module, the kind of pin ("DSP",
// "GUI") and the pins it has otherwise.
template <class Pin>
const Pin& findPinNamed(const std::vector<Pin>& pins, std::string_view name, const std::string& moduleId,
                        const char* kind)
{
    for (const Pin& pin : pins)
        if (pin.name == name)
            return pin;
    std::string names;
    for (const Pin& pin : pins)
        names += (names.empty() ? "" : ", ") + pin.name;
    throw HostError("module \"" + moduleId + "\" has no " + kind + " pin \"" + std::string(name) +
                    "\" (pins: " + names + ")");
}

// The pin at `index`, or null when there is none.
template <class Pin>
Pin* pinAtIndex(std::vector<Pin>& pins, std::int32_t index)
{
    return (index >= 0 && static_cast<std::size_t>(index) < pins.size()) ? &pins[static_cast<std::size_t>(index)]
                                                                           : nullptr;
}

}  // namespace mphost
