// SPDX-License-Identifier: GPL-3.0-or-later
// Offline renders of one track for the mixing engine: audio clips with resampling, fades,
// crossfades and the volume envelope, the tempo scaling of MIDI tracks, and the rule that
// turns a render into an engine slot. Depends only on the records.
#pragma once

#include "engine/MultiTrackAudioEngine.h"
#include "project/TrackData.h"

#include <QList>

#include <span>

// Gain of fade shape `code` (FadeCurve) at x in [0, 1]; an unknown code is linear.
float fadeCurve(int code, float x);

// A clip's fades in output frames of one project rate.
struct ClipFades
{
    qint64 inFrames = 0;
    qint64 outFrames = 0;
    int inCurve = FadeCurve::Linear;
    int outCurve = FadeCurve::Linear;

    static ClipFades of(const AudioClip &clip, int rate);
    // Fade-in times fade-out at the clip's output frame k of lengthFrames: 0 at the first
    // frame of a fade-in, 1 at the first frame of a fade-out, falling toward 0 at the end.
    float gainAt(qint64 k, qint64 lengthFrames) const;
};

// Mono render of an audio track's clips at `rate`, starting at timeline 0 and one second
// longer than the track; the envelope applied when it is in force. Clips at the project
// rate come out bit for bit (fades, crossfades and envelope aside). Empty without clips.
QList<float> renderAudioClips(const TrackData &track, int rate);
// Frames [firstFrame, firstFrame + out.size()) of that render (firstFrame >= 0), bit for bit, written into `out`
// (frames beyond the render are 0); a long mix renders in windows without holding every track.
void renderAudioClips(const TrackData &track, int rate, qint64 firstFrame, std::span<float> out);

// The envelope counts when it is switched on and holds a point.
bool envelopeInForce(const TrackData &track);
// Multiplies render frame j (counted from firstFrame) by the envelope at j / rate when the
// envelope is in force.
void applyEnvelope(const TrackData &track, std::span<float> render, int rate, qint64 firstFrame = 0);

// Factor on MIDI times stored at `midiFileTempo` when the project plays at `bpm`: 1 when
// the tempos are equal or either is not a positive finite number.
double midiTempoScale(double bpm, double midiFileTempo);
// A copy of `track` whose MIDI clips and notes (starts and durations) are scaled by `scale`.
TrackData tempoScaled(const TrackData &track, double scale);

// The engine slot of `track` over `render` (empty: a silent slot). A render that carries
// the envelope plays at gain 1; any other at the track's volume, so the slot's gain always
// matches the render it points at.
MultiTrackAudioEngine::TrackSlot trackSlot(const TrackData &track, std::span<const float> render, bool envelopeRendered);
MultiTrackAudioEngine::TrackSlot trackSlot(const TrackData &track, const QList<float> &render, bool envelopeRendered);
