// SPDX-License-Identifier: GPL-3.0-or-later
// Direct DFT scan: slow but exact at any frequency, and independent of our own FFT.
#include "ToneAnalysis.h"

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

double strongestFrequency(std::span<const float> mono, int sampleRate, double lowHz, double highHz)
{
    const size_t count = mono.size();
    std::vector<double> windowed(count);
    for (size_t i = 0; i < count; ++i)
        windowed[i] = (0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(i) / double(count))) * mono[i];
    double bestHz = lowHz, bestPower = -1.0;
    for (double hz = lowHz; hz < highHz; hz += 0.25) {
        // A rotating phasor instead of a sine per sample; its drift over a few thousand
        // samples is far below the 0.25 Hz steps.
        const std::complex<double> turn = std::polar(1.0, -2.0 * std::numbers::pi * hz / sampleRate);
        std::complex<double> phasor = 1.0, sum;
        for (size_t i = 0; i < count; ++i) {
            sum += windowed[i] * phasor;
            phasor *= turn;
        }
        if (std::norm(sum) > bestPower) {
            bestPower = std::norm(sum);
            bestHz = hz;
        }
    }
    return bestHz;
}
