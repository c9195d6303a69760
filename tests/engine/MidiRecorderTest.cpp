// SPDX-License-Identifier: GPL-3.0-or-later
// The MIDI note recorder: timed note events in, notes relative to the recording start out.
#include "engine/MidiRecorder.h"

#include "MidiTestLog.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Event
{
    enum Kind { On, Off } kind;
    int pitch;
    int velocity;
    double time;
};

struct RecorderCase
{
    const char *name;
    double start;
    std::vector<Event> events;
    double stop;
    std::vector<MidiNote> notes;  // in the order they finished
};

TEST(MidiRecorder, TurnsEventsIntoNotes)
{
    const std::vector<RecorderCase> cases = {
        {"note-on at 11 s, note-off at 11.5 s", 10.0, {{Event::On, 60, 100, 11.0}, {Event::Off, 60, 0, 11.5}}, 12.0,
         {{60, 1.0, 0.5, 100}}},
        {"note-off at its note-on's instant", 10.0, {{Event::On, 60, 80, 11.0}, {Event::Off, 60, 0, 11.0}}, 12.0,
         {{60, 1.0, 0.01, 80}}},
        {"repeated note-on finishes the first note", 0.0,
         {{Event::On, 60, 70, 1.0}, {Event::On, 60, 90, 1.25}, {Event::Off, 60, 0, 2.0}}, 3.0,
         {{60, 1.0, 0.25, 70}, {60, 1.25, 0.75, 90}}},
        {"note-off of a key never pressed", 0.0, {{Event::Off, 61, 0, 1.0}, {Event::On, 62, 50, 2.0}, {Event::Off, 62, 0, 2.5}},
         3.0, {{62, 2.0, 0.5, 50}}},
        {"a chord held to the stop lasts until the stop", 5.0,
         {{Event::On, 64, 90, 6.0}, {Event::On, 60, 91, 6.0}, {Event::On, 67, 92, 6.0}}, 9.0,
         {{60, 1.0, 3.0, 91}, {64, 1.0, 3.0, 90}, {67, 1.0, 3.0, 92}}},
        {"stopped right after the start with a note held", 10.0, {{Event::On, 60, 100, 10.0}}, 10.0,
         {{60, 0.0, 0.1, 100}}},
        {"a stop earlier than the last event ends at that event", 0.0,
         {{Event::On, 60, 100, 1.0}, {Event::Off, 61, 0, 4.0}}, 2.0, {{60, 1.0, 3.0, 100}}},
        {"a note-on before the recording start counts from the start", 10.0,
         {{Event::On, 60, 100, 9.0}, {Event::Off, 60, 0, 10.5}}, 11.0, {{60, 0.0, 0.5, 100}}},
    };
    for (const RecorderCase &c : cases) {
        SCOPED_TRACE(c.name);
        MidiRecorder recorder;
        std::vector<MidiNote> emitted;
        QObject::connect(&recorder, &MidiRecorder::noteCompleted, [&](const MidiNote &note) { emitted.push_back(note); });
        recorder.startRecording(c.start, 120.0);
        for (const Event &e : c.events) {
            if (e.kind == Event::On)
                recorder.handleNoteOn(e.pitch, e.velocity, e.time);
            else
                recorder.handleNoteOff(e.pitch, e.time);
        }
        recorder.stopRecording(c.stop);
        ASSERT_EQ(emitted.size(), c.notes.size());
        for (std::size_t i = 0; i < c.notes.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(emitted[i].pitch, c.notes[i].pitch);
            EXPECT_DOUBLE_EQ(emitted[i].start, c.notes[i].start);
            EXPECT_NEAR(emitted[i].duration, c.notes[i].duration, 1e-12);
            EXPECT_EQ(emitted[i].velocity, c.notes[i].velocity);
        }
        EXPECT_EQ(recorder.recordedNotes(), emitted);
    }
}

TEST(MidiRecorder, IgnoresEventsOutsideARecordingAndRestartsClean)
{
    MidiTestLog log;
    MidiRecorder recorder;
    recorder.handleNoteOn(60, 100, 1.0);
    recorder.handleNoteOff(60, 2.0);
    recorder.stopRecording(3.0);
    EXPECT_TRUE(recorder.recordedNotes().empty());
    EXPECT_FALSE(log.has("MidiRecorder: Recording stopped"));

    recorder.startRecording(0.0, 100.0);
    recorder.handleNoteOn(60, 100, 1.0);
    recorder.handleNoteOn(62, 100, 1.0);
    recorder.handleNoteOff(62, 1.5);
    recorder.startRecording(5.0, 100.0);  // restarting drops held and finished notes
    EXPECT_TRUE(recorder.recordedNotes().empty());
    recorder.stopRecording(6.0);
    EXPECT_TRUE(recorder.recordedNotes().empty());
    EXPECT_TRUE(log.has("MidiRecorder: Recording started at"));
    EXPECT_TRUE(log.has("MidiRecorder: Recording stopped, captured"));
}

} // namespace
