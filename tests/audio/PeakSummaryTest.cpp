// SPDX-License-Identifier: GPL-3.0-or-later
// Range extremes from the multi-level summaries against a plain scan of the same samples.
#include "audio/PeakSummary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <span>
#include <thread>
#include <vector>

namespace {

struct Extremes
{
    float min = 1.0f;
    float max = -1.0f;
};

Extremes bruteForce(const std::vector<float> &samples, std::size_t begin, std::size_t end)
{
    Extremes e;
    for (std::size_t i = begin; i < end; ++i) {
        if (samples[i] < e.min)
            e.min = samples[i];
        if (samples[i] > e.max)
            e.max = samples[i];
    }
    return e;
}

Extremes query(const PeakSummary &summary, const std::vector<float> &samples, std::size_t begin, std::size_t end)
{
    Extremes e;
    summary.accumulate(samples, begin, end, e.min, e.max);
    return e;
}

// Quiet noise with single-sample spikes beyond full scale and a few NaNs, so a range that
// misses or double-counts one sample gives a different answer.
std::vector<float> spikyNoise(std::size_t count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-0.1f, 0.1f);
    std::uniform_real_distribution<float> spike(-1.5f, 1.5f);
    std::vector<float> samples(count);
    for (auto &v : samples)
        v = noise(rng);
    for (std::size_t i = 0; i < count / 997 + 1 && count > 0; ++i)
        samples[rng() % count] = spike(rng);
    if (count > 10)
        samples[count / 3] = std::numeric_limits<float>::quiet_NaN();
    return samples;
}

// Ranges that start and end on, just before and just after every block size, plus random ones.
std::vector<std::pair<std::size_t, std::size_t>> rangesFor(std::size_t count, unsigned seed)
{
    std::vector<std::pair<std::size_t, std::size_t>> ranges{{0, count}, {0, 0}, {count, count}};
    std::vector<std::size_t> edges{0, 1, count / 2, count > 0 ? count - 1 : 0, count};
    for (std::size_t block = PeakSummary::baseBlockSize; block <= (std::size_t(1) << 24); block *= PeakSummary::levelFactor)
        for (std::size_t k : {std::size_t(1), std::size_t(3), std::size_t(16)})
            for (long d : {-1L, 0L, 1L})
                if (long at = long(block * k) + d; at >= 0 && std::size_t(at) <= count)
                    edges.push_back(std::size_t(at));
    for (std::size_t a : edges)
        for (std::size_t b : edges)
            if (a <= b && b <= count)
                ranges.emplace_back(a, b);
    std::mt19937 rng(seed);
    // Long lists keep a sample of the edge pairs so the plain scan stays quick.
    if (count > 300000) {
        std::shuffle(ranges.begin() + 3, ranges.end(), rng);
        ranges.resize(std::min<std::size_t>(ranges.size(), 80));
    }
    for (int i = 0; i < (count > 300000 ? 40 : 400) && count > 0; ++i) {
        std::size_t a = rng() % count;
        std::size_t b = a + rng() % (count - a + 1);
        ranges.emplace_back(a, b);
    }
    return ranges;
}

// `summarised` is what the summary was built from; `plain` holds the same values in a row.
void expectExact(const PeakSummary &summary, SampleChannel summarised, const std::vector<float> &plain, unsigned seed)
{
    for (auto [a, b] : rangesFor(plain.size(), seed)) {
        SCOPED_TRACE(testing::Message() << "range " << a << ".." << b);
        const Extremes want = bruteForce(plain, a, b);
        Extremes got;
        summary.accumulate(summarised, a, b, got.min, got.max);
        ASSERT_EQ(got.min, want.min);
        ASSERT_EQ(got.max, want.max);
    }
}

void expectExact(const PeakSummary &summary, const std::vector<float> &samples, unsigned seed)
{
    expectExact(summary, std::span<const float>(samples), samples, seed);
}

class PeakSummaryLengths : public testing::TestWithParam<std::size_t>
{
};

TEST_P(PeakSummaryLengths, RangesMatchBruteForce)
{
    const auto samples = spikyNoise(GetParam(), 7);
    PeakSummary summary;
    summary.update(samples);
    EXPECT_EQ(summary.size(), samples.size());
    expectExact(summary, samples, 11);
}

TEST_P(PeakSummaryLengths, AppendingInChunksMatchesBruteForce)
{
    const auto all = spikyNoise(GetParam(), 3);
    std::vector<float> grown;
    PeakSummary summary;
    std::mt19937 rng(5);
    while (grown.size() < all.size()) {
        const std::size_t old = grown.size();
        const std::size_t chunk = std::min<std::size_t>(all.size() - old, 1 + rng() % 70000);
        grown.insert(grown.end(), all.begin() + old, all.begin() + old + chunk);
        summary.update(grown, old);
    }
    expectExact(summary, grown, 13);
}

// Each channel of interleaved frames, read in place, against a plain scan of that channel
// alone: summarised one channel at a time, and all in one pass into summaries that held a
// longer clip before.
TEST_P(PeakSummaryLengths, ChannelsOfInterleavedFramesMatchBruteForce)
{
    constexpr std::size_t channels = 2;
    const auto frames = GetParam();
    const auto channelData = [&](std::size_t channel) { return spikyNoise(frames, 19 + unsigned(channel)); };
    const std::vector<std::vector<float>> apart{channelData(0), channelData(1)};
    std::vector<float> interleaved;
    for (std::size_t i = 0; i < frames; ++i)
        for (const auto &channel : apart)
            interleaved.push_back(channel[i]);
    interleaved.push_back(5.0f); // a partial frame is not summarised

    PeakSummary together[channels];
    const std::vector<float> older(3 * frames + 100, 0.9f);
    for (PeakSummary &summary : together)
        summary.update(older);
    PeakSummary *const all[] = {&together[0], &together[1]};
    const SampleChannel views[] = {SampleChannel(interleaved, 0, channels), SampleChannel(interleaved, 1, channels)};
    PeakSummary::updateChannels(all, views);

    for (std::size_t channel = 0; channel < channels; ++channel) {
        SCOPED_TRACE(testing::Message() << "channel " << channel);
        const SampleChannel view(interleaved, channel, channels);
        ASSERT_EQ(view.size, frames);
        PeakSummary alone;
        alone.update(view);
        expectExact(alone, view, apart[channel], 23);
        EXPECT_EQ(together[channel].size(), frames);
        expectExact(together[channel], view, apart[channel], 29);
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, PeakSummaryLengths,
                         testing::Values(0, 1, 31, 32, 513, 8192 + 300, 131072 * 3 + 5, (1 << 20) + 37));

// Split over threads at block boundaries, and over the channels of interleaved frames built
// together, a build gives the very blocks of a single-threaded one of each channel alone: at
// lengths off every boundary, whole and appended.
TEST(PeakSummary, ThreadedAndJointBuildsEqualTheSingleThreadedOne)
{
    struct Row
    {
        std::size_t frames;
        std::size_t channels;
        std::size_t appendedFrom;  // the length before an append, or 0 for a whole build
    };
    const Row rows[] = {
        {131072 * 3 + 5, 1, 0},
        {(std::size_t(1) << 20) + 37, 1, 0},
        {(std::size_t(1) << 22) + 77, 1, 0},
        {(std::size_t(1) << 22) - 1, 1, 0},
        {(std::size_t(1) << 20) + 13, 2, 0},
        {(std::size_t(1) << 21) + 31, 1, 1000003},
        {(std::size_t(1) << 21) + 31, 2, 65536 * 5},
    };
    for (const Row &row : rows) {
        const auto values = spikyNoise(row.frames * row.channels, 29);
        const std::span<const float> head = std::span(values).first(row.appendedFrom * row.channels);
        std::vector<SampleChannel> whole;
        std::vector<SampleChannel> before;
        for (std::size_t channel = 0; channel < row.channels; ++channel) {
            whole.emplace_back(values, channel, row.channels);
            before.emplace_back(head, channel, row.channels);
        }
        // One summary per channel, built apart or together over `threads`.
        const auto build = [&](int threads, bool together) {
            std::vector<PeakSummary> summaries(row.channels);
            const auto update = [&](const std::vector<SampleChannel> &channels, std::size_t firstChanged) {
                if (together) {
                    std::vector<PeakSummary *> all;
                    for (PeakSummary &summary : summaries)
                        all.push_back(&summary);
                    PeakSummary::updateChannels(all, channels, firstChanged, threads);
                    return;
                }
                for (std::size_t c = 0; c < row.channels; ++c)
                    summaries[c].update(channels[c], firstChanged, threads);
            };
            if (row.appendedFrom > 0)
                update(before, 0);
            update(whole, row.appendedFrom);
            return summaries;
        };
        const std::vector<PeakSummary> reference = build(1, false);
        ASSERT_EQ(reference.front().size(), row.frames);
        for (int threads : {1, 2, 3, 7, 8}) {
            for (bool together : {false, true}) {
                SCOPED_TRACE(testing::Message() << row.frames << " frames of " << row.channels << " channels, from "
                                                << row.appendedFrom << ", " << threads << " threads"
                                                << (together ? ", together" : ""));
                EXPECT_TRUE(build(threads, together) == reference);
            }
        }
    }
}

// Built range by range as a decoder writes: ranges of any length and alignment, in any
// order or on several threads at once, and summaries grown part-way, give what one build
// over the finished samples gives.
TEST(PeakSummary, BuiltWhileWrittenEqualsOneBuildAfterwards)
{
    struct Row
    {
        const char *name;
        std::size_t frames;
        std::size_t channels;   // 1: a plain list; 2: the channels of interleaved frames
        std::size_t sizedFor;   // what startWriting is first told; grown as the writing passes it
        bool threaded;
    };
    const Row rows[] = {
        {"shorter than a block", 20, 1, 20, false},
        {"mono", 100003, 1, 100003, true},
        {"stereo", 100003, 2, 100003, true},
        {"long stereo", (std::size_t(1) << 20) + 13, 2, (std::size_t(1) << 20) + 13, true},
        {"grown from a short hint", 300007, 2, 4099, false},
        {"mono grown from nothing", 300007, 1, 0, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        auto values = spikyNoise(row.frames * row.channels, 41);
        // A whole block of NaNs summarises like a block no range held whole.
        if (row.frames > 200)
            std::fill_n(values.begin() + 64 * std::ptrdiff_t(row.channels), 32 * row.channels,
                        std::numeric_limits<float>::quiet_NaN());
        std::vector<SampleChannel> channels;
        for (std::size_t c = 0; c < row.channels; ++c)
            channels.push_back(row.channels == 1 ? SampleChannel(values) : SampleChannel(values, c, row.channels));

        std::vector<PeakSummary> reference(row.channels);
        std::vector<PeakSummary> written(row.channels);
        std::vector<PeakSummary *> referencePointers;
        std::vector<PeakSummary *> writtenPointers;
        for (std::size_t c = 0; c < row.channels; ++c) {
            referencePointers.push_back(&reference[c]);
            writtenPointers.push_back(&written[c]);
        }
        PeakSummary::updateChannels(referencePointers, channels, 0, 1);

        // Cuts of every kind: inside one block, on block edges, a block and one more, long.
        std::mt19937 rng(7);
        const std::size_t lengths[] = {1, 5, 31, 32, 33, 64, 1000, 65543};
        std::vector<std::pair<std::size_t, std::size_t>> ranges;
        for (std::size_t first = 0; first < row.frames;) {
            const std::size_t count = std::min(lengths[rng() % std::size(lengths)], row.frames - first);
            ranges.emplace_back(first, count);
            first += count;
        }
        PeakSummary::startWriting(writtenPointers, row.sizedFor);
        if (row.threaded) {
            std::shuffle(ranges.begin(), ranges.end(), rng);
            constexpr std::size_t writers = 4;
            std::vector<std::thread> threads;
            for (std::size_t t = 0; t < writers; ++t)
                threads.emplace_back([&, t] {
                    for (std::size_t i = t; i < ranges.size(); i += writers)
                        PeakSummary::summariseWritten(writtenPointers, channels, ranges[i].first, ranges[i].second);
                });
            for (std::thread &thread : threads)
                thread.join();
        } else {
            std::size_t sizedFor = row.sizedFor;
            for (const auto &[first, count] : ranges) {
                if (first + count > sizedFor) {
                    sizedFor = std::min(row.frames, std::max(2 * sizedFor, first + count));
                    PeakSummary::startWriting(writtenPointers, sizedFor);
                }
                PeakSummary::summariseWritten(writtenPointers, channels, first, count);
            }
        }
        PeakSummary::finishWritten(writtenPointers, channels);
        EXPECT_TRUE(written == reference);
        if (row.channels == 1)
            expectExact(written.front(), values, 5);
    }
}

TEST(PeakSummary, ReplacingWithShorterDataForgetsOldBlocks)
{
    PeakSummary summary;
    std::vector<float> loud(200000, 0.9f);
    summary.update(loud);
    const auto quiet = spikyNoise(70000, 9);
    summary.update(quiet);
    EXPECT_EQ(summary.size(), quiet.size());
    expectExact(summary, quiet, 17);

    summary.clear();
    EXPECT_EQ(summary.size(), 0u);
    const Extremes none = query(summary, {}, 0, 10);
    EXPECT_EQ(none.min, 1.0f);
    EXPECT_EQ(none.max, -1.0f);
}

} // namespace
