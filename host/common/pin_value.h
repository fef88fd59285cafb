// Typed pin values as the host handles them, and their wire form (the bytes of an
// MpEvent payload or of a published value).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace mphost {

using Bytes = std::vector<std::uint8_t>;

// Makes room for `size` elements in `container`, at least doubling what it holds when it
// must grow: a value that keeps growing by a little reallocates only now and then.
template <class Container>
void reserveGrowing(Container& container, std::size_t size)
{
    if (size > container.capacity())
        container.reserve(std::max(size, 2 * container.capacity()));
}

// int32 for int and enum pins, float for float and audio pins (an audio value is the
// constant of a static signal), bool, wide text, bytes for blob and MIDI pins.
using PinValue = std::variant<std::int32_t, float, bool, std::wstring, Bytes>;

// The zero value of a datatype (an MpPinDatatype code).
PinValue zeroValue(int datatype);
// Whether `value` has the alternative that `datatype` uses.
bool holdsDatatype(const PinValue& value, int datatype);
// Wire form: 4 bytes for int32 and float, 1 byte for bool, 4 bytes per character for
// text (no terminator), the bytes themselves for blobs and MIDI.
Bytes encodePinValue(const PinValue& value);
// Reads a published value of `datatype`; short payloads are zero-extended, text keeps
// whole characters.
PinValue decodePinValue(int datatype, const void* data, std::size_t size);
// The same, written over `value`: text and bytes reuse the memory `value` already holds, so
// a value no longer than the last one allocates nothing (for the audio thread).
void decodePinValueInto(PinValue& value, int datatype, const void* data, std::size_t size);

// Text forms for patches and the command line: numbers in decimal, bools as true/false,
// text as UTF-8, bytes as hexadecimal pairs.
std::string formatPinValue(const PinValue& value);
// Parses `text` as a value of `datatype`; throws HostError naming what was expected.
PinValue parsePinValue(int datatype, std::string_view text);

// "enum", "text", "midi", "bool", "audio", "float", "int", "blob"; empty for unknown codes.
std::string_view datatypeName(int datatype);
// The code for a datatype name, or -1.
int datatypeFromName(std::string_view name);

}  // namespace mphost
