// SPDX-License-Identifier: GPL-3.0-or-later
// A virtual MIDI keyboard on the JACK server that scripts/test.sh starts, and a scope that
// chooses RtMidi's API for the MIDI input under test.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

class RtMidiOut;

// Sets ZENTRIQ_MIDI_API while alive and puts the old value back.
class MidiApiScope
{
public:
    explicit MidiApiScope(const char *api);
    ~MidiApiScope();

private:
    bool had;
    QByteArray old;
};

// An RtMidiOut virtual port on JACK. Tests run in parallel processes, so the client is named
// after the process id.
class MidiTestKeyboard
{
public:
    MidiTestKeyboard();
    ~MidiTestKeyboard();

    // False when no JACK server accepts the client.
    bool valid() const { return out != nullptr; }
    void send(std::vector<unsigned char> message);
    // The name under which an input on JACK lists the keyboard.
    QString portName() const;

private:
    QString clientName;
    std::unique_ptr<RtMidiOut> out;
};
