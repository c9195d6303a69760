// SPDX-License-Identifier: GPL-3.0-or-later
// Generated signals, raw float exchange with oracle tools and a recorder of AudioProcessor's signals.
#pragma once

#include "audio/AudioProcessor.h"

#include "OracleTool.h"
#include "Signals.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <span>
#include <vector>

std::vector<float> sineWave(double hz, int sampleRate, size_t count, float amplitude);

// Little-endian 32-bit floats, the format of sox's "-t f32" and numpy's "<f4".
QByteArray floatBytes(std::span<const float> values);
std::vector<float> floatsFromBytes(const QByteArray &bytes);
std::vector<double> doublesFromBytes(const QByteArray &bytes);

// Ogg page checksum: CRC-32, polynomial 0x04C11DB7, no reflection, initial value 0.
quint32 oggCrc(const QByteArray &page);
// Header, segment table and body of the Ogg page starting at `page`.
qsizetype oggPageSize(const QByteArray &ogg, qsizetype page);

// Fills the fields an effect reads, as the editor's dialogs do.
void setClip(AudioProcessor &processor, std::span<const float> interleaved, int sampleRate, int channels);
std::vector<float> clipOf(const AudioProcessor &processor);

// Counts audioProcessed() and keeps every errorOccurred text.
struct SignalRecord
{
    explicit SignalRecord(AudioProcessor &processor);
    int processed = 0;
    QStringList errors;
};
