// SPDX-License-Identifier: GPL-3.0-or-later
// Soft-knee distortion of the DSP class library.
#include "audio/dsp/DistortionProcessor.h"

#include "audio/dsp/AudioBlock.h"
#include "audio/dsp/DspParameter.h"

#include <cmath>

void DistortionProcessor::setAmount(float value)
{
    amount = clampParameter(value, 0.0f, 1.0f);
    threshold = 1.0f - 0.9f * amount;
}

void DistortionProcessor::setDrive(float dB)
{
    if (std::isnan(dB) || dB >= 40.0f)
        drive = 100.0f;
    else if (dB <= 0.0f)
        drive = 1.0f;
    else
        drive = std::pow(10.0f, dB / 20.0f);
}

void DistortionProcessor::setMix(float value)
{
    mix = clampParameter(value, 0.0f, 1.0f);
}

float DistortionProcessor::shape(float x) const
{
    float y = x * drive;
    const float t = threshold;
    const float magnitude = std::abs(y);
    if (magnitude > t) {
        // At t = 1 the quotient is +inf and tanh gives 1: a hard clip at 1.
        const float bent = t + (1.0f - t) * std::tanh((magnitude - t) / (1.0f - t));
        y = std::copysign(bent, y);
    }
    return (y / drive) * mix + x * (1.0f - mix);
}

void DistortionProcessor::process(const float *in, float *out, std::uint64_t n) const
{
    for (std::uint64_t i = 0; i < n; ++i)
        out[i] = shape(in[i]);
}

void DistortionProcessor::processBlock(AudioBlock &block) const
{
    for (std::size_t c = 0; c < block.channels.size(); ++c) {
        float *data = block.channels[c].samples.data();
        process(data, data, block.usableSamples(c));
    }
}
