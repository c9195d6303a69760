// SPDX-License-Identifier: GPL-3.0-or-later
// Multi-level minimum/maximum summaries of one sample list or channel.
#include "ui/PeakSummary.h"

#include "audio/ParallelRanges.h"

#include <algorithm>
#include <limits>
#include <thread>

namespace {

// Below this many values to read, a thread costs more to start than it saves.
constexpr std::size_t minValuesPerThread = std::size_t(1) << 16;

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

// scanSamples over one base block of a list or of one channel of stereo frames. Eight
// running extremes side by side break the chain of dependent comparisons and fit one packed
// register; the order in which they are folded cannot change a minimum or maximum.
template <std::size_t Stride>
void scanBaseBlock(const float *values, float &minimum, float &maximum)
{
    constexpr std::size_t lanes = 8;
    static_assert(PeakSummary::baseBlockSize % lanes == 0);
    float lo[lanes];
    float hi[lanes];
    std::fill(std::begin(lo), std::end(lo), minimum);
    std::fill(std::begin(hi), std::end(hi), maximum);
    for (std::size_t i = 0; i < PeakSummary::baseBlockSize; i += lanes) {
        for (std::size_t k = 0; k < lanes; ++k) {
            const float v = values[(i + k) * Stride];
            lo[k] = v < lo[k] ? v : lo[k];
            hi[k] = v > hi[k] ? v : hi[k];
        }
    }
    for (std::size_t k = 0; k < lanes; ++k) {
        minimum = lo[k] < minimum ? lo[k] : minimum;
        maximum = hi[k] > maximum ? hi[k] : maximum;
    }
}

void scanBaseBlock(const SampleChannel &samples, std::size_t block, float &minimum, float &maximum)
{
    const std::size_t begin = block * PeakSummary::baseBlockSize;
    if (samples.stride == 1)
        scanBaseBlock<1>(samples.data + begin, minimum, maximum);
    else if (samples.stride == 2)
        scanBaseBlock<2>(samples.data + 2 * begin, minimum, maximum);
    else
        scanSamples(samples, begin, begin + PeakSummary::baseBlockSize, minimum, maximum);
}

} // namespace

SampleChannel::SampleChannel(std::span<const float> interleaved, std::size_t channel, std::size_t channels)
    : size(channel < channels ? interleaved.size() / channels : 0)
    , stride(channels)
{
    if (size > 0)
        data = interleaved.data() + channel;
}

int PeakSummary::defaultThreads()
{
    return int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
}

void PeakSummary::update(SampleChannel samples, std::size_t firstChanged, int maxThreads)
{
    PeakSummary *const self[] = {this};
    updateChannels(self, {&samples, 1}, firstChanged, maxThreads);
}

void PeakSummary::updateChannels(std::span<PeakSummary *const> summaries, std::span<const SampleChannel> channels,
                                 std::size_t firstChanged, int maxThreads)
{
    const std::size_t count = channels.empty() ? 0 : channels.front().size;
    firstChanged = std::min(firstChanged, count);
    for (PeakSummary *summary : summaries)
        summary->sampleCount = count;

    std::size_t depth = 0;
    for (std::size_t blockSize = baseBlockSize; count / blockSize > 0; blockSize *= levelFactor) {
        const std::size_t blocks = count / blockSize;
        std::size_t first = firstChanged / blockSize;
        for (PeakSummary *summary : summaries) {
            if (summary->levels.size() == depth)
                summary->levels.push_back(Level{blockSize, {}});
            std::vector<Extremes> &level = summary->levels[depth].blocks;
            first = std::min(first, level.size());
            level.resize(blocks);
        }
        // Block by block through every channel, so channels that share cache lines (those of
        // interleaved frames) are read from memory once.
        const auto summariseBlocks = [&](qint64 begin, qint64 blockCount, bool) {
            const std::size_t end = first + std::size_t(begin + blockCount);
            for (std::size_t b = first + std::size_t(begin); b < end; ++b)
                for (std::size_t c = 0; c < summaries.size(); ++c)
                    summaries[c]->summariseBlock(depth, b, channels[c]);
            return true;
        };
        const std::size_t valuesRead = (blocks - first) * (depth == 0 ? blockSize : levelFactor) * summaries.size();
        const auto threads = std::clamp<std::size_t>(valuesRead / minValuesPerThread, 1, std::max(maxThreads, 1));
        ParallelRanges::run(qint64(blocks - first), int(threads), summariseBlocks);
        ++depth;
    }
    for (PeakSummary *summary : summaries)
        summary->levels.resize(depth);
}

void PeakSummary::summariseBlock(std::size_t depth, std::size_t block, const SampleChannel &samples)
{
    float lo = std::numeric_limits<float>::infinity();
    float hi = -std::numeric_limits<float>::infinity();
    if (depth == 0) {
        scanBaseBlock(samples, block, lo, hi);
    } else {
        for (const Extremes &finer : std::span(levels[depth - 1].blocks).subspan(block * levelFactor, levelFactor)) {
            lo = finer.minimum < lo ? finer.minimum : lo;
            hi = finer.maximum > hi ? finer.maximum : hi;
        }
    }
    levels[depth].blocks[block] = {lo, hi};
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
