// The players' view of a sample blob pin: the frames as floats, read in place. A blob
// with no data, size 0 or a size not a multiple of 4 is no sample at all.
#pragma once

#include <cstdint>

#include "mp_sdk_common.h"

namespace sample_view {

// Sample values beyond this magnitude are limited to it, so that interpolation, crossfades
// and running sums over any blob the host may carry stay finite.
inline constexpr float sampleLimit = 1.0e20f;

struct SampleView {
    const float* samples = nullptr;
    std::int64_t frames = 0;
    explicit operator bool() const { return samples != nullptr; }
};

// The frames of `blob` (a pin's own copy, so this may rewrite it): values that are not
// finite become 0 and values beyond sampleLimit are limited to it. One pass over the blob,
// when it arrives (not per output sample).
inline SampleView takeSample(const MpBlob& blob)
{
    const int size = blob.getSize();
    if (size <= 0 || size % 4 != 0 || !blob.getData())
        return {};
    auto* samples = reinterpret_cast<float*>(blob.getData());
    const std::int64_t frames = size / 4;
    for (std::int64_t i = 0; i < frames; ++i) {
        const float x = samples[i];
        if (!(x >= -sampleLimit && x <= sampleLimit))
            samples[i] = x > sampleLimit ? sampleLimit : (x < -sampleLimit ? -sampleLimit : 0.0f);
    }
    return {samples, frames};
}

}  // namespace sample_view
