// SPDX-License-Identifier: GPL-3.0-or-later
// Format choice, sink set-up and 16-bit stereo conversion for the live outputs.
#include "engine/platform/PushAudioOutput.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QDebug>
#include <QMediaDevices>

#include <algorithm>
#include <cstring>

namespace {
QAudioFormat stereo16(int rate)
{
    QAudioFormat f;
    f.setSampleRate(rate);
    f.setChannelCount(2);
    f.setSampleFormat(QAudioFormat::Int16);
    return f;
}

template<typename T>
void store(char *at, T value)
{
    std::memcpy(at, &value, sizeof(T));
}
} // namespace

PushAudioOutput::~PushAudioOutput()
{
    close();
}

PushAudioOutput::Result PushAudioOutput::open(int rate, QObject *parent, const QString &logPrefix, bool logging)
{
    close();
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    if (logging)
        qDebug().noquote() << logPrefix + QStringLiteral("audio output =") << output.description();
    // Without a server there is no device, and no sink could give one.
    if (output.isNull())
        return Result::NoDevice;
    format = stereo16(rate);
    converts = false;
    if (!output.isFormatSupported(format)) {
        if (logging)
            qDebug().noquote() << logPrefix + QStringLiteral("format NOT supported, using preferred");
        format = output.preferredFormat();
        converts = format != stereo16(format.sampleRate());
    }
    if (logging)
        qDebug().noquote() << logPrefix + QStringLiteral("format =") << format.sampleRate() << "Hz,"
                           << format.channelCount() << "ch";
    // Writing 16-bit frames into a sink of another format would play noise: convert, or refuse.
    const QAudioFormat::SampleFormat sampleFormat = format.sampleFormat();
    if (format.sampleRate() <= 0 || format.channelCount() < 1
        || (sampleFormat != QAudioFormat::UInt8 && sampleFormat != QAudioFormat::Int16
            && sampleFormat != QAudioFormat::Int32 && sampleFormat != QAudioFormat::Float)) {
        qWarning().noquote() << logPrefix + QStringLiteral("cannot convert to the output format") << format;
        return Result::UnsupportedFormat;
    }

    sink = new QAudioSink(output, format, parent);
    sink->setBufferSize(bufferBytes);
    device = sink->start();
    if (!device) {
        delete sink;
        sink = nullptr;
        return Result::NoDevice;
    }
    converted.resize(qsizetype(maxBlockFrames) * format.bytesPerFrame());
    return Result::Opened;
}

void PushAudioOutput::close()
{
    if (!sink)
        return;
    sink->stop();
    delete sink;
    sink = nullptr;
    device = nullptr;
}

int PushAudioOutput::framesFree() const
{
    return sink ? int(sink->bytesFree() / format.bytesPerFrame()) : 0;
}

void PushAudioOutput::write(const short *stereo, int frames)
{
    if (!device || frames <= 0)
        return;
    if (!converts) {
        device->write(reinterpret_cast<const char *>(stereo), qint64(frames) * 4);
        return;
    }
    for (int done = 0; done < frames; done += maxBlockFrames) {
        const int block = std::min(maxBlockFrames, frames - done);
        convert(stereo + 2 * done, block, format, converted.data());
        device->write(converted.constData(), qint64(block) * format.bytesPerFrame());
    }
}

void PushAudioOutput::convert(const short *stereo, int frames, const QAudioFormat &format, char *out)
{
    const int channels = format.channelCount();
    const int sampleBytes = format.bytesPerSample();
    for (int f = 0; f < frames; ++f) {
        const short left = stereo[2 * f], right = stereo[2 * f + 1];
        for (int c = 0; c < channels; ++c) {
            const int v = channels == 1 ? (left + right) / 2 : c == 0 ? left : c == 1 ? right : 0;
            switch (format.sampleFormat()) {
            case QAudioFormat::UInt8:
                store(out, quint8((v >> 8) + 128));
                break;
            case QAudioFormat::Int16:
                store(out, qint16(v));
                break;
            case QAudioFormat::Int32:
                store(out, qint32(v) * 65536);
                break;
            default:
                store(out, float(v) / 32768.0f);
                break;
            }
            out += sampleBytes;
        }
    }
}
