// SPDX-License-Identifier: GPL-3.0-or-later
// Multi-level minimum/maximum summaries of one sample list or channel.
#include "audio/PeakSummary.h"

#include "audio/ParallelRanges.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <thread>

namespace {

// Below this many values to read, a thread costs more to start than it saves.
constexpr std::size_t minValuesPerThread = std::size_t(1) << 16;

// Written as comparisons rather than std::min so that a NaN sample never replaces a
// running extreme.
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

// Running extremes of consecutive values in eight lanes: lane k sees every value whose
// index is k modulo 8. Eight of them break the chain of dependent comparisons; in vectors,
// the comparisons below become packed min/max instructions, which like scanSamples keep the
// running extreme when a sample is NaN. The order in which lanes are folded cannot change a
// minimum or maximum.
struct EightLanes
{
    using FourFloats = float __attribute__((vector_size(16)));
    static constexpr std::size_t lanes = 8;

    FourFloats lo[2];
    FourFloats hi[2];

    EightLanes()
    {
        constexpr float infinity = std::numeric_limits<float>::infinity();
        lo[0] = lo[1] = FourFloats{} + infinity;
        hi[0] = hi[1] = FourFloats{} - infinity;
    }

    static_assert(PeakSummary::baseBlockSize % lanes == 0);

    // `count` is a multiple of eight.
    void scan(const float *values, std::size_t count)
    {
        for (std::size_t i = 0; i < count; i += lanes) {
            for (std::size_t half = 0; half < 2; ++half) {
                FourFloats v;
                std::memcpy(&v, values + i + 4 * half, sizeof v);
                lo[half] = v < lo[half] ? v : lo[half];
                hi[half] = v > hi[half] ? v : hi[half];
            }
        }
    }

    // Folds every lane into the extremes.
    void fold(float &minimum, float &maximum) const
    {
        float lanesMinimum[2];
        float lanesMaximum[2];
        foldPairs(lanesMinimum, lanesMaximum);
        for (std::size_t k = 0; k < 2; ++k) {
            minimum = lanesMinimum[k] < minimum ? lanesMinimum[k] : minimum;
            maximum = lanesMaximum[k] > maximum ? lanesMaximum[k] : maximum;
        }
    }

    // The extremes of the even lanes in minimum[0] and maximum[0], of the odd ones in [1]. Lanes never
    // hold NaN, so the packed instructions may fold them in any order.
    void foldPairs(float (&minimum)[2], float (&maximum)[2]) const
    {
        FourFloats low = lo[0] < lo[1] ? lo[0] : lo[1];
        FourFloats high = hi[0] > hi[1] ? hi[0] : hi[1];
        const FourFloats lowSwapped = __builtin_shufflevector(low, low, 2, 3, 0, 1);
        const FourFloats highSwapped = __builtin_shufflevector(high, high, 2, 3, 0, 1);
        low = lowSwapped < low ? lowSwapped : low;
        high = highSwapped > high ? highSwapped : high;
        for (std::size_t k = 0; k < 2; ++k) {
            minimum[k] = low[k];
            maximum[k] = high[k];
        }
    }
};

void scanBaseBlock(const SampleChannel &samples, std::size_t block, float &minimum, float &maximum)
{
    const std::size_t begin = block * PeakSummary::baseBlockSize;
    if (samples.stride != 1) {
        scanSamples(samples, begin, begin + PeakSummary::baseBlockSize, minimum, maximum);
        return;
    }
    EightLanes extremes;
    extremes.scan(samples.data + begin, PeakSummary::baseBlockSize);
    extremes.fold(minimum, maximum);
}

// The extremes of both channels of a base block of interleaved stereo frames, read as
// consecutive values: the even lanes see the left channel, the odd ones the right.
void scanStereoBaseBlock(const float *frames, float (&minimum)[2], float (&maximum)[2])
{
    EightLanes extremes;
    extremes.scan(frames, 2 * PeakSummary::baseBlockSize);
    extremes.foldPairs(minimum, maximum);
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
    build(summaries, channels, firstChanged, maxThreads, false);
}

void PeakSummary::startWriting(std::span<PeakSummary *const> summaries, std::size_t count)
{
    for (PeakSummary *summary : summaries) {
        summary->levels.resize(1);
        Level &base = summary->levels.front();
        base.blockSize = baseBlockSize;
        base.blocks.resize(count / baseBlockSize);
        summary->sampleCount = 0;
    }
}

void PeakSummary::summariseWritten(std::span<PeakSummary *const> summaries, std::span<const SampleChannel> channels,
                                   std::size_t first, std::size_t count)
{
    if (count == 0)
        return;
    const std::size_t end = first + count;
    // A block this range holds only part of is left to finishWritten. The range beside it
    // may mark the same block at the same moment.
    const auto markPartial = [&](std::size_t block) {
        for (PeakSummary *summary : summaries)
            if (block < summary->levels[0].blocks.size())
                std::atomic_ref<Extremes>(summary->levels[0].blocks[block]).store(unwritten, std::memory_order_relaxed);
    };
    if (first % baseBlockSize != 0)
        markPartial(first / baseBlockSize);
    if (end % baseBlockSize != 0)
        markPartial(end / baseBlockSize);
    summariseBaseBlocks(summaries, channels, (first + baseBlockSize - 1) / baseBlockSize, end / baseBlockSize, false);
}

void PeakSummary::summariseBaseBlocks(std::span<PeakSummary *const> summaries,
                                      std::span<const SampleChannel> channels, std::size_t firstBlock,
                                      std::size_t endBlock, bool keepWritten)
{
    const bool stereoFrames = channels.size() == 2 && channels[0].stride == 2 && channels[1].stride == 2
        && channels[1].data == channels[0].data + 1;
    for (std::size_t b = firstBlock; b < endBlock; ++b) {
        if (stereoFrames) {
            Extremes &left = summaries[0]->levels[0].blocks[b];
            Extremes &right = summaries[1]->levels[0].blocks[b];
            if (keepWritten && left != unwritten && right != unwritten)
                continue;
            float lo[2];
            float hi[2];
            scanStereoBaseBlock(channels[0].data + 2 * b * baseBlockSize, lo, hi);
            left = {lo[0], hi[0]};
            right = {lo[1], hi[1]};
            continue;
        }
        for (std::size_t c = 0; c < summaries.size(); ++c)
            if (!keepWritten || summaries[c]->levels[0].blocks[b] == unwritten)
                summaries[c]->summariseBlock(0, b, channels[c]);
    }
}

void PeakSummary::finishWritten(std::span<PeakSummary *const> summaries, std::span<const SampleChannel> channels,
                                int maxThreads)
{
    build(summaries, channels, 0, maxThreads, true);
}

void PeakSummary::build(std::span<PeakSummary *const> summaries, std::span<const SampleChannel> channels,
                        std::size_t firstChanged, int maxThreads, bool keepWrittenBlocks)
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
            auto &level = summary->levels[depth].blocks;
            first = std::min(first, level.size());
            level.resize(blocks);
        }
        // Block by block through every channel, so channels that share cache lines (those of
        // interleaved frames) are read from memory once.
        const bool keepWritten = keepWrittenBlocks && depth == 0;
        const auto summariseBlocks = [&](qint64 begin, qint64 blockCount, bool) {
            const std::size_t end = first + std::size_t(begin + blockCount);
            if (depth == 0) {
                summariseBaseBlocks(summaries, channels, first + std::size_t(begin), end, keepWritten);
                return true;
            }
            for (std::size_t b = first + std::size_t(begin); b < end; ++b)
                for (std::size_t c = 0; c < summaries.size(); ++c)
                    summaries[c]->summariseBlock(depth, b, channels[c]);
            return true;
        };
        const std::size_t valuesRead = (blocks - first) * (depth == 0 && !keepWritten ? blockSize : levelFactor)
            * summaries.size();
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
