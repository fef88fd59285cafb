// Reading JSON documents that people write (module descriptions, patches): every check
// names the source, the JSON path of the fault ("$.modules[2].id") and what was expected.
#pragma once

#include <initializer_list>
#include <string>

#include <nlohmann/json.hpp>

#include "common/host_error.h"

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

    // Parses `json`; syntax errors (and numbers beyond any type) become HostError naming the source.
    static Json parse(std::string_view json, const std::string& source)
    {
        try {
            return Json::parse(json.begin(), json.end());
        } catch (const Json::exception& error) {
            throw HostError(source + ": not valid JSON: " + error.what());
        }
    }

    const std::string& sourceName() const { return source; }

private:
    static std::string describe(const Json& value)
    {
        std::string text = value.dump(-1, ' ', false, Json::error_handler_t::replace);
        if (text.size() > 60)
            text = text.substr(0, 57) + "...";
        return std::string(value.type_name()) + " " + text;
    }

    std::string source;
};

}  // namespace mphost
