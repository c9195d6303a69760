// SPDX-License-Identifier: GPL-3.0-or-later
// Turns timed note-on and note-off events into notes measured from the start of a recording.
#pragma once

#include "project/MidiNote.h"

#include <QObject>

#include <map>
#include <vector>

// GUI thread only: the note events arrive through MidiInput's queued signals, with timeline
// times supplied by the caller.
class MidiRecorder : public QObject
{
    Q_OBJECT

public:
    explicit MidiRecorder(QObject *parent = nullptr);
    ~MidiRecorder() override;

    // Starts (or restarts, dropping held notes) a recording at timeline time `startTime`.
    void startRecording(double startTime, double bpm);
    void handleNoteOn(int pitch, int velocity, double time);
    void handleNoteOff(int pitch, double time);
    // Finishes every held note at `stopTime` (the timeline time at which recording stopped,
    // or the latest event if that came later) and stops.
    void stopRecording(double stopTime);
    // The notes finished since the recording started, in the order they finished.
    std::vector<MidiNote> recordedNotes() const { return finishedNotes; }

signals:
    void noteCompleted(const MidiNote &note);

private:
    void finishNote(int pitch, double start, double duration);

    bool recording = false;
    double recordStart = 0.0;
    double bpm = 120.0;
    std::map<int, double> openNotes;      // held pitch -> start, seconds from recordStart
    std::map<int, int> openVelocities;    // held pitch -> velocity
    std::vector<MidiNote> finishedNotes;
    double lastEventTime = 0.0;
};
