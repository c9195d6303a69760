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
    // (0 after a replacement, the old length after an append). Not real-time safe.
    void update(SampleChannel samples, std::size_t firstChanged = 0);
    void update(std::span<const float> samples, std::size_t firstChanged = 0)
    {
        update(SampleChannel(samples), firstChanged);
    }
    void clear();

    // Summarises every channel of interleaved frames in one pass over them, channel c into
    // `summaries[c]`: the same as update(SampleChannel(interleaved, c, channels)) for each
    // of the `channels` summaries, without reading the frames once per channel.
    static void updateChannels(std::span<const float> interleaved, std::span<PeakSummary *const> summaries);

    // Number of samples summarised by the last update.
    std::size_t size() const { return sampleCount; }

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
    };
    // Minimum and maximum side by side, so one block costs one memory access.
    struct Level
    {
        std::size_t blockSize = 0;
        std::vector<Extremes> blocks;
    };

    // The extremes of base blocks [first, last) of every channel of interleaved frames,
    // channel c's into bases[c]; `channels` divides 16.
    static void scanBaseBlocks(const float *interleaved, std::size_t channels, std::size_t first, std::size_t last,
                               Extremes *const *bases);
    // Sets the size and the first level's block count, keeping what it can of its storage.
    Level &startBase(std::size_t samples);
    // Recomputes the blocks of the levels above the first from `firstChanged` on.
    void updateUpperLevels(std::size_t firstChanged);

    std::vector<Level> levels;
    std::size_t sampleCount = 0;
};
