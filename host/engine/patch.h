// Patch files: a graph of module instances, their connections, initial values, the audio
// to write, a script of timed changes and pictures of the panel. The format is described
// with examples in docs/patch-format.md.
//
// Loading validates everything against the module descriptions of the bundles the patch
// names: a Patch that exists is one the engine can render. Every refusal is a HostError
// "<file>: <JSON path>: expected ...".
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/pin_value.h"
#include "loader/descriptions.h"
#include "mp_drawing_api.h"

namespace mphost {

enum class Half { Dsp, Gui };

// One instantiated pin of one module of the patch ("osc.Out", "editor.gui.Shape",
// "mixer.In[2]").
struct PinRef {
    std::size_t module = 0;  // index into Patch::modules
    Half half = Half::Dsp;
    std::string pin;  // instantiated name: "Name" or "Name[k]" for auto-duplicated pins
    const PinDescription* description = nullptr;

    bool operator==(const PinRef& other) const
    {
        return module == other.module && half == other.half && pin == other.pin;
    }
};

struct PatchModule {
    std::string name;
    std::string bundle;                // as written in the patch
    std::filesystem::path bundlePath;  // the resolved shared library
    const ModuleDescription* description = nullptr;
    std::map<std::string, int> duplicates;            // instances of auto-duplicated pins (both halves)
    std::vector<std::pair<PinRef, PinValue>> values;  // initial values, in patch order
    std::optional<GmpiDrawing_API::MP1_RECT> rect;    // where the GUI half draws on the panel
};

struct Connection {
    PinRef from;  // an output (or a GUI pin)
    PinRef to;    // an input (or a GUI pin)
};

enum class PointerAction { Down, Move, Up };

// A timed change: a pin value, a pointer event or a context-menu choice on a GUI module.
struct ScriptEvent {
    double time = 0;          // seconds from the start of the render
    std::int64_t sample = 0;  // the same at the patch's sample rate
    enum class Kind { SetPin, Pointer, ContextMenu, FileDialog } kind = Kind::SetPin;
    PinRef pin;  // SetPin
    PinValue value;
    std::size_t module = 0;  // Pointer: the module, the action and the module-local point
    PointerAction action = PointerAction::Down;
    GmpiDrawing_API::MP1_POINT point{};
    std::int32_t flags = 0;
    // ContextMenu (module and point as for Pointer): the item chosen, by its text when
    // menuText is set, by its id otherwise.
    std::int32_t menuId = 0;
    std::optional<std::string> menuText;
    // FileDialog: the user's answer to the next file dialog, a path or nullopt (cancel).
    std::optional<std::string> dialogAnswer;
};

struct Snapshot {
    double time = 0;
    std::int64_t sample = 0;
    std::filesystem::path file;
};

struct Patch {
    // The most channels a WAV file of the render can hold.
    static constexpr std::size_t maxOutputs = 1024;

    std::string source;  // the file name, or a label for embedded patches
    float sampleRate = 48000.0f;
    int blockSize = 64;
    double seconds = 1.0;
    std::vector<PatchModule> modules;
    std::vector<Connection> connections;
    std::vector<PinRef> outputs;      // audio outputs written as WAV channels, in order (at most maxOutputs)
    std::vector<ScriptEvent> script;  // sorted by time, stable
    std::vector<Snapshot> snapshots;  // sorted by time
    // "skin": the folder GUI halves take images, image metadata and fonts from (relative
    // names from the patch's folder); empty: none given.
    std::filesystem::path skinFolder;
    // Descriptions of every bundle the patch uses, by resolved path.
    std::map<std::filesystem::path, std::shared_ptr<const BundleDescription>> descriptions;

    std::int64_t lengthInSamples() const;
    // Another length, sample rate or block size than the file gives (as from the command
    // line); script and snapshot times keep their seconds. Throws HostError out of range.
    void changeTiming(std::optional<double> newSeconds, std::optional<float> newSampleRate,
                      std::optional<int> newBlockSize);
    // True when a module has a GUI half with a "rect": the panel has something to draw.
    bool hasPanel() const;
    // The index of the module named `name`, or -1.
    int findModule(std::string_view name) const;
    // "osc.Out" for a pin of the patch.
    std::string describe(const PinRef& pin) const;
};

// Where bundles named by their plain name ("shape_modules") are looked for, in order.
// Relative paths written in a patch ("../bundles/x.so") are taken from the patch's folder.
struct PatchEnvironment {
    std::vector<std::filesystem::path> bundleFolders;
    std::filesystem::path patchFolder;  // empty: the current directory
};

// Parses and validates a patch. Throws HostError naming `source`, the JSON path and what
// was expected.
Patch parsePatch(std::string_view json, const std::string& source, const PatchEnvironment& environment);
Patch loadPatch(const std::filesystem::path& file, PatchEnvironment environment);

}  // namespace mphost
