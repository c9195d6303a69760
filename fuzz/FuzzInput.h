// SPDX-License-Identifier: GPL-3.0-or-later
// What the fuzz targets share: Qt's log silenced, and the input written to a file for the
// readers that take a path.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace FuzzInput {

// Repairs and refusals log a line each; thousands a second would drown the fuzzer's output.
inline void silenceQtLog()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
}

// A folder that lives as long as the process, on tmpfs where there is one: every run writes
// its input there.
inline QString scratchFolder()
{
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isDir()
                                 ? QStringLiteral("/dev/shm/zentriq-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/zentriq-fuzz-XXXXXX"));
    return dir.path();
}

// Writes `size` bytes to the file `name` in the scratch folder; empty when it cannot.
inline QString writeFile(const QString &name, const std::uint8_t *data, std::size_t size)
{
    QFile file(QDir(scratchFolder()).filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        return {};
    return file.fileName();
}

} // namespace FuzzInput
