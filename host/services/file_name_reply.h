// The reply of both hosts' file-name resolution: a resolved path written into the caller's
// wide-character buffer of `maxChars` characters, terminator included.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>

#include "mp_api.h"
#include "unicode_conversion.h"

namespace mphost {

// Writes `full` and a terminator into `buffer`; MP_FAIL with an empty text when it does
// not fit, since a cut path would name another file.
inline std::int32_t replyFileName(const std::filesystem::path& full, std::int32_t maxChars, wchar_t* buffer)
{
    const std::wstring text = Utf8ToWstring(full.string());
    if (text.size() + 1 > static_cast<std::size_t>(maxChars)) {
        buffer[0] = L'\0';
        return gmpi::MP_FAIL;
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = L'\0';
    return gmpi::MP_OK;
}

}  // namespace mphost
