// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack editor page: owns the open project's tracks, markers and undo history.
#pragma once

#include "project/TimelineMarker.h"
#include "project/TrackData.h"

#include <QWidget>

#include <memory>
#include <vector>

class AudioPluginBridge;
class MidiInput;
class MultiTrackAudioEngine;
class QUndoStack;

// GUI thread only. The shell reads and writes the project fields below directly; every
// addition or removal of a track goes through an undo command or clears the undo stack.
// The timeline, transport, engines and instruments are not built yet: the page holds the
// project data and shows nothing else.
class MultiTrackEditorPage : public QWidget
{
    Q_OBJECT

public:
    explicit MultiTrackEditorPage(QWidget *parent);
    // Stops the mixing engine and closes the MIDI port.
    ~MultiTrackEditorPage() override;

    // Project-level operations the shell's flows call. The timeline widgets that show the
    // tracks come later; these keep the records, the undo history and the instruments.
    // A rate below 1 is ignored, so no engine ever runs at it.
    void setSampleRate(int rate);
    void clearTracks();
    void addTrack(TrackType type, const QList<float> &samples, int sampleRate, const QString &name,
                  const QList<float> &stereoSamples);
    void addMidiTrack(const QString &name, std::vector<MidiNote> notes, double length);
    void setMarkers(const std::vector<TimelineMarker> &markers);
    // Copies the file into the "soundfonts" folder beside the program and loads the copy.
    bool copyAndLoadSoundFont(const QString &path);
    void scanAndLoadExistingSf2();
    void showMidiDeviceDialog();

    std::vector<TrackData> tracks;         // display order; undo commands name tracks by index
    std::vector<TimelineMarker> markers;   // sorted by time
    QUndoStack *undoStack = nullptr;       // owned by the page, outlives every command on it
    int sampleRate = 44100;
    int bitDepth = 16;                     // export bit depth
    bool mono = false;
    double bpm = 120.0;
    double midiFileTempo = 120.0;          // tempo of the last imported MIDI file
    AudioPluginBridge *pluginBridge = nullptr;  // null: this build hosts no plug-ins

private:
    void appendTrack(TrackData track, const QString &undoText);

    std::unique_ptr<MultiTrackAudioEngine> engine;
    MidiInput *midiInput = nullptr;
};
