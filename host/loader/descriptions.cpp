#include "loader/descriptions.h"

#include <cmath>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "common/host_error.h"
#include "common/json_reader.h"
#include "mp_api.h"
#include "common/file_access.h"
#include "unicode_conversion.h"

namespace mphost {

const PinDescription* HalfDescription::find(std::string_view name) const
{
    for (const auto& pin : pins)
        if (pin.name == name)
            return &pin;
    return nullptr;
}

std::wstring ModuleDescription::wideId() const
{
    return Utf8ToWstring(id);
}

const ModuleDescription* BundleDescription::find(std::string_view id) const
{
    for (const auto& module : modules)
        if (module.id == id)
            return &module;
    return nullptr;
}

namespace {

using Json = nlohmann::json;

// Walks a parsed document, checking shapes and naming the JSON path of any fault.
class Reader : public JsonReader {
public:
    using JsonReader::JsonReader;

    HalfDescription half(const Json& object, const std::string& path, int defaultSubType) const
    {
        onlyKeys(object, path, {"subType", "pins", "allocatesInProcess", "differsByInstance"});
        HalfDescription result;
        result.subType = defaultSubType;
        if (const auto it = object.find("subType"); it != object.end()) {
            if (!it->is_number_integer() || (defaultSubType == 0 ? *it != 0 : (*it != 1 && *it != 2)))
                fail(path + ".subType", defaultSubType == 0 ? "0" : "1 or 2", &*it);
            result.subType = it->get<int>();
        }
        if (const auto it = object.find("allocatesInProcess"); it != object.end()) {
            if (!it->is_boolean())
                fail(path + ".allocatesInProcess", "true or false", &*it);
            result.allocatesInProcess = it->get<bool>();
        }
        if (const auto it = object.find("differsByInstance"); it != object.end()) {
            if (!it->is_boolean())
                fail(path + ".differsByInstance", "true or false", &*it);
            result.differsByInstance = it->get<bool>();
        }
        const Json& pins = member(object, path, "pins");
        if (!pins.is_array())
            fail(path + ".pins", "an array", &pins);
        std::set<std::string> names;
        for (std::size_t i = 0; i < pins.size(); ++i) {
            const std::string pinPath = path + ".pins[" + std::to_string(i) + "]";
            PinDescription pin = this->pin(pins[i], pinPath);
            if (!names.insert(pin.name).second)
                fail(pinPath + ".name", "a pin name not used before in this half", &pins[i]["name"]);
            if (!pin.autoDuplicate && !result.pins.empty() && result.pins.back().autoDuplicate)
                fail(pinPath, "auto-duplicated pins to come last");
            result.pins.push_back(std::move(pin));
        }
        return result;
    }

    PinDescription pin(const Json& object, const std::string& path) const
    {
        onlyKeys(object, path, {"name", "type", "direction", "default", "list", "autoDuplicate"});
        PinDescription pin;
        pin.name = text(member(object, path, "name"), path + ".name");
        const Json& type = member(object, path, "type");
        pin.datatype = datatypeFromName(type.is_string() ? type.get<std::string>() : std::string());
        if (pin.datatype < 0)
            fail(path + ".type", "one of enum, text, midi, bool, audio, float, int, blob", &type);
        const std::string direction = text(member(object, path, "direction"), path + ".direction");
        if (direction != "in" && direction != "out")
            fail(path + ".direction", "\"in\" or \"out\"", &object["direction"]);
        pin.direction = direction == "in" ? gmpi::MP_IN : gmpi::MP_OUT;
        pin.defaultValue = zeroValue(pin.datatype);
        if (const auto it = object.find("default"); it != object.end())
            pin.defaultValue = typedValue(*it, pin.datatype, path + ".default");
        if (const auto it = object.find("list"); it != object.end()) {
            if (pin.datatype != gmpi::MP_ENUM && pin.datatype != gmpi::MP_STRING && pin.datatype != gmpi::MP_INT32)
                fail(path + ".list", "no list on a " + std::string(datatypeName(pin.datatype)) + " pin");
            pin.list = text(*it, path + ".list", true);
        }
        if (const auto it = object.find("autoDuplicate"); it != object.end()) {
            if (!it->is_boolean())
                fail(path + ".autoDuplicate", "true or false", &*it);
            pin.autoDuplicate = it->get<bool>();
        }
        return pin;
    }

    DocsHints docs(const Json& object, const std::string& path) const
    {
        onlyKeys(object, path, {"plot", "in", "out", "values", "range", "size"});
        DocsHints hints;
        if (const auto it = object.find("plot"); it != object.end()) {
            hints.plot = text(*it, path + ".plot");
            static const std::set<std::string> kinds = {"response", "transfer", "waveform", "signal", "none"};
            if (!kinds.count(hints.plot))
                fail(path + ".plot", "one of response, transfer, waveform, signal, none", &*it);
        }
        if (const auto it = object.find("in"); it != object.end())
            hints.in = text(*it, path + ".in");
        if (const auto it = object.find("out"); it != object.end())
            hints.out = text(*it, path + ".out");
        if (const auto it = object.find("values"); it != object.end()) {
            if (!it->is_object())
                fail(path + ".values", "an object of pin values", &*it);
            for (const auto& [name, value] : it->items()) {
                if (value.is_string())
                    hints.values.emplace_back(name, value.get<std::string>());
                else if (value.is_number() || value.is_boolean())
                    hints.values.emplace_back(name, value.dump());
                else
                    fail(path + ".values." + name, "a number, true, false or a text", &value);
            }
        }
        if (const auto it = object.find("range"); it != object.end()) {
            if (!it->is_array() || it->size() != 2 || !(*it)[0].is_number() || !(*it)[1].is_number() ||
                !((*it)[0].get<double>() < (*it)[1].get<double>()))
                fail(path + ".range", "[low, high] with low < high", &*it);
            hints.range = std::pair{(*it)[0].get<float>(), (*it)[1].get<float>()};
        }
        if (const auto it = object.find("size"); it != object.end()) {
            const auto side = [](const Json& v) { return v.is_number_integer() && v.get<std::int64_t>() >= 1 && v.get<std::int64_t>() <= 2000; };
            if (!it->is_array() || it->size() != 2 || !side((*it)[0]) || !side((*it)[1]))
                fail(path + ".size", "[width, height] in whole pixels from 1 to 2000", &*it);
            hints.size = std::pair{(*it)[0].get<int>(), (*it)[1].get<int>()};
        }
        return hints;
    }

    ModuleDescription module(const Json& object, const std::string& path) const
    {
        onlyKeys(object, path, {"id", "summary", "badInput", "docs", "dsp", "gui", "links"});
        ModuleDescription module;
        module.id = text(member(object, path, "id"), path + ".id");
        if (const auto it = object.find("summary"); it != object.end())
            module.summary = text(*it, path + ".summary");
        if (const auto it = object.find("badInput"); it != object.end())
            module.badInput = text(*it, path + ".badInput");
        if (const auto it = object.find("docs"); it != object.end())
            module.docs = docs(*it, path + ".docs");
        if (const auto it = object.find("dsp"); it != object.end())
            module.dsp = half(*it, path + ".dsp", 0);
        if (const auto it = object.find("gui"); it != object.end())
            module.gui = half(*it, path + ".gui", 2);
        if (!module.dsp && !module.gui)
            fail(path, "a \"dsp\" or a \"gui\" half");
        if (const auto it = object.find("links"); it != object.end()) {
            if (!it->is_array())
                fail(path + ".links", "an array", &*it);
            for (std::size_t i = 0; i < it->size(); ++i) {
                const std::string linkPath = path + ".links[" + std::to_string(i) + "]";
                const Json& link = (*it)[i];
                onlyKeys(link, linkPath, {"dsp", "gui"});
                PinLink pinLink{text(member(link, linkPath, "dsp"), linkPath + ".dsp"),
                                text(member(link, linkPath, "gui"), linkPath + ".gui")};
                if (!module.dsp || !module.dsp->find(pinLink.dspPin))
                    fail(linkPath + ".dsp", "the name of a DSP pin of this module", &link["dsp"]);
                if (!module.gui || !module.gui->find(pinLink.guiPin))
                    fail(linkPath + ".gui", "the name of a GUI pin of this module", &link["gui"]);
                module.links.push_back(std::move(pinLink));
            }
        }
        return module;
    }

    BundleDescription document(const Json& root) const
    {
        onlyKeys(root, "$", {"bundle", "modules"});
        BundleDescription result;
        result.bundle = text(member(root, "$", "bundle"), "$.bundle");
        const Json& modules = member(root, "$", "modules");
        if (!modules.is_array())
            fail("$.modules", "an array", &modules);
        std::set<std::string> ids;
        for (std::size_t i = 0; i < modules.size(); ++i) {
            const std::string path = "$.modules[" + std::to_string(i) + "]";
            ModuleDescription module = this->module(modules[i], path);
            if (!ids.insert(module.id).second)
                fail(path + ".id", "an identifier not used before in this file", &modules[i]["id"]);
            result.modules.push_back(std::move(module));
        }
        return result;
    }

};

}  // namespace

BundleDescription BundleDescription::parse(std::string_view json, const std::string& source)
{
    return Reader(source).document(JsonReader::parse(json, source));
}

BundleDescription BundleDescription::loadFile(const std::filesystem::path& path)
{
    return parse(readDocument(path, "module descriptions"), path.string());
}

std::filesystem::path BundleDescription::pathBeside(const std::filesystem::path& bundlePath)
{
    std::filesystem::path result = bundlePath;
    result.replace_extension(".json");
    return result;
}

}  // namespace mphost
