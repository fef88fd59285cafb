// Conversions between UTF-8 and wide text (one 32-bit wchar_t per code point).
// Total: ill-formed input never throws; each maximal ill-formed subsequence of UTF-8,
// and each wide character that is a surrogate or above U+10FFFF, becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

std::string WStringToUtf8(std::wstring_view text);
std::wstring Utf8ToWstring(std::string_view text);
