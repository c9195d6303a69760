// SPDX-License-Identifier: GPL-3.0-or-later
// Oracles for the audio tests: ffmpeg/ffprobe decoding, alignment of lossy decodes, signal capture.
#include "AudioOracles.h"

#include "OracleTool.h"
#include "TestFiles.h"

#include <QtEndian>

#include <cmath>
#include <cstring>
#include <iostream>

namespace {

// A tool's native-endian 32-bit float output.
QList<float> floatList(const QByteArray &bytes)
{
    QList<float> values(bytes.size() / 4);
    if (!values.isEmpty())
        std::memcpy(values.data(), bytes.constData(), values.size() * 4);
    return values;
}

} // namespace

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
    out.interleaved = floatList(decoded.standardOutput);
    out.ok = true;
    return out;
}

OracleAudio decodeWithMpg123(const QString &path, int channels)
{
    OracleAudio out;
    const ToolResult decoded = runTool("mpg123", {"-q", "-e", "f32", channels == 1 ? "--mono" : "--stereo", "-s", path});
    if (!decoded.ok()) {
        std::cerr << "mpg123 failed on " << path.toStdString() << ": " << decoded.standardError.toStdString();
        return out;
    }
    out.channels = channels;
    out.sampleRate = probeStream(path).value("sample_rate").toInt();
    out.interleaved = floatList(decoded.standardOutput);
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

QByteArray made(TestFiles &files, const QString &name, const QList<QStringList> &commands)
{
    for (QStringList command : commands) {
        command.replaceInStrings("%D", files.path(""));
        const QString program = command.takeFirst();
        if (!runOk(program, command))
            return {};
    }
    return files.read(name);
}

QByteArray joinedMp3(TestFiles &files, const QStringList &firstFormat, const QStringList &secondFormat)
{
    // Half a second, then a second: the change comes early, as in the files it was found in.
    const auto encode = [&files](const QString &name, const QStringList &format, const char *seconds, const char *hz) {
        return made(files, name + ".mp3",
                    {QStringList{"sox", "-R", "-n", "-b", "16"} + format
                         + QStringList{"%D/" + name + ".wav", "synth", seconds, "sine", hz, "sine", "1234", "gain", "-6"},
                     {"lame", "--silent", "-t", "-b", "128", "%D/" + name + ".wav", "%D/" + name + ".mp3"}});
    };
    const QByteArray first = encode("first", firstFormat, "0.5", "440");
    const QByteArray second = encode("second", secondFormat, "1", "660");
    return first.isEmpty() || second.isEmpty() ? QByteArray() : first + second;
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
