#include "common/pin_value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "common/host_error.h"
#include "mp_api.h"
#include "unicode_conversion.h"

namespace mphost {

PinValue zeroValue(int datatype)
{
    switch (datatype) {
    case gmpi::MP_ENUM:
    case gmpi::MP_INT32: return std::int32_t{0};
    case gmpi::MP_FLOAT32:
    case gmpi::MP_AUDIO: return 0.0f;
    case gmpi::MP_BOOL: return false;
    case gmpi::MP_STRING: return std::wstring{};
    default: return Bytes{};
    }
}

bool holdsDatatype(const PinValue& value, int datatype)
{
    return value.index() == zeroValue(datatype).index();
}

Bytes encodePinValue(const PinValue& value)
{
    return std::visit(
        [](const auto& v) -> Bytes {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, Bytes>) {
                return v;
            } else if constexpr (std::is_same_v<T, std::wstring>) {
                Bytes bytes(v.size() * sizeof(wchar_t));
                if (!v.empty())
                    std::memcpy(bytes.data(), v.data(), bytes.size());
                return bytes;
            } else if constexpr (std::is_same_v<T, bool>) {
                return Bytes{static_cast<std::uint8_t>(v ? 1 : 0)};
            } else {
                Bytes bytes(sizeof v);
                std::memcpy(bytes.data(), &v, sizeof v);
                return bytes;
            }
        },
        value);
}

PinValue decodePinValue(int datatype, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    switch (datatype) {
    case gmpi::MP_ENUM:
    case gmpi::MP_INT32: {
        std::int32_t v = 0;
        if (size > 0)  // an empty payload may come without a buffer
            std::memcpy(&v, bytes, std::min(size, sizeof v));
        return v;
    }
    case gmpi::MP_FLOAT32:
    case gmpi::MP_AUDIO: {
        float v = 0;
        if (size > 0)
            std::memcpy(&v, bytes, std::min(size, sizeof v));
        return v;
    }
    case gmpi::MP_BOOL: {
        if (size == 4) {
            std::int32_t word = 0;
            std::memcpy(&word, bytes, 4);
            return word != 0;
        }
        return size > 0 && bytes[0] != 0;
    }
    case gmpi::MP_STRING: {
        std::wstring text(size / sizeof(wchar_t), L'\0');
        if (!text.empty())
            std::memcpy(text.data(), bytes, text.size() * sizeof(wchar_t));
        return text;
    }
    default: return Bytes(bytes, bytes + size);
    }
}

void decodePinValueInto(PinValue& value, int datatype, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (datatype == gmpi::MP_STRING) {
        if (auto* text = std::get_if<std::wstring>(&value)) {
            const std::size_t length = size / sizeof(wchar_t);
            reserveGrowing(*text, length);
            text->resize(length);
            if (!text->empty())
                std::memcpy(text->data(), bytes, text->size() * sizeof(wchar_t));
            return;
        }
    } else if (datatype == gmpi::MP_BLOB || datatype == gmpi::MP_MIDI) {
        if (auto* blob = std::get_if<Bytes>(&value)) {
            reserveGrowing(*blob, size);
            blob->assign(bytes, bytes + size);
            return;
        }
    }
    value = decodePinValue(datatype, data, size);
}

std::string formatPinValue(const PinValue& value)
{
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, Bytes>) {
                static const char digits[] = "0123456789abcdef";
                std::string text;
                for (const std::uint8_t b : v) {
                    text += digits[b >> 4];
                    text += digits[b & 15];
                }
                return text;
            } else if constexpr (std::is_same_v<T, std::wstring>) {
                return WStringToUtf8(v);
            } else if constexpr (std::is_same_v<T, bool>) {
                return v ? "true" : "false";
            } else if constexpr (std::is_same_v<T, float>) {
                char buffer[32];
                const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
                return std::string(buffer, end);
            } else {
                return std::to_string(v);
            }
        },
        value);
}

namespace {

[[noreturn]] void refuse(int datatype, std::string_view text)
{
    throw HostError("expected " + std::string(datatypeName(datatype)) + " value, found \"" + std::string(text) +
                    "\"");
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

PinValue parsePinValue(int datatype, std::string_view text)
{
    switch (datatype) {
    case gmpi::MP_ENUM:
    case gmpi::MP_INT32: {
        std::int32_t v = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (error != std::errc() || end != text.data() + text.size() || text.empty())
            refuse(datatype, text);
        return v;
    }
    case gmpi::MP_FLOAT32:
    case gmpi::MP_AUDIO: {
        float v = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (error != std::errc() || end != text.data() + text.size() || text.empty())
            refuse(datatype, text);
        return v;
    }
    case gmpi::MP_BOOL:
        if (text == "true" || text == "1")
            return true;
        if (text == "false" || text == "0")
            return false;
        refuse(datatype, text);
    case gmpi::MP_STRING: return Utf8ToWstring(text);
    case gmpi::MP_BLOB:
    case gmpi::MP_MIDI: {
        if (text.size() % 2 != 0)
            refuse(datatype, text);
        Bytes bytes;
        for (std::size_t i = 0; i < text.size(); i += 2) {
            const int high = hexDigit(text[i]), low = hexDigit(text[i + 1]);
            if (high < 0 || low < 0)
                refuse(datatype, text);
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        }
        return bytes;
    }
    default: throw HostError("unknown pin datatype " + std::to_string(datatype));
    }
}

namespace {
struct DatatypeName {
    int code;
    std::string_view name;
};
constexpr DatatypeName datatypeNames[] = {
    {gmpi::MP_ENUM, "enum"},   {gmpi::MP_STRING, "text"},   {gmpi::MP_MIDI, "midi"}, {gmpi::MP_BOOL, "bool"},
    {gmpi::MP_AUDIO, "audio"}, {gmpi::MP_FLOAT32, "float"}, {gmpi::MP_INT32, "int"}, {gmpi::MP_BLOB, "blob"},
};
}  // namespace

std::string_view datatypeName(int datatype)
{
    for (const auto& entry : datatypeNames)
        if (entry.code == datatype)
            return entry.name;
    return {};
}

int datatypeFromName(std::string_view name)
{
    for (const auto& entry : datatypeNames)
        if (entry.name == name)
            return entry.code;
    return -1;
}

}  // namespace mphost
