// SPDX-License-Identifier: GPL-3.0-or-later
// Soft-knee distortion of the DSP class library.
#pragma once

#include <cstdint>

struct AudioBlock;

class DistortionProcessor
{
public:
    void setAmount(float value); // 0..1; the knee starts at 1 - 0.9 amount
    float getAmount() const { return amount; }
    void setDrive(float dB);     // 0..40 dB
    void setMix(float value);    // 0..1

    // n mono samples; in and out may be the same array.
    void process(const float *in, float *out, std::uint64_t n) const;
    void processBlock(AudioBlock &block) const;
    void reset() {}

private:
    float shape(float x) const;

    float amount = 0.5f;
    float drive = 1.0f;
    float mix = 0.5f;
    float threshold = 0.5f;
};
