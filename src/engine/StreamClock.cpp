// SPDX-License-Identifier: GPL-3.0-or-later
// Stream timing from callback times and frame counts.
#include "engine/StreamClock.h"

#include <algorithm>
#include <chrono>
#include <cmath>

void LineWindow::clear() noexcept
{
    count.store(0, std::memory_order_release);
}

void LineWindow::add(double line) noexcept
{
    const std::uint64_t n = count.load(std::memory_order_relaxed);
    lines[n % size].store(line, std::memory_order_relaxed);
    count.store(n + 1, std::memory_order_release);
}

std::size_t LineWindow::copy(std::array<double, size> &into) const
{
    const auto n = std::size_t(std::min<std::uint64_t>(count.load(std::memory_order_acquire), size));
    for (std::size_t k = 0; k < n; ++k)
        into[k] = lines[k].load(std::memory_order_relaxed);
    return n;
}

std::optional<double> LineWindow::earliest() const
{
    std::array<double, size> latest{};
    const std::size_t n = copy(latest);
    if (n == 0)
        return std::nullopt;
    return *std::min_element(latest.begin(), latest.begin() + std::ptrdiff_t(n));
}

std::optional<double> LineWindow::median() const
{
    std::array<double, size> latest{};
    const std::size_t n = copy(latest);
    if (n == 0)
        return std::nullopt;
    std::nth_element(latest.begin(), latest.begin() + std::ptrdiff_t(n / 2), latest.begin() + std::ptrdiff_t(n));
    return latest[n / 2];
}

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
    lines.clear();
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
    if (settled.load(std::memory_order_relaxed))
        lines.add(now - double(before) / sampleRate);
    lastSeconds.store(now, std::memory_order_relaxed);
    framesHanded.store(before + frames, std::memory_order_release);
}

std::optional<double> StreamClock::lineSeconds() const
{
    // Scheduling only ever delays a callback, so the earliest line is the truest.
    return lines.earliest();
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
