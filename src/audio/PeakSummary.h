// SPDX-License-Identifier: GPL-3.0-or-later
// Multi-level minimum/maximum summaries of one sample list or channel, so the exact extremes
// of any range can be found without reading more than a few hundred values.
#pragma once

#include <cstddef>
#include <limits>
#include <memory>
#include <span>
#include <utility>
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
    // The same summaries built while the samples are being written, range by range and
    // possibly on several threads at once, so that each range is read while still in cache:
    //  - startWriting sizes them for `count` samples, and again to grow them, keeping what
    //    was summarised;
    //  - summariseWritten summarises the base blocks lying wholly inside samples
    //    [first, first + count) of every channel; disjoint ranges may run at once;
    //  - finishWritten summarises the blocks that no one range held whole and builds the
    //    coarser levels. The result equals updateChannels on the finished samples, provided
    //    every sample was passed to summariseWritten after the last startWriting.
    static void startWriting(std::span<PeakSummary *const> summaries, std::size_t count);
    static void summariseWritten(std::span<PeakSummary *const> summaries, std::span<const SampleChannel> channels,
                                 std::size_t first, std::size_t count);
    static void finishWritten(std::span<PeakSummary *const> summaries, std::span<const SampleChannel> channels,
                              int maxThreads = defaultThreads());
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
    // Leaves new elements unset, so sizing a level for blocks about to be written does not
    // touch its memory first.
    template <typename T>
    struct UninitialisedAllocator : std::allocator<T>
    {
        template <typename U>
        struct rebind
        {
            using other = UninitialisedAllocator<U>;
        };
        template <typename U>
        void construct(U *place) noexcept
        {
            ::new (static_cast<void *>(place)) U;
        }
        template <typename U, typename... Args>
        void construct(U *place, Args &&...args)
        {
            ::new (static_cast<void *>(place)) U(std::forward<Args>(args)...);
        }
    };

    // Eight-byte aligned, so the edge blocks of concurrent ranges can be marked atomically.
    struct alignas(8) Extremes
    {
        float minimum;
        float maximum;
        bool operator==(const Extremes &) const = default;
    };
    // A base block summariseWritten found only partly inside its range. A block of NaNs
    // alone summarises to the same, and is then merely read again.
    static constexpr Extremes unwritten{std::numeric_limits<float>::infinity(),
                                        -std::numeric_limits<float>::infinity()};
    // Minimum and maximum side by side, so one block costs one memory access.
    struct Level
    {
        std::size_t blockSize = 0;
        std::vector<Extremes, UninitialisedAllocator<Extremes>> blocks;
        bool operator==(const Level &) const = default;
    };

    // Fills block `block` of level `depth` from the samples or the level below.
    void summariseBlock(std::size_t depth, std::size_t block, const SampleChannel &samples);
    // Base blocks [firstBlock, endBlock) of every channel; with `keepWritten`, only those
    // still unwritten.
    static void summariseBaseBlocks(std::span<PeakSummary *const> summaries, std::span<const SampleChannel> channels,
                                    std::size_t firstBlock, std::size_t endBlock, bool keepWritten);
    // updateChannels; with `keepWrittenBlocks`, base blocks that summariseWritten filled are
    // kept rather than read again.
    static void build(std::span<PeakSummary *const> summaries, std::span<const SampleChannel> channels,
                      std::size_t firstChanged, int maxThreads, bool keepWrittenBlocks);

    std::vector<Level> levels;
    std::size_t sampleCount = 0;
};
