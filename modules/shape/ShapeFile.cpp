#include "ShapeFile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "ShapeString.h"
#include "file_access.h"
#include "unicode_conversion.h"

namespace {

// The interpolation mode of the first "\nITP=" tag in `content`: the single character
// after it, '0' to '3'; -1 otherwise.
int interpolationTag(const std::wstring& content)
{
    const std::wstring tag = L"\nITP=";
    const std::size_t at = content.find(tag);
    if (at == std::wstring::npos || at + tag.size() >= content.size())
        return -1;
    const wchar_t mode = content[at + tag.size()];
    return mode >= L'0' && mode <= L'3' ? static_cast<int>(mode - L'0') : -1;
}

}  // namespace

std::optional<LoadedShape> loadShapeFile(const std::wstring& fileName)
{
    if (fileName.empty())
        return std::nullopt;
    const std::filesystem::path path(WStringToUtf8(fileName));
    // Only regular files: a folder reads nothing, and a pipe or device could block the
    // user-interface thread for good.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::wstring content;
    content.reserve(bytes.size());
    for (const char byte : bytes)
        content.push_back(static_cast<wchar_t>(static_cast<unsigned char>(byte)));

    Node nodes[maxShapeNodes];
    const int count = parseNodes(content, -5.0f, 5.0f, -5.0f, 5.0f, nodes);
    if (count == 0)
        return std::nullopt;
    ShapeWriter writer;
    return LoadedShape{writer.write(nodes, count), interpolationTag(content)};
}

bool saveShapeFile(const std::wstring& fileName, const std::wstring& shape, int interpolation)
{
    if (fileName.empty() || shape.empty())
        return false;
    Node nodes[maxShapeNodes];
    const int count = parseNodes(shape, -5.0f, 5.0f, -5.0f, 5.0f, nodes);
    if (count == 0)
        return false;  // an existing file is left as it is
    ShapeWriter writer;
    std::string bytes;
    for (const wchar_t c : writer.write(nodes, count))
        bytes.push_back(static_cast<char>(c));  // digits, signs, points, 'e', brackets: ASCII
    if (interpolation >= 0 && interpolation <= 3)
        bytes += "\nITP=" + std::to_string(interpolation);

    // A failed write leaves the previous file as it was.
    std::string reason;
    return mp_files::replaceFile(WStringToUtf8(fileName), bytes.data(), bytes.size(), reason);
}

std::wstring resolveShapeFileName(gmpi::IMpUserInterfaceHost2* host, const std::wstring& name)
{
    if (name.empty() || !host)
        return name;
    gmpi::IMpUserInterfaceHost* firstGeneration = nullptr;
    if (host->queryInterface(gmpi::MP_IID_UI_HOST, reinterpret_cast<void**>(&firstGeneration)) != gmpi::MP_OK ||
        !firstGeneration)
        return name;
    constexpr int capacity = 500;  // characters, terminator included
    wchar_t fullName[capacity] = {};
    const std::int32_t result = firstGeneration->resolveFilename(name.c_str(), capacity, fullName);
    firstGeneration->release();
    // A path without terminator inside the buffer was cut short and would name another file.
    const wchar_t* end = std::find(fullName, fullName + capacity, L'\0');
    if (result != gmpi::MP_OK || end == fullName || end == fullName + capacity)
        return name;
    return std::wstring(static_cast<const wchar_t*>(fullName), end);
}
