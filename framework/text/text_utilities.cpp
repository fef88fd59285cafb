#include "text_utilities.h"

#include <cctype>
#include <climits>
#include <cstdlib>

int StringToInt(const std::string& s)
{
    const long value = std::strtol(s.c_str(), nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

namespace {

bool isSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool isQuote(char c)
{
    return c == '"' || c == '\'';
}

}  // namespace

void SplitString(const char* text, std::vector<std::string>& out)
{
    if (!text)
        return;
    const char* p = text;
    while (true) {
        while (*p && isSpace(*p))
            ++p;
        if (!*p)
            return;

        if (isQuote(*p)) {
            const char quote = *p++;
            const char* start = p;
            while (*p && *p != quote)
                ++p;
            out.emplace_back(start, p);
            if (*p)
                ++p;  // the closing quote
            continue;
        }

        const char* start = p;
        while (*p && !isSpace(*p) && *p != ',' && !isQuote(*p))
            ++p;
        out.emplace_back(start, p);
        if (*p == ',') {
            ++p;
        } else if (*p && isSpace(*p)) {
            // Spaces and at most one comma separate this token from the next.
            while (*p && (isSpace(*p) || *p == ',')) {
                if (*p++ == ',')
                    break;
            }
        }
    }
}

namespace {

// Position of the separator StripPath splits at, or npos.
std::string::size_type pathSeparator(const std::string& path)
{
    const auto backslash = path.rfind('\\');
    return backslash != std::string::npos ? backslash : path.rfind('/');
}

}  // namespace

std::string StripPath(const std::string& path)
{
    const auto separator = pathSeparator(path);
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string StripFilename_implementation(const std::string& path)
{
    const auto separator = pathSeparator(path);
    return separator == std::string::npos ? path : path.substr(0, separator);
}

std::string GetExtension(const std::string& path)
{
    const auto lastSeparator = path.find_last_of("/\\");
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || (lastSeparator != std::string::npos && dot < lastSeparator))
        return {};
    return path.substr(dot + 1);
}
