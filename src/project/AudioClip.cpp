// SPDX-License-Identifier: GPL-3.0-or-later
// Derived timing of an audio clip.
#include "project/AudioClip.h"

double AudioClip::length() const
{
    if (samples.isEmpty() || sampleRate < 1)
        return 0.0;
    const double seconds = double(samples.size()) / sampleRate - audioStart - audioEnd;
    // A NaN trim must not leak out as a length.
    return seconds > 0.0 ? seconds : 0.0;
}
