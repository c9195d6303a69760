// SPDX-License-Identifier: GPL-3.0-or-later
// The Hann window of every spectral and overlap-add effect.
#include "audio/dsp/HannWindow.h"

#include <cmath>
#include <numbers>

float hannPoint(std::size_t i, std::size_t period)
{
    if (period == 0)
        return 0.0f;
    return static_cast<float>(
        0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(period))));
}

std::vector<float> hannWindow(std::size_t length, HannShape shape)
{
    // A one-point symmetric window has no span; its period counts as 1, as a periodic one's.
    const std::size_t period = shape == HannShape::Symmetric && length > 1 ? length - 1 : length;
    std::vector<float> window(length);
    for (std::size_t i = 0; i < length; ++i)
        window[i] = hannPoint(i, period);
    return window;
}
