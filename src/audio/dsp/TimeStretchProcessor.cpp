// SPDX-License-Identifier: GPL-3.0-or-later
// Offline time stretching by overlap-add of Hann-windowed, linearly interpolated grains.
#include "audio/dsp/TimeStretchProcessor.h"

#include "audio/dsp/DspParameter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

void TimeStretchProcessor::setStretchRatio(float ratio)
{
    stretchRatio = clampParameter(ratio, 0.25f, 4.0f);
}

void TimeStretchProcessor::setWindowSize(float ms)
{
    windowSize = clampParameter(ms, 5.0f, 200.0f) * sampleRate / 1000.0f;
}

void TimeStretchProcessor::setOverlap(float value)
{
    overlap = clampParameter(value, 0.1f, 0.9f);
}

namespace {

// Offset within ±`range` of `nominal` whose input best continues `continuation`: the largest
// normalised cross-correlation over `length` samples, the nearest offset on ties.
std::int64_t bestAlignment(const float *in, std::uint64_t inCount, double continuation, double nominal,
                           std::uint64_t length, std::int64_t range)
{
    const auto at = [&](std::int64_t index) -> float {
        return index >= 0 && static_cast<std::uint64_t>(index) < inCount ? in[index] : 0.0f;
    };
    const auto templateStart = static_cast<std::int64_t>(continuation);
    const auto searchStart = static_cast<std::int64_t>(nominal) - range;
    const auto span = static_cast<std::size_t>(2 * range) + length;
    // Zero-padded copies, so the inner loop needs no bounds checks.
    std::vector<float> pattern(length);
    for (std::size_t i = 0; i < length; ++i)
        pattern[i] = at(templateStart + static_cast<std::int64_t>(i));
    std::vector<float> candidates(span);
    std::vector<double> energyPrefix(span + 1, 0.0);
    for (std::size_t i = 0; i < span; ++i) {
        candidates[i] = at(searchStart + static_cast<std::int64_t>(i));
        energyPrefix[i + 1] = energyPrefix[i] + double(candidates[i]) * candidates[i];
    }

    std::int64_t best = 0;
    double bestScore = -std::numeric_limits<double>::infinity();
    for (std::int64_t step = 0; step <= 2 * range; ++step) {
        // 0, -1, 1, -2, 2, ...: on equal scores the nearest offset wins.
        const std::int64_t offset = step % 2 == 0 ? step / 2 : -(step + 1) / 2;
        if (searchStart + range + offset < 0)
            continue;
        const auto first = static_cast<std::size_t>(offset + range);
        const float *candidate = candidates.data() + first;
        // Independent partial sums let the compiler vectorise without reassociating.
        float partial[8] = {};
        std::size_t i = 0;
        for (; i + 8 <= length; i += 8) {
            for (std::size_t lane = 0; lane < 8; ++lane)
                partial[lane] += candidate[i + lane] * pattern[i + lane];
        }
        double product = 0.0;
        for (float lane : partial)
            product += lane;
        for (; i < length; ++i)
            product += double(candidate[i]) * pattern[i];
        const double energy = energyPrefix[first + length] - energyPrefix[first];
        const double score = energy > 1e-12 ? product / std::sqrt(energy) : 0.0;
        if (score > bestScore) {
            bestScore = score;
            best = offset;
        }
    }
    return best;
}

} // namespace

void TimeStretchProcessor::processOffline(const float *in, float *out, std::uint64_t inCount,
                                          std::uint64_t outCount) const
{
    if (inCount == 0 || outCount == 0)
        return;
    std::fill(out, out + outCount, 0.0f);
    const auto window = static_cast<std::uint64_t>(windowSize);
    const auto synthesisHop = std::max<std::uint64_t>(
        static_cast<std::uint64_t>((1.0f - overlap) * static_cast<float>(window)), 1);
    const double analysisHop = static_cast<double>(synthesisHop) / stretchRatio;
    const std::uint64_t overlapLength = window > synthesisHop ? window - synthesisHop : 0;
    const auto searchRange = static_cast<std::int64_t>(window / 4);
    const auto sampleAt = [&](double position) -> float {
        return position >= 0.0 && position < static_cast<double>(inCount)
                   ? in[static_cast<std::uint64_t>(position)] : 0.0f;
    };

    std::vector<float> norm(outCount, 0.0f);
    double previousSource = 0.0;
    for (std::uint64_t g = 0; g * synthesisHop < outCount; ++g) {
        const std::uint64_t start = g * synthesisHop;
        double source = static_cast<double>(g) * analysisHop;
        // Grains read at their nominal places drift in phase against the grain before them, and
        // the crossfades then pull the pitch off by up to a semitone. Each grain therefore
        // starts where the input best continues the previous one (at ratio 1 that is exactly
        // the nominal place).
        if (g > 0 && stretchRatio != 1.0f && overlapLength > 0) {
            const double continuation = previousSource + static_cast<double>(synthesisHop);
            source += static_cast<double>(
                bestAlignment(in, inCount, continuation, source, overlapLength, searchRange));
        }
        previousSource = source;
        const std::uint64_t length = std::min(window, outCount - start);
        for (std::uint64_t i = 0; i < length; ++i) {
            const float w = 0.5f * (1.0f - std::cos(2.0f * std::numbers::pi_v<float> * static_cast<float>(i)
                                                    / static_cast<float>(window)));
            const double m = source + static_cast<double>(i);
            const double j = std::trunc(m);
            const auto f = static_cast<float>(m - j);
            const float s = (1.0f - f) * sampleAt(j) + f * sampleAt(j + 1.0);
            out[start + i] += w * s;
            norm[start + i] += w;
        }
    }
    for (std::uint64_t i = 0; i < outCount; ++i) {
        if (norm[i] > 1e-6f)
            out[i] /= norm[i];
    }
}
