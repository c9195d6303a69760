// SPDX-License-Identifier: GPL-3.0-or-later
// Fixture files written at test time into a temporary folder that is removed afterwards.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <span>

class TestFiles
{
public:
    TestFiles();

    bool isValid() const { return dir.isValid(); }
    // Absolute path of `name` inside the folder (the file need not exist).
    QString path(const QString &name) const;
    // Writes `bytes` to `name` and returns its absolute path (empty on failure).
    QString write(const QString &name, const QByteArray &bytes) const;
    QByteArray read(const QString &name) const;

private:
    QTemporaryDir dir;
};

// Little-endian PCM WAV bytes for hand-built fixtures (16-bit, or 32-bit float when `asFloat`).
QByteArray makeWavBytes(std::span<const float> interleaved, int channels, int sampleRate, bool asFloat = false);
