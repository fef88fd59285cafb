#include "unicode_conversion.h"

#include <cstdint>

namespace {

constexpr char32_t replacementCharacter = 0xFFFD;

bool isScalarValue(char32_t c)
{
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

void appendUtf8(std::string& out, char32_t c)
{
    if (!isScalarValue(c))
        c = replacementCharacter;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string WStringToUtf8(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const wchar_t c : text)
        appendUtf8(out, static_cast<char32_t>(static_cast<std::uint32_t>(c)));
    return out;
}

std::wstring Utf8ToWstring(std::string_view text)
{
    std::wstring out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out += static_cast<wchar_t>(lead);
            ++i;
            continue;
        }
        // Sequence length and the allowed range of the second byte (excludes overlong
        // forms, surrogates and values above U+10FFFF).
        int length = 0;
        unsigned char low = 0x80, high = 0xBF;
        char32_t c = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            c = lead & 0x0F;
            if (lead == 0xE0)
                low = 0xA0;
            if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            c = lead & 0x07;
            if (lead == 0xF0)
                low = 0x90;
            if (lead == 0xF4)
                high = 0x8F;
        } else {
            out += static_cast<wchar_t>(replacementCharacter);
            ++i;
            continue;
        }
        int taken = 1;
        for (; taken < length && i + taken < text.size(); ++taken) {
            const auto byte = static_cast<unsigned char>(text[i + taken]);
            const unsigned char minimum = taken == 1 ? low : 0x80;
            const unsigned char maximum = taken == 1 ? high : 0xBF;
            if (byte < minimum || byte > maximum)
                break;
            c = (c << 6) | (byte & 0x3F);
        }
        out += static_cast<wchar_t>(taken == length ? c : replacementCharacter);
        i += taken;
    }
    return out;
}
