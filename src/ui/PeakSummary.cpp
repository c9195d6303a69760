// SPDX-License-Identifier: GPL-3.0-or-later
// Multi-level minimum/maximum summaries of one sample list or channel.
#include "ui/PeakSummary.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// Written as comparisons rather than std::min so that a NaN sample never replaces a
// running extreme, and so the compiler can map it onto packed min/max instructions.
void scanSamples(const SampleChannel &samples, std::size_t begin, std::size_t end, float &minimum, float &maximum)
{
    const float *values = samples.data;
    const std::size_t stride = samples.stride;
    float lo = minimum;
    float hi = maximum;
    for (std::size_t i = begin; i < end; ++i) {
        const float v = values[i * stride];
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
    }
    minimum = lo;
    maximum = hi;
}

// Sixteen running extremes in four vectors of four: frame values stream through them in
// order, so with `channels` dividing 16, lane k only ever sees channel k % channels.
using Lanes = float __attribute__((vector_size(16)));
constexpr std::size_t laneCount = 16;
constexpr std::size_t vectorCount = laneCount / (sizeof(Lanes) / sizeof(float));

} // namespace

SampleChannel::SampleChannel(std::span<const float> interleaved, std::size_t channel, std::size_t channels)
    : size(channel < channels ? interleaved.size() / channels : 0)
    , stride(channels)
{
    if (size > 0)
        data = interleaved.data() + channel;
}

PeakSummary::Level &PeakSummary::startBase(std::size_t samples)
{
    sampleCount = samples;
    if (levels.empty())
        levels.push_back(Level{baseBlockSize, {}});
    levels[0].blocks.resize(sampleCount / baseBlockSize);
    return levels[0];
}

void PeakSummary::scanBaseBlocks(const float *interleaved, std::size_t channels, std::size_t first,
                                 std::size_t last, Extremes *const *bases)
{
    constexpr float inf = std::numeric_limits<float>::infinity();
    constexpr std::size_t vectorValues = laneCount / vectorCount;
    const std::size_t blockValues = baseBlockSize * channels;
    for (std::size_t b = first; b < last; ++b) {
        const float *block = interleaved + b * blockValues;
        Lanes lo[vectorCount];
        Lanes hi[vectorCount];
        for (std::size_t v = 0; v < vectorCount; ++v) {
            lo[v] = Lanes{inf, inf, inf, inf};
            hi[v] = -lo[v];
        }
        for (std::size_t j = 0; j < blockValues; j += laneCount) {
            for (std::size_t v = 0; v < vectorCount; ++v) {
                Lanes x;
                std::memcpy(&x, block + j + v * vectorValues, sizeof x);
                lo[v] = x < lo[v] ? x : lo[v];
                hi[v] = x > hi[v] ? x : hi[v];
            }
        }
        float lows[laneCount];
        float highs[laneCount];
        std::memcpy(lows, lo, sizeof lows);
        std::memcpy(highs, hi, sizeof highs);
        for (std::size_t c = 0; c < channels; ++c) {
            float minimum = lows[c];
            float maximum = highs[c];
            for (std::size_t k = c + channels; k < laneCount; k += channels) {
                minimum = lows[k] < minimum ? lows[k] : minimum;
                maximum = highs[k] > maximum ? highs[k] : maximum;
            }
            bases[c][b] = {minimum, maximum};
        }
    }
}

void PeakSummary::update(SampleChannel samples, std::size_t firstChanged)
{
    firstChanged = std::min(firstChanged, samples.size);
    const std::size_t kept = levels.empty() ? 0 : levels[0].blocks.size();
    Level &base = startBase(samples.size);
    const std::size_t first = std::min(firstChanged / baseBlockSize, kept);
    if (samples.stride == 1) {
        Extremes *const blocks = base.blocks.data();
        scanBaseBlocks(samples.data, 1, first, base.blocks.size(), &blocks);
    } else {
        for (std::size_t b = first; b < base.blocks.size(); ++b) {
            float lo = std::numeric_limits<float>::infinity();
            float hi = -std::numeric_limits<float>::infinity();
            scanSamples(samples, b * baseBlockSize, (b + 1) * baseBlockSize, lo, hi);
            base.blocks[b] = {lo, hi};
        }
    }
    updateUpperLevels(first * baseBlockSize);
}

void PeakSummary::updateChannels(std::span<const float> interleaved, std::span<PeakSummary *const> summaries)
{
    const std::size_t channels = summaries.size();
    if (channels == 0)
        return;
    if (laneCount % channels != 0) {
        for (std::size_t c = 0; c < channels; ++c)
            summaries[c]->update(SampleChannel(interleaved, c, channels));
        return;
    }
    const std::size_t frames = interleaved.size() / channels;
    Extremes *bases[laneCount] = {};
    for (std::size_t c = 0; c < channels; ++c)
        bases[c] = summaries[c]->startBase(frames).blocks.data();
    scanBaseBlocks(interleaved.data(), channels, 0, frames / baseBlockSize, bases);
    for (PeakSummary *summary : summaries)
        summary->updateUpperLevels(0);
}

void PeakSummary::updateUpperLevels(std::size_t firstChanged)
{
    std::size_t depth = 1;
    for (std::size_t blockSize = baseBlockSize * levelFactor; sampleCount / blockSize > 0; blockSize *= levelFactor) {
        if (levels.size() == depth)
            levels.push_back(Level{blockSize, {}});
        Level &level = levels[depth];
        const std::size_t count = sampleCount / blockSize;
        const std::size_t first = std::min(firstChanged / blockSize, level.blocks.size());
        level.blocks.resize(count);
        for (std::size_t b = first; b < count; ++b) {
            float lo = std::numeric_limits<float>::infinity();
            float hi = -std::numeric_limits<float>::infinity();
            for (const Extremes &finer : std::span(levels[depth - 1].blocks).subspan(b * levelFactor, levelFactor)) {
                lo = finer.minimum < lo ? finer.minimum : lo;
                hi = finer.maximum > hi ? finer.maximum : hi;
            }
            level.blocks[b] = {lo, hi};
        }
        ++depth;
    }
    levels.resize(sampleCount >= baseBlockSize ? depth : 0);
}

void PeakSummary::clear()
{
    levels.clear();
    sampleCount = 0;
}

void PeakSummary::accumulate(SampleChannel samples, std::size_t begin, std::size_t end, float &minimum,
                             float &maximum) const
{
    end = std::min(end, samples.size);
    if (begin >= end)
        return;
    // Blocks only stand for samples that have been summarised.
    const std::size_t summarisedEnd = std::min(end, sampleCount);

    const auto take = [&](const Level &level, std::size_t at) {
        const Extremes &block = level.blocks[at / level.blockSize];
        minimum = block.minimum < minimum ? block.minimum : minimum;
        maximum = block.maximum > maximum ? block.maximum : maximum;
    };

    std::size_t i = begin;
    const std::size_t headEnd = std::min(end, (begin + baseBlockSize - 1) / baseBlockSize * baseBlockSize);
    scanSamples(samples, i, headEnd, minimum, maximum);
    i = headEnd;

    // Climb while whole blocks of the next level fit, then come down again.
    std::size_t top = 0;
    for (; top < levels.size(); ++top) {
        const Level &level = levels[top];
        const std::size_t parentSize = level.blockSize * levelFactor;
        while (i % parentSize != 0 && i + level.blockSize <= summarisedEnd) {
            take(level, i);
            i += level.blockSize;
        }
        if (i % parentSize != 0 || top + 1 == levels.size() || i + parentSize > summarisedEnd)
            break;
    }
    for (std::size_t d = std::min(top + 1, levels.size()); d-- > 0;) {
        const Level &level = levels[d];
        while (i + level.blockSize <= summarisedEnd) {
            take(level, i);
            i += level.blockSize;
        }
    }
    scanSamples(samples, i, end, minimum, maximum);
}
