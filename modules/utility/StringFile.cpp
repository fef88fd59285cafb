#include "StringFile.h"

#include <fstream>
#include <iterator>

#include "file_access.h"
#include "unicode_conversion.h"

std::optional<std::wstring> readTextFile(const std::wstring& fileName)
{
    std::ifstream file(WStringToUtf8(fileName), std::ios::binary);
    if (!file)
        return std::nullopt;
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return Utf8ToWstring(bytes);
}

bool writeTextFile(const std::wstring& fileName, const std::wstring& text)
{
    const std::string bytes = WStringToUtf8(text);
    std::string reason;
    return mp_files::replaceFile(WStringToUtf8(fileName), bytes.data(), bytes.size(), reason);
}
