// SPDX-License-Identifier: GPL-3.0-or-later
// Comb and all-pass stereo reverb of the DSP class library.
#pragma once

#include "audio/dsp/DelayLine.h"

#include <array>
#include <cstdint>

struct AudioBlock;

class ReverbProcessor
{
public:
    // Sizes the lines for `sampleRate` and clears them. Until then the reverb passes its input
    // through, since empty lines have nothing to wrap on.
    void initialize(int sampleRate);
    void setRoomSize(float value); // comb feedback 0..1
    void setDamping(float value);  // 0..1
    void setWet(float value);      // 0..1
    void setDecay(float seconds);  // 0.1..10; no processing reads it
    void reset();                  // clears lines and filter stores; positions stay

    // n interleaved stereo frames; in and out may be the same array.
    void process(const float *in, float *out, std::uint64_t n);
    // Channel 0 as left, channel 1 as right, in place; needs both.
    void processBlock(AudioBlock &block);

    static constexpr std::array<int, 8> COMB_TUNINGS{1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static constexpr std::array<int, 4> ALLPASS_TUNINGS{556, 441, 341, 225};

private:
    struct Channel
    {
        std::array<DampedComb, 8> combs;
        std::array<AllPassDiffuser, 4> allPasses;
    };

    float processSample(Channel &channel, float x);
    bool isSized() const { return left.combs[0].length() > 0; }

    float roomSize = 0.5f;
    float damping = 0.5f;
    float wet = 0.3f;
    float decay = 1.0f;
    float sampleRate = 44100.0f;
    Channel left;
    Channel right;
};
