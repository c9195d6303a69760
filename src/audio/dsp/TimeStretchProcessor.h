// SPDX-License-Identifier: GPL-3.0-or-later
// Offline time stretching by overlap-add of Hann-windowed, linearly interpolated grains.
#pragma once

#include <cstdint>

class TimeStretchProcessor
{
public:
    void setStretchRatio(float ratio); // 0.25..4; above 1 lengthens
    float getStretchRatio() const { return stretchRatio; }
    void setWindowSize(float ms);      // 5..200 ms, stored in samples
    void setOverlap(float value);      // 0.1..0.9

    // Reads inCount samples (beyond them, silence) and writes outCount samples.
    void processOffline(const float *in, float *out, std::uint64_t inCount, std::uint64_t outCount) const;
    void reset() {}

private:
    float stretchRatio = 1.0f;
    float windowSize = 2048.0f;
    float overlap = 0.5f;
    float sampleRate = 44100.0f;
};
