// SPDX-License-Identifier: GPL-3.0-or-later
// Float to integer sample conversion shared by the WAV, FLAC and MP3 writers.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace PcmConversion {

// 2^(bits − 1): the readers divide by this, so writing multiplies by it.
constexpr double scale16 = 32768.0;
constexpr double scale24 = 8388608.0;

// The exact inverse of reading: value × scale rounded to nearest (halves away from zero) and
// clamped to the integer range, so unedited PCM saves back bit for bit. Single precision is
// exact here: the scale is a power of two, the clamped value stays below 2^24 and a value
// less its truncation is representable; adding one half instead would round 0.49999997 up.
// NaN and infinities become 0: converting them to an integer is undefined. Branch-free, so
// the writers' loops vectorise four samples at a time.
inline std::int32_t toInteger(float value, double scale)
{
    const float limit = float(scale);
    const float clamped = std::min(std::max(value * limit, -limit), limit - 1.0f);
    const std::int32_t whole = std::int32_t(clamped);
    const float fraction = clamped - float(whole);
    const std::int32_t rounded = whole + std::int32_t(fraction >= 0.5f) - std::int32_t(fraction <= -0.5f);
    return std::isfinite(value) ? rounded : 0;
}

} // namespace PcmConversion
