// SPDX-License-Identifier: GPL-3.0-or-later
// The block record every processor of the DSP class library works on in place.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

struct AudioChannelData
{
    std::vector<float> samples;
};

struct AudioBlock
{
    std::vector<AudioChannelData> channels;
    int sampleRate = 44100;       // filled in by the block's owner; processors never read it
    std::uint64_t numSamples = 0; // samples per channel to process

    // Samples of `channel` that may be touched: a numSamples beyond the vector is clamped to it.
    std::size_t usableSamples(std::size_t channel) const
    {
        return static_cast<std::size_t>(
            std::min<std::uint64_t>(numSamples, channels[channel].samples.size()));
    }
};
