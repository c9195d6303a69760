// SPDX-License-Identifier: GPL-3.0-or-later
// Command-line front end to AudioProcessor for timing against peer tools with compare.py:
//   audio-file-tool load <in>               decode and report frames, rate, channels, peak memory
//   audio-file-tool convert <in> <out> [bits]  load, then save the file's own channels;
//                                              stderr gets the load and save times apart
#include "audio/AudioProcessor.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

long peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void quietDebugLog(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quietDebugLog);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: %s load|convert <in> [<out> [bits]]\n", argv[0]);
        return 2;
    }
    AudioProcessor processor;
    QObject::connect(&processor, &AudioProcessor::errorOccurred,
                     [](const QString &text) { std::fprintf(stderr, "%s\n", qPrintable(text)); });
    QElapsedTimer timer;
    timer.start();
    if (!processor.loadAudioFile(args[2]))
        return 1;
    const qint64 loadMs = timer.restart();
    const QString command = args[1];
    if (command == "load") {
        const double decodedMiB = double(processor.samples.size() + processor.stereoSamples.size()) * 4 / 1048576.0;
        std::printf("frames %lld rate %d channels %d decoded %.1f MiB peak %.1f MiB\n",
                    static_cast<long long>(processor.samples.size()), processor.sampleRate, processor.channels,
                    decodedMiB, double(peakResidentKiB()) / 1024.0);
        return 0;
    }
    if (command == "convert" && args.size() >= 4) {
        const bool stereo = processor.channels == 2;
        const int bits = args.size() >= 5 ? args[4].toInt() : 16;
        const bool saved = processor.saveAudioFile(args[3], stereo ? processor.stereoSamples : processor.samples,
                                                   processor.sampleRate, stereo ? 2 : 1, bits);
        std::fprintf(stderr, "load %lld ms, save %lld ms\n", static_cast<long long>(loadMs),
                     static_cast<long long>(timer.elapsed()));
        return saved ? 0 : 1;
    }
    return 2;
}
