// SPDX-License-Identifier: GPL-3.0-or-later
// Folds a stereo pair into one signal with separate weights on its mid and side parts.
#pragma once

#include <cstdint>

class MidSideProcessor
{
public:
    // n interleaved stereo frames in, n samples out.
    void processOffline(const float *stereo, float *out, std::uint64_t n) const;

    // Unity: the fold then returns the left channel.
    float midGain = 1.0f;
    float sideGain = 1.0f;
};
