// SPDX-License-Identifier: GPL-3.0-or-later
// Ticks of a time scale at whole multiples of an integer step, and their sub-second labels.
#include "ui/TimeScale.h"

#include <algorithm>
#include <cmath>

namespace {
// No scale this many steps from zero, so step index times step stays inside 64 bits.
constexpr double kMaxStepIndex = 1e13;

QString padded(std::int64_t value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 10, QLatin1Char('0'));
}
} // namespace

namespace TimeScale {

std::vector<std::int64_t> tickMilliseconds(std::int64_t stepMs, double fromSec, double toSec)
{
    if (stepMs < 1)
        return {};
    const double step = double(stepMs) / 1000.0;
    // A start on a tick can divide to just above its index (0.07 / 0.01 gives 7.000000000000001).
    const double first = std::max(0.0, std::ceil(fromSec / step - 1e-9));
    if (!(first < kMaxStepIndex))
        return {};
    std::vector<std::int64_t> ticks;
    for (auto k = std::int64_t(first);; ++k) {
        const std::int64_t ms = k * stepMs;
        if (!(double(ms) / 1000.0 <= toSec))
            break;
        ticks.push_back(ms);
    }
    return ticks;
}

QString subSecondLabel(std::int64_t ms, std::int64_t stepMs)
{
    const std::int64_t s = ms / 1000;
    if (stepMs >= 10)
        return QStringLiteral("%1.%2").arg(padded(s, 2), padded(ms % 1000 / 10, 2));
    return QStringLiteral("%1.%2").arg(padded(s, 2), padded(ms % 1000, 3));
}

} // namespace TimeScale
