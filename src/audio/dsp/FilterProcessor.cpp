// SPDX-License-Identifier: GPL-3.0-or-later
// Direct-form-I biquad (low-pass, high-pass, band-pass, notch) of the DSP class library.
#include "audio/dsp/FilterProcessor.h"

#include "audio/dsp/AudioBlock.h"
#include "audio/dsp/DspParameter.h"

#include <array>
#include <optional>


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
    // The equaliser's band type of each shape, in FilterType's order.
    constexpr std::array<EqBandType, 4> shapes{EqBandType::LowPass, EqBandType::HighPass, EqBandType::BandPass,
                                               EqBandType::Notch};
    const auto index = static_cast<std::size_t>(type);
    if (index >= shapes.size())
        return;
    // These shapes read no gain; the frequency and Q ranges keep every section stable.
    if (const std::optional<BiquadCoefficients> designed = BiquadCoefficients::forBand(
            static_cast<int>(shapes[index]), frequency, 0.0f, q, static_cast<int>(sampleRate)))
        coefficients = *designed;
}

void FilterProcessor::reset()
{
    state = {};
}

void FilterProcessor::process(const float *in, float *out, std::uint64_t n)
{
    for (std::uint64_t i = 0; i < n; ++i)
        out[i] = state.process(coefficients, in[i]);
}

void FilterProcessor::processBlock(AudioBlock &block)
{
    for (std::size_t c = 0; c < block.channels.size(); ++c) {
        float *data = block.channels[c].samples.data();
        process(data, data, block.usableSamples(c));
    }
}
