// SPDX-License-Identifier: GPL-3.0-or-later
// The open multitrack project without any widget: its tracks, markers, settings and undo
// history, the two instruments its MIDI tracks sound through, the mixing engine and the
// renders it plays, and the mixdown.
#pragma once

#include "engine/PianoSampler.h"
#include "engine/SF2Sampler.h"
#include "project/TimelineMarker.h"
#include "project/TrackData.h"

#include <QList>
#include <QObject>
#include <QString>

#include <vector>

class MultiTrackAudioEngine;
class QUndoStack;
struct ProjectData;

// GUI thread only. The multitrack page, the mixer and the shell share one document by
// reference; whatever shows a track keeps a pointer into `tracks` and re-binds it after a
// change to the list (the page through the track undo commands, and around `replace`).
class ProjectDocument : public QObject
{
    Q_OBJECT

public:
    // The mixing engine and the plug-ins work in blocks of this many frames.
    static constexpr int engineBlockFrames = 512;

    // Loads the piano and starts an engine at `sampleRate`.
    ProjectDocument();
    ~ProjectDocument() override;

    std::vector<TrackData> tracks;        // display order; undo commands name tracks by index
    std::vector<TimelineMarker> markers;  // sorted by time
    QUndoStack *undoStack = nullptr;      // owned, outlives every command on it
    int sampleRate = 44100;               // changed through setSampleRate only
    int bitDepth = 16;                    // export bit depth
    bool mono = false;
    double bpm = 120.0;
    double midiFileTempo = 120.0;  // tempo of the last imported MIDI file

    // Instruments of the MIDI tracks: the SoundFont when one is loaded, else the piano.
    SF2Sampler sf2Sampler;
    PianoSampler pianoSampler;

    // Every track is rendered into one mono buffer at `sampleRate` from timeline 0; the
    // engine's slots point into the render caches, which change only while the engine
    // cannot read them.
    MultiTrackAudioEngine *engine = nullptr;    // owned, no Qt parent
    std::vector<QList<float>> midiRenderCache;  // per track index; MIDI tracks' renders
    std::vector<QList<float>> audioRenderCache; // per track index; audio tracks' renders

    // A rate outside ProjectLimits (8 kHz to 384 kHz) or equal to the current one changes
    // nothing, so no engine ever runs at it. Otherwise the engine is replaced (a running
    // playback ends) and sampleRateChanged is emitted.
    void setSampleRate(int rate);
    // Takes a loaded project: settings, tracks (an empty name filled in as a new track's
    // would be) and markers, sorted. The render caches and the undo history are emptied.
    void replace(ProjectData project);
    // Appends loaded records as they are, empty names filled in, without undo steps.
    void appendLoadedTracks(std::vector<TrackData> loaded);
    // A file may list its markers in any order; the document keeps them sorted by time.
    void setMarkers(const std::vector<TimelineMarker> &list);

    int countTracksOfType(TrackType type) const;
    // "MIDI轨 n" counting the MIDI tracks, else "轨道 n" counting all tracks.
    QString unnamedTrackName(TrackType type) const;
    // The largest clip end over all tracks, MIDI clips where they sound at `bpm`; 0 without clips.
    double clipsEnd() const;

    // A copy of track whose MIDI times are scaled from midiFileTempo to bpm.
    TrackData tempoScaledTrack(const TrackData &track) const;
    // Mono render of one track at `sampleRate` from timeline 0 (MIDI tempo-scaled).
    QList<float> renderTrack(const TrackData &track);
    // Renders every track into the caches and hands the slots to the engine; the track
    // `recordTrackIndex` (-1 for none) plays without its last clip, the one a recording fills.
    void renderCachesAndSlots(int recordTrackIndex);
    // While playing: re-sends track index's gain, pan, mute and solo over its cached render.
    void updateEngineTrackSlot(int index);
    // Interleaved stereo mix of the whole project, round(end x sampleRate) frames, the MIDI
    // ends tempo-scaled; outRate = sampleRate. False, out untouched, when there is nothing to mix.
    bool renderMixdown(QList<float> &out, int &outRate);

    // The per-user folder of opened SoundFonts, kept between runs. Beside the program it
    // would not be writable once the program is installed.
    static QString sf2Directory();
    // Copies the file into the SoundFont folder (replacing a same-named file) and loads the
    // copy; the given file itself when the copy fails or it already lies there. A file that
    // does not load replaces nothing and leaves the loaded SoundFont in place.
    bool copyAndLoadSoundFont(const QString &path);
    // Loads the first .sf2 of the SoundFont folder (by name, ignoring case) that loads; false
    // when none does.
    bool loadFirstSoundFontInFolder();

signals:
    void sampleRateChanged(int rate);
    // Around replace: whatever points into `tracks` lets go before, and binds again after.
    void aboutToReplace();
    void replaced();

private:
    // The piano samples from the resources, else from a folder beside the program.
    void loadPianoSamples();
    void replaceEngine();
    // Per track index: the cached render carries the envelope, so its slot plays at gain 1.
    std::vector<bool> envelopeInRender;
};
