#include "ImageMetadata.h"

#include <cctype>

#include "text_utilities.h"

void ForEachMetadataLine(const char* data, std::size_t size,
                         const std::function<void(const std::vector<std::string>& tokens)>& line)
{
    if (!data)
        return;
    std::vector<std::string> tokens;
    std::size_t start = 0;
    while (start < size) {
        std::size_t end = start;
        while (end < size && data[end] != '\n')
            ++end;
        std::size_t length = end - start;
        if (length > 0 && data[start + length - 1] == '\r')
            --length;
        // The tokenizer reads zero-terminated text: give it a terminated copy of the line.
        const std::string text(data + start, length);
        tokens.clear();
        SplitString(text.c_str(), tokens);
        if (!tokens.empty())
            line(tokens);
        start = end + 1;
    }
}

std::string ReadWholeFile(gmpi::IProtectedFile2* file, std::int64_t maximumBytes)
{
    std::string contents;
    if (!file)
        return contents;
    std::int64_t size = 0;
    if (file->getSize(&size) != gmpi::MP_OK || size <= 0 || size > maximumBytes)
        return contents;
    contents.resize(static_cast<std::size_t>(size));
    if (file->read(contents.data(), size) != gmpi::MP_OK)
        contents.clear();
    return contents;
}

namespace {

// The mouse response a value's first letter selects, or `current` for other letters.
std::int32_t mouseResponseFromText(const std::string& value, std::int32_t current)
{
    if (value.empty())
        return current;
    const char first = static_cast<char>(std::tolower(static_cast<unsigned char>(value[0])));
    switch (first) {
    case 'f': return 1;  // "false" (tiled)
    case 't': return 0;  // "true" (tiled)
    case 'h': return 1;  // horizontal
    case 'v': return 0;  // vertical
    case 'c': return 2;  // circular
    case 's': return 4;  // stepped
    case 'r':
        if (value.size() > 1 && std::tolower(static_cast<unsigned char>(value[1])) == 'e')
            return 5;  // reversed
        return 3;      // rotary
    default: return current;
    }
}

}  // namespace

void ImageMetadata::Parse(const char* data, std::size_t size)
{
    ForEachMetadataLine(data, size, [this](const std::vector<std::string>& tokens) {
        const std::string& key = tokens[0];
        const std::size_t values = tokens.size() - 1;
        const auto number = [&tokens](std::size_t i) { return StringToInt(tokens[i]); };
        if (key == "type" && values >= 1) {
            const std::string& value = tokens[1];
            if (value == "slider")
                type = ABT_SLIDER;
            else if (value == "knob" || value == "animated")
                type = ABT_ANIMATED;
            else if (value == "button")
                type = ABT_BUTTON;
            else if (value == "bargraph")
                type = ABT_BARGRAPH;
        } else if (key == "frame_size" && values >= 2) {
            frameWidth = number(1);
            frameHeight = number(2);
        } else if (key == "padding" && values >= 4) {
            padding[2] = static_cast<float>(number(1));
            padding[3] = static_cast<float>(number(2));
            padding[0] = static_cast<float>(number(3));
            padding[1] = static_cast<float>(number(4));
        } else if ((key == "handle_range" || key == "segment") && values >= 2) {
            handleRangeStart = number(1);
            handleRangeEnd = number(2);
        } else if ((key == "orientation" || key == "tiled" || key == "mouse_response") && values >= 1) {
            mouseResponse = mouseResponseFromText(tokens[1], mouseResponse);
        } else if ((key == "line_end_length" || key == "segment_count") && values >= 1) {
            segmentValue = static_cast<float>(number(1));
        } else if (key == "transparent_pixel" && values >= 2) {
            transparentPixelX = number(1);
            transparentPixelY = number(2);
        } else if (key == "handle_rect" && values >= 4) {
            for (int i = 0; i < 4; ++i)
                handleRect[i] = static_cast<float>(number(static_cast<std::size_t>(i) + 1));
        }
    });
}

void ImageMetadata::Serialise(gmpi_sdk::mp_shared_ptr<gmpi::IProtectedFile2> file)
{
    // The frame size set from the bitmap stays: a file without "frame_size" means one frame.
    const std::int32_t width = frameWidth, height = frameHeight;
    const std::uint32_t pixelsWide = imageWidth, pixelsHigh = imageHeight;
    Reset();
    frameWidth = width;
    frameHeight = height;
    imageWidth = pixelsWide;
    imageHeight = pixelsHigh;
    const std::string contents = ReadWholeFile(file.get());
    Parse(contents.data(), contents.size());
}
