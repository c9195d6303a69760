// SPDX-License-Identifier: GPL-3.0-or-later
// Windowed-sinc sample-rate conversion with exact integer timing, so a long stream never drifts.
#include "engine/StreamResampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <numbers>

namespace {
// Zero crossings of the sinc on each side, and table points between two of them.
constexpr int zeroCrossings = 32;
constexpr int tablePoints = 1024;
// Kaiser window shape: about 90 dB of stop-band attenuation.
constexpr double kaiserBeta = 9.0;
// The pass band ends a little below the lower Nyquist frequency, so the transition band
// does not fold back into it.
constexpr double rolloff = 0.9;
// Output frames fall on outputRate / gcd fractional positions; common rate pairs have a few
// hundred. Past this many, positions are rounded down to 1/maxPhases of an input frame.
constexpr int maxPhases = 4096;

double besselI0(double x)
{
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 50 && term > 1e-12 * sum; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

// Windowed sinc at 0 .. zeroCrossings in steps of 1 / tablePoints, with one point past the end
// for the interpolation.
const std::vector<float> &kernelTable()
{
    static const std::vector<float> table = [] {
        std::vector<float> values(std::size_t(zeroCrossings * tablePoints + 2), 0.0f);
        for (int i = 0; i <= zeroCrossings * tablePoints; ++i) {
            const double x = double(i) / tablePoints;
            const double sinc = i == 0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
            const double v = x / zeroCrossings;
            const double window = besselI0(kaiserBeta * std::sqrt(std::max(0.0, 1.0 - v * v))) / besselI0(kaiserBeta);
            values[std::size_t(i)] = float(sinc * window);
        }
        return values;
    }();
    return table;
}
} // namespace

void StreamResampler::reset(int inRate, int outRate, int channelCount, int maxInputFrames)
{
    inputRate = std::max(inRate, 1);
    outputRate = std::max(outRate, 1);
    channels = std::max(channelCount, 1);
    cutoff = rolloff * std::min(1.0, double(outputRate) / inputRate);
    // Wide enough for the kernel, and for the step between two output frames, so the frames
    // one output frame reads always overlap those of the next.
    const double step = double(inputRate) / outputRate;
    halfWidth = std::max(int(std::ceil(zeroCrossings / cutoff)), int(std::ceil(step)) + 3);
    phases = std::min(outputRate / std::gcd(inputRate, outputRate), maxPhases);
    // Weight of input frame centre - halfWidth + 1 + k at distance |fraction + halfWidth - 1 - k|.
    const std::vector<float> &table = kernelTable();
    weights.assign(std::size_t(phases) * std::size_t(2 * halfWidth), 0.0f);
    for (int p = 0; p < phases; ++p) {
        const double fraction = double(p) / phases;
        for (int k = 0; k < 2 * halfWidth; ++k) {
            const double position = std::fabs(fraction + double(halfWidth - 1 - k)) * cutoff * tablePoints;
            const auto index = std::size_t(position);
            if (index >= std::size_t(zeroCrossings * tablePoints))
                continue;
            const double part = position - double(index);
            weights[std::size_t(p * 2 * halfWidth + k)] =
                float(cutoff * (table[index] + part * (table[index + 1] - table[index])));
        }
    }
    held.assign(std::size_t(2 * halfWidth + int(std::ceil(step)) + 2 + std::max(maxInputFrames, 0)) * std::size_t(channels),
                0.0f);
    produced = 0;
    // Silence before frame 0 fills the first output frame's left side.
    heldStart = -(halfWidth - 1);
    heldFrames = halfWidth - 1;
}

std::int64_t StreamResampler::centreOf(std::int64_t outputFrame) const noexcept
{
    return outputFrame * inputRate / outputRate;
}

std::int64_t StreamResampler::firstNeeded() const noexcept
{
    return centreOf(produced) - halfWidth + 1;
}

int StreamResampler::inputNeeded(int outputFrames) const noexcept
{
    if (outputFrames <= 0)
        return 0;
    const std::int64_t needed = centreOf(produced + outputFrames - 1) + halfWidth + 1 - (heldStart + heldFrames);
    return int(std::max<std::int64_t>(needed, 0));
}

int StreamResampler::maxOutputFrames(int inputFrames) const noexcept
{
    return int((std::int64_t(std::max(inputFrames, 0)) + 2 * halfWidth) * outputRate / inputRate) + 2;
}

int StreamResampler::process(const float *input, int frames, float *output, int capacity) noexcept
{
    const std::int64_t room = std::int64_t(held.size()) / channels - heldFrames;
    const std::int64_t taken = std::clamp<std::int64_t>(frames, 0, room);
    if (taken > 0)
        std::memcpy(held.data() + heldFrames * channels, input, std::size_t(taken * channels) * sizeof(float));
    heldFrames += taken;

    const int taps = 2 * halfWidth;
    int made = 0;
    while (made < capacity) {
        const std::int64_t centre = centreOf(produced);
        if (centre + halfWidth >= heldStart + heldFrames)
            break;
        const std::int64_t phase = produced * inputRate % outputRate * phases / outputRate;
        const float *weight = weights.data() + phase * taps;
        const float *first = held.data() + (centre - halfWidth + 1 - heldStart) * channels;
        for (int c = 0; c < channels; ++c) {
            float sum = 0.0f;
            for (int k = 0; k < taps; ++k)
                sum += weight[k] * first[k * channels + c];
            output[made * channels + c] = sum;
        }
        ++produced;
        ++made;
    }

    const std::int64_t drop = std::clamp<std::int64_t>(firstNeeded() - heldStart, 0, heldFrames);
    if (drop > 0) {
        std::memmove(held.data(), held.data() + drop * channels,
                     std::size_t((heldFrames - drop) * channels) * sizeof(float));
        heldStart += drop;
        heldFrames -= drop;
    }
    return made;
}
