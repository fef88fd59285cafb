// The smallest and largest value over any range of frames of a sample, in time that grows
// with the logarithm of the range instead of its length: a waveform display asks this once
// per pixel column, so a redraw costs the same for a 10-minute sample as for a short one.
//
// Level 0 holds the minimum and maximum of each whole block of `baseBlock` frames; each
// further level pairs two blocks of the level below. A range is covered by raw frames at
// its unaligned ends and by the largest aligned blocks that fit in between. All levels
// together take 8 bytes per `baseBlock / 2` frames: an eighth of the sample's own memory.
// User-interface thread only; building allocates, queries do not.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace sample_view {

class MinMaxPyramid {
public:
    static constexpr std::int64_t baseBlock = 32;  // frames per block of level 0

    struct Range {
        float min = 0.0f;
        float max = 0.0f;
    };

    MinMaxPyramid() = default;

    // Builds the levels over `frames` values at `samples` (which must stay valid and
    // unchanged while the pyramid is queried). The values must not be NaN.
    void build(const float* samples, std::int64_t frames)
    {
        data = samples;
        count = frames > 0 && samples ? frames : 0;
        levels.clear();
        std::int64_t blocks = count / baseBlock;
        if (blocks <= 0)
            return;
        std::vector<Range> level(static_cast<std::size_t>(blocks));
        for (std::int64_t b = 0; b < blocks; ++b) {
            const float* block = data + b * baseBlock;
            float lo = block[0], hi = block[0];
            for (std::int64_t i = 1; i < baseBlock; ++i) {
                lo = std::min(lo, block[i]);
                hi = std::max(hi, block[i]);
            }
            level[static_cast<std::size_t>(b)] = {lo, hi};
        }
        levels.push_back(std::move(level));
        while ((blocks /= 2) > 0) {
            const std::vector<Range>& below = levels.back();
            std::vector<Range> next(static_cast<std::size_t>(blocks));
            for (std::int64_t b = 0; b < blocks; ++b) {
                const Range& a = below[static_cast<std::size_t>(2 * b)];
                const Range& c = below[static_cast<std::size_t>(2 * b + 1)];
                next[static_cast<std::size_t>(b)] = {std::min(a.min, c.min), std::max(a.max, c.max)};
            }
            levels.push_back(std::move(next));
        }
    }

    std::int64_t frames() const { return count; }
    int levelCount() const { return static_cast<int>(levels.size()); }

    // The extremes of frames first .. last - 1, limited to the sample. An empty range
    // gives {0, 0}.
    Range query(std::int64_t first, std::int64_t last) const
    {
        first = std::max<std::int64_t>(first, 0);
        last = std::min(last, count);
        if (first >= last)
            return {};
        Range result{data[first], data[first]};
        int level = -1;  // -1: single frames
        while (first < last) {
            while (level + 1 < levelCount() && first % blockSize(level + 1) == 0 && last - first >= blockSize(level + 1))
                ++level;
            while (level >= 0 && last - first < blockSize(level))
                --level;
            if (level < 0) {
                result.min = std::min(result.min, data[first]);
                result.max = std::max(result.max, data[first]);
                ++first;
            } else {
                const Range& block = levels[static_cast<std::size_t>(level)][static_cast<std::size_t>(first / blockSize(level))];
                result.min = std::min(result.min, block.min);
                result.max = std::max(result.max, block.max);
                first += blockSize(level);
            }
        }
        return result;
    }

private:
    static std::int64_t blockSize(int level) { return level < 0 ? 1 : baseBlock << level; }

    const float* data = nullptr;
    std::int64_t count = 0;
    std::vector<std::vector<Range>> levels;
};

}  // namespace sample_view
