// SPDX-License-Identifier: GPL-3.0-or-later
// Device opening, stream parameters and stopping shared by both engines.
#include "engine/platform/StreamHost.h"

#include <QDebug>

StreamHost::StreamHost(const char *owner)
    : owner(owner)
{
    std::string error;
    backend = AudioBackend::create(error);
    if (!backend)
        qWarning().noquote() << QString::fromStdString(this->owner) + QStringLiteral(": RtAudio init failed:")
                             << QString::fromStdString(error);
    else
        qDebug().noquote() << QString::fromStdString(this->owner) + QStringLiteral(": RtAudio initialized, API:")
                           << QString::fromStdString(backend->apiDisplayName());
}

StreamHost::StreamHost(const char *owner, std::unique_ptr<AudioBackend> backend)
    : owner(owner), backend(std::move(backend))
{
}

StreamHost::~StreamHost()
{
    close();
}

bool StreamHost::hasDevices() const
{
    if (backend && backend->deviceCount() > 0)
        return true;
    qWarning().noquote() << QString::fromStdString(owner) + QStringLiteral(": No audio device found");
    return false;
}

unsigned int StreamHost::defaultOutputDevice() const
{
    return backend ? backend->defaultOutputDevice() : 0;
}

unsigned int StreamHost::inputDevice(int requested) const
{
    if (!backend)
        return 0;
    const unsigned int id = requested < 0 ? backend->defaultInputDevice() : static_cast<unsigned int>(requested);
    if (id == 0 || backend->deviceInfo(id).inputChannels == 0)
        return 0;
    return id;
}

std::vector<std::string> StreamHost::deviceNames(bool inputs) const
{
    std::vector<std::string> names;
    if (!backend)
        return names;
    for (unsigned int index = 0, count = backend->deviceCount(); index < count; ++index) {
        const AudioBackend::DeviceInfo info = backend->deviceInfo(backend->deviceId(index));
        if ((inputs ? info.inputChannels : info.outputChannels) > 0)
            names.push_back(info.name);
    }
    return names;
}

bool StreamHost::open(unsigned int outputDevice, unsigned int inputDevice, int sampleRate,
                      unsigned int &bufferFrames, AudioBackend::Callback callback, void *userData)
{
    const QString prefix = QString::fromStdString(owner);
    lossLogged = false;
    const AudioBackend::StreamParameters output{outputDevice, 2, 0};
    const AudioBackend::StreamParameters input{inputDevice, 1, 0};
    if (!backend->openStream(outputDevice != 0 ? &output : nullptr, inputDevice != 0 ? &input : nullptr, static_cast<unsigned int>(sampleRate),
                             bufferFrames, callback, userData)) {
        qWarning().noquote() << prefix + QStringLiteral(": openStream failed:")
                             << QString::fromStdString(backend->errorText());
        return false;
    }
    if (!backend->startStream()) {
        qWarning().noquote() << prefix + QStringLiteral(": startStream failed:")
                             << QString::fromStdString(backend->errorText());
        backend->closeStream();
        return false;
    }
    return true;
}

void StreamHost::pause()
{
    if (isOpen())
        backend->stopStream();
}

bool StreamHost::resume()
{
    return isOpen() && backend->startStream();
}

void StreamHost::close()
{
    if (!backend)
        return;
    // Also when the stream is already gone, so that it no longer counts as lost.
    if (isOpen())
        backend->stopStream();
    backend->closeStream();
}

bool StreamHost::isOpen() const
{
    return backend && backend->isStreamOpen();
}

int StreamHost::deviceRate(unsigned int deviceId, bool input, int wanted) const
{
    const unsigned int rate = backend && deviceId != 0 ? backend->deviceSampleRate(deviceId, input) : 0;
    return rate > 0 ? int(rate) : wanted;
}

long StreamHost::latencyFrames() const
{
    return isOpen() ? backend->streamLatencyFrames() : 0;
}

std::optional<double> StreamHost::deviceLine(bool input) const
{
    return backend ? backend->deviceLineSeconds(input) : std::nullopt;
}

bool StreamHost::lost() const
{
    // Not isOpen(): some APIs close a failed stream by themselves.
    if (!backend || !backend->streamLost())
        return false;
    if (!lossLogged) {
        lossLogged = true;
        qWarning().noquote() << QString::fromStdString(owner) + QStringLiteral(": audio stream lost:")
                             << QString::fromStdString(backend->streamLostReason());
    }
    return true;
}

bool StreamHost::isRunning() const
{
    return backend && backend->isStreamRunning();
}
