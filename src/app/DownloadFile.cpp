// SPDX-License-Identifier: GPL-3.0-or-later
// Safe installer names and the part file a download is written to.
#include "DownloadFile.h"

#include "audio/SystemErrorText.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <cerrno>

namespace {

const QString kDefaultName = QStringLiteral("ZentriqStudio-Setup.exe");
const QString kPartSuffix = QStringLiteral(".part");
// Room for " (n)" and the part suffix within the 255 bytes a file name may have.
constexpr qsizetype kMaxNameBytes = 200;
constexpr int kMaxNumberedNames = 10000;

bool isPlainFileName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')) || name.toUtf8().size() > kMaxNameBytes)
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

} // namespace

QString installerFileName(const QUrl &url)
{
    // Split before decoding, so an encoded "/" or "." stays inside the component it came in.
    const QString path = url.path(QUrl::FullyEncoded);
    const QString component = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const QString name = QUrl::fromPercentEncoding(component.toUtf8());
    return isPlainFileName(name) ? name : kDefaultName;
}

DownloadFile::~DownloadFile()
{
    if (!committed && !part.fileName().isEmpty()) {
        part.close();
        part.remove();
    }
}

bool DownloadFile::open(const QString &folder, const QString &fileName)
{
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("无法创建下载文件夹 %1").arg(folder));
    const QDir dir(folder);
    const QFileInfo name(fileName);
    for (int number = 0; number < kMaxNumberedNames; ++number) {
        QString candidate = fileName;
        if (number > 0) {
            candidate = name.completeBaseName() + QStringLiteral(" (%1)").arg(number);
            if (!name.suffix().isEmpty())
                candidate += QLatin1Char('.') + name.suffix();
        }
        const QString candidatePath = dir.filePath(candidate);
        if (QFileInfo::exists(candidatePath) || QFileInfo::exists(candidatePath + kPartSuffix))
            continue;
        part.setFileName(candidatePath + kPartSuffix);
        // NewOnly: a file that appeared meanwhile is never truncated.
        errno = 0;
        if (!part.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            const QString reason = systemErrorText(errno);
            part.setFileName(QString());
            return fail(QStringLiteral("无法创建文件 %1: %2").arg(candidatePath + kPartSuffix, reason));
        }
        finalPath = candidatePath;
        return true;
    }
    return fail(QStringLiteral("下载文件夹中已有太多名为 %1 的文件").arg(fileName));
}

bool DownloadFile::write(const QByteArray &bytes)
{
    errno = 0;
    if (part.write(bytes) != bytes.size())
        return failWrite(errno);
    written += bytes.size();
    return true;
}

bool DownloadFile::commit(qint64 expectedSize)
{
    errno = 0;
    if (!part.flush() || part.error() != QFileDevice::NoError)
        return failWrite(errno);
    part.close();
    if (expectedSize > 0 && written != expectedSize)
        return fail(QStringLiteral("文件大小不符: 应为 %1 字节, 实际收到 %2 字节").arg(expectedSize).arg(written));
    // rename() never replaces an existing file; it refuses one without a system call.
    errno = 0;
    if (!part.rename(finalPath)) {
        const int reason = QFileInfo::exists(finalPath) ? EEXIST : errno;
        return fail(QStringLiteral("无法保存文件 %1: %2").arg(finalPath, systemErrorText(reason)));
    }
    committed = true;
    return true;
}

bool DownloadFile::failWrite(int errnoValue)
{
    // A write cut short by a full disk sets no error on the device: errno holds the reason.
    return fail(QStringLiteral("写入文件失败: %1").arg(systemErrorText(errnoValue)));
}

bool DownloadFile::fail(const QString &message)
{
    error = message;
    return false;
}
