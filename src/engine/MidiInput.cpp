// SPDX-License-Identifier: GPL-3.0-or-later
// MIDI keyboard input over the RtMidi client layer.
#include "engine/MidiInput.h"

#include "engine/platform/RtMidiInputClient.h"

#include <QDebug>

MidiInput::MidiInput(QObject *parent) : QObject(parent)
{
    QString error;
    client = RtMidiInputClient::create(QStringLiteral("ZentriqStudio"), 1024, &MidiInput::midiCallback, this, error);
    if (!client)
        qWarning().noquote() << "MidiInput: Failed to create RtMidiIn:" << error;
}

MidiInput::~MidiInput()
{
    closeDevice();
    // The client goes first, so RtMidi's thread never calls into a half-destroyed object.
    client.reset();
}

bool MidiInput::isOpen() const
{
    return client && client->isPortOpen();
}

QStringList MidiInput::availableDevices() const
{
    QStringList names;
    if (!client)
        return names;
    QString error;
    unsigned count = 0;
    bool ok = client->portCount(count, error);
    for (unsigned port = 0; ok && port < count; ++port) {
        QString name;
        ok = client->portName(port, name, error);
        if (ok)
            names.append(name);
    }
    if (!ok)
        qWarning().noquote() << "MidiInput: enumerate error:" << error;
    return names;
}

bool MidiInput::openDevice(int port)
{
    if (!client)
        return false;
    closeDevice();
    QString error;
    if (port < 0 || !client->openPort(unsigned(port), QStringLiteral("RtMidi Input"), error)) {
        qWarning().noquote() << "MidiInput: open error:" << (port < 0 ? QStringLiteral("invalid port %1").arg(port) : error);
        return false;
    }
    currentPortIndex = port;
    qInfo() << "MidiInput: Opened device" << port;
    return true;
}

void MidiInput::closeDevice()
{
    if (client && client->isPortOpen()) {
        client->closePort();
        qInfo() << "MidiInput: Device closed";
    }
    currentPortIndex = -1;
}

bool MidiInput::autoConnect()
{
    if (isOpen())
        return true;
    if (availableDevices().isEmpty())
        return false;
    return openDevice(0);
}

void MidiInput::midiCallback(double, std::vector<unsigned char> *message, void *userData) noexcept
{
    if (!userData || !message)
        return;
    static_cast<MidiInput *>(userData)->handleMessage(*message);
}

void MidiInput::handleMessage(const std::vector<unsigned char> &message)
{
    if (message.size() < 2)
        return;
    const int status = message[0];
    const int channel = status & 0x0F;
    // A data byte with its top bit set is not MIDI data: a driver passing on a broken
    // message would otherwise play keys and velocities above 127.
    if (message.size() >= 3 && message[1] < 0x80 && message[2] < 0x80) {
        const int note = message[1];
        const int velocity = message[2];
        if ((status & 0xF0) == 0x90) {
            if (velocity > 0)
                emit noteOnReceived(channel, note, velocity);
            else
                emit noteOffReceived(channel, note);
        } else if ((status & 0xF0) == 0x80) {
            emit noteOffReceived(channel, note);
        }
    }
    emit rawMidiReceived(QByteArray(reinterpret_cast<const char *>(message.data()), qsizetype(message.size())));
}
