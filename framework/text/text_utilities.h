// Small text functions shared by bundles and the host: integer parsing, the tokenizer of
// skin metadata lines and file-name splitting. All are total: any input gives a result.
#pragma once

#include <string>
#include <vector>

// Decimal integer at the start of `s` (leading white space and a sign accepted, reading
// stops at the first non-digit); 0 when there is no number. Values beyond the int range
// are clamped to it.
int StringToInt(const std::string& s);

// Appends the tokens of `text` to `out` (a null `text` adds nothing). Tokens are separated
// by white space or one comma; a token opened by a double or single quote runs to the
// matching quote (or the end) and may hold spaces and commas; two commas in a row give an
// empty token. "a b", "a,b", "a , b" and "a, b" each give a and b.
void SplitString(const char* text, std::vector<std::string>& out);

// The file name of `path`: the text after the last backslash, or, when there is none,
// after the last slash; the whole text when there is neither.
std::string StripPath(const std::string& path);

// The folder part of `path`: the text before the separator StripPath uses (without it);
// the whole text when there is none.
std::string StripFilename_implementation(const std::string& path);

// The extension of `path` without its dot: the text after the last "." that follows the
// last "/" or "\"; empty when there is none.
std::string GetExtension(const std::string& path);
