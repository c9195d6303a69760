// SPDX-License-Identifier: GPL-3.0-or-later
// The radix-2 FFT the program used before FFTW, kept as the baseline of the FFT benchmark:
// in-place complex, with its bit-reversal swaps and per-stage twiddles prepared once.
#pragma once

#include <vector>

class RadixTwoFft
{
public:
    // A length below 2 or not a power of two gives a transform that changes nothing.
    explicit RadixTwoFft(int length);

    // Forward without scaling; the inverse divides by the length, so forward then inverse
    // gives back the input. Thread-safe: the plan is only read.
    void transform(float *real, float *imag, bool inverse) const;

private:
    int length = 0;
    std::vector<std::pair<int, int>> swaps;
    // Stage by stage (lengths 2, 4, ..., n), the running twiddle of each butterfly.
    std::vector<float> forwardRe, forwardIm, inverseRe, inverseIm;
};
