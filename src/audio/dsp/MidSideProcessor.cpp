// SPDX-License-Identifier: GPL-3.0-or-later
// Folds a stereo pair into one signal with separate weights on its mid and side parts.
#include "audio/dsp/MidSideProcessor.h"

void MidSideProcessor::processOffline(const float *stereo, float *out, std::uint64_t n) const
{
    for (std::uint64_t i = 0; i < n; ++i) {
        const float left = stereo[2 * i];
        const float right = stereo[2 * i + 1];
        out[i] = (left + right) * 0.5f * midGain + (left - right) * 0.5f * sideGain;
    }
}
