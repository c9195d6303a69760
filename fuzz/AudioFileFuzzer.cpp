// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to AudioProcessor::loadAudioFile as a file with one fixed suffix
// (ZENTRIQ_FUZZ_SUFFIX), so each reader gets its own target and corpus.
#include "audio/AudioProcessor.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

void dropLog(QtMsgType, const QMessageLogContext &, const QString &) {}

const QString &inputPath()
{
    // tmpfs where there is one: every run writes the input once.
    static QTemporaryDir dir(QFileInfo("/dev/shm").isDir() ? "/dev/shm/zentriq-fuzz-XXXXXX"
                                                        : QDir::tempPath() + "/zentriq-fuzz-XXXXXX");
    static const QString path = dir.filePath(QStringLiteral("input.") + QStringLiteral(ZENTRIQ_FUZZ_SUFFIX));
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool quiet = (qInstallMessageHandler(dropLog), true);
    (void)quiet;
    QFile file(inputPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();

    AudioProcessor processor;
    if (processor.loadAudioFile(inputPath())) {
        // What a caller reads right after a load must be consistent.
        const qsizetype stereoExpected = processor.channels == 2 ? processor.samples.size() * 2 : 0;
        if (processor.stereoSamples.size() != stereoExpected || processor.sampleRate <= 0 || processor.channels <= 0)
            __builtin_trap();
    }
    return 0;
}
