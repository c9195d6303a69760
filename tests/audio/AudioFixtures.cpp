// SPDX-License-Identifier: GPL-3.0-or-later
// Generated signals, raw float exchange with oracle tools and a recorder of AudioProcessor's signals.
#include "AudioFixtures.h"

#include "OracleTool.h"

#include <QFileInfo>

#include <cmath>
#include <cstring>
#include <numbers>

std::vector<float> sineWave(double hz, int sampleRate, size_t count, float amplitude)
{
    std::vector<float> out(count);
    for (size_t i = 0; i < count; ++i)
        out[i] = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * i / sampleRate));
    return out;
}

QByteArray floatBytes(std::span<const float> values)
{
    return QByteArray(reinterpret_cast<const char *>(values.data()), static_cast<qsizetype>(values.size_bytes()));
}

std::vector<float> floatsFromBytes(const QByteArray &bytes)
{
    std::vector<float> out(static_cast<size_t>(bytes.size()) / sizeof(float));
    std::memcpy(out.data(), bytes.constData(), out.size() * sizeof(float));
    return out;
}

std::vector<double> doublesFromBytes(const QByteArray &bytes)
{
    std::vector<double> out(static_cast<size_t>(bytes.size()) / sizeof(double));
    std::memcpy(out.data(), bytes.constData(), out.size() * sizeof(double));
    return out;
}

// Ogg page checksum: CRC-32, polynomial 0x04C11DB7, no reflection, initial value 0.
quint32 oggCrc(const QByteArray &page)
{
    quint32 crc = 0;
    for (char byte : page) {
        crc ^= quint32(quint8(byte)) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

qsizetype oggPageSize(const QByteArray &ogg, qsizetype page)
{
    const int segments = quint8(ogg[page + 26]);
    qsizetype size = 27 + segments;
    for (int i = 0; i < segments; ++i)
        size += quint8(ogg[page + 27 + i]);
    return size;
}

void setClip(AudioProcessor &processor, std::span<const float> interleaved, int sampleRate, int channels)
{
    processor.samples = QList<float>(interleaved.begin(), interleaved.end());
    processor.sampleRate = sampleRate;
    processor.channels = channels;
}

std::vector<float> clipOf(const AudioProcessor &processor)
{
    return std::vector<float>(processor.samples.begin(), processor.samples.end());
}

SignalRecord::SignalRecord(AudioProcessor &processor)
{
    QObject::connect(&processor, &AudioProcessor::audioProcessed, [this] { ++processed; });
    QObject::connect(&processor, &AudioProcessor::errorOccurred, [this](const QString &text) { errors << text; });
}
