// Module description files: any bytes give descriptions or a HostError, nothing else.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/host_error.h"
#include "loader/descriptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const auto descriptions =
            mphost::BundleDescription::parse(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz");
        for (const auto& module : descriptions.modules)
            (void)module.wideId();
    } catch (const mphost::HostError&) {
    }
    return 0;
}
