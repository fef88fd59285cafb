// The gain curve the morphers share: 16384 float32 entries running from 0 at entry 0 to 1
// at the last along an exponential curve, so that a crossfade dips in the middle. One
// table per host process, in the host's shared memory.
#pragma once

#include <cmath>
#include <cstdint>

#include "mp_sdk_audio.h"

namespace morph_curve {

constexpr int entries = 16384;

inline void fill(float* table)
{
    for (int i = 0; i < entries; ++i) {
        const float x = static_cast<float>(i) * 6.103888e-05f;  // i / 16383 in float32
        const float g = expf((x - 1.0f) * 3.0f);
        table[i] = (1.0f - g) * -1.0523957f + 1.0f;
    }
}

// The shared table, filled by the instance that created it; null when the host has none.
inline const float* request(gmpi::IMpHost* host)
{
    if (!host)
        return nullptr;
    void* memory = nullptr;
    std::int32_t needsFilling = 0;
    if (host->hostAllocateSharedMemory(L"KAVRO MORPH LIN2VCA TABLE", &memory, -1.0f,
                                       entries * static_cast<std::int32_t>(sizeof(float)), needsFilling) != gmpi::MP_OK ||
        !memory)
        return nullptr;
    if (needsFilling)
        fill(static_cast<float*>(memory));
    return static_cast<const float*>(memory);
}

// A weight w in [0, 1] shaped by the curve, interpolated linearly between entries.
inline float shape(const float* table, float w)
{
    const float f = w * static_cast<float>(entries - 1);
    const int k = static_cast<int>(f);
    const float fraction = f - static_cast<float>(k);
    float result = (1.0f - fraction) * table[k];
    if (k < entries - 1)
        result += fraction * table[k + 1];
    return result;
}

// x clamped to [0, 1]; NaN gives 0.
inline float unitRange(float x)
{
    return x > 0.0f ? (x < 1.0f ? x : 1.0f) : 0.0f;
}

}  // namespace morph_curve
