// SPDX-License-Identifier: GPL-3.0-or-later
// MIDI note recorder: pairs note-ons with note-offs by pitch.
#include "engine/MidiRecorder.h"

#include <QDebug>

#include <algorithm>

namespace {
constexpr double kMinimumNoteSeconds = 0.01;
constexpr double kMinimumHeldNoteSeconds = 0.1;
constexpr int kUnknownVelocity = 100;
} // namespace

MidiRecorder::MidiRecorder(QObject *parent) : QObject(parent) {}

MidiRecorder::~MidiRecorder() = default;

void MidiRecorder::startRecording(double startTime, double tempo)
{
    openNotes.clear();
    openVelocities.clear();
    finishedNotes.clear();
    recordStart = startTime;
    lastEventTime = startTime;
    bpm = tempo;
    recording = true;
    qInfo() << "MidiRecorder: Recording started at" << startTime << "s, BPM=" << bpm;
}

void MidiRecorder::handleNoteOn(int pitch, int velocity, double time)
{
    if (!recording)
        return;
    if (openNotes.count(pitch))
        handleNoteOff(pitch, time);
    lastEventTime = time;
    openNotes[pitch] = std::max(0.0, time - recordStart);
    openVelocities[pitch] = velocity;
}

void MidiRecorder::handleNoteOff(int pitch, double time)
{
    if (!recording)
        return;
    lastEventTime = time;
    const auto held = openNotes.find(pitch);
    if (held == openNotes.end())
        return;
    const double start = held->second;
    finishNote(pitch, start, std::max(kMinimumNoteSeconds, std::max(0.0, time - recordStart) - start));
    openNotes.erase(held);
    openVelocities.erase(pitch);
}

void MidiRecorder::stopRecording(double stopTime)
{
    if (!recording)
        return;
    // Held notes last until the stop, not just until the last key event: a chord held to the
    // end of a take keeps its length.
    double end = std::max(stopTime, lastEventTime);
    if (!(end > recordStart))
        end = recordStart + kMinimumHeldNoteSeconds;
    for (const auto &[pitch, start] : openNotes)
        finishNote(pitch, start, std::max(kMinimumHeldNoteSeconds, end - recordStart - start));
    openNotes.clear();
    openVelocities.clear();
    recording = false;
    qInfo() << "MidiRecorder: Recording stopped, captured" << finishedNotes.size() << "notes";
}

void MidiRecorder::finishNote(int pitch, double start, double duration)
{
    const auto velocity = openVelocities.find(pitch);
    const MidiNote note{pitch, start, duration, velocity != openVelocities.end() ? velocity->second : kUnknownVelocity};
    finishedNotes.push_back(note);
    emit noteCompleted(note);
}
