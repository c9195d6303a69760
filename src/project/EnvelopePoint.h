// SPDX-License-Identifier: GPL-3.0-or-later
// One point of a track's volume envelope.
#pragma once

struct EnvelopePoint
{
    double time = 0.0;   // timeline seconds
    float value = 0.8f;  // linear gain on the scale of TrackData::volume

    bool operator==(const EnvelopePoint &) const = default;
};
