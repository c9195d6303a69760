// SPDX-License-Identifier: GPL-3.0-or-later
// The program's one FFT, on FFTW in single precision: real and complex transforms of one
// power-of-two length, planned once per length for the whole process.
#pragma once

#include <complex>

// Thread-safe: several threads may construct and run transforms at once. Each length and kind
// is planned once, on first use, under one lock; after that a transform only executes. Not
// for the audio callback: a first use allocates.
class Fft
{
public:
    // A length below 2 or not a power of two gives transforms that change nothing.
    explicit Fft(int length);

    int size() const { return length; }

    // Forward with the negative exponent, unscaled: `length` samples to length/2 + 1 bins.
    // Samples and bins never share memory, here and in `inverse`.
    void forward(const float *samples, std::complex<float> *bins) const;
    // Back from length/2 + 1 bins to `length` samples, divided by the length, so forward then
    // inverse gives back the input. Reads the bins as a real signal's (the imaginary parts of
    // bins 0 and length/2 do not count) and overwrites them.
    void inverse(std::complex<float> *bins, float *samples) const;
    // In place on separate real and imaginary arrays: forward with the negative exponent,
    // unscaled; the inverse divides by the length. Allocates a copy of the values.
    void transform(float *real, float *imag, bool inverse) const;
    // The same on `length` interleaved values, re, im, re, im, ...
    void transform(std::complex<float> *values, bool inverse) const;

private:
    struct Plans;

    int length = 0;
    Plans *plans = nullptr;
};
