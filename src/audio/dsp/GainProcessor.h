// SPDX-License-Identifier: GPL-3.0-or-later
// Linear gain stage of the DSP class library.
#pragma once

#include <cstdint>

struct AudioBlock;

class GainProcessor
{
public:
    void setGain(float linear);     // clamped to 0..4
    void setGainDB(float dB);       // -60..12 dB
    float getGain() const { return gain; }
    float getGainDB() const;        // -96 for a gain of 0

    // n mono samples; in and out may be the same array.
    void process(const float *in, float *out, std::uint64_t n) const;
    void processBlock(AudioBlock &block) const;

private:
    float gain = 1.0f;
};
