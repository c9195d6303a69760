// SPDX-License-Identifier: GPL-3.0-or-later
// A MIDI keyboard input: lists the input ports, opens one and turns its note messages into
// Qt signals.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

class RtMidiInputClient;

// Threads: the signals are emitted on RtMidi's input thread; receivers on the GUI thread get
// them queued through Qt's automatic connection. Every other operation belongs to the GUI thread.
class MidiInput : public QObject
{
    Q_OBJECT

public:
    // Creates the input client (no port is opened). When RtMidi cannot create one, the
    // object lives on without it: no ports, nothing opens.
    explicit MidiInput(QObject *parent = nullptr);
    ~MidiInput() override;

    bool isOpen() const;
    int currentPort() const { return currentPortIndex; }
    // Port names in RtMidi's order; a listing error ends the list early.
    QStringList availableDevices() const;
    bool openDevice(int port);
    void closeDevice();
    // Opens port 0 unless a port is already open; false when there is no port.
    bool autoConnect();

    // RtMidi's callback, run on its input thread with this object as `userData`.
    static void midiCallback(double deltaTime, std::vector<unsigned char> *message, void *userData) noexcept;
    // Decodes one message into the signals below.
    void handleMessage(const std::vector<unsigned char> &message);

signals:
    void noteOnReceived(int channel, int note, int velocity);
    void noteOffReceived(int channel, int note);
    void rawMidiReceived(const QByteArray &message);

private:
    std::unique_ptr<RtMidiInputClient> client;
    int currentPortIndex = -1;
};
