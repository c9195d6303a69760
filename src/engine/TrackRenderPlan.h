// SPDX-License-Identifier: GPL-3.0-or-later
// Where a track's MIDI notes land in an offline instrument render, in 64-bit frames,
// so values from a hostile project can neither overflow nor ask for gigabytes.
#pragma once

#include <QtGlobal>

#include <optional>

struct MidiClip;
struct MidiNote;
struct TrackData;

class TrackRenderPlan
{
public:
    // Longest render accepted: 2^28 frames (about 1.7 h at 44.1 kHz, 1 GB of floats).
    static constexpr qint64 maxFrames = qint64(1) << 28;

    // A note's place in the render: its start frame and the frames it may sound at most.
    struct NoteSpan
    {
        qint64 start = 0;
        qint64 room = 0;
    };

    // Plans a render of `track` at `rate` (44100 when below 1). The length is one second
    // past the track end: the latest MIDI clip end (MIDI track) or audio clip end
    // (audio track). Empty when there is nothing to render or the length exceeds maxFrames.
    TrackRenderPlan(const TrackData &track, int rate);

    bool isEmpty() const { return lengthFrames <= 0; }
    qint64 length() const { return lengthFrames; }
    int rate() const { return renderRate; }
    // The track end in seconds that the length counts from; 0 for an empty plan.
    double trackEnd() const { return endSeconds; }

    // Where `note` of `clip` starts, and the room up to the clip's end or the render's end,
    // whichever comes first: a note never sounds past its clip. Nothing when the note
    // starts before frame 0 or at/after either end, or a clip or note time is not finite.
    std::optional<NoteSpan> place(const MidiClip &clip, const MidiNote &note) const;

    // round(seconds x rate) as a frame count, or nothing when it is not finite or
    // lies outside +-maxFrames. To the nearest frame, so a time lands on one frame in
    // every render, lane and edit.
    std::optional<qint64> toFrames(double seconds) const { return framesAt(seconds, renderRate); }
    static std::optional<qint64> framesAt(double seconds, int rate);

private:
    int renderRate;
    qint64 lengthFrames = 0;
    double endSeconds = 0.0;
};
