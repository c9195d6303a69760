// SPDX-License-Identifier: GPL-3.0-or-later
// Stream timing from callback times and frame counts.
#include "engine/StreamClock.h"

#include <algorithm>
#include <chrono>
#include <cmath>

void StreamClock::reset(int rate, int frames)
{
    sampleRate = std::max(rate, 1);
    blockFrames = std::max(frames, 1);
    framesHanded.store(0);
    firstSeconds.store(-1.0);
    lastSeconds.store(-1.0);
    mostAhead.store(0.0);
    burstFrames.store(0);
    settled.store(false);
    settledCount.store(0);
}

double StreamClock::steadySeconds() noexcept
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void StreamClock::noteBlock(int frames) noexcept
{
    noteBlockAt(frames, steadySeconds());
}

void StreamClock::noteBlockAt(int frames, double now) noexcept
{
    const std::int64_t before = framesHanded.load(std::memory_order_relaxed);
    const double previous = lastSeconds.load(std::memory_order_relaxed);
    double first = firstSeconds.load(std::memory_order_relaxed);
    if (first < 0.0) {
        first = now;
        firstSeconds.store(now, std::memory_order_relaxed);
    }
    const double ahead = double(before + frames) - (now - first) * sampleRate;
    if (ahead > mostAhead.load(std::memory_order_relaxed))
        mostAhead.store(ahead, std::memory_order_relaxed);
    // The first block that had to wait half a block period ends the start-up burst.
    if (!settled.load(std::memory_order_relaxed) && previous >= 0.0 && now - previous >= 0.5 * blockFrames / sampleRate) {
        burstFrames.store(before, std::memory_order_relaxed);
        settled.store(true, std::memory_order_relaxed);
    }
    if (settled.load(std::memory_order_relaxed)) {
        const std::uint64_t n = settledCount.load(std::memory_order_relaxed);
        lines[n % windowSize].store(now - double(before) / sampleRate, std::memory_order_relaxed);
        settledCount.store(n + 1, std::memory_order_release);
    }
    lastSeconds.store(now, std::memory_order_relaxed);
    framesHanded.store(before + frames, std::memory_order_release);
}

std::optional<double> StreamClock::lineSeconds() const
{
    const std::uint64_t count = std::min<std::uint64_t>(settledCount.load(std::memory_order_acquire), windowSize);
    if (count == 0)
        return std::nullopt;
    // Scheduling only ever delays a callback, so the earliest line is the truest.
    double line = lines[0].load(std::memory_order_relaxed);
    for (std::uint64_t k = 1; k < count; ++k)
        line = std::min(line, lines[k].load(std::memory_order_relaxed));
    return line;
}

double StreamClock::framesAhead() const
{
    return std::max(mostAhead.load(std::memory_order_relaxed), double(burstFrames.load(std::memory_order_relaxed)));
}

std::optional<std::int64_t> captureOffsetFrames(const StreamTiming &output, const StreamTiming &input, int timelineRate)
{
    if (output.reportedLine && input.reportedLine)
        return std::llround((*input.reportedLine - *output.reportedLine) * timelineRate);
    const std::optional<double> outputLine = output.clock.lineSeconds();
    const std::optional<double> inputLine = input.clock.lineSeconds();
    if (!outputLine || !inputLine)
        return std::nullopt;
    // Output frame p is heard at outputLine + (p + output latency) / output rate. Captured
    // frame n arrives with the block it ends, so it was heard at inputLine + (n - block -
    // input latency) / input rate.
    const StreamClock &played = output.clock;
    const StreamClock &captured = input.clock;
    const double outputLatency = std::max(double(output.reportedLatency), played.framesAhead()) / played.rate();
    const double inputLatency = double(captured.block() + input.reportedLatency) / captured.rate();
    return std::llround((*inputLine - *outputLine - outputLatency - inputLatency) * timelineRate);
}
