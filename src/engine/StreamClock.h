// SPDX-License-Identifier: GPL-3.0-or-later
// Where a stream's blocks fall in wall-clock time, taken from its own callbacks: two streams
// started together can be lined up by their clocks, not by when they were asked to start.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

// The frame-0 lines of a stream's latest blocks: written by its stream thread alone (no
// lock, no allocation), read from any thread. clear() only while no block is noted.
class LineWindow
{
public:
    void clear() noexcept;
    void add(double line) noexcept;
    // Empty before the first line.
    std::optional<double> earliest() const;
    std::optional<double> median() const;

private:
    static constexpr std::size_t size = 64;
    // How many fit, and a copy of them.
    std::size_t copy(std::array<double, size> &into) const;

    std::array<std::atomic<double>, size> lines{};
    std::atomic<std::uint64_t> count{0};
};

// reset() runs on the GUI thread while no stream feeds the clock; noteBlock() runs on the
// stream thread (no lock, no allocation); the readers may run at any time after that.
class StreamClock
{
public:
    void reset(int sampleRate, int blockFrames);

    // Stream thread: a block of `frames` is being handed over now.
    void noteBlock(int frames) noexcept;
    // The same with the time given, in seconds on the steady clock.
    void noteBlockAt(int frames, double nowSeconds) noexcept;

    // Steady-clock seconds at which the stream hands over its frame 0 when it runs at its
    // own pace: the earliest (least delayed) of the latest settled blocks, minus their frame
    // position. A stream first accepts a burst of blocks to fill its buffer; those blocks
    // are not at its pace and do not count. Empty before a settled block.
    std::optional<double> lineSeconds() const;
    // The buffer a blocking output fills before it waits, i.e. how long a frame waits to be
    // heard: the frames handed over before its first block at its pace (a device starts once
    // its buffer is full, however long filling it took), or the most ever handed over ahead
    // of the wall clock since the first block, if that is more.
    double framesAhead() const;
    std::int64_t frames() const { return framesHanded.load(std::memory_order_acquire); }
    int rate() const { return sampleRate; }
    int block() const { return blockFrames; }

    static double steadySeconds() noexcept;

private:
    int sampleRate = 48000;
    int blockFrames = 512;
    std::atomic<std::int64_t> framesHanded{0};
    std::atomic<double> firstSeconds{-1.0};
    std::atomic<double> lastSeconds{-1.0};
    std::atomic<double> mostAhead{0.0};
    std::atomic<std::int64_t> burstFrames{0};
    std::atomic<bool> settled{false};
    // Frame-0 times of the latest settled blocks.
    LineWindow lines;
};

// What is known of one stream's timing: its own clock, what the device layer reports of its
// latency in the stream's frames, and, where the layer times the stream itself, the
// steady-clock seconds at which its frame 0 met the device (see AudioBackend::deviceLineSeconds).
struct StreamTiming
{
    const StreamClock &clock;
    std::int64_t reportedLatency = 0;
    std::optional<double> reportedLine;
};

// Frames at `timelineRate` by which what was captured at time t after the input's frame 0 lies
// after what was played at time t after the output's frame 0; each stream may run at its own
// rate. The device layer's lines decide when both streams have them; otherwise the clocks do,
// with the reported latencies and a blocking output's own buffer. Empty when either stream has
// not yet run at its pace.
std::optional<std::int64_t> captureOffsetFrames(const StreamTiming &output, const StreamTiming &input, int timelineRate);
