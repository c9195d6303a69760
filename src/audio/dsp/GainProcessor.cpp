// SPDX-License-Identifier: GPL-3.0-or-later
// Linear gain stage of the DSP class library.
#include "audio/dsp/GainProcessor.h"

#include "audio/dsp/AudioBlock.h"
#include "audio/dsp/DspParameter.h"

#include <cmath>
#include <cstring>

void GainProcessor::setGain(float linear)
{
    gain = clampParameter(linear, 0.0f, 4.0f);
}

void GainProcessor::setGainDB(float dB)
{
    if (std::isnan(dB) || dB >= 12.0f)
        gain = std::pow(10.0f, 0.6f);
    else if (dB <= -60.0f)
        gain = 1e-3f;
    else
        gain = clampParameter(std::pow(10.0f, dB / 20.0f), 0.0f, 4.0f);
}

float GainProcessor::getGainDB() const
{
    return gain <= 0.0f ? -96.0f : 20.0f * std::log10(gain);
}

void GainProcessor::process(const float *in, float *out, std::uint64_t n) const
{
    if (n == 0)
        return;
    if (gain == 1.0f) {
        if (in != out)
            std::memmove(out, in, n * sizeof(float));
        return;
    }
    for (std::uint64_t i = 0; i < n; ++i)
        out[i] = in[i] * gain;
}

void GainProcessor::processBlock(AudioBlock &block) const
{
    if (gain == 1.0f)
        return;
    for (std::size_t c = 0; c < block.channels.size(); ++c) {
        float *data = block.channels[c].samples.data();
        const std::size_t n = block.usableSamples(c);
        for (std::size_t i = 0; i < n; ++i)
            data[i] *= gain;
    }
}
