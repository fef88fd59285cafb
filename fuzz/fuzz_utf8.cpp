// UTF-8 and wide text conversions: total on any input, and the wide -> UTF-8 -> wide
// round trip is stable after one pass.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "unicode_conversion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::wstring wide = Utf8ToWstring(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string utf8 = WStringToUtf8(wide);
    if (Utf8ToWstring(utf8) != wide)
        std::abort();

    std::wstring arbitrary(size / sizeof(wchar_t), L'\0');
    if (!arbitrary.empty())
        std::memcpy(arbitrary.data(), data, arbitrary.size() * sizeof(wchar_t));
    const std::string converted = WStringToUtf8(arbitrary);
    if (WStringToUtf8(Utf8ToWstring(converted)) != converted)
        std::abort();
    return 0;
}
