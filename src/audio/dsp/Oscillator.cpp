// SPDX-License-Identifier: GPL-3.0-or-later
// Phase-accumulator tone generator of the DSP class library.
#include "audio/dsp/Oscillator.h"

#include "audio/dsp/DspParameter.h"

#include <cmath>
#include <numbers>

void Oscillator::setFrequency(float hz)
{
    frequency = clampParameter(hz, 0.0f, 48000.0f);
}

float Oscillator::generateSample()
{
    if (!running)
        return 0.0f;
    const float p = phase;
    float value = 0.0f;
    switch (type) {
    case WaveformType::Sine:
        value = std::sin(2.0f * std::numbers::pi_v<float> * p);
        break;
    case WaveformType::Square:
        value = p < 0.5f ? 1.0f : -1.0f;
        break;
    case WaveformType::Saw:
        value = 2.0f * p - 1.0f;
        break;
    case WaveformType::Triangle:
        value = 2.0f * std::abs(2.0f * p - 1.0f) - 1.0f;
        break;
    case WaveformType::Noise: {
        const auto seed = static_cast<std::uint32_t>(noiseSeed);
        value = static_cast<float>(seed & 255u) / 127.5f - 1.0f;
        noiseSeed = static_cast<std::int32_t>((seed * 1103515245u + 12345u) & 0x7fffffffu);
        break;
    }
    default:
        break;
    }
    float next = p + frequency * std::pow(2.0f, detune / 1200.0f) / sampleRate;
    // At or above the sample rate one step passes several periods; a single subtraction of 1
    // would let the phase, and the saw with it, grow without bound.
    if (next >= 1.0f)
        next -= std::floor(next);
    // An unbounded detune makes the step infinite; restart the period rather than stick at NaN.
    phase = std::isfinite(next) ? next : 0.0f;
    return value;
}

void Oscillator::generate(float *out, std::uint64_t n)
{
    for (std::uint64_t i = 0; i < n; ++i)
        out[i] = generateSample();
}
