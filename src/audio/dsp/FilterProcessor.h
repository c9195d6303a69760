// SPDX-License-Identifier: GPL-3.0-or-later
// Direct-form-I biquad (low-pass, high-pass, band-pass, notch) of the DSP class library, on
// the equaliser's section design.
#pragma once

#include "audio/BiquadCoefficients.h"

#include <cstdint>

struct AudioBlock;

// The library's own biquad shapes, distinct from the equaliser's band types.
enum class FilterType : int { LowPass = 0, HighPass = 1, BandPass = 2, Notch = 3 };

class FilterProcessor
{
public:
    void setType(FilterType newType); // an unknown shape keeps the previous coefficients
    void setFrequency(float hz);      // 20..20000
    void setQ(float value);           // 0.1..20
    void setGain(float dB);           // -12..12; no shape reads it
    void calculateCoefficients();
    void reset();

    // n mono samples; in and out may be the same array. The state runs on between calls.
    void process(const float *in, float *out, std::uint64_t n);
    void processChannel(const float *in, float *out, std::uint64_t n) { process(in, out, n); }
    // Channel after channel with one state, which carries over from each channel to the next.
    void processBlock(AudioBlock &block);

private:
    FilterType type = FilterType::LowPass;
    float sampleRate = 44100.0f;
    float frequency = 1000.0f;
    float q = 0.707f;
    float gain = 0.0f;
    // Low-pass at 1000 Hz, Q 0.707, 44100 Hz.
    BiquadCoefficients coefficients{0.0046039f, 0.0092079f, 0.0046039f, -1.7990716f, 0.8174874f};
    BiquadDirectFormI state;
};
