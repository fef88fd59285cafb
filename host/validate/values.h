// Random values for the validator's checks: one generator per check, seeded from the
// run's seed, the module and the check, so that one check run alone does what it did in
// the full run.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "common/pin_value.h"

namespace mphost::validation {

using Random = std::mt19937_64;

// The run's seed mixed with the identifier, the half's sub-type and the check's name.
std::uint64_t checkSeed(std::uint64_t seed, const std::string& id, int subType, const std::string& check);

int uniformInt(Random& random, int low, int high);
float uniformFloat(Random& random, float low, float high);

template <class T>
const T& pick(Random& random, const std::vector<T>& choices)
{
    return choices[static_cast<std::size_t>(uniformInt(random, 0, static_cast<int>(choices.size()) - 1))];
}

// Equal values as the audio side sees them: 0, -0 and subnormals alike (it runs with
// denormals-are-zero), NaN equal to NaN.
bool sameValue(float a, float b);

// A value for a control input of `datatype`. Ordinary values are finite and modest;
// hostile ones are what a careless host or patch may send.
PinValue makeValue(Random& random, int datatype, bool hostile);
Bytes makeMidi(Random& random, bool hostile);

}  // namespace mphost::validation
