// SPDX-License-Identifier: GPL-3.0-or-later
// Stream timing from callback times: a blocking output's start-up burst, scheduling delays,
// and the offset between a capture and a playback stream, against hand-worked timelines.
#include "engine/StreamClock.h"

#include <gtest/gtest.h>

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 512;
constexpr double kPeriod = double(kBlock) / kRate;

// An output that takes `burstBlocks` as fast as they are made (`burstSpacing` apart), stalls
// until `stall` seconds after the start, then hands over one block a period, each late by a
// jitter of up to 2 ms, except every seventh block.
void feedOutput(StreamClock &clock, double startAt, int burstBlocks, double stall, int steadyBlocks,
                double burstSpacing = 0.0)
{
    for (int k = 0; k < burstBlocks; ++k)
        clock.noteBlockAt(kBlock, startAt + k * burstSpacing);
    const double steadyFrom = startAt + stall;
    for (int k = 0; k < steadyBlocks; ++k)
        clock.noteBlockAt(kBlock, steadyFrom + k * kPeriod + (k % 7 == 0 ? 0.0 : 0.002 * ((k * 37) % 10) / 10.0));
}

TEST(StreamClock, TheBurstCountsAsLatencyAndTheLineIsTheEarliestSteadyBlock)
{
    // A burst made at once, and one whose blocks each take 4 ms to make: the device starts
    // once its buffer is full either way, so the whole burst waits to be heard.
    for (const double burstSpacing : {0.0, 0.004}) {
        SCOPED_TRACE(burstSpacing);
        StreamClock clock;
        clock.reset(kRate, kBlock);
        EXPECT_FALSE(clock.lineSeconds().has_value());
        feedOutput(clock, 100.0, 14, 1.9, 300, burstSpacing);
        // After the burst of 14 blocks, block 14 is handed over at 101.9 s: frame 0's line is
        // 101.9 - 14 x period.
        ASSERT_TRUE(clock.lineSeconds().has_value());
        EXPECT_NEAR(*clock.lineSeconds(), 101.9 - 14 * kPeriod, 1e-6);
        EXPECT_NEAR(clock.framesAhead(), 14.0 * kBlock, 1.0);
        EXPECT_EQ(clock.frames(), std::int64_t(314) * kBlock);
    }
}

TEST(StreamClock, CaptureOffsetFollowsTheClocksNotTheStartCalls)
{
    // The output's frame p is heard at 101.9 - 14 x period + (p + 14 x block) / rate =
    // 101.9 + p / rate. The input's block n arrives at 101.95 + (n + 1) x its period, so its
    // frame i was heard at 101.95 + i / its rate: what it captured at t lies 0.05 s after
    // what was played at t, counted in frames of the timeline's rate.
    const struct
    {
        double inputArrives;
        int inputRate;
        std::int64_t reportedInput;
        int timelineRate;
        std::int64_t expected;
    } cases[] = {
        {101.95, kRate, 0, kRate, 2400},
        {101.90, kRate, 0, kRate, 0},
        {101.85, kRate, 0, kRate, -2400},
        {101.95, kRate, 480, kRate, 1920},
        {101.95, kRate, 0, 44100, 2205},
        {101.95, 44100, 441, 44100, 1764},
        {101.85, 44100, 0, 96000, -4800},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.inputArrives << " s, input at " << c.inputRate << " Hz, timeline at "
                                        << c.timelineRate << " Hz");
        StreamClock output;
        output.reset(kRate, kBlock);
        feedOutput(output, 100.0, 14, 1.9, 300);
        StreamClock input;
        input.reset(c.inputRate, kBlock);
        const double inputPeriod = double(kBlock) / c.inputRate;
        // The first block comes at once with nothing captured; then one a period.
        input.noteBlockAt(kBlock, 100.0);
        for (int k = 1; k < 200; ++k)
            input.noteBlockAt(kBlock, c.inputArrives + (k + 1) * inputPeriod + (k % 5 ? 0.0015 : 0.0));
        const std::optional<std::int64_t> offset =
            captureOffsetFrames({output, 0, {}}, {input, c.reportedInput, {}}, c.timelineRate);
        ASSERT_TRUE(offset.has_value());
        EXPECT_NEAR(double(*offset), double(c.expected), 2.0);
    }
}

TEST(StreamClock, NoOffsetBeforeBothStreamsRunAtTheirPace)
{
    StreamClock output;
    output.reset(kRate, kBlock);
    StreamClock input;
    input.reset(kRate, kBlock);
    EXPECT_FALSE(captureOffsetFrames({output, 0, {}}, {input, 0, {}}, kRate).has_value());
    // A burst alone has no pace yet.
    for (int k = 0; k < 10; ++k)
        output.noteBlockAt(kBlock, 5.0);
    input.noteBlockAt(kBlock, 5.0);
    input.noteBlockAt(kBlock, 5.5);
    EXPECT_FALSE(captureOffsetFrames({output, 0, {}}, {input, 0, {}}, kRate).has_value());
    output.noteBlockAt(kBlock, 5.2);
    EXPECT_TRUE(captureOffsetFrames({output, 0, {}}, {input, 0, {}}, kRate).has_value());
}

TEST(StreamClock, TheDeviceLayersLinesDecideWhenBothStreamsHaveThem)
{
    // Clocks that would say 0.05 s; the device layer says the capture's frame 0 came 0.02 s
    // before the playback's frame 0 was heard.
    StreamClock output;
    output.reset(kRate, kBlock);
    feedOutput(output, 100.0, 14, 1.9, 300);
    StreamClock input;
    input.reset(kRate, kBlock);
    for (int k = 0; k < 200; ++k)
        input.noteBlockAt(kBlock, 101.95 + (k + 1) * kPeriod);
    EXPECT_EQ(captureOffsetFrames({output, 0, 50.0}, {input, 0, 49.98}, 44100), -882);
    // With one side untimed the clocks decide.
    const std::optional<std::int64_t> byClocks = captureOffsetFrames({output, 0, 50.0}, {input, 0, {}}, kRate);
    ASSERT_TRUE(byClocks.has_value());
    EXPECT_NEAR(double(*byClocks), 2400.0, 2.0);
}

} // namespace
