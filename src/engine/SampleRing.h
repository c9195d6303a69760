// SPDX-License-Identifier: GPL-3.0-or-later
// A pre-sized single-producer/single-consumer ring of float samples: the stream thread
// writes captured blocks, the GUI thread drains them on a timer.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// One producer thread calls write(), one consumer thread read(); both are real-time safe
// (no allocation, no lock, no system call). Frames that find the ring full are dropped
// and counted, never waited for.
class SampleRing
{
public:
    // Allocates room for at least `capacity` samples (rounded up to a power of two).
    explicit SampleRing(std::size_t capacity);

    // Producer. Writes what fits; returns how many samples were taken.
    std::size_t write(std::span<const float> samples) noexcept;
    // Consumer. Moves up to out.size() samples into `out`; returns how many.
    std::size_t read(std::span<float> out) noexcept;

    std::size_t readable() const noexcept;
    std::size_t capacity() const noexcept { return buffer.size(); }
    // Samples the producer could not write since construction.
    std::uint64_t dropped() const noexcept { return droppedSamples.load(std::memory_order_relaxed); }

private:
    std::vector<float> buffer;
    std::size_t mask;
    // Running counts of samples written and read; their difference is the fill.
    std::atomic<std::size_t> writeCount{0};
    std::atomic<std::size_t> readCount{0};
    std::atomic<std::uint64_t> droppedSamples{0};
};
