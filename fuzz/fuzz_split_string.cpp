// The skin-metadata tokenizer and the file-name helpers: total on any text, and every
// token is a piece of the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "text_utilities.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);  // may hold zero bytes
    std::vector<std::string> tokens;
    SplitString(text.c_str(), tokens);
    std::size_t total = 0;
    for (const auto& token : tokens) {
        if (token.empty())
            continue;
        if (text.find(token) == std::string::npos)
            std::abort();
        total += token.size();
    }
    if (total > text.size())
        std::abort();

    const std::string name = StripPath(text);
    const std::string folder = StripFilename_implementation(text);
    const std::string extension = GetExtension(text);
    if (name.size() > text.size() || folder.size() > text.size() || extension.size() > name.size())
        std::abort();
    StringToInt(text);
    return 0;
}
