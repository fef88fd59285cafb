#include "StringFile.h"

#include <fstream>
#include <iterator>

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
    std::ofstream file(WStringToUtf8(fileName), std::ios::binary | std::ios::trunc);
    if (!file)
        return false;
    const std::string bytes = WStringToUtf8(text);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}
