// Module descriptions: the pins of every module identifier of a bundle, declared to the
// host outside the bundle (a JSON file beside it, same name, extension .json).
//
//   { "bundle": "dsp_modules",
//     "modules": [
//       { "id": "DC_Blocker",
//         "dsp": { "pins": [ { "name": "In", "type": "audio", "direction": "in" },
//                            { "name": "Coefficient", "type": "float", "direction": "in", "default": 0.995 },
//                            { "name": "Out", "type": "audio", "direction": "out" } ] } },
//       { "id": "Pair", "dsp": {...}, "gui": { "subType": 2, "pins": [...] },
//         "links": [ { "dsp": "Value", "gui": "Value" } ] } ] }
//
// Pin fields: "name" (unique within its half), "type" (enum, text, midi, bool, audio,
// float, int, blob), "direction" (in, out), optional "default" (a number, bool or text
// by type; for blobs and MIDI a hexadecimal text), "list" (enum pins: the choices, such
// as "Linear,Spline" or "range 0,9"), "autoDuplicate" (the host instantiates the pin as
// many times as the patch asks; such pins come last in their half).
// Pin order is index order: the module binds its pins by these indices. A half may say
// "allocatesInProcess": true when it allocates while processing by design, and
// "differsByInstance": true when each instance behaves differently by design.
//
// For the module reference (`mphost docs`) a module may carry "summary" (what it does, for
// people), "badInput" (what it does with bad input where that is not obvious) and "docs",
// how its pictures are made: { "plot": "response" | "transfer" | "waveform" | "signal" |
// "none", "in": input pin, "out": output pin, "values": { pin: value, ... } set before
// measuring or drawing, "range": [low, high] of a transfer curve's input, "size": [width,
// height] of the GUI picture }.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/pin_value.h"

namespace mphost {

struct PinDescription {
    std::string name;
    int datatype = 0;   // MpPinDatatype
    int direction = 0;  // MpPinDirection
    PinValue defaultValue = std::int32_t{0};
    std::string list;   // choices of an enum pin, as shown to users
    bool autoDuplicate = false;

    bool isInput() const { return direction == 0; }
};

// The DSP half (sub-type 0) or the GUI half (sub-type 1 or 2) of a module.
struct HalfDescription {
    int subType = 0;
    std::vector<PinDescription> pins;
    // The half allocates memory while processing by design (file loading, growing
    // recording buffers): reported by the validator, not failed.
    bool allocatesInProcess = false;
    // Each instance behaves differently by design (a random generator seeded from the
    // instance itself): the validator's determinism checks note it instead of comparing.
    bool differsByInstance = false;

    // The pin named `name`, or null.
    const PinDescription* find(std::string_view name) const;
};

// A DSP pin carried to a GUI pin of the same module (and back, for inputs).
struct PinLink {
    std::string dspPin;
    std::string guiPin;
};

// How the module reference measures and draws a module (all optional).
struct DocsHints {
    std::string plot;  // "response", "transfer", "waveform", "signal", "none"; empty: chosen by pins
    std::string in;    // input pin driven by the measurement; empty: the first audio input
    std::string out;   // output pin measured; empty: the first audio output
    // Pin values (by pin name, as text in the pin's datatype) set before measuring or drawing.
    std::vector<std::pair<std::string, std::string>> values;
    std::optional<std::pair<float, float>> range;  // transfer curve input, low < high
    std::optional<std::pair<int, int>> size;       // GUI picture, pixels, 1 .. 2000 each
};

struct ModuleDescription {
    std::string id;  // UTF-8 form of the module identifier
    std::string summary;   // what the module does, for people; empty when not written
    std::string badInput;  // what it does on bad input, where that is not obvious
    DocsHints docs;
    std::optional<HalfDescription> dsp;
    std::optional<HalfDescription> gui;
    std::vector<PinLink> links;

    std::wstring wideId() const;
};

struct BundleDescription {
    std::string bundle;
    std::vector<ModuleDescription> modules;

    // The module with identifier `id`, or null.
    const ModuleDescription* find(std::string_view id) const;

    // Parses and validates a description file. Throws HostError with
    // "<source>: <JSON path>: expected ..." on anything malformed.
    static BundleDescription parse(std::string_view json, const std::string& source);
    static BundleDescription loadFile(const std::filesystem::path& path);
    // Where the descriptions of the bundle at `bundlePath` live: <dir>/<name>.json.
    static std::filesystem::path pathBeside(const std::filesystem::path& bundlePath);
};

}  // namespace mphost
