// SPDX-License-Identifier: GPL-3.0-or-later
// Offline time stretching by overlap-add of Hann-windowed, linearly interpolated grains.
#include "audio/dsp/TimeStretchProcessor.h"

#include "audio/dsp/DspParameter.h"
#include "audio/dsp/HannWindow.h"
#include "audio/dsp/OverlapAddNorm.h"
#include "audio/Fft.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
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

// Sum of candidate[i] x pattern[i] over `length` samples. Independent partial sums let the
// compiler vectorise without reassociating.
double dotProduct(const float *candidate, const float *pattern, std::size_t length)
{
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
    return product;
}

// Finds the offset within ±`range` of a grain's nominal place whose input best continues the
// previous grain: the largest normalised cross-correlation over `length` samples, the nearest
// offset on ties. The correlations of all offsets come from one FFT product; only the offsets
// that its rounding leaves in doubt are summed directly, so the choice is the direct one.
class GrainAligner
{
public:
    GrainAligner(std::uint64_t length, std::int64_t range)
        : length(length), range(range), span(static_cast<std::size_t>(2 * range) + length),
          transformLength(std::bit_ceil(span)), fft(static_cast<int>(transformLength)), pattern(transformLength),
          candidates(transformLength), patternBins(transformLength / 2 + 1), candidateBins(transformLength / 2 + 1),
          products(transformLength), energyPrefix(span + 1), upperScores(static_cast<std::size_t>(2 * range) + 1)
    {
    }

    std::int64_t bestOffset(const float *in, std::uint64_t inCount, double continuation, double nominal);

private:
    std::uint64_t length;
    std::int64_t range;
    std::size_t span;
    std::size_t transformLength; // no shorter than the candidates, so no correlation wraps
    Fft fft;
    // Zero-padded copies, so no loop needs bounds checks.
    std::vector<float> pattern;
    std::vector<float> candidates;
    std::vector<std::complex<float>> patternBins;
    std::vector<std::complex<float>> candidateBins;
    std::vector<float> products;
    std::vector<double> energyPrefix;
    std::vector<double> upperScores;
};

std::int64_t GrainAligner::bestOffset(const float *in, std::uint64_t inCount, double continuation, double nominal)
{
    const auto at = [&](std::int64_t index) -> float {
        return index >= 0 && static_cast<std::uint64_t>(index) < inCount ? in[index] : 0.0f;
    };
    const auto templateStart = static_cast<std::int64_t>(continuation);
    const auto searchStart = static_cast<std::int64_t>(nominal) - range;
    double patternEnergy = 0.0;
    for (std::size_t i = 0; i < length; ++i) {
        pattern[i] = at(templateStart + static_cast<std::int64_t>(i));
        patternEnergy += double(pattern[i]) * pattern[i];
    }
    for (std::size_t i = 0; i < span; ++i) {
        candidates[i] = at(searchStart + static_cast<std::int64_t>(i));
        energyPrefix[i + 1] = energyPrefix[i] + double(candidates[i]) * candidates[i];
    }

    // products[first] = sum over i of candidates[first + i] x pattern[i]; no index wraps,
    // since the transform is at least as long as the candidates.
    fft.forward(pattern.data(), patternBins.data());
    fft.forward(candidates.data(), candidateBins.data());
    for (std::size_t k = 0; k < candidateBins.size(); ++k)
        candidateBins[k] *= std::conj(patternBins[k]);
    fft.inverse(candidateBins.data(), products.data());
    // Far above the single-precision transform's rounding, which stays near 1e-6 of the
    // Cauchy-Schwarz bound however long the transform is.
    const double doubt = 1e-4 * std::sqrt(patternEnergy * energyPrefix[span]);

    const auto energyAt = [&](std::size_t first) { return energyPrefix[first + length] - energyPrefix[first]; };
    // Offsets that would start the grain before the input are never taken.
    const auto firstUsable = static_cast<std::size_t>(std::clamp<std::int64_t>(-searchStart, 0, 2 * range + 1));
    // Each offset's score could be as high as upperScores[first]; the best is at least the
    // threshold.
    double threshold = -std::numeric_limits<double>::infinity();
    for (std::size_t first = firstUsable; first < upperScores.size(); ++first) {
        const double energy = energyAt(first);
        const double inverseRoot = energy > 1e-12 ? 1.0 / std::sqrt(energy) : 0.0;
        const double score = products[first] * inverseRoot;
        const double margin = doubt * inverseRoot;
        upperScores[first] = score + margin;
        threshold = std::max(threshold, score - margin);
    }

    std::int64_t best = 0;
    double bestScore = -std::numeric_limits<double>::infinity();
    for (std::int64_t step = 0; step <= 2 * range; ++step) {
        // 0, -1, 1, -2, 2, ...: on equal scores the nearest offset wins.
        const std::int64_t offset = step % 2 == 0 ? step / 2 : -(step + 1) / 2;
        const auto first = static_cast<std::size_t>(offset + range);
        if (first < firstUsable)
            continue;
        if (upperScores[first] < threshold)
            continue; // certainly below the best
        const double energy = energyAt(first);
        const double product = dotProduct(candidates.data() + first, pattern.data(), length);
        const double score = energy > 1e-12 ? product / std::sqrt(energy) : 0.0;
        if (score > bestScore) {
            bestScore = score;
            best = offset;
        }
    }
    return best;
}

// Adds `length` samples of the input read from `source` on (linear interpolation, silence
// outside the input) under the window to `out`, whose first `filled` samples already hold
// earlier grains and the rest nothing yet.
void addGrain(const float *in, std::uint64_t inCount, double source, const float *hann, float *out,
              std::uint64_t length, std::uint64_t filled)
{
    // Source positions are never negative, so the grain reads in[first + i] and the next sample.
    const auto first = static_cast<std::uint64_t>(source);
    const auto f = static_cast<float>(source - std::trunc(source));
    const auto sampleAt = [&](std::uint64_t index) { return index < inCount ? in[index] : 0.0f; };
    // Inside the input the loops carry no bounds checks and vectorise.
    const std::uint64_t inside = first + 1 < inCount ? std::min(length, inCount - first - 1) : 0;
    const float *x = in + first;
    const std::uint64_t overlapEnd = std::min(filled, inside);
    for (std::uint64_t i = 0; i < overlapEnd; ++i)
        out[i] += hann[i] * ((1.0f - f) * x[i] + f * x[i + 1]);
    for (std::uint64_t i = overlapEnd; i < inside; ++i)
        out[i] = hann[i] * ((1.0f - f) * x[i] + f * x[i + 1]);
    for (std::uint64_t i = inside; i < length; ++i) {
        const float value = hann[i] * ((1.0f - f) * sampleAt(first + i) + f * sampleAt(first + i + 1));
        out[i] = i < filled ? out[i] + value : value;
    }
}

} // namespace

void TimeStretchProcessor::processOffline(const float *in, float *out, std::uint64_t inCount,
                                          std::uint64_t outCount) const
{
    if (inCount == 0 || outCount == 0)
        return;
    const auto window = static_cast<std::uint64_t>(windowSize);
    const auto synthesisHop = std::max<std::uint64_t>(
        static_cast<std::uint64_t>((1.0f - overlap) * static_cast<float>(window)), 1);
    const double analysisHop = static_cast<double>(synthesisHop) / stretchRatio;
    const std::uint64_t overlapLength = window > synthesisHop ? window - synthesisHop : 0;
    const auto searchRange = static_cast<std::int64_t>(window / 4);
    const std::vector<float> hann = hannWindow(window, HannShape::Periodic);
    OverlapAddNorm norms(hann, synthesisHop);
    const bool aligns = stretchRatio != 1.0f && overlapLength > 0;
    std::optional<GrainAligner> aligner;
    if (aligns)
        aligner.emplace(overlapLength, searchRange);

    std::uint64_t written = 0; // out[0, written) holds this call's sums
    double previousSource = 0.0;
    for (std::uint64_t g = 0; g * synthesisHop < outCount; ++g) {
        const std::uint64_t start = g * synthesisHop;
        double source = static_cast<double>(g) * analysisHop;
        // Grains read at their nominal places drift in phase against the grain before them, and
        // the crossfades then pull the pitch off by up to a semitone. Each grain therefore
        // starts where the input best continues the previous one (at ratio 1 that is exactly
        // the nominal place).
        if (g > 0 && aligns) {
            const double continuation = previousSource + static_cast<double>(synthesisHop);
            source += static_cast<double>(aligner->bestOffset(in, inCount, continuation, source));
        }
        previousSource = source;
        const std::uint64_t length = std::min(window, outCount - start);
        addGrain(in, inCount, source, hann.data(), out + start, length, written - start);
        written = start + length;
        // No later grain reaches below the next one's start: that stretch is final.
        const std::uint64_t finalEnd = std::min(start + synthesisHop, outCount);
        const std::span<const float> sums = norms.hopAt(start);
        for (std::uint64_t i = start; i < finalEnd; ++i) {
            if (sums[i - start] > 1e-6f)
                out[i] /= sums[i - start];
        }
    }
}
