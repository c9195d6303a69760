// SPDX-License-Identifier: GPL-3.0-or-later
// Direct-form-I biquad (low-pass, high-pass, band-pass, notch) of the DSP class library.
#include "audio/dsp/FilterProcessor.h"

#include "audio/dsp/AudioBlock.h"
#include "audio/dsp/DspParameter.h"

#include <cmath>
#include <numbers>

void FilterProcessor::setType(FilterType newType)
{
    type = newType;
    calculateCoefficients();
}

void FilterProcessor::setFrequency(float hz)
{
    frequency = clampParameter(hz, 20.0f, 20000.0f);
    calculateCoefficients();
}

void FilterProcessor::setQ(float value)
{
    q = clampParameter(value, 0.1f, 20.0f);
    calculateCoefficients();
}

void FilterProcessor::setGain(float dB)
{
    gain = clampParameter(dB, -12.0f, 12.0f);
    calculateCoefficients();
}

void FilterProcessor::calculateCoefficients()
{
    const float w0 = 2.0f * std::numbers::pi_v<float> * frequency / sampleRate;
    const float s = std::sin(w0);
    const float c = std::cos(w0);
    const float alpha = s / (2.0f * q);
    const float a0 = 1.0f + alpha;
    switch (type) {
    case FilterType::LowPass:
        b0 = (1.0f - c) / 2.0f / a0;
        b1 = (1.0f - c) / a0;
        b2 = (1.0f - c) / 2.0f / a0;
        break;
    case FilterType::HighPass:
        b0 = (1.0f + c) / 2.0f / a0;
        b1 = -(1.0f + c) / a0;
        b2 = (1.0f + c) / 2.0f / a0;
        break;
    case FilterType::BandPass:
        b0 = alpha / a0;
        b1 = 0.0f;
        b2 = -alpha / a0;
        break;
    case FilterType::Notch:
        b0 = 1.0f / a0;
        b1 = -2.0f * c / a0;
        b2 = 1.0f / a0;
        break;
    default:
        return;
    }
    a1 = -2.0f * c / a0;
    a2 = (1.0f - alpha) / a0;
}

void FilterProcessor::reset()
{
    x1 = x2 = y1 = y2 = 0.0f;
}

void FilterProcessor::process(const float *in, float *out, std::uint64_t n)
{
    for (std::uint64_t i = 0; i < n; ++i) {
        const float x = in[i];
        const float y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        out[i] = y;
    }
}

void FilterProcessor::processBlock(AudioBlock &block)
{
    for (std::size_t c = 0; c < block.channels.size(); ++c) {
        float *data = block.channels[c].samples.data();
        process(data, data, block.usableSamples(c));
    }
}
