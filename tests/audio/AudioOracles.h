// SPDX-License-Identifier: GPL-3.0-or-later
// Independent decoders and probes (ffmpeg, ffprobe) and a recorder of AudioProcessor signals.
#pragma once

#include "audio/AudioProcessor.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class TestFiles;

struct OracleAudio
{
    bool ok = false;
    QList<float> interleaved;
    int channels = 0;
    int sampleRate = 0;
    qsizetype frames() const { return channels > 0 ? interleaved.size() / channels : 0; }
};

// What ffmpeg decodes from `path` as interleaved 32-bit floats, in the file's own layout.
OracleAudio decodeWithFfmpeg(const QString &path);
// What the mpg123 player decodes from `path` as interleaved 32-bit floats, with its output held
// to `channels` (1 mixes stereo sections to mono, 2 gives mono sections to both sides).
OracleAudio decodeWithMpg123(const QString &path, int channels);
// ffprobe's key=value lines for the first audio stream (codec_name, sample_rate, channels, ...).
QMap<QString, QString> probeStream(const QString &path);
// Runs a tool and reports its stderr on failure; true when it exited 0.
bool runOk(const QString &program, const QStringList &arguments);

// A real file made by the command line tools in `files`' folder (%D in the commands), read
// back; empty when a tool failed.
QByteArray made(TestFiles &files, const QString &name, const QList<QStringList> &commands);
// Two tagless MP3 encodes by lame of sox tones, the second's frames after the first's: a stream
// that changes format part-way, as a joined file does. The formats are sox's options (-r, -c).
QByteArray joinedMp3(TestFiles &files, const QStringList &firstFormat, const QStringList &secondFormat);

// Mean of the channels per frame, the rule the loaders use for `samples`.
QList<float> monoMix(const QList<float> &interleaved, int channels);

// Offset of `b` against `a` (b[i + offset] ~ a[i]) maximising correlation within ±maxShift.
int bestAlignment(const QList<float> &a, const QList<float> &b, int maxShift);
// Root-mean-square difference over the overlap after shifting `b` by `offset`.
double rmsDifference(const QList<float> &a, const QList<float> &b, int offset);

struct SignalLog
{
    explicit SignalLog(AudioProcessor &processor);
    QStringList errors;
    int loadedCount = 0;
    QString loadedPath;
    int loadedRate = 0;
    int loadedChannels = 0;
    qint64 loadedDurationMs = -1;
};
