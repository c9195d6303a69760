// SPDX-License-Identifier: GPL-3.0-or-later
// Lock-free sample ring; both sides copy in at most two pieces around the wrap.
#include "engine/SampleRing.h"

#include <algorithm>
#include <bit>

SampleRing::SampleRing(std::size_t capacity)
    : buffer(std::bit_ceil(std::max<std::size_t>(capacity, 2))), mask(buffer.size() - 1)
{
}

std::size_t SampleRing::write(std::span<const float> samples) noexcept
{
    const std::size_t written = writeCount.load(std::memory_order_relaxed);
    const std::size_t free = buffer.size() - (written - readCount.load(std::memory_order_acquire));
    const std::size_t count = std::min(free, samples.size());
    const std::size_t at = written & mask;
    const std::size_t first = std::min(count, buffer.size() - at);
    std::copy_n(samples.data(), first, buffer.data() + at);
    std::copy_n(samples.data() + first, count - first, buffer.data());
    writeCount.store(written + count, std::memory_order_release);
    if (count < samples.size())
        droppedSamples.fetch_add(samples.size() - count, std::memory_order_relaxed);
    return count;
}

std::size_t SampleRing::read(std::span<float> out) noexcept
{
    const std::size_t done = readCount.load(std::memory_order_relaxed);
    const std::size_t count = std::min(writeCount.load(std::memory_order_acquire) - done, out.size());
    const std::size_t at = done & mask;
    const std::size_t first = std::min(count, buffer.size() - at);
    std::copy_n(buffer.data() + at, first, out.data());
    std::copy_n(buffer.data(), count - first, out.data() + first);
    readCount.store(done + count, std::memory_order_release);
    return count;
}

std::size_t SampleRing::readable() const noexcept
{
    return writeCount.load(std::memory_order_acquire) - readCount.load(std::memory_order_relaxed);
}
