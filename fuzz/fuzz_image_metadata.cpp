// Image metadata texts of any size and content: parsed without reading past their end
// (AddressSanitizer watches an exactly sized copy), and every field stays in range.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ImageMetadata.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // An exact copy without terminator, so a read past the end is caught.
    std::unique_ptr<char[]> bytes(new char[size ? size : 1]);
    if (size)
        std::memcpy(bytes.get(), data, size);
    ImageMetadata metadata;
    metadata.frameWidth = 64;
    metadata.frameHeight = 64;
    metadata.Parse(bytes.get(), size);
    if (metadata.type < 0 || metadata.type > 3)
        std::abort();
    if (metadata.mouseResponse < -1 || metadata.mouseResponse > 5)
        std::abort();
    // Line by line, the same text gives the same tokens each time.
    std::size_t lines = 0;
    ForEachMetadataLine(bytes.get(), size, [&lines](const std::vector<std::string>& tokens) {
        if (tokens.empty())
            std::abort();
        ++lines;
    });
    if (lines > size)
        std::abort();
    return 0;
}
