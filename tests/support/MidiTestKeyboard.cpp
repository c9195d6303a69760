// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiTestKeyboard.h"

#include <QCoreApplication>

#include <rtmidi/RtMidi.h>

namespace {
constexpr const char *kApiVariable = "ZENTRIQ_MIDI_API";
}

MidiApiScope::MidiApiScope(const char *api) : had(qEnvironmentVariableIsSet(kApiVariable)), old(qgetenv(kApiVariable))
{
    qputenv(kApiVariable, api);
}

MidiApiScope::~MidiApiScope()
{
    if (had)
        qputenv(kApiVariable, old);
    else
        qunsetenv(kApiVariable);
}

MidiTestKeyboard::MidiTestKeyboard()
    : clientName(QStringLiteral("ZentriqTestKeys%1").arg(QCoreApplication::applicationPid()))
{
    try {
        out = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, clientName.toStdString());
        out->openVirtualPort("keys");
    } catch (const RtMidiError &) {
        out.reset();
    }
}

MidiTestKeyboard::~MidiTestKeyboard() = default;

void MidiTestKeyboard::send(std::vector<unsigned char> message)
{
    out->sendMessage(&message);
}

QString MidiTestKeyboard::portName() const
{
    return clientName + QStringLiteral(":keys");
}
