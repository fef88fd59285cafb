// Whole-file text reading and writing shared by the string loader and saver. Files hold
// UTF-8 text; line ends pass through unchanged; ill-formed UTF-8 reads as U+FFFD.
#pragma once

#include <optional>
#include <string>

// The file's text, or nothing when it cannot be opened.
std::optional<std::wstring> readTextFile(const std::wstring& fileName);
// Writes `text` without terminator or added line end, replacing the file; false when it
// cannot be written (the previous file then stays as it was).
bool writeTextFile(const std::wstring& fileName, const std::wstring& text);
