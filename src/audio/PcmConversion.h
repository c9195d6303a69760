// SPDX-License-Identifier: GPL-3.0-or-later
// Float to integer sample conversion shared by the WAV, FLAC and MP3 writers.
#pragma once

#include <cmath>
#include <cstdint>

namespace PcmConversion {

constexpr float fullScale16 = 32767.0f;
constexpr float fullScale24 = 8388607.0f;

// Symmetric clip to ±fullScale, truncating toward zero as the stored files always have.
// NaN and infinities become 0: converting them to an integer is undefined.
inline std::int32_t toInteger(float value, float fullScale)
{
    if (!std::isfinite(value))
        return 0;
    if (value >= 1.0f)
        return std::int32_t(fullScale);
    if (value <= -1.0f)
        return -std::int32_t(fullScale);
    return std::int32_t(value * fullScale);
}

} // namespace PcmConversion
