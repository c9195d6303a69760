// SPDX-License-Identifier: GPL-3.0-or-later
// Pitch shifting of a mono signal by up to an octave either way, keeping its length: an
// offline phase vocoder, and a streaming grain path that nothing in the program uses.
#pragma once

#include <cstdint>
#include <vector>

struct AudioBlock;

class PitchShiftProcessor
{
public:
    void setSampleRate(float rate);
    void setPitch(float semitones); // -12..12
    float getPitch() const { return pitch; }
    void setWindowSize(float ms);   // 5..100; sets the streaming grain length
    void setOverlap(float value);   // 0.1..0.9; no processing reads it

    // In-place complex FFT over n (a power of two) values stored as re, im, re, im, ...
    // The forward transform uses the positive exponent and is unscaled; the inverse scales by 1/n.
    static void fft(float *data, std::uint64_t n, bool inverse);

    void reset();
    // Streaming grain path; in and out may be the same array.
    void process(const float *in, float *out, std::uint64_t n);
    // Runs `process` on each channel in turn with one shared history.
    void processBlock(AudioBlock &block);

    // One Hann-windowed frame of N samples: moves every spectral peak, with the bins around it,
    // to its pitch-scaled position and advances its phase at the scaled frequency, so the
    // shifted partials keep their level and reach the requested pitch. lastPhase and sumPhase
    // (N/2+1 each) carry the analysis and synthesis phases from frame to frame.
    static void phaseVocoderFrame(const float *frameIn, float *frameOut, std::uint64_t N,
                                  float *lastPhase, float *sumPhase, double ratio,
                                  std::uint64_t analysisHop, std::uint64_t synthesisHop);
    // Shifts n samples of in into n samples of out; in and out must not overlap. The same
    // input always gives the same output: no state is kept between calls.
    void processOffline(const float *in, float *out, std::uint64_t n) const;

private:
    float emitGrain() const;

    float pitch = 0.0f;
    float windowSize = 2048.0f;
    float overlap = 0.75f;
    float sampleRate = 44100.0f;
    std::vector<float> inputBuffer;
    std::vector<float> outputBuffer;
    float grainPhase = 0.0f;
    float grainLength = 2048.0f;
    float shiftedGrainLength = 2048.0f;
};
