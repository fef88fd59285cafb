#include "engine/patch.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

#include "common/file_access.h"
#include "common/host_error.h"
#include "common/json_reader.h"
#include "it_enum_list.h"
#include "mp_api.h"
#include "unicode_conversion.h"

namespace mphost {

std::int64_t Patch::lengthInSamples() const
{
    return std::llround(seconds * static_cast<double>(sampleRate));
}

void Patch::changeTiming(std::optional<double> newSeconds, std::optional<float> newSampleRate,
                         std::optional<int> newBlockSize)
{
    if (newSeconds && !(*newSeconds > 0 && *newSeconds <= 24 * 3600.0))
        throw HostError("the length must be more than 0 and at most 86400 seconds");
    // Whole hertz: audio files store the rate as an integer.
    if (newSampleRate &&
        !(*newSampleRate >= 1000.0f && *newSampleRate <= 768000.0f && std::floor(*newSampleRate) == *newSampleRate))
        throw HostError("the sample rate must be a whole number of hertz from 1000 to 768000");
    if (newBlockSize && (*newBlockSize < 1 || *newBlockSize > 4096))
        throw HostError("the block size must be from 1 to 4096");
    seconds = newSeconds.value_or(seconds);
    sampleRate = newSampleRate.value_or(sampleRate);
    blockSize = newBlockSize.value_or(blockSize);
    if (lengthInSamples() < 1)
        throw HostError("the render must be at least one sample long");
    const auto at = [this](double time) { return std::llround(time * static_cast<double>(sampleRate)); };
    for (ScriptEvent& event : script)
        event.sample = at(event.time);
    for (Snapshot& snapshot : snapshots)
        snapshot.sample = at(snapshot.time);
}

bool Patch::hasPanel() const
{
    for (const PatchModule& module : modules)
        if (module.description->gui && module.rect)
            return true;
    return false;
}

int Patch::findModule(std::string_view name) const
{
    for (std::size_t i = 0; i < modules.size(); ++i)
        if (modules[i].name == name)
            return static_cast<int>(i);
    return -1;
}

std::string Patch::describe(const PinRef& pin) const
{
    const PatchModule& module = modules.at(pin.module);
    const bool both = module.description->dsp && module.description->gui;
    return module.name + (both && pin.half == Half::Gui ? ".gui." : ".") + pin.pin;
}

namespace {

using Json = nlohmann::json;

// The pins a half has once its auto-duplicated pins are instantiated, by name.
std::vector<std::pair<std::string, const PinDescription*>>
instantiatedPins(const HalfDescription& half, const std::map<std::string, int>& duplicates)
{
    std::vector<std::pair<std::string, const PinDescription*>> pins;
    for (const PinDescription& pin : half.pins) {
        if (!pin.autoDuplicate) {
            pins.emplace_back(pin.name, &pin);
            continue;
        }
        const auto found = duplicates.find(pin.name);
        const int count = found == duplicates.end() ? 1 : found->second;
        for (int k = 0; k < count; ++k)
            pins.emplace_back(pin.name + "[" + std::to_string(k) + "]", &pin);
    }
    return pins;
}

const PinDescription* findInstantiated(const HalfDescription& half, const std::map<std::string, int>& duplicates,
                                       std::string_view name)
{
    for (const auto& [pinName, description] : instantiatedPins(half, duplicates))
        if (pinName == name)
            return description;
    return nullptr;
}

std::string pinNames(const HalfDescription& half, const std::map<std::string, int>& duplicates)
{
    std::string names;
    for (const auto& [pinName, description] : instantiatedPins(half, duplicates))
        names += (names.empty() ? "" : ", ") + pinName;
    return names.empty() ? "none" : names;
}

// Enumeration choices "Off,Low=10,High": each name with its value (one more than the
// previous one unless given). Ranges ("range 0,9") have no names.
std::vector<std::pair<std::string, std::int32_t>> enumChoices(const std::string& list)
{
    std::vector<std::pair<std::string, std::int32_t>> choices;
    if (list.rfind("range", 0) == 0)
        return choices;
    std::int32_t next = 0;
    std::stringstream stream(list);
    std::string item;
    while (std::getline(stream, item, ',')) {
        const auto equals = item.find('=');
        std::int32_t value = next;
        if (equals != std::string::npos) {
            try {
                value = std::stoi(item.substr(equals + 1));
            } catch (const std::exception&) {
                continue;
            }
            item = item.substr(0, equals);
        }
        choices.emplace_back(item, value);
        next = value + 1;
    }
    return choices;
}

bool sameDatatype(int a, int b)
{
    const auto integral = [](int t) { return t == gmpi::MP_ENUM || t == gmpi::MP_INT32; };
    return a == b || (integral(a) && integral(b));
}

class PatchReader : public JsonReader {
public:
    PatchReader(const std::string& source, const PatchEnvironment& environment)
        : JsonReader(source), environment(environment)
    {
    }

    Patch read(const Json& root)
    {
        onlyKeys(root, "$",
                 {"description", "sampleRate", "blockSize", "seconds", "modules", "connections", "outputs", "script",
                  "snapshots", "skin"});
        patch.source = sourceName();
        if (const auto it = root.find("description"); it != root.end())
            text(*it, "$.description", true);
        if (const auto it = root.find("sampleRate"); it != root.end())
            patch.sampleRate = static_cast<float>(integer(*it, "$.sampleRate", 1000, 768000));
        if (const auto it = root.find("blockSize"); it != root.end())
            patch.blockSize = integer(*it, "$.blockSize", 1, 4096);
        if (const auto it = root.find("seconds"); it != root.end())
            patch.seconds = number(*it, "$.seconds", 0.0, 24 * 3600.0);
        if (patch.lengthInSamples() < 1)
            fail("$.seconds", "a length of at least one sample");
        if (const auto it = root.find("skin"); it != root.end())
            patch.skinFolder = skinFolder(*it);

        const Json& modules = member(root, "$", "modules");
        if (!modules.is_array() || modules.empty())
            fail("$.modules", "a non-empty array of modules", &modules);
        for (std::size_t i = 0; i < modules.size(); ++i)
            module(modules[i], "$.modules[" + std::to_string(i) + "]");
        // Values are read once every module exists, so their pins can be checked.
        for (std::size_t i = 0; i < modules.size(); ++i)
            values(modules[i], i, "$.modules[" + std::to_string(i) + "]");

        if (const auto it = root.find("connections"); it != root.end())
            each(*it, "$.connections", [this](const Json& item, const std::string& path) { connection(item, path); });
        if (const auto it = root.find("outputs"); it != root.end())
            each(*it, "$.outputs", [this](const Json& item, const std::string& path) {
                PinRef pin = pinRef(text(item, path), path, &item);
                if (pin.half != Half::Dsp || pin.description->datatype != gmpi::MP_AUDIO || pin.description->isInput())
                    fail(path, "an audio output of a DSP module", &item);
                patch.outputs.push_back(pin);
            });
        if (patch.outputs.size() > Patch::maxOutputs)
            fail("$.outputs", "at most " + std::to_string(Patch::maxOutputs) + " outputs (the channels a WAV file holds), not " +
                                  std::to_string(patch.outputs.size()));
        if (const auto it = root.find("script"); it != root.end())
            each(*it, "$.script", [this](const Json& item, const std::string& path) { scriptEvent(item, path); });
        std::stable_sort(patch.script.begin(), patch.script.end(),
                         [](const ScriptEvent& a, const ScriptEvent& b) { return a.sample < b.sample; });
        if (const auto it = root.find("snapshots"); it != root.end())
            each(*it, "$.snapshots", [this](const Json& item, const std::string& path) {
                onlyKeys(item, path, {"time", "file"});
                Snapshot snapshot;
                snapshot.time = time(member(item, path, "time"), path + ".time");
                snapshot.sample = samples(snapshot.time);
                snapshot.file = text(member(item, path, "file"), path + ".file");
                patch.snapshots.push_back(snapshot);
            });
        if (!patch.snapshots.empty() && !patch.hasPanel())
            fail("$.snapshots", "a GUI module with a \"rect\" on the panel to take pictures of");
        std::stable_sort(patch.snapshots.begin(), patch.snapshots.end(),
                         [](const Snapshot& a, const Snapshot& b) { return a.sample < b.sample; });
        return std::move(patch);
    }

private:
    template <class Function> void each(const Json& array, const std::string& path, Function function)
    {
        if (!array.is_array())
            fail(path, "an array", &array);
        for (std::size_t i = 0; i < array.size(); ++i)
            function(array[i], path + "[" + std::to_string(i) + "]");
    }

    double number(const Json& value, const std::string& path, double low, double high) const
    {
        if (!value.is_number() || !(value.get<double>() >= low && value.get<double>() <= high))
            fail(path, "a number from " + formatNumber(low) + " to " + formatNumber(high), &value);
        return value.get<double>();
    }

    int integer(const Json& value, const std::string& path, int low, int high) const
    {
        if (!value.is_number_integer() || value.get<std::int64_t>() < low || value.get<std::int64_t>() > high)
            fail(path, "an integer from " + std::to_string(low) + " to " + std::to_string(high), &value);
        return static_cast<int>(value.get<std::int64_t>());
    }

    static std::string formatNumber(double value)
    {
        std::ostringstream stream;
        stream << value;
        return stream.str();
    }

    // A time in seconds within the render.
    double time(const Json& value, const std::string& path) const { return number(value, path, 0.0, patch.seconds); }

    std::int64_t samples(double seconds) const { return std::llround(seconds * static_cast<double>(patch.sampleRate)); }

    std::filesystem::path skinFolder(const Json& value) const
    {
        std::filesystem::path folder = text(value, "$.skin");
        if (folder.is_relative() && !environment.patchFolder.empty())
            folder = environment.patchFolder / folder;
        std::error_code error;
        if (!std::filesystem::is_directory(folder, error))
            fail("$.skin", "a skin folder that exists (" + folder.string() + " does not)", &value);
        return folder;
    }

    std::filesystem::path findBundle(const std::string& name, const std::string& path, const Json& value) const
    {
        std::error_code error;
        const bool isPath = name.find('/') != std::string::npos || name.ends_with(".so");
        if (isPath) {
            std::filesystem::path file = name;
            if (file.is_relative() && !environment.patchFolder.empty())
                file = environment.patchFolder / file;
            if (const std::string wrong = notRegularFile(file); !wrong.empty())
                fail(path, "a bundle file (" + file.string() + " " + wrong + ")", &value);
            return file;
        }
        std::string searched;
        for (const auto& folder : environment.bundleFolders) {
            const auto file = folder / (name + ".so");
            if (std::filesystem::is_regular_file(file, error))
                return file;
            searched += (searched.empty() ? "" : ", ") + folder.string();
        }
        fail(path,
             "the name of a bundle in " + (searched.empty() ? std::string("the bundle folders") : searched) +
                 ", or a path to a .so file",
             &value);
    }

    const BundleDescription& descriptionsOf(const std::filesystem::path& bundle, const std::string& path)
    {
        if (const auto found = patch.descriptions.find(bundle); found != patch.descriptions.end())
            return *found->second;
        try {
            auto loaded = std::make_shared<const BundleDescription>(
                BundleDescription::loadFile(BundleDescription::pathBeside(bundle)));
            return *patch.descriptions.emplace(bundle, std::move(loaded)).first->second;
        } catch (const HostError& error) {
            fail(path, std::string("a bundle with readable module descriptions (") + error.what() + ")");
        }
    }

    void module(const Json& object, const std::string& path)
    {
        onlyKeys(object, path, {"name", "bundle", "id", "values", "duplicates", "rect"});
        PatchModule module;
        const Json& name = member(object, path, "name");
        module.name = text(name, path + ".name");
        if (module.name.find('.') != std::string::npos || module.name.find(' ') != std::string::npos)
            fail(path + ".name", "a name without dots or spaces", &name);
        if (patch.findModule(module.name) >= 0)
            fail(path + ".name", "a module name not used before in this patch", &name);

        const Json& bundle = member(object, path, "bundle");
        module.bundle = text(bundle, path + ".bundle");
        module.bundlePath = findBundle(module.bundle, path + ".bundle", bundle);
        const BundleDescription& descriptions = descriptionsOf(module.bundlePath, path + ".bundle");
        const Json& id = member(object, path, "id");
        module.description = descriptions.find(text(id, path + ".id"));
        if (!module.description)
            fail(path + ".id", "a module identifier of bundle \"" + descriptions.bundle + "\"", &id);

        if (const auto it = object.find("duplicates"); it != object.end()) {
            if (!it->is_object())
                fail(path + ".duplicates", "an object of pin names and counts", &*it);
            for (const auto& [pinName, count] : it->items()) {
                const std::string countPath = path + ".duplicates." + pinName;
                bool duplicated = false;
                for (const auto* half : {&module.description->dsp, &module.description->gui})
                    if (*half)
                        if (const PinDescription* pin = (*half)->find(pinName))
                            duplicated |= pin->autoDuplicate;
                if (!duplicated)
                    fail(countPath, "the name of an auto-duplicated pin of \"" + module.description->id + "\"");
                module.duplicates[pinName] = integer(count, countPath, 0, 256);
            }
        }
        if (const auto it = object.find("rect"); it != object.end()) {
            const std::string rectPath = path + ".rect";
            if (!module.description->gui)
                fail(rectPath, "no rectangle: \"" + module.description->id + "\" has no GUI half");
            if (!it->is_array() || it->size() != 4)
                fail(rectPath, "[left, top, width, height]", &*it);
            const double left = number((*it)[0], rectPath + "[0]", -1e6, 1e6);
            const double top = number((*it)[1], rectPath + "[1]", -1e6, 1e6);
            const double width = number((*it)[2], rectPath + "[2]", 1.0, 16384.0);
            const double height = number((*it)[3], rectPath + "[3]", 1.0, 16384.0);
            module.rect = GmpiDrawing_API::MP1_RECT{static_cast<float>(left), static_cast<float>(top),
                                                    static_cast<float>(left + width), static_cast<float>(top + height)};
        }
        patch.modules.push_back(std::move(module));
    }

    void values(const Json& object, std::size_t moduleIndex, const std::string& path)
    {
        const auto it = object.find("values");
        if (it == object.end())
            return;
        if (!it->is_object())
            fail(path + ".values", "an object of pin names and values", &*it);
        for (const auto& [pinName, value] : it->items()) {
            const std::string valuePath = path + ".values." + pinName;
            PinRef pin = pinOf(moduleIndex, pinName, valuePath);
            if (pin.half == Half::Dsp && (!pin.description->isInput() || pin.description->datatype == gmpi::MP_MIDI))
                fail(valuePath, "the name of an input pin (\"" + pinName + "\" is an output or MIDI)");
            PinValue typed = pinValue(value, *pin.description, valuePath);
            patch.modules[moduleIndex].values.emplace_back(std::move(pin), std::move(typed));
        }
    }

    // A value typed by the pin: numbers, booleans, text, an enumeration's choice by name,
    // hexadecimal text for blobs and MIDI.
    PinValue pinValue(const Json& value, const PinDescription& pin, const std::string& path) const
    {
        switch (pin.datatype) {
        case gmpi::MP_ENUM:
            if (value.is_string()) {
                for (const auto& [choice, number] : enumChoices(pin.list))
                    if (choice == value.get<std::string>())
                        return number;
                fail(path, "one of the choices \"" + pin.list + "\" or an integer", &value);
            }
            // A number names a choice by its value: one the list holds.
            if (!pin.list.empty() && value.is_number_integer() && value.get<std::int64_t>() >= INT32_MIN &&
                value.get<std::int64_t>() <= INT32_MAX &&
                !it_enum_list::IsValidValue(Utf8ToWstring(pin.list),
                                            static_cast<int>(value.get<std::int64_t>())))
                fail(path, "a value of the choices \"" + pin.list + "\"", &value);
            [[fallthrough]];
        default:
            return typedValue(value, pin.datatype, path);
        }
    }

    // The pin `name` of a module: "Name" (DSP half first, then GUI), or "gui.Name" /
    // "dsp.Name" for one half.
    PinRef pinOf(std::size_t moduleIndex, const std::string& name, const std::string& path) const
    {
        const PatchModule& module = patch.modules[moduleIndex];
        const ModuleDescription& description = *module.description;
        const auto lookup = [&](Half half, std::string_view pinName) -> std::optional<PinRef> {
            const auto& halfDescription = half == Half::Dsp ? description.dsp : description.gui;
            if (!halfDescription)
                return std::nullopt;
            if (const PinDescription* pin = findInstantiated(*halfDescription, module.duplicates, pinName))
                return PinRef{moduleIndex, half, std::string(pinName), pin};
            return std::nullopt;
        };
        for (const auto& [prefix, half] : {std::pair{"dsp.", Half::Dsp}, std::pair{"gui.", Half::Gui}})
            if (name.starts_with(prefix))
                if (auto pin = lookup(half, std::string_view(name).substr(4)))
                    return *pin;
        if (auto pin = lookup(Half::Dsp, name))
            return *pin;
        if (auto pin = lookup(Half::Gui, name))
            return *pin;
        std::string names;
        if (description.dsp)
            names += "DSP pins: " + pinNames(*description.dsp, module.duplicates);
        if (description.gui)
            names +=
                std::string(names.empty() ? "" : "; ") + "GUI pins: " + pinNames(*description.gui, module.duplicates);
        fail(path, "a pin of \"" + module.name + "\" (" + description.id + "; " + names + "), not \"" + name + "\"");
    }

    // "module.Pin".
    PinRef pinRef(const std::string& endpoint, const std::string& path, const Json* found) const
    {
        const auto dot = endpoint.find('.');
        if (dot == std::string::npos || dot == 0 || dot + 1 == endpoint.size())
            fail(path, "\"module.Pin\"", found);
        const std::string moduleName = endpoint.substr(0, dot);
        const int module = patch.findModule(moduleName);
        if (module < 0)
            fail(path, "the name of a module of this patch, not \"" + moduleName + "\"", found);
        return pinOf(static_cast<std::size_t>(module), endpoint.substr(dot + 1), path);
    }

    void connection(const Json& item, const std::string& path)
    {
        const std::string line = text(item, path);
        const auto arrow = line.find("->");
        if (arrow == std::string::npos)
            fail(path, "\"from.Pin -> to.Pin\"", &item);
        const auto trim = [](std::string s) {
            s.erase(0, s.find_first_not_of(' '));
            s.erase(s.find_last_not_of(' ') + 1);
            return s;
        };
        Connection connection{pinRef(trim(line.substr(0, arrow)), path, &item),
                              pinRef(trim(line.substr(arrow + 2)), path, &item)};
        const PinDescription& from = *connection.from.description;
        const PinDescription& to = *connection.to.description;
        const bool fromDsp = connection.from.half == Half::Dsp, toDsp = connection.to.half == Half::Dsp;
        if (fromDsp && from.isInput())
            fail(path, "a DSP output on the left (\"" + patch.describe(connection.from) + "\" is an input)", &item);
        if (toDsp && !to.isInput())
            fail(path, "a DSP input on the right (\"" + patch.describe(connection.to) + "\" is an output)", &item);
        if (!sameDatatype(from.datatype, to.datatype))
            fail(path,
                 "pins of one datatype (" + std::string(datatypeName(from.datatype)) + " to " +
                     std::string(datatypeName(to.datatype)) + ")",
                 &item);
        if ((!fromDsp || !toDsp) && (from.datatype == gmpi::MP_AUDIO || from.datatype == gmpi::MP_MIDI))
            fail(path, "audio and MIDI to connect DSP pins only", &item);
        for (const Connection& existing : patch.connections)
            if (existing.from == connection.from && existing.to == connection.to)
                fail(path, "a connection not made before", &item);
        patch.connections.push_back(std::move(connection));
    }

    std::size_t guiModule(const Json& value, const std::string& path) const
    {
        const int module = patch.findModule(text(value, path));
        if (module < 0)
            fail(path, "the name of a module of this patch", &value);
        if (!patch.modules[static_cast<std::size_t>(module)].description->gui)
            fail(path, "a module with a GUI half", &value);
        if (!patch.modules[static_cast<std::size_t>(module)].rect)
            fail(path, "a module with a \"rect\" on the panel", &value);
        return static_cast<std::size_t>(module);
    }

    GmpiDrawing_API::MP1_POINT point(const Json& value, const std::string& path) const
    {
        if (!value.is_array() || value.size() != 2)
            fail(path, "[x, y] in the module's own coordinates", &value);
        return {static_cast<float>(number(value[0], path + "[0]", -1e6, 1e6)),
                static_cast<float>(number(value[1], path + "[1]", -1e6, 1e6))};
    }

    void scriptEvent(const Json& item, const std::string& path)
    {
        if (!item.is_object())
            fail(path, "an object", &item);
        ScriptEvent event;
        event.time = time(member(item, path, "time"), path + ".time");
        event.sample = samples(event.time);
        if (item.contains("set")) {
            onlyKeys(item, path, {"time", "set", "value"});
            const Json& target = item["set"];
            event.kind = ScriptEvent::Kind::SetPin;
            event.pin = pinRef(text(target, path + ".set"), path + ".set", &target);
            if (event.pin.half == Half::Dsp &&
                (!event.pin.description->isInput() || event.pin.description->datatype == gmpi::MP_MIDI))
                fail(path + ".set", "a DSP input or a GUI pin", &target);
            if (event.pin.description->datatype == gmpi::MP_AUDIO)
                for (const Connection& connection : patch.connections)
                    if (connection.to == event.pin)
                        fail(path + ".set", "an audio input that is not connected (its level is the script's)",
                             &target);
            event.value = pinValue(member(item, path, "value"), *event.pin.description, path + ".value");
            patch.script.push_back(std::move(event));
        } else if (item.contains("pointer")) {
            onlyKeys(item, path, {"time", "pointer", "module", "at", "flags"});
            const std::string action = text(item["pointer"], path + ".pointer");
            if (action != "down" && action != "move" && action != "up")
                fail(path + ".pointer", "\"down\", \"move\" or \"up\"", &item["pointer"]);
            event.kind = ScriptEvent::Kind::Pointer;
            event.action =
                action == "down" ? PointerAction::Down : (action == "up" ? PointerAction::Up : PointerAction::Move);
            event.module = guiModule(member(item, path, "module"), path + ".module");
            event.point = point(member(item, path, "at"), path + ".at");
            event.flags = item.contains("flags") ? integer(item["flags"], path + ".flags", 0, INT32_MAX)
                                                 : (action == "move" ? 0 : gmpi_gui_api::GG_POINTER_FLAG_FIRSTBUTTON);
            patch.script.push_back(event);
        } else if (item.contains("drag")) {
            // Shorthand: down at "from", `steps` moves to "to" over `duration`, up at "to".
            onlyKeys(item, path, {"time", "drag", "from", "to", "duration", "steps"});
            event.kind = ScriptEvent::Kind::Pointer;
            event.module = guiModule(item["drag"], path + ".drag");
            const auto from = point(member(item, path, "from"), path + ".from");
            const auto to = point(member(item, path, "to"), path + ".to");
            const double duration =
                item.contains("duration") ? number(item["duration"], path + ".duration", 0.0, 3600.0) : 0.1;
            const int steps = item.contains("steps") ? integer(item["steps"], path + ".steps", 1, 1000) : 8;
            if (event.time + duration > patch.seconds)
                fail(path + ".duration", "a drag that ends within the render");
            const std::int32_t pressed = gmpi_gui_api::GG_POINTER_FLAG_FIRSTBUTTON;
            const auto at = [&](int step) {
                const float t = static_cast<float>(step) / static_cast<float>(steps);
                return GmpiDrawing_API::MP1_POINT{from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t};
            };
            for (int step = 0; step <= steps + 1; ++step) {
                ScriptEvent part = event;
                part.flags = pressed;
                part.action =
                    step == 0 ? PointerAction::Down : (step > steps ? PointerAction::Up : PointerAction::Move);
                part.point = at(std::min(step, steps));
                part.time = event.time + duration * std::min(step, steps) / steps;
                part.sample = samples(part.time);
                patch.script.push_back(part);
            }
        } else if (item.contains("context_menu")) {
            // A right click at "context_menu" and the choice of one item of the menu.
            onlyKeys(item, path, {"time", "module", "context_menu", "choose"});
            event.kind = ScriptEvent::Kind::ContextMenu;
            event.module = guiModule(member(item, path, "module"), path + ".module");
            event.point = point(item["context_menu"], path + ".context_menu");
            const Json& choice = member(item, path, "choose");
            if (choice.is_string())
                event.menuText = text(choice, path + ".choose");
            else if (choice.is_number_integer())
                event.menuId = integer(choice, path + ".choose", INT32_MIN, INT32_MAX);
            else
                fail(path + ".choose", "the id (an integer) or the text of a menu item", &choice);
            patch.script.push_back(event);
        } else if (item.contains("file_dialog")) {
            // The user's answer to the next file dialog: a path (relative ones from the
            // patch's folder) or null for a cancel.
            onlyKeys(item, path, {"time", "file_dialog"});
            const Json& answer = item["file_dialog"];
            event.kind = ScriptEvent::Kind::FileDialog;
            if (!answer.is_null()) {
                std::filesystem::path picked = text(answer, path + ".file_dialog");
                if (picked.empty())
                    fail(path + ".file_dialog", "a path, or null for a cancel", &answer);
                if (picked.is_relative() && !environment.patchFolder.empty())
                    picked = environment.patchFolder / picked;
                event.dialogAnswer = picked.lexically_normal().string();
            }
            patch.script.push_back(std::move(event));
        } else {
            fail(path, "a \"set\", \"pointer\", \"drag\", \"context_menu\" or \"file_dialog\" event", &item);
        }
    }

    const PatchEnvironment& environment;
    Patch patch;
};

}  // namespace

Patch parsePatch(std::string_view json, const std::string& source, const PatchEnvironment& environment)
{
    return PatchReader(source, environment).read(JsonReader::parse(json, source));
}

Patch loadPatch(const std::filesystem::path& file, PatchEnvironment environment)
{
    const std::string contents = readDocument(file, "patch");
    if (environment.patchFolder.empty())
        environment.patchFolder = file.parent_path();
    return parsePatch(contents, file.string(), environment);
}

}  // namespace mphost
