// SPDX-License-Identifier: GPL-3.0-or-later
#include "VideoFixtures.h"

#include "OracleTool.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

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

bool joinFiles(const QString &target, const QStringList &parts)
{
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    for (const QString &part : parts) {
        QFile in(part);
        if (!in.open(QIODevice::ReadOnly))
            return false;
        out.write(in.readAll());
    }
    return true;
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
