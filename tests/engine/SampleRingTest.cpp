// SPDX-License-Identifier: GPL-3.0-or-later
// The capture ring: wrap-around, a full ring drops and counts instead of overwriting, and
// a producer and a consumer thread hand over a long count without loss.
#include "engine/SampleRing.h"

#include <gtest/gtest.h>

#include <numeric>
#include <thread>
#include <vector>

TEST(SampleRing, WrapsAroundAndDropsWhatDoesNotFit)
{
    SampleRing ring(5);
    EXPECT_EQ(ring.capacity(), 8u);
    std::vector<float> values(20);
    std::iota(values.begin(), values.end(), 1.0f);
    std::vector<float> out(8);

    struct Step
    {
        std::size_t write, written, read;
        std::vector<float> got;
    } const steps[] = {
        {6, 6, 4, {1, 2, 3, 4}},
        // Two wrap: the write and the read both go round the end of the storage.
        {5, 5, 7, {5, 6, 1, 2, 3, 4, 5}},
        {10, 8, 8, {1, 2, 3, 4, 5, 6, 7, 8}},
    };
    std::uint64_t dropped = 0;
    for (const Step &step : steps) {
        SCOPED_TRACE(step.write);
        EXPECT_EQ(ring.write({values.data(), step.write}), step.written);
        dropped += step.write - step.written;
        EXPECT_EQ(ring.dropped(), dropped);
        EXPECT_EQ(ring.read({out.data(), step.read}), step.got.size());
        EXPECT_EQ(std::vector<float>(out.begin(), out.begin() + std::ptrdiff_t(step.got.size())), step.got);
    }
    EXPECT_EQ(ring.readable(), 0u);
    EXPECT_EQ(ring.read(out), 0u);
}

TEST(SampleRing, ThreadsHandOverEverySampleInOrder)
{
    SampleRing ring(256);
    constexpr int total = 1 << 20;
    std::thread producer([&ring] {
        std::vector<float> block(100);
        for (int next = 0; next < total;) {
            const int count = std::min<int>(int(block.size()), total - next);
            for (int k = 0; k < count; ++k)
                block[std::size_t(k)] = float(next + k);
            // A full ring is waited out here only because this test wants no drops.
            std::size_t done = 0;
            while (done < std::size_t(count)) {
                const std::size_t room = ring.capacity() - ring.readable();
                done += ring.write({block.data() + done, std::min(room, std::size_t(count) - done)});
            }
            next += count;
        }
    });
    std::vector<float> out(64);
    int expected = 0, faults = 0;
    while (expected < total) {
        const std::size_t got = ring.read(out);
        for (std::size_t k = 0; k < got; ++k)
            faults += out[k] != float(expected++);
    }
    producer.join();
    EXPECT_EQ(faults, 0);
    EXPECT_EQ(ring.dropped(), 0u);
}
