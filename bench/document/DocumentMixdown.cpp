// SPDX-License-Identifier: GPL-3.0-or-later
// The project document's mixdown, no widget involved, of raw 32-bit float mono stems, each laid out as two clips
// with fades that crossfade for 10 s in the middle, written as raw interleaved stereo; for
// timing against sox and ffmpeg mixing the same stems. The time of renderMixdown alone goes
// to standard error.
// Usage: multitrack_mixdown <out.raw> <rate> <stem.raw>...
#include "document/ProjectDocument.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <cstdlib>

namespace {
void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

// Copied straight from the mapped file: the list's memory is touched once.
QList<float> readStem(const char *path)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const uchar *bytes = file.map(0, file.size());
    if (!bytes)
        return {};
    const auto *first = reinterpret_cast<const float *>(bytes);
    return QList<float>(first, first + file.size() / qsizetype(sizeof(float)));
}
} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <out.raw> <rate> <stem.raw>...\n", argv[0]);
        return 2;
    }
    qInstallMessageHandler(quiet);
    QCoreApplication app(argc, argv);
    const int rate = std::atoi(argv[2]);
    const int stems = argc - 3;

    ProjectDocument document;
    document.setSampleRate(rate);
    QElapsedTimer loading;
    loading.start();
    for (int s = 0; s < stems; ++s) {
        const QList<float> samples = readStem(argv[3 + s]);
        if (samples.isEmpty()) {
            std::fprintf(stderr, "cannot read %s\n", argv[3 + s]);
            return 1;
        }
        const double seconds = double(samples.size()) / rate;
        const double middle = seconds / 2;
        // Both clips share the stem's samples; the first ends 5 s after the middle, the second
        // starts 5 s before it.
        AudioClip first;
        first.samples = samples;
        first.sampleRate = rate;
        first.audioEnd = seconds - (middle + 5.0);
        first.fadeIn = 2.0;
        first.fadeInCurve = FadeCurve::SCurve;
        AudioClip second = first;
        second.start = middle - 5.0;
        second.audioStart = middle - 5.0;
        second.audioEnd = 0.0;
        second.fadeIn = 0.0;
        second.fadeOut = 3.0;
        second.fadeOutCurve = FadeCurve::Logarithmic;

        TrackData track;
        track.audioClips = {first, second};
        track.pan = stems > 1 ? -0.8f + 1.6f * float(s) / float(stems - 1) : 0.0f;
        document.tracks.push_back(std::move(track));
    }

    std::fprintf(stderr, "stems read: %.3f s\n", double(loading.nsecsElapsed()) / 1e9);
    QList<float> out;
    int outRate = 0;
    QElapsedTimer clock;
    clock.start();
    if (!document.renderMixdown(out, outRate))
        return 1;
    std::fprintf(stderr, "renderMixdown: %.3f s for %lld frames\n", double(clock.nsecsElapsed()) / 1e9,
                 static_cast<long long>(out.size() / 2));

    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    const qint64 bytes = out.size() * qsizetype(sizeof(float));
    return file.write(reinterpret_cast<const char *>(out.constData()), bytes) == bytes ? 0 : 1;
}
