// SPDX-License-Identifier: GPL-3.0-or-later
// Ticks of a time scale at whole multiples of an integer step, and their sub-second labels.
#pragma once

#include <QString>

#include <cstdint>
#include <vector>

// Every tick is the k-th multiple of a step in whole milliseconds, and its label comes from
// that integer: a time accumulated in floating point lands just below the true value often
// enough to read one hundredth too low (0.9 s shown as "00.89").
namespace TimeScale {

// The times k * stepMs (k >= 0) in milliseconds that fall within [fromSec, toSec], in order.
// Empty for a non-positive step, or a range so far out that k * stepMs would leave 64 bits.
std::vector<std::int64_t> tickMilliseconds(std::int64_t stepMs, double fromSec, double toSec);

// "SS.hh" for steps of 10 ms or more, "SS.mmm" below, seconds padded to two digits.
QString subSecondLabel(std::int64_t ms, std::int64_t stepMs);

} // namespace TimeScale
