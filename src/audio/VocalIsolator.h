// SPDX-License-Identifier: GPL-3.0-or-later
// Extracts the centre of a stereo clip (what both channels share) as mono, with the voice
// band raised and everything outside it lowered, by a short-time spectral gain.
#pragma once

#include "audio/Fft.h"

#include <complex>
#include <cstdint>
#include <vector>

class VocalIsolator
{
public:
    // strength 0..1 scales the band gains; smoothing 0..1 is the weight of the previous
    // frame's magnitude. NaN gives 1.
    void setIsolationStrength(float strength, float smoothing);
    void initialize(std::uint64_t size);

    void applyWindow(float *data, std::uint64_t n) const;
    void removeWindow(float *data, std::uint64_t n) const;
    static void encodeMidSide(const float *stereo, float *mid, float *side, std::uint64_t frames);
    static void decodeMidSide(const float *mid, const float *side, float *stereo, std::uint64_t frames);
    void processFrame(const float *stereo, float *out, int frames, int sampleRate) const;

    // Spectral gain over `frames` mono samples. Overlap-add without normalisation: in steady
    // state the output is about 1.5 times the band gain.
    void spectralSubtraction(const float *mid, float *out, std::uint64_t frames, int sampleRate);
    // `frames` interleaved stereo frames in, `frames` mono samples out.
    void processOffline(const float *stereo, float *out, std::uint64_t frames, int sampleRate);

private:
    float bandGain(float hz) const;

    float isolationStrength = 0.8f;
    float smoothing = 0.02f;
    std::uint64_t fftSize = 2048;
    Fft fft{0};
    std::vector<float> frame;
    std::vector<std::complex<float>> bins;
    std::vector<float> window;
    std::vector<float> previousMagnitudes;
    bool initialized = false;
};
