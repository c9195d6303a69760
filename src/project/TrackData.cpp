// SPDX-License-Identifier: GPL-3.0-or-later
// Volume envelope lookup of a track.
#include "project/TrackData.h"

#include <algorithm>

float TrackData::envelopeValueAt(double t) const
{
    const auto &points = volumeEnvelope;
    if (points.empty())
        return volume;
    if (t <= points.front().time)
        return points.front().value;
    if (t >= points.back().time)
        return points.back().value;
    const auto next = std::lower_bound(points.begin(), points.end(), t,
                                       [](const EnvelopePoint &p, double time) { return p.time < time; });
    // Only a NaN time gets here without a previous point.
    if (next == points.begin())
        return points.front().value;
    const auto &prev = *(next - 1);
    const float f = float((t - prev.time) / (next->time - prev.time));
    return f * (next->value - prev.value) + prev.value;
}
