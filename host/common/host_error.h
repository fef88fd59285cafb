// The error type of the reference host: every failure carries a message a user can act on.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace mphost {

class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "success", "failure" or "not supported" for a result code of the binary interface.
inline std::string describeResult(std::int32_t result)
{
    switch (result) {
    case 0: return "success";
    case -1: return "failure";
    case -2: return "not supported";
    default: return "unknown result " + std::to_string(result);
    }
}

}  // namespace mphost
