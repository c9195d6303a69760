// SPDX-License-Identifier: GPL-3.0-or-later
// The installer file being downloaded, and the name it is saved under.
#pragma once

#include <QFile>
#include <QString>
#include <QtGlobal>

class QUrl;

// The file name an installer from `url` is saved under: the last component of the URL's
// path, decoded, or "ZentriqStudio-Setup.exe" when that is empty or could name anything but
// a plain file in the download folder ("..", a separator, a control character, a leading dot).
QString installerFileName(const QUrl &url);

// Written to a ".part" file beside its final name, which it takes only once it is complete:
// a cancelled or failed download leaves nothing behind, and no existing file is replaced.
// An uncommitted part file is removed with this object. Failures leave their reason in
// errorString().
class DownloadFile
{
public:
    DownloadFile() = default;
    DownloadFile(const DownloadFile &) = delete;
    DownloadFile &operator=(const DownloadFile &) = delete;
    ~DownloadFile();

    // Creates `folder` when missing, picks a free name there for `fileName` ("name (1).ext"
    // when taken) and opens its part file.
    bool open(const QString &folder, const QString &fileName);
    bool write(const QByteArray &bytes);
    // Completes the file under its final name; `expectedSize` > 0 must match the bytes written.
    bool commit(qint64 expectedSize);

    // The final path, known once open() succeeded.
    QString path() const { return finalPath; }
    QString errorString() const { return error; }

private:
    bool failWrite(int errnoValue);
    bool fail(const QString &message);

    QFile part;
    QString finalPath;
    qint64 written = 0;
    bool committed = false;
    QString error;
};
