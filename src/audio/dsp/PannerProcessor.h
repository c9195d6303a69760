// SPDX-License-Identifier: GPL-3.0-or-later
// Constant-power stereo panner of the DSP class library.
#pragma once

#include <cstdint>

struct AudioBlock;

class PannerProcessor
{
public:
    void setPan(float pan); // -1 (left) .. 1 (right)
    float getPan() const { return pan; }

    // n interleaved frames of `channels` samples: channel 0 takes the left gain, channel 1 the
    // right gain, further channels pass through unchanged. in and out may be the same array.
    void process(const float *in, float *out, std::uint64_t n, int channels) const;
    void processBlock(AudioBlock &block) const;

private:
    float pan = 0.0f;
    float leftGain = 0.707f;
    float rightGain = 0.707f;
};
