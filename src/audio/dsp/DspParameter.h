// SPDX-License-Identifier: GPL-3.0-or-later
// The one clamping rule of the audio code. Setters clamp silently: NaN and values at or above
// the top give the top.
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

// An offline effect's argument, where NaN asks for the setting that changes the clip least:
// the bottom of the range. Any other value clamps as a setter's does.
inline float clampEffectArgument(float value, float lowest, float highest)
{
    return std::isnan(value) ? lowest : clampParameter(value, lowest, highest);
}
