// SPDX-License-Identifier: GPL-3.0-or-later
// Overlap-add weight sums from the weights alone, one table of a hop's length.
#include "audio/dsp/OverlapAddNorm.h"

#include <algorithm>

namespace {

// The earliest frame sees the position furthest into its weights.
void sumFrames(const std::vector<float> &weights, std::uint64_t hop, std::uint64_t framesBefore,
               std::vector<float> &sums)
{
    for (std::uint64_t r = 0; r < hop; ++r) {
        float sum = 0.0f;
        if (r < weights.size()) {
            const std::uint64_t last = std::min(framesBefore, (weights.size() - 1 - r) / hop);
            for (std::uint64_t q = last + 1; q-- > 0;)
                sum += weights[r + q * hop];
        }
        sums[r] = sum;
    }
}

} // namespace

OverlapAddNorm::OverlapAddNorm(std::vector<float> frameWeights, std::uint64_t frameHop)
    : weights(std::move(frameWeights)), hop(std::max<std::uint64_t>(frameHop, 1)), steady(hop), early(hop)
{
    sumFrames(weights, hop, weights.size(), steady);
}

std::span<const float> OverlapAddNorm::hopAt(std::uint64_t frameStart)
{
    if (frameStart >= weights.size())
        return steady;
    sumFrames(weights, hop, frameStart / hop, early);
    return early;
}
