// Global font files of any size and content: parsed without reading past their end, every
// record has a lower-case category and at least one family, and lookups always answer.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "FontCache.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::unique_ptr<char[]> bytes(new char[size ? size : 1]);
    if (size)
        std::memcpy(bytes.get(), data, size);
    SkinMetadata skin;
    skin.Parse(bytes.get(), size);
    for (const FontMetadata& font : skin.fonts()) {
        if (font.families.empty())
            std::abort();
        for (const char c : font.category)
            if (std::tolower(static_cast<unsigned char>(c)) != static_cast<unsigned char>(c))
                std::abort();
        const FontMetadata* found = skin.getFont(font.category);
        if (!found || found->category != font.category)
            std::abort();
        if ((font.fontColor >> 24) != 0xFF)
            std::abort();
        (void)font.getLegacyVerticalOffset();
    }
    if (!skin.getFont(std::string(reinterpret_cast<const char*>(data), size)))
        std::abort();
    return 0;
}
