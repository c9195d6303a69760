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
// clamped to the integer range, so unedited PCM saves back bit for bit. The product and the
// half added to it are exact in double. NaN and infinities become 0: converting them to an
// integer is undefined. Branch-free, so the writers' loops vectorise.
inline std::int32_t toInteger(float value, double scale)
{
    const double scaled = double(value) * scale;
    const double rounded = std::clamp(scaled + std::copysign(0.5, scaled), -scale, scale - 1.0);
    return std::isfinite(value) ? std::int32_t(rounded) : 0;
}

} // namespace PcmConversion
