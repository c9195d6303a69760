// SPDX-License-Identifier: GPL-3.0-or-later
// The program's one biquad design: second-order sections from R. Bristow-Johnson's Audio EQ
// Cookbook normalised by a0, for the offline equaliser and exciter, the DSP library's filter
// and anything that draws or previews their bands.
#pragma once

#include <optional>
#include <span>

// Equaliser band type codes; any other code leaves a band out.
enum class EqBandType : int {
    Bell = 0,
    LowShelf = 1,
    HighShelf = 2,
    LowPass = 3,
    HighPass = 4,
    Notch = 5,
    BandPass = 6,
};

struct BiquadCoefficients
{
    float b0 = 1.0f;
    float b1 = 0.0f;
    float b2 = 0.0f;
    float a1 = 0.0f;
    float a2 = 0.0f;

    bool operator==(const BiquadCoefficients &) const = default;

    // Single-precision coefficients for one band, or nothing when the band must be skipped:
    // an unknown type, a bell or shelf whose gain is below 0.01 dB, or settings that would
    // make the section unstable or non-finite (Q <= 0, frequency outside (0, Nyquist),
    // a sample rate <= 0, a gain that is not finite).
    static std::optional<BiquadCoefficients> forBand(int type, float frequencyHz, float gainDb, float q,
                                                     int sampleRate);

    // Runs the sections in series over interleaved samples in transposed direct form II, each
    // channel and section with its own states starting at 0; outputs replace inputs. One pass
    // over the list gives exactly what one pass per section and channel would.
    static void processInterleaved(std::span<const BiquadCoefficients> sections, std::span<float> samples,
                                   int channels);
};

// One section run sample by sample in direct form I, its state carried from call to call.
struct BiquadDirectFormI
{
    float x1 = 0.0f, x2 = 0.0f, y1 = 0.0f, y2 = 0.0f;

    float process(const BiquadCoefficients &c, float x)
    {
        const float y = c.b0 * x + c.b1 * x1 + c.b2 * x2 - c.a1 * y1 - c.a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};
