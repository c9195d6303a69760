// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>

TestFiles::TestFiles() : dir(QDir::tempPath() + "/zentriq-test-XXXXXX") {}

QString TestFiles::path(const QString &name) const
{
    return dir.filePath(name);
}

QString TestFiles::write(const QString &name, const QByteArray &bytes) const
{
    const QString target = path(name);
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return target;
}

QByteArray TestFiles::read(const QString &name) const
{
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

namespace {
void appendU32(QByteArray &out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}
void appendU16(QByteArray &out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}
} // namespace

QByteArray makeWavBytes(std::span<const float> interleaved, int channels, int sampleRate, bool asFloat)
{
    const int bytesPerSample = asFloat ? 4 : 2;
    QByteArray data;
    data.reserve(qsizetype(interleaved.size()) * bytesPerSample);
    for (float s : interleaved) {
        if (asFloat) {
            quint32 bits;
            std::memcpy(&bits, &s, 4);
            appendU32(data, bits);
        } else {
            const float clamped = std::clamp(s, -1.0f, 1.0f);
            appendU16(data, quint16(qint16(std::lround(clamped * 32767.0f))));
        }
    }
    QByteArray out("RIFF");
    appendU32(out, quint32(36 + data.size()));
    out.append("WAVEfmt ");
    appendU32(out, 16);
    appendU16(out, asFloat ? 3 : 1);
    appendU16(out, quint16(channels));
    appendU32(out, quint32(sampleRate));
    appendU32(out, quint32(sampleRate * channels * bytesPerSample));
    appendU16(out, quint16(channels * bytesPerSample));
    appendU16(out, quint16(bytesPerSample * 8));
    out.append("data");
    appendU32(out, quint32(data.size()));
    out.append(data);
    return out;
}
