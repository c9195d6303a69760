// SPDX-License-Identifier: GPL-3.0-or-later
// The temporary file a save writes through, which replaces its target only when complete.
#pragma once

#include <QSaveFile>
#include <QString>

// A QSaveFile that starts the disk writes every few megabytes instead of leaving them all to
// the flush before the rename, and that keeps why its first write failed: a write cut short
// by a full disk or the file size limit leaves QFileDevice without an error of its own.
// Used by one thread at a time.
class SaveFile : public QSaveFile
{
public:
    explicit SaveFile(const QString &path) : QSaveFile(path) {}

    // QSaveFile::commit() when every byte was written, keeping the system's reason when it
    // fails; the target is never replaced after a failed write.
    bool commitWhole();
    // Why a write or the commit failed, in the user's words; empty while nothing failed.
    QString failureReason() const;

protected:
    qint64 writeData(const char *data, qint64 len) override;

private:
    qint64 unsynced = 0;
    int failedErrno = 0;
    bool failed = false;
};
