// SPDX-License-Identifier: GPL-3.0-or-later
// Triple-buffered coefficient hand-over and the transposed direct form II loop.
#include "analysis/EqualizerPreviewFilter.h"

void EqualizerPreviewFilter::publish(const Settings &settings) noexcept
{
    sets[std::size_t(writeSlot)] = settings;
    const std::uint8_t previous =
        middle.exchange(std::uint8_t(writeSlot) | freshBit, std::memory_order_acq_rel);
    writeSlot = previous & 3;
}

void EqualizerPreviewFilter::reset() noexcept
{
    for (auto &state : states)
        state = {0.0f, 0.0f};
}

void EqualizerPreviewFilter::process(float *samples, int count) noexcept
{
    if (middle.load(std::memory_order_relaxed) & freshBit) {
        const std::uint8_t previous = middle.exchange(std::uint8_t(readSlot), std::memory_order_acq_rel);
        readSlot = previous & 3;
    }
    const Settings &settings = sets[std::size_t(readSlot)];
    for (int band = 0; band < bandCount; ++band) {
        if (!settings.enabled[std::size_t(band)])
            continue;
        const BiquadCoefficients &c = settings.sections[std::size_t(band)];
        float z1 = states[std::size_t(band)][0];
        float z2 = states[std::size_t(band)][1];
        for (int i = 0; i < count; ++i) {
            const float x = samples[i];
            const float y = c.b0 * x + z1;
            z1 = c.b1 * x - c.a1 * y + z2;
            z2 = c.b2 * x - c.a2 * y;
            samples[i] = y;
        }
        states[std::size_t(band)] = {z1, z2};
    }
}
