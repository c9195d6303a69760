// SPDX-License-Identifier: GPL-3.0-or-later
// Multi-level minimum/maximum summaries of one sample list or channel, so the exact extremes
// of any range can be found without reading more than a few hundred values.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

// One channel of a sample list: value i is data[i * stride]. A plain list is stride 1; the
// channels of interleaved frames are read in place, so nothing is copied apart to summarise
// or draw them.
struct SampleChannel
{
    SampleChannel(std::span<const float> list) : data(list.data()), size(list.size()) {}
    // Channel `channel` of frames of `channels` values each; a partial last frame is left out.
    SampleChannel(std::span<const float> interleaved, std::size_t channel, std::size_t channels);

    const float *data = nullptr;
    std::size_t size = 0;
    std::size_t stride = 1;
};

// Level k holds the minimum and maximum of every full block of 32 x 16^k samples, about a
// quarter of a byte per sample in all. A range query reads raw samples only up to the first
// and from the last 32-sample boundary, and at most 30 blocks per level in between, so a
// pixel column of a one-hour clip costs a few dozen cache lines. The summary keeps no
// pointer to the samples: queries take the same list again, so a caller that reallocates
// its list can never leave a dangling view.
class PeakSummary
{
public:
    static constexpr std::size_t baseBlockSize = 32;
    static constexpr std::size_t levelFactor = 16;

    // Summarises `samples`, recomputing only the blocks at or after `firstChanged`
    // (0 after a replacement, the old length after an append). Long lists are split over up
    // to `maxThreads` threads at block boundaries, which gives the same blocks as one thread.
    // Not real-time safe.
    void update(SampleChannel samples, std::size_t firstChanged = 0, int maxThreads = defaultThreads());
    void update(std::span<const float> samples, std::size_t firstChanged = 0, int maxThreads = defaultThreads())
    {
        update(SampleChannel(samples), firstChanged, maxThreads);
    }
    // Summarises channels[i] into *summaries[i], as update() would each; every channel has
    // the same length. The channels of interleaved frames share cache lines, which are then
    // read from memory once rather than once per channel.
    static void updateChannels(std::span<PeakSummary *const> summaries, std::span<const SampleChannel> channels,
                               std::size_t firstChanged = 0, int maxThreads = defaultThreads());
    static int defaultThreads();
    void clear();

    // Number of samples summarised by the last update.
    std::size_t size() const { return sampleCount; }

    bool operator==(const PeakSummary &) const = default;

    // Folds the exact extremes of samples[begin, end) into `minimum` and `maximum`;
    // NaN values are skipped. `samples` must be the list or channel of the last update.
    void accumulate(SampleChannel samples, std::size_t begin, std::size_t end, float &minimum,
                    float &maximum) const;
    void accumulate(std::span<const float> samples, std::size_t begin, std::size_t end, float &minimum,
                    float &maximum) const
    {
        accumulate(SampleChannel(samples), begin, end, minimum, maximum);
    }

private:
    struct Extremes
    {
        float minimum;
        float maximum;
        bool operator==(const Extremes &) const = default;
    };
    // Minimum and maximum side by side, so one block costs one memory access.
    struct Level
    {
        std::size_t blockSize = 0;
        std::vector<Extremes> blocks;
        bool operator==(const Level &) const = default;
    };

    // Fills block `block` of level `depth` from the samples or the level below.
    void summariseBlock(std::size_t depth, std::size_t block, const SampleChannel &samples);

    std::vector<Level> levels;
    std::size_t sampleCount = 0;
};
