// SPDX-License-Identifier: GPL-3.0-or-later
#include "AudioOracles.h"

#include "OracleTool.h"

#include <QtEndian>

#include <cmath>
#include <cstring>
#include <iostream>

OracleAudio decodeWithFfmpeg(const QString &path)
{
    OracleAudio out;
    const auto info = probeStream(path);
    out.channels = info.value("channels").toInt();
    out.sampleRate = info.value("sample_rate").toInt();
    const ToolResult decoded = runTool("ffmpeg", {"-v", "error", "-i", path, "-map", "0:a:0", "-f", "f32le",
                                                  "-c:a", "pcm_f32le", "-"});
    if (!decoded.ok() || out.channels <= 0) {
        std::cerr << "ffmpeg failed on " << path.toStdString() << ": " << decoded.standardError.toStdString();
        return out;
    }
    out.interleaved.resize(decoded.standardOutput.size() / 4);
    if (!out.interleaved.isEmpty())
        std::memcpy(out.interleaved.data(), decoded.standardOutput.constData(), out.interleaved.size() * 4);
    out.ok = true;
    return out;
}

QMap<QString, QString> probeStream(const QString &path)
{
    QMap<QString, QString> values;
    const ToolResult probe = runTool("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                                                 "stream=codec_name,sample_rate,channels,sample_fmt,"
                                                 "bits_per_sample,bits_per_raw_sample,duration_ts,bit_rate",
                                                 "-of", "default=nw=1", path});
    if (!probe.ok())
        return values;
    for (const QByteArray &line : probe.standardOutput.split('\n')) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            values.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)).trimmed());
    }
    return values;
}

bool runOk(const QString &program, const QStringList &arguments)
{
    const ToolResult result = runTool(program, arguments);
    if (!result.ok())
        std::cerr << program.toStdString() << " " << arguments.join(' ').toStdString() << " failed: "
                  << result.standardError.toStdString() << "\n";
    return result.ok();
}

QList<float> monoMix(const QList<float> &interleaved, int channels)
{
    QList<float> mono;
    for (qsizetype i = 0; i + channels <= interleaved.size(); i += channels) {
        float sum = 0.0f;
        for (int c = 0; c < channels; ++c)
            sum += interleaved[i + c];
        mono.append(sum / float(channels));
    }
    return mono;
}

int bestAlignment(const QList<float> &a, const QList<float> &b, int maxShift)
{
    int best = 0;
    double bestScore = -1e300;
    for (int shift = -maxShift; shift <= maxShift; ++shift) {
        double score = 0.0;
        for (qsizetype i = 0; i < a.size(); i += 7) {
            const qsizetype j = i + shift;
            if (j >= 0 && j < b.size())
                score += double(a[i]) * double(b[j]);
        }
        if (score > bestScore) {
            bestScore = score;
            best = shift;
        }
    }
    return best;
}

double rmsDifference(const QList<float> &a, const QList<float> &b, int offset)
{
    double sum = 0.0;
    qsizetype count = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const qsizetype j = i + offset;
        if (j < 0 || j >= b.size())
            continue;
        const double d = double(a[i]) - double(b[j]);
        sum += d * d;
        ++count;
    }
    return count ? std::sqrt(sum / double(count)) : 1e9;
}

SignalLog::SignalLog(AudioProcessor &processor)
{
    QObject::connect(&processor, &AudioProcessor::errorOccurred, [this](const QString &text) { errors << text; });
    QObject::connect(&processor, &AudioProcessor::audioLoaded,
                     [this](const QString &path, int rate, int channels, qint64 durationMs) {
                         ++loadedCount;
                         loadedPath = path;
                         loadedRate = rate;
                         loadedChannels = channels;
                         loadedDurationMs = durationMs;
                     });
}
