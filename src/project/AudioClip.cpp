// SPDX-License-Identifier: GPL-3.0-or-later
// Derived timing of an audio clip.
#include "project/AudioClip.h"

#include <cstring>

namespace {

// QList's own comparison hands memcmp a null pointer when one empty list has no storage.
bool sameSamples(const QList<float> &a, const QList<float> &b)
{
    // Clips split from one source share its list: comparing them must not scan minutes of audio.
    return a.size() == b.size()
           && (a.isEmpty() || a.constData() == b.constData()
               || std::memcmp(a.constData(), b.constData(), std::size_t(a.size()) * sizeof(float)) == 0);
}

} // namespace

double AudioClip::length() const
{
    if (samples.isEmpty() || sampleRate < 1)
        return 0.0;
    const double seconds = double(samples.size()) / sampleRate - audioStart - audioEnd;
    // A NaN trim must not leak out as a length.
    return seconds > 0.0 ? seconds : 0.0;
}

bool AudioClip::operator==(const AudioClip &other) const
{
    return sameSamples(samples, other.samples) && sameSamples(stereoSamples, other.stereoSamples)
           && sampleRate == other.sampleRate && start == other.start && audioStart == other.audioStart
           && audioEnd == other.audioEnd && fadeIn == other.fadeIn && fadeOut == other.fadeOut
           && fadeInCurve == other.fadeInCurve && fadeOutCurve == other.fadeOutCurve;
}
