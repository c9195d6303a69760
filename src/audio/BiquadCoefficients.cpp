// SPDX-License-Identifier: GPL-3.0-or-later
// Cookbook coefficient formulas per band type and the transposed direct form II loop.
#include "audio/BiquadCoefficients.h"

#include <algorithm>
#include <cmath>
#include <vector>
#include <numbers>

std::optional<BiquadCoefficients> BiquadCoefficients::forBand(int type, float frequencyHz, float gainDb, float q,
                                                              int sampleRate)
{
    if (type < 0 || type > static_cast<int>(EqBandType::BandPass))
        return std::nullopt;
    const auto kind = static_cast<EqBandType>(type);
    const bool usesGain = kind == EqBandType::Bell || kind == EqBandType::LowShelf || kind == EqBandType::HighShelf;
    if (usesGain && !(std::fabs(gainDb) >= 0.01f))
        return std::nullopt;
    // At or past Nyquist sin(w0) turns negative and the poles leave the unit circle.
    if (sampleRate <= 0 || !(q > 0.0f) || !std::isfinite(q) || !(frequencyHz > 0.0f)
        || !(frequencyHz < sampleRate * 0.5f) || !std::isfinite(gainDb))
        return std::nullopt;

    const float w0 = static_cast<float>(static_cast<double>(frequencyHz) * 2.0 * std::numbers::pi / sampleRate);
    const float cs = std::cos(w0);
    const float sn = std::sin(w0);
    const float a = std::pow(10.0f, gainDb / 40.0f);
    const float alpha = sn / (2.0f * q);
    const float sqrtA2Alpha = 2.0f * std::sqrt(a) * alpha;

    float b0 = 1.0f, b1 = 0.0f, b2 = 0.0f, a0 = 1.0f, a1 = 0.0f, a2 = 0.0f;
    switch (kind) {
    case EqBandType::Bell:
        b0 = 1.0f + alpha * a;
        b1 = -2.0f * cs;
        b2 = 1.0f - alpha * a;
        a0 = 1.0f + alpha / a;
        a1 = -2.0f * cs;
        a2 = 1.0f - alpha / a;
        break;
    case EqBandType::LowShelf:
        b0 = a * ((a + 1.0f) - (a - 1.0f) * cs + sqrtA2Alpha);
        b1 = 2.0f * a * ((a - 1.0f) - (a + 1.0f) * cs);
        b2 = a * ((a + 1.0f) - (a - 1.0f) * cs - sqrtA2Alpha);
        a0 = (a + 1.0f) + (a - 1.0f) * cs + sqrtA2Alpha;
        a1 = -2.0f * ((a - 1.0f) + (a + 1.0f) * cs);
        a2 = (a + 1.0f) + (a - 1.0f) * cs - sqrtA2Alpha;
        break;
    case EqBandType::HighShelf:
        b0 = a * ((a + 1.0f) + (a - 1.0f) * cs + sqrtA2Alpha);
        b1 = -2.0f * a * ((a - 1.0f) + (a + 1.0f) * cs);
        b2 = a * ((a + 1.0f) + (a - 1.0f) * cs - sqrtA2Alpha);
        a0 = (a + 1.0f) - (a - 1.0f) * cs + sqrtA2Alpha;
        a1 = 2.0f * ((a - 1.0f) - (a + 1.0f) * cs);
        a2 = (a + 1.0f) - (a - 1.0f) * cs - sqrtA2Alpha;
        break;
    case EqBandType::LowPass:
        b0 = (1.0f - cs) / 2.0f;
        b1 = 1.0f - cs;
        b2 = (1.0f - cs) / 2.0f;
        a0 = 1.0f + alpha;
        a1 = -2.0f * cs;
        a2 = 1.0f - alpha;
        break;
    case EqBandType::HighPass:
        b0 = (1.0f + cs) / 2.0f;
        b1 = -(1.0f + cs);
        b2 = (1.0f + cs) / 2.0f;
        a0 = 1.0f + alpha;
        a1 = -2.0f * cs;
        a2 = 1.0f - alpha;
        break;
    case EqBandType::Notch:
        b0 = 1.0f;
        b1 = -2.0f * cs;
        b2 = 1.0f;
        a0 = 1.0f + alpha;
        a1 = -2.0f * cs;
        a2 = 1.0f - alpha;
        break;
    case EqBandType::BandPass:
        b0 = alpha;
        b1 = 0.0f;
        b2 = -alpha;
        a0 = 1.0f + alpha;
        a1 = -2.0f * cs;
        a2 = 1.0f - alpha;
        break;
    }
    BiquadCoefficients c;
    c.b0 = b0 / a0;
    c.b1 = b1 / a0;
    c.b2 = b2 / a0;
    c.a1 = a1 / a0;
    c.a2 = a2 / a0;
    if (!std::isfinite(c.b0) || !std::isfinite(c.b1) || !std::isfinite(c.b2) || !std::isfinite(c.a1)
        || !std::isfinite(c.a2))
        return std::nullopt;
    return c;
}

void BiquadCoefficients::processInterleaved(std::span<const BiquadCoefficients> sections, std::span<float> samples,
                                            int channels)
{
    if (sections.empty() || channels < 1)
        return;
    const size_t stride = static_cast<size_t>(channels);
    const size_t bands = sections.size();
    const size_t total = samples.size();
    // Two states per channel and section. Interleaving the recursions lets the CPU overlap
    // their latencies, and the list is read and written once.
    std::vector<float> states(2 * bands * stride, 0.0f);
    float *data = samples.data();
    for (size_t base = 0; base < total; base += stride) {
        // A trailing partial frame still belongs to the channels it has.
        const size_t present = std::min(stride, total - base);
        for (size_t c = 0; c < present; ++c) {
            float x = data[base + c];
            float *state = states.data() + 2 * bands * c;
            for (const BiquadCoefficients &s : sections) {
                const float y = s.b0 * x + state[0];
                state[0] = s.b1 * x - s.a1 * y + state[1];
                state[1] = s.b2 * x - s.a2 * y;
                x = y;
                state += 2;
            }
            data[base + c] = x;
        }
    }
}
