// SPDX-License-Identifier: GPL-3.0-or-later
#include "VideoFixtures.h"

#include "OracleTool.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include <bit>
#include <cstdlib>
#include <cstring>

namespace {

QTemporaryDir &folder()
{
    static QTemporaryDir dir;
    return dir;
}

bool ffmpeg(const QStringList &arguments)
{
    return runTool(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y"} + arguments).ok();
}

const QString threeColours = QStringLiteral(
    "color=red:s=320x240:r=25:d=1,format=yuv420p[a];color=blue:s=320x240:r=25:d=1,format=yuv420p[b];"
    "color=lime:s=320x240:r=25:d=1,format=yuv420p[c];[a][b][c]concat=n=3:v=1:a=0");

QStringList testPicture(const QString &size, int seconds)
{
    return {"-f", "lavfi", "-i", QStringLiteral("testsrc=s=%1:r=25:d=%2").arg(size).arg(seconds)};
}

QStringList sine(int rate, int seconds)
{
    return {"-f", "lavfi", "-i", QStringLiteral("sine=f=440:r=%1:d=%2").arg(rate).arg(seconds)};
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile out(path);
    return !bytes.isEmpty() && out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

bool joinFiles(const QString &target, const QStringList &parts)
{
    QByteArray joined;
    for (const QString &part : parts) {
        const QByteArray bytes = readFile(part);
        if (bytes.isEmpty())
            return false;
        joined += bytes;
    }
    return writeFile(target, joined);
}

// A Matroska file's stated duration (in milliseconds at the default time scale) replaced by
// `milliseconds`; empty when the element is not found.
QByteArray withStatedDuration(QByteArray bytes, double milliseconds)
{
    const qsizetype at = bytes.indexOf(QByteArray("\x44\x89\x88", 3));
    if (at < 0)
        return {};
    const quint64 bits = std::bit_cast<quint64>(milliseconds);
    for (int i = 0; i < 8; ++i)
        bytes[at + 3 + i] = char(bits >> (56 - 8 * i));
    return bytes;
}

bool make(const QString &name, const QString &path)
{
    if (name == "b.mp4")
        return ffmpeg(QStringList{"-f", "lavfi", "-i", threeColours} + sine(48000, 3)
                      + QStringList{"-ac", "2", "-c:v", "libx264", "-g", "25", "-c:a", "aac", "-shortest", path});
    if (name == "c.avi")
        return ffmpeg(testPicture("160x120", 3) + sine(48000, 3)
                      + QStringList{"-c:v", "mjpeg", "-c:a", "pcm_s16le", "-ac", "1", path});
    if (name == "d.mkv")
        return ffmpeg(testPicture("160x120", 3)
                      + QStringList{"-f", "lavfi", "-i",
                                    "aevalsrc=0.5*sin(2*PI*200*t)|0.4*sin(2*PI*300*t)|0.3*sin(2*PI*400*t)|"
                                    "0.2*sin(2*PI*500*t)|0.1*sin(2*PI*60*t)|0.3*sin(2*PI*700*t):c=5.1:s=48000:d=3",
                                    "-c:v", "libx264", "-c:a", "ac3", path});
    if (name == "e.webm")
        return ffmpeg(testPicture("160x120", 3) + QStringList{"-c:v", "libvpx", path});
    if (name == "size-change.ts") {
        const QString first = scratchPath("size1.ts"), second = scratchPath("size2.ts");
        return ffmpeg(testPicture("640x480", 1) + sine(48000, 1) + QStringList{"-ac", "2", "-c:v", "libx264", "-c:a", "aac", first})
            && ffmpeg(testPicture("320x240", 1) + sine(48000, 1) + QStringList{"-ac", "2", "-c:v", "libx264", "-c:a", "aac", second})
            && joinFiles(path, {first, second});
    }
    if (name == "channel-change.ts") {
        const QString first = scratchPath("channels1.ts"), second = scratchPath("channels2.ts");
        return ffmpeg(testPicture("160x120", 1) + sine(48000, 1) + QStringList{"-ac", "6", "-c:v", "libx264", "-c:a", "ac3", first})
            && ffmpeg(testPicture("160x120", 1) + sine(44100, 1) + QStringList{"-ac", "2", "-c:v", "libx264", "-c:a", "ac3", second})
            && joinFiles(path, {first, second});
    }
    if (name == "joined-programs.ts") {
        // The second part's streams are found only while reading: the first part is longer
        // than the stream probe looks.
        const QString first = scratchPath("programme1.ts"), second = scratchPath("programme2.ts");
        return ffmpeg(sine(48000, 6) + QStringList{"-ac", "1", "-c:a", "mp2", "-b:a", "32k", first})
            && ffmpeg(testPicture("64x48", 1) + sine(48000, 1)
                      + QStringList{"-c:v", "libx264", "-c:a", "mp2", "-mpegts_start_pid", "0x200",
                                    "-mpegts_pmt_start_pid", "0x1100", second})
            && joinFiles(path, {first, second});
    }
    if (name == "one-key-frame.ts")
        // Red, one key frame, the sound starting 64 ms after the first picture.
        return ffmpeg(QStringList{"-f", "lavfi", "-i", "color=red:s=64x48:r=25:d=2", "-itsoffset", "0.064"}
                      + sine(48000, 2) + QStringList{"-c:v", "libx264", "-g", "1000", "-c:a", "mp2", path});
    if (name == "claims-300000s.mkv") {
        const QString plain = scratchPath("plain.mkv");
        return ffmpeg(testPicture("64x48", 1) + sine(8000, 1) + QStringList{"-c:v", "libx264", "-c:a", "pcm_s16le", plain})
            && writeFile(path, withStatedDuration(readFile(plain), 3e8));
    }
    if (name == "claims-9e12s.mka") {
        const QString plain = scratchPath("plain.mka");
        return ffmpeg({"-f", "lavfi", "-i", "sine=f=440:r=768000:d=0.1", "-ac", "2", "-c:a", "pcm_s16le", plain})
            && writeFile(path, withStatedDuration(readFile(plain), 9e15));
    }
    if (name == "claims-only.webm") {
        // Header and tracks of a file with sound, one empty cluster, and a stated duration of 10^12 s.
        const QString plain = scratchPath("plain.webm");
        if (!ffmpeg(sine(48000, 1) + QStringList{"-c:a", "libopus", plain}))
            return false;
        const QByteArray clusterId("\x1f\x43\xb6\x75");
        const QByteArray bytes = readFile(plain);
        const qsizetype cluster = bytes.indexOf(clusterId);
        return cluster > 0 && writeFile(path, withStatedDuration(bytes.first(cluster) + clusterId + '\x80', 1e15));
    }
    if (name == "big.mp4")
        return ffmpeg(testPicture("640x360", 600) + sine(48000, 600)
                      + QStringList{"-ac", "2", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-b:a", "128k", path});
    return false;
}

} // namespace

QString scratchPath(const QString &name)
{
    return folder().filePath(name);
}

QString videoFixture(const QString &name)
{
    static QMap<QString, QString> made;
    if (made.contains(name))
        return made.value(name);
    const QString path = scratchPath(name);
    const QString result = folder().isValid() && make(name, path) ? path : QString();
    made.insert(name, result);
    return result;
}

QList<float> ffmpegFloats(const QString &path, const QStringList &extraArguments)
{
    const ToolResult decoded = runTool(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-i", path, "-map", "0:a:0"}
                                                                     + extraArguments + QStringList{"-f", "f32le", "-"});
    QList<float> samples;
    if (!decoded.ok())
        return samples;
    samples.resize(decoded.standardOutput.size() / qsizetype(sizeof(float)));
    std::memcpy(samples.data(), decoded.standardOutput.constData(), samples.size() * sizeof(float));
    return samples;
}

bool colourNear(QRgb pixel, const QColor &expected, int tolerance)
{
    return std::abs(qRed(pixel) - expected.red()) <= tolerance && std::abs(qGreen(pixel) - expected.green()) <= tolerance
        && std::abs(qBlue(pixel) - expected.blue()) <= tolerance;
}

QRgb centrePixel(const QImage &image)
{
    return image.pixel(image.width() / 2, image.height() / 2);
}
