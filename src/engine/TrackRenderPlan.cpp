// SPDX-License-Identifier: GPL-3.0-or-later
// Track length and note placement for offline instrument renders.
#include "engine/TrackRenderPlan.h"

#include "project/TrackData.h"

#include <algorithm>
#include <cmath>
#include <limits>

TrackRenderPlan::TrackRenderPlan(const TrackData &track, int rate)
    : renderRate(rate < 1 ? 44100 : rate)
{
    bool anyClip = false;
    bool nanEnd = false;  // a hostile file: the track's end is unknown, whichever clip it is
    double trackEnd = -std::numeric_limits<double>::infinity();
    const auto addClipEnd = [&](double end) {
        anyClip = true;
        nanEnd = nanEnd || std::isnan(end);
        trackEnd = std::max(trackEnd, end);
    };
    if (track.type == TrackType::Midi) {
        for (const MidiClip &clip : track.midiClips)
            addClipEnd(clip.start + clip.duration);
    } else {
        for (const AudioClip &clip : track.audioClips)
            addClipEnd(clip.start + clip.length());
    }
    if (!anyClip || nanEnd || !(trackEnd > 0.0))
        return;
    const std::optional<qint64> endFrames = toFrames(trackEnd);
    if (!endFrames || *endFrames + renderRate > maxFrames)
        return;
    lengthFrames = renderRate + *endFrames;
    endSeconds = trackEnd;
}

std::optional<qint64> TrackRenderPlan::framesAt(double seconds, int rate)
{
    const double frames = std::round(seconds * rate);
    if (!std::isfinite(frames) || std::fabs(frames) > double(maxFrames))
        return std::nullopt;
    return qint64(frames);
}

std::optional<TrackRenderPlan::NoteSpan> TrackRenderPlan::place(const MidiClip &clip, const MidiNote &note) const
{
    const std::optional<qint64> start = toFrames(clip.start + note.start);
    const std::optional<qint64> clipEnd = toFrames(clip.start + clip.duration);
    if (!start || !clipEnd || *start < 0)
        return std::nullopt;
    const qint64 end = std::min(*clipEnd, lengthFrames);
    if (end <= *start)
        return std::nullopt;
    return NoteSpan{*start, end - *start};
}
