// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack editor page: owns the open project's tracks, markers and undo history.
#pragma once

#include "project/TimelineMarker.h"
#include "project/TrackData.h"

#include <QWidget>

#include <vector>

class AudioPluginBridge;
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

    std::vector<TrackData> tracks;         // display order; undo commands name tracks by index
    std::vector<TimelineMarker> markers;   // sorted by time
    QUndoStack *undoStack = nullptr;       // owned by the page, outlives every command on it
    int sampleRate = 44100;
    int bitDepth = 16;                     // export bit depth
    bool mono = false;
    double bpm = 120.0;
    double midiFileTempo = 120.0;          // tempo of the last imported MIDI file
    AudioPluginBridge *pluginBridge = nullptr;  // null: this build hosts no plug-ins
};
