// SPDX-License-Identifier: GPL-3.0-or-later
// The equaliser's preview filters: five biquads in series run on the stream thread, their
// coefficients handed over from the GUI thread without a lock.
#pragma once

#include "audio/BiquadCoefficients.h"

#include <array>
#include <atomic>
#include <cstdint>

// One GUI thread calls publish() and reset(); one stream thread calls process(). publish()
// and process() never block, allocate or wait: the sets travel through a triple buffer, so
// process() always runs a whole set from one publish() and the GUI never writes the set the
// stream thread reads. The filter states belong to process(); reset() may only run while
// no process() call can happen (before the callback is installed).
class EqualizerPreviewFilter
{
public:
    static constexpr int bandCount = 5;

    // Bands without a section pass the audio unchanged.
    struct Settings
    {
        std::array<BiquadCoefficients, bandCount> sections{};
        std::array<bool, bandCount> enabled{};
    };

    EqualizerPreviewFilter() = default;
    EqualizerPreviewFilter(const EqualizerPreviewFilter &) = delete;
    EqualizerPreviewFilter &operator=(const EqualizerPreviewFilter &) = delete;

    void publish(const Settings &settings) noexcept;
    void reset() noexcept;
    // In place, band 0 first; the states carry over to the next call.
    void process(float *samples, int count) noexcept;

private:
    static constexpr std::uint8_t freshBit = 4;

    std::array<Settings, 3> sets{};
    std::array<std::array<float, 2>, bandCount> states{};
    // Index of the slot between the two sides, with freshBit while it holds an unread set.
    std::atomic<std::uint8_t> middle{1};
    int writeSlot = 2;  // the GUI's own
    int readSlot = 0;   // the stream thread's own
};
