// SPDX-License-Identifier: GPL-3.0-or-later
// Planar float audio block: one array per channel, as plug-ins process it.
#pragma once

#include <cstdint>
#include <vector>

// Either owns its arrays (filled by allocate) or is a view whose fields the user points at
// memory it keeps itself; a view's arrays and pointer array are never freed here. Not
// copyable: a copy would alias the owner's arrays.
struct AudioBuffer
{
    AudioBuffer() = default;
    AudioBuffer(const AudioBuffer &) = delete;
    AudioBuffer &operator=(const AudioBuffer &) = delete;

    // Frees what the buffer owns, then gives it `numChannels` zeroed arrays of `numFrames`
    // floats; with either count 0 or less it stays empty (null, 0, 0).
    void allocate(int numChannels, int numFrames);
    // Frees what the buffer owns and leaves it empty.
    void deallocate();

    float **channels = nullptr;
    std::int32_t numChannels = 0;
    std::int32_t numFrames = 0;

private:
    std::vector<std::vector<float>> ownedArrays;
    std::vector<float *> ownedPointers;
};
