// SPDX-License-Identifier: GPL-3.0-or-later
// The one place that talks to RtMidi's input client: its exceptions become error texts here,
// so nothing above this layer sees RtMidi types or RtMidiError.
#pragma once

#include <QString>

#include <memory>
#include <vector>

class RtMidiIn;

class RtMidiInputClient
{
public:
    // RtMidi's callback signature; it runs on RtMidi's input thread.
    using Callback = void (*)(double deltaTime, std::vector<unsigned char> *message, void *userData);

    // Creates an input client and installs `callback`. The API is RtMidi's default unless the
    // environment variable ZENTRIQ_MIDI_API names one of RtMidi's APIs ("alsa", "jack").
    // Returns null with the reason in `error` when RtMidi cannot create the client.
    static std::unique_ptr<RtMidiInputClient> create(const QString &clientName, unsigned queueLimit,
                                                     Callback callback, void *userData, QString &error);
    ~RtMidiInputClient();

    RtMidiInputClient(const RtMidiInputClient &) = delete;
    RtMidiInputClient &operator=(const RtMidiInputClient &) = delete;

    bool portCount(unsigned &count, QString &error) const;
    bool portName(unsigned port, QString &name, QString &error) const;
    // Fails for a port that does not exist (some RtMidi APIs would only warn and "open" it).
    bool openPort(unsigned port, const QString &portName, QString &error);
    void closePort();
    bool isPortOpen() const;

private:
    explicit RtMidiInputClient(std::unique_ptr<RtMidiIn> input);

    std::unique_ptr<RtMidiIn> input;
};
