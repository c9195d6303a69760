// SPDX-License-Identifier: GPL-3.0-or-later
// The sum of the weights that overlap-add lays on each output position, for frames starting
// at 0, hop, 2 hop, ...: what an offline effect divides its output by.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

class OverlapAddNorm
{
public:
    // `weights` holds one weight per frame sample (e.g. the window, or its square).
    OverlapAddNorm(std::vector<float> weights, std::uint64_t hop);

    // The sums over the hop that starts at `frameStart` (a multiple of the hop), added in frame
    // order as accumulating frame after frame into an array would give. Past the first frame
    // they depend only on the place within the hop, so no array of the output's length is
    // needed. Valid until the next call.
    std::span<const float> hopAt(std::uint64_t frameStart);

private:
    std::vector<float> weights;
    std::uint64_t hop;
    std::vector<float> steady;
    std::vector<float> early;
};
