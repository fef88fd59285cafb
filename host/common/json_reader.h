// Reading JSON documents that people write (module descriptions, patches): every check
// names the source, the JSON path of the fault ("$.modules[2].id") and what was expected.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/host_error.h"
#include "common/pin_value.h"
#include "mp_api.h"
#include "unicode_conversion.h"

namespace mphost {

class JsonReader {
public:
    using Json = nlohmann::json;

    explicit JsonReader(std::string source) : source(std::move(source)) {}

    // Throws HostError "<source>: <path>: expected <expected>[, found <type> <value>]".
    [[noreturn]] void fail(const std::string& path, const std::string& expected, const Json* found = nullptr) const
    {
        std::string message = source + ": " + path + ": expected " + expected;
        if (found)
            message += ", found " + describe(*found);
        throw HostError(message);
    }

    const Json& member(const Json& object, const std::string& path, const char* key) const
    {
        const auto it = object.find(key);
        if (it == object.end())
            fail(path, std::string("member \"") + key + "\"");
        return *it;
    }

    std::string text(const Json& value, const std::string& path, bool allowEmpty = false) const
    {
        if (!value.is_string())
            fail(path, "a string", &value);
        std::string result = value.get<std::string>();
        if (!allowEmpty && result.empty())
            fail(path, "a non-empty string", &value);
        return result;
    }

    // A pin value of type `datatype` (gmpi::MP_*) written in JSON: integers within 32 bits,
    // numbers within the float range, booleans, text, and hexadecimal text for blobs and MIDI.
    PinValue typedValue(const Json& value, int datatype, const std::string& path) const
    {
        switch (datatype) {
        case gmpi::MP_ENUM:
        case gmpi::MP_INT32:
            if (!value.is_number_integer() ||
                (value.is_number_unsigned() ? value.get<std::uint64_t>() > INT32_MAX
                                            : (value.get<std::int64_t>() < INT32_MIN ||
                                               value.get<std::int64_t>() > INT32_MAX)))
                fail(path, "a 32-bit integer", &value);
            return static_cast<std::int32_t>(value.get<std::int64_t>());
        case gmpi::MP_FLOAT32:
        case gmpi::MP_AUDIO:
            if (!value.is_number() || !std::isfinite(value.get<double>()) ||
                std::abs(value.get<double>()) > std::numeric_limits<float>::max())
                fail(path, "a number in the float range", &value);
            return static_cast<float>(value.get<double>());
        case gmpi::MP_BOOL:
            if (!value.is_boolean())
                fail(path, "true or false", &value);
            return value.get<bool>();
        case gmpi::MP_STRING: return Utf8ToWstring(text(value, path, true));
        default:
            try {
                return parsePinValue(datatype, text(value, path, true));
            } catch (const HostError&) {
                fail(path, "hexadecimal bytes", &value);
            }
        }
    }

    void onlyKeys(const Json& object, const std::string& path, std::initializer_list<const char*> allowed) const
    {
        if (!object.is_object())
            fail(path, "an object", &object);
        for (const auto& [key, value] : object.items()) {
            bool known = false;
            for (const char* name : allowed)
                known |= key == name;
            if (!known) {
                std::string names;
                for (const char* name : allowed)
                    names += std::string(names.empty() ? "" : ", ") + "\"" + name + "\"";
                fail(path + "." + key, "one of the members " + names);
            }
        }
    }

    // Deepest nesting of arrays and objects a document may have: people's files are a few
    // levels deep, and bounding it keeps every later walk of the value off the stack limit.
    static constexpr int maxDepth = 256;

    // Parses `json`; syntax errors (and numbers beyond any type), nesting deeper than
    // maxDepth and a key given twice in one object become HostError naming the source.
    static Json parse(std::string_view json, const std::string& source)
    {
        // The JSON path of the value being parsed, kept from the parser's events.
        struct Level {
            bool array = false;
            std::size_t index = 0;  // arrays: the element being parsed
            std::string key;        // objects: the member being parsed
            std::vector<std::string> keys;
        };
        std::vector<Level> levels;
        const auto pathOf = [&levels](std::size_t count) {
            std::string path = "$";
            for (std::size_t i = 0; i < count; ++i)
                path += levels[i].array ? std::string("[").append(std::to_string(levels[i].index)).append("]")
                                        : std::string(".").append(levels[i].key);
            return path;
        };
        // A value ends: the next element of an enclosing array starts.
        const auto valueDone = [&levels] {
            if (!levels.empty() && levels.back().array)
                ++levels.back().index;
        };
        const Json::parser_callback_t track = [&](int depth, Json::parse_event_t event, Json& parsed) {
            switch (event) {
            case Json::parse_event_t::object_start:
            case Json::parse_event_t::array_start:
                if (depth >= maxDepth) {
                    std::string path = pathOf(levels.size());
                    if (path.size() > 60)
                        path = path.substr(0, 57) + "...";
                    throw HostError(source + ": " + path + ": nested deeper than " + std::to_string(maxDepth) +
                                    " levels");
                }
                levels.push_back(Level{event == Json::parse_event_t::array_start, 0, {}, {}});
                break;
            case Json::parse_event_t::key: {
                Level& level = levels.back();
                level.key = parsed.get<std::string>();
                if (std::find(level.keys.begin(), level.keys.end(), level.key) != level.keys.end())
                    throw HostError(source + ": " + pathOf(levels.size()) + ": member given twice in one object");
                level.keys.push_back(level.key);
                break;
            }
            case Json::parse_event_t::object_end:
            case Json::parse_event_t::array_end:
                levels.pop_back();
                valueDone();
                break;
            case Json::parse_event_t::value: valueDone(); break;
            }
            return true;
        };
        try {
            return Json::parse(json.begin(), json.end(), track);
        } catch (const Json::exception& error) {
            throw HostError(source + ": not valid JSON: " + error.what());
        }
    }

    const std::string& sourceName() const { return source; }

private:
    // The type and, for a number, a boolean or a short text, the value; containers are
    // named by type and size only (a whole value can be enormous, or deeply nested).
    static std::string describe(const Json& value)
    {
        std::string text;
        if (value.is_array())
            text = value.empty() ? "[]" : std::string("of ").append(std::to_string(value.size())).append(" elements");
        else if (value.is_object())
            text = value.empty() ? "{}" : std::string("of ").append(std::to_string(value.size())).append(" members");
        else
            text = value.dump(-1, ' ', false, Json::error_handler_t::replace);
        if (text.size() > 60)
            text = text.substr(0, 57) + "...";
        return std::string(value.type_name()) + " " + text;
    }

    std::string source;
};

}  // namespace mphost
