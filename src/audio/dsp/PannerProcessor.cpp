// SPDX-License-Identifier: GPL-3.0-or-later
// Constant-power stereo panner of the DSP class library.
#include "audio/dsp/PannerProcessor.h"

#include "audio/dsp/AudioBlock.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

void PannerProcessor::setPan(float value)
{
    const float halfPi = std::numbers::pi_v<float> / 2.0f;
    if (std::isnan(value) || value >= 1.0f) {
        pan = 1.0f;
        leftGain = std::cos(halfPi); // not exactly 0 in single precision
        rightGain = 1.0f;
    } else if (value <= -1.0f) {
        pan = -1.0f;
        leftGain = 1.0f;
        rightGain = 0.0f;
    } else {
        pan = value;
        const float theta = (1.0f + value) * 0.25f * std::numbers::pi_v<float>;
        leftGain = std::cos(theta);
        rightGain = std::sin(theta);
    }
}

void PannerProcessor::process(const float *in, float *out, std::uint64_t n, int channels) const
{
    if (n == 0 || channels < 1)
        return;
    const auto stride = static_cast<std::uint64_t>(channels);
    if (channels < 2) {
        if (in != out)
            std::memmove(out, in, n * sizeof(float));
        return;
    }
    for (std::uint64_t frame = 0; frame < n; ++frame) {
        const float *src = in + frame * stride;
        float *dst = out + frame * stride;
        dst[0] = src[0] * leftGain;
        dst[1] = src[1] * rightGain;
        if (src != dst)
            std::copy(src + 2, src + stride, dst + 2);
    }
}

void PannerProcessor::processBlock(AudioBlock &block) const
{
    if (block.channels.size() < 2)
        return;
    const std::size_t left = block.usableSamples(0);
    const std::size_t right = block.usableSamples(1);
    for (std::size_t i = 0; i < left; ++i)
        block.channels[0].samples[i] *= leftGain;
    for (std::size_t i = 0; i < right; ++i)
        block.channels[1].samples[i] *= rightGain;
}
