// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack editor page: owns the open project's tracks, markers and undo history.
#pragma once

// The instruments are public fields, so their types are complete here; other engine types are only named.
#include "engine/PianoSampler.h"
#include "engine/SF2Sampler.h"
#include "project/TimelineMarker.h"
#include "project/TrackData.h"
#include "project/TrackRowHost.h"

#include <QWidget>

#include <vector>

class AudioPluginBridge;
class MidiInput;
class MultiTrackAudioEngine;
class QUndoStack;
class VideoPlayerDialog;

// GUI thread only. The shell reads and writes the project fields below directly; every
// addition or removal of a track goes through an undo command or clears the undo stack.
// The timeline, transport, engines and instruments are not built yet: the page holds the
// project data and shows nothing else.
class MultiTrackEditorPage : public QWidget, public TrackRowHost
{
    Q_OBJECT

public:
    explicit MultiTrackEditorPage(QWidget *parent);
    // Closes the MIDI port and shuts the plug-in bridge down.
    ~MultiTrackEditorPage() override;

    // Project-level operations the shell's flows call. The timeline widgets that show the
    // tracks come later; these keep the records, the undo history and the instruments.
    // A rate below 1 is ignored, so no engine or plug-in ever runs at it.
    void setSampleRate(int rate);
    void clearTracks();
    void addTrack(TrackType type, const QList<float> &samples, int sampleRate, const QString &name,
                  const QList<float> &stereoSamples);
    void addMidiTrack(const QString &name, std::vector<MidiNote> notes, double length);
    void setMarkers(const std::vector<TimelineMarker> &markers);
    // Copies the file into the SoundFont folder (replacing a same-named file) and loads the
    // copy; the given file itself when the copy fails or it already lies there. A file that
    // does not load replaces nothing and leaves the loaded SoundFont in place.
    bool copyAndLoadSoundFont(const QString &path);
    // Loads the first .sf2 of the SoundFont folder (by name, ignoring case), if any.
    void scanAndLoadExistingSf2();
    // The per-user folder of opened SoundFonts, kept between runs. Beside the program it
    // would not be writable once the program is installed.
    QString sf2Directory() const;
    void showMidiDeviceDialog();
    // The video preview the page drives (null detaches); forgotten once it is destroyed.
    void setVideoPlayerDialog(VideoPlayerDialog *dialog);
    // Shows the video button on the header of track `index`; there are no rows yet.
    void showVideoButtonOnTrack(int index);

    // What the track undo commands use. The page shows no track rows and no ruler yet, so
    // "no rows exist": there is nothing to create, delete, re-bind or refresh.
    std::vector<TrackData> &trackList() override;
    void createTrackRow(int index) override;
    void destroyTrackRow(int index) override;
    void rebindTrackRows(int from) override;
    void updateRuler() override;

    std::vector<TrackData> tracks;         // display order; undo commands name tracks by index
    std::vector<TimelineMarker> markers;   // sorted by time
    QUndoStack *undoStack = nullptr;       // owned by the page, outlives every command on it
    int sampleRate = 44100;
    int bitDepth = 16;                     // export bit depth
    bool mono = false;
    double bpm = 120.0;
    double midiFileTempo = 120.0;          // tempo of the last imported MIDI file
    AudioPluginBridge *pluginBridge = nullptr;  // owned; initialised at `sampleRate`, 512-frame blocks
    SF2Sampler sf2Sampler;                      // the MIDI tracks' SoundFont instrument

    // Track renders and the mixing engine. Every track is rendered into one mono buffer at
    // `sampleRate` from timeline 0; the engine's slots point into the render caches, which
    // change only while the engine cannot read them. MIDI tracks sound through the
    // SoundFont when one is loaded, else through the piano.
    MultiTrackAudioEngine *engine = nullptr;  // owned, no Qt parent
    PianoSampler pianoSampler;
    std::vector<QList<float>> midiRenderCache;  // per track index; MIDI tracks' renders
    std::vector<QList<float>> audioRenderCache; // per track index; audio tracks' renders
    // Interleaved stereo mix of the whole project, round(end x sampleRate) frames, the MIDI
    // ends tempo-scaled; outRate = sampleRate. False, out untouched, when there is nothing to mix.
    bool renderMixdown(QList<float> &out, int &outRate);
    // While playing: re-sends track index's gain, pan, mute and solo over its cached render.
    void updateEngineTrackSlot(int index);
    // A copy of track whose MIDI times are scaled from midiFileTempo to bpm.
    TrackData tempoScaledTrack(const TrackData &track) const;
    // Renders every track for playback into the caches and hands the slots to the engine;
    // during a recording, the recorded track's last (recording) clip is left out.
    void renderPlaybackSlots();
    void buildPlaybackSlotsForRecording(int recordTrackIndex);

private:
    QList<float> renderTrack(const TrackData &track);
    void renderCachesAndSlots(int recordTrackIndex);
    void replaceEngine();
    // Per track index: the cached render carries the envelope, so its slot plays at gain 1.
    std::vector<bool> envelopeInRender;

    void appendTrack(TrackData track, const QString &undoText);

    MidiInput *midiInput = nullptr;
    VideoPlayerDialog *videoDialog = nullptr;  // not owned
    QMetaObject::Connection videoDestroyedConnection;
};
