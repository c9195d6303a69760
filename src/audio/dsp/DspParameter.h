// SPDX-License-Identifier: GPL-3.0-or-later
// The library's one clamping rule for setters: NaN and values at or above the top give the top.
#pragma once

#include <cmath>

inline float clampParameter(float value, float lowest, float highest)
{
    if (std::isnan(value) || value >= highest)
        return highest;
    if (value <= lowest)
        return lowest;
    return value;
}
