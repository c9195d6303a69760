// SPDX-License-Identifier: GPL-3.0-or-later
// Cutting one clip in two at a timeline time.
#include "ClipSplitting.h"

#include <cmath>

std::optional<std::pair<AudioClip, AudioClip>> splitAudioClip(const AudioClip &clip, double atSec)
{
    const double length = clip.length();
    if (!(clip.start < atSec && atSec < clip.start + length))
        return std::nullopt;
    const double rate = clip.sampleRate;
    const qint64 frames = clip.samples.size();
    // To the nearest frame, as the render places a clip's frames; truncating would put the
    // cut a frame early for some times and make the halves sound different from the whole.
    const qint64 headIndex = std::llround(clip.audioStart * rate);
    const qint64 splitIndex = headIndex + std::llround((atSec - clip.start) * rate);
    const qint64 tailIndex = frames - std::llround(clip.audioEnd * rate);
    if (!(headIndex < splitIndex && splitIndex < tailIndex))
        return std::nullopt;

    const double leftSeconds = double(splitIndex - headIndex) / rate;
    AudioClip left = clip;
    // The left half lasts exactly its frames, also when the head trim is not a whole frame.
    left.audioEnd = double(frames) / rate - clip.audioStart - leftSeconds;
    left.fadeOut = 0.0;
    left.fadeOutCurve = FadeCurve::Linear;

    AudioClip right = clip;
    right.start = clip.start + leftSeconds;
    right.audioStart = double(splitIndex) / rate;
    right.fadeIn = 0.0;
    right.fadeInCurve = FadeCurve::Linear;
    return std::make_pair(std::move(left), std::move(right));
}

std::optional<std::pair<MidiClip, MidiClip>> splitMidiClip(const MidiClip &clip, double offsetSec)
{
    if (!(0.0 < offsetSec && offsetSec < clip.duration))
        return std::nullopt;
    MidiClip left = clip;
    left.duration = offsetSec;
    left.notes.clear();
    MidiClip right;
    right.id = clip.id + 1;
    right.start = clip.start + offsetSec;
    right.duration = clip.duration - offsetSec;
    for (const MidiNote &note : clip.notes) {
        if (note.start >= offsetSec) {
            MidiNote moved = note;
            moved.start -= offsetSec;
            right.notes.push_back(moved);
            continue;
        }
        MidiNote kept = note;
        if (note.start + note.duration > offsetSec) {
            kept.duration = offsetSec - note.start;
            MidiNote tail = note;
            tail.start = 0.0;
            tail.duration = note.start + note.duration - offsetSec;
            right.notes.push_back(tail);
        }
        left.notes.push_back(kept);
    }
    return std::make_pair(std::move(left), std::move(right));
}
