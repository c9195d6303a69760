// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the MIDI keyboard input as the messages its driver delivers (each
// a length byte and that many bytes), into a note recording as the multitrack page wires it.
// Whatever arrives, the notes passed on and recorded must be MIDI notes.
#include "FuzzInput.h"
#include "engine/MidiInput.h"
#include "engine/MidiRecorder.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

bool isMidiNote(int channel, int key, int velocity)
{
    return channel >= 0 && channel <= 15 && key >= 0 && key <= 127 && velocity >= 0 && velocity <= 127;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzInput::silenceQtLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Made once: it opens a driver client, and no port is ever opened here.
    static MidiInput input;
    MidiRecorder recorder;
    double now = 0.0;
    // Direct calls on this thread; the connections end with the recorder.
    QObject::connect(&input, &MidiInput::noteOnReceived, &recorder, [&](int channel, int key, int velocity) {
        if (!isMidiNote(channel, key, velocity) || velocity == 0)
            __builtin_trap();
        recorder.handleNoteOn(key, velocity, now);
    });
    QObject::connect(&input, &MidiInput::noteOffReceived, &recorder, [&](int channel, int key) {
        if (!isMidiNote(channel, key, 0))
            __builtin_trap();
        recorder.handleNoteOff(key, now);
    });

    recorder.startRecording(0.0, 120.0);
    std::vector<unsigned char> message;
    for (std::size_t at = 0; at < size; now += 0.01) {
        const std::size_t stated = data[at++];
        const std::size_t length = std::min(stated, size - at);
        message.assign(data + at, data + at + length);
        at += length;
        MidiInput::midiCallback(0.0, &message, &input);
    }
    recorder.stopRecording(now);
    for (const MidiNote &note : recorder.recordedNotes())
        if (!isMidiNote(0, note.pitch, note.velocity) || !(note.duration > 0.0) || !(note.start >= 0.0))
            __builtin_trap();
    return 0;
}
