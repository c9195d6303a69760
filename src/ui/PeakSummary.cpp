// SPDX-License-Identifier: GPL-3.0-or-later
// Multi-level minimum/maximum summaries of one sample list or channel.
#include "ui/PeakSummary.h"

#include <algorithm>
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

} // namespace

SampleChannel::SampleChannel(std::span<const float> interleaved, std::size_t channel, std::size_t channels)
    : size(channel < channels ? interleaved.size() / channels : 0)
    , stride(channels)
{
    if (size > 0)
        data = interleaved.data() + channel;
}

void PeakSummary::update(SampleChannel samples, std::size_t firstChanged)
{
    sampleCount = samples.size;
    firstChanged = std::min(firstChanged, sampleCount);

    std::size_t depth = 0;
    for (std::size_t blockSize = baseBlockSize; sampleCount / blockSize > 0; blockSize *= levelFactor) {
        if (levels.size() == depth)
            levels.push_back(Level{blockSize, {}});
        Level &level = levels[depth];
        const std::size_t count = sampleCount / blockSize;
        const std::size_t first = std::min(firstChanged / blockSize, level.blocks.size());
        level.blocks.resize(count);
        for (std::size_t b = first; b < count; ++b) {
            float lo = std::numeric_limits<float>::infinity();
            float hi = -std::numeric_limits<float>::infinity();
            if (depth == 0) {
                scanSamples(samples, b * blockSize, (b + 1) * blockSize, lo, hi);
            } else {
                for (const Extremes &finer : std::span(levels[depth - 1].blocks).subspan(b * levelFactor, levelFactor)) {
                    lo = finer.minimum < lo ? finer.minimum : lo;
                    hi = finer.maximum > hi ? finer.maximum : hi;
                }
            }
            level.blocks[b] = {lo, hi};
        }
        ++depth;
    }
    levels.resize(depth);
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
