// What a skin image's metadata text says about the image: the kind of control, the size
// of one animation frame, the travel of a slider handle and so on.
//
// A metadata text is lines of "key value value ..." (lines end at LF, a CR before it is
// dropped; tokens as SplitString splits them). Keys are compared exactly; a line with an
// unknown key or too few values is ignored; numbers are decimal integers, also for the
// float fields ("1.5" reads as 1); later lines overwrite earlier ones. Parsing is total:
// any bytes, of any length, give a record and nothing is read past their end.
// User-interface thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mp_gui_api.h"
#include "mp_sdk_gui.h"

// Calls `line` with the tokens of every non-empty line of `size` bytes at `data` (no
// terminator needed; a NUL byte ends its line's text).
void ForEachMetadataLine(const char* data, std::size_t size,
                         const std::function<void(const std::vector<std::string>& tokens)>& line);

// Reads a whole host file: its size (slot 5), then that many bytes (slot 3). Empty when
// the file is null, reports a failure or a size beyond `maximumBytes`.
std::string ReadWholeFile(gmpi::IProtectedFile2* file, std::int64_t maximumBytes = 16 * 1024 * 1024);

// Control kinds of the "type" key.
enum ImageType : std::int32_t {
    ABT_SLIDER = 0,    // "slider": track in the first frame, a handle moved along it
    ABT_ANIMATED = 1,  // "knob", "animated": a vertical strip of frames
    ABT_BUTTON = 2,    // "button": a strip of states
    ABT_BARGRAPH = 3,  // "bargraph": segments lit from one end
};

struct ImageMetadata {
    std::int32_t type = ABT_ANIMATED;
    // One frame in pixels; the cache sets it to the bitmap's size before reading the file.
    std::int32_t frameWidth = 10;
    std::int32_t frameHeight = 10;
    // "padding a b c d" stores c, d, a, b here: the image is drawn moved right by
    // padding[0] and down by padding[2] pixels.
    float padding[4] = {0, 0, 0, 0};
    // Slider handle travel in pixels ("handle_range start end"); for bargraphs "segment
    // start end" (first offset and pixel length of one segment).
    std::int32_t handleRangeEnd = 50;
    std::int32_t handleRangeStart = 0;
    // How the pointer moves the control: 0 vertical, 1 horizontal, 2 circular, 3 rotary,
    // 4 stepped, 5 reversed vertical, -1 unset (see the letter rules in the parser).
    std::int32_t mouseResponse = -1;
    // Bargraph segment count ("segment_count", also "line_end_length").
    float segmentValue = 5.0f;
    // A pixel whose exact value marks transparency in old skins (-1: none).
    std::int32_t transparentPixelX = -1;
    std::int32_t transparentPixelY = -1;
    // Where the slider handle lies in the bitmap (pixels).
    float handleRect[4] = {0, 0, 10, 10};  // left, top, right, bottom
    // The loaded bitmap's size in pixels.
    std::uint32_t imageWidth = 0;
    std::uint32_t imageHeight = 0;

    // Back to the defaults above.
    void Reset() { *this = ImageMetadata(); }
    // Resets every field but the frame and image sizes, then reads and parses the whole
    // file (nothing more when it is null or unreadable).
    void Serialise(gmpi_sdk::mp_shared_ptr<gmpi::IProtectedFile2> file);
    // Applies the lines of `size` bytes at `data` on top of the current values.
    void Parse(const char* data, std::size_t size);

    // Whether the value moves a slider's handle vertically (mouse response 0 or 5).
    bool isVerticalSlider() const { return mouseResponse == 0 || mouseResponse == 5; }
};
