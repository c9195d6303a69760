// SPDX-License-Identifier: GPL-3.0-or-later
// RtMidi input behind plain results: every RtMidiError is caught and kept as text.
#include "engine/platform/RtMidiInputClient.h"

#include <rtmidi/RtMidi.h>

namespace {

RtMidi::Api apiFromEnvironment()
{
    const QByteArray name = qgetenv("ZENTRIQ_MIDI_API").trimmed().toLower();
    if (name.isEmpty())
        return RtMidi::UNSPECIFIED;
    return RtMidi::getCompiledApiByName(name.toStdString());  // UNSPECIFIED when unknown
}

QString errorText(const RtMidiError &error)
{
    return QString::fromStdString(error.getMessage());
}

} // namespace

RtMidiInputClient::RtMidiInputClient(std::unique_ptr<RtMidiIn> input) : input(std::move(input)) {}

RtMidiInputClient::~RtMidiInputClient() = default;

std::unique_ptr<RtMidiInputClient> RtMidiInputClient::create(const QString &clientName, unsigned queueLimit,
                                                             Callback callback, void *userData, QString &error)
{
    try {
        auto input = std::make_unique<RtMidiIn>(apiFromEnvironment(), clientName.toStdString(), queueLimit);
        input->setCallback(callback, userData);
        return std::unique_ptr<RtMidiInputClient>(new RtMidiInputClient(std::move(input)));
    } catch (const RtMidiError &e) {
        error = errorText(e);
    }
    return nullptr;
}

bool RtMidiInputClient::portCount(unsigned &count, QString &error) const
{
    try {
        count = input->getPortCount();
        return true;
    } catch (const RtMidiError &e) {
        error = errorText(e);
    }
    return false;
}

bool RtMidiInputClient::portName(unsigned port, QString &name, QString &error) const
{
    try {
        name = QString::fromUtf8(input->getPortName(port));
        return true;
    } catch (const RtMidiError &e) {
        error = errorText(e);
    }
    return false;
}

bool RtMidiInputClient::openPort(unsigned port, const QString &portName, QString &error)
{
    unsigned count = 0;
    if (!portCount(count, error))
        return false;
    if (port >= count) {
        error = QStringLiteral("no input port %1 (%2 available)").arg(port).arg(count);
        return false;
    }
    try {
        input->openPort(port, portName.toStdString());
        return true;
    } catch (const RtMidiError &e) {
        error = errorText(e);
    }
    return false;
}

void RtMidiInputClient::closePort()
{
    try {
        input->closePort();
    } catch (const RtMidiError &) {
        // RtMidi reports no error for closing, but no exception may leave this layer.
    }
}

bool RtMidiInputClient::isPortOpen() const
{
    return input->isPortOpen();
}
