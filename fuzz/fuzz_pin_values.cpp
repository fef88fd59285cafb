// Pin value texts (patches, the command line) and published payloads: any bytes give a
// value or a HostError.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/host_error.h"
#include "common/pin_value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    static const int datatypes[] = {0, 1, 2, 4, 5, 6, 8, 10};
    const int datatype = datatypes[data[0] % 8];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        const mphost::PinValue value = mphost::parsePinValue(datatype, text);
        (void)mphost::formatPinValue(value);
        (void)mphost::encodePinValue(value);
    } catch (const mphost::HostError&) {
    }
    (void)mphost::decodePinValue(datatype, data + 1, size - 1);
    return 0;
}
