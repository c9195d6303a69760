// SPDX-License-Identifier: GPL-3.0-or-later
// Early write-back and the reason of a failed write of SaveFile.
#include "audio/SaveFile.h"

#include "audio/SystemErrorText.h"

#include <algorithm>
#include <cerrno>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif

bool SaveFile::commitWhole()
{
    errno = 0;
    // commit() renames even when its own flush of the last buffered bytes fails, so they are
    // flushed here first, and after any failed write the old file stays.
    if (!failed && !flush()) {
        failed = true;
        failedErrno = errno;
    }
    if (failed) {
        cancelWriting();
        return false;
    }
    if (commit())
        return true;
    // The first failure is the cause; the commit's own is what follows from it.
    if (!failed) {
        failed = true;
        failedErrno = errno;
    }
    return false;
}

QString SaveFile::failureReason() const
{
    if (!failed && error() == QFileDevice::NoError)
        return {};
    return systemErrorText(failedErrno);
}

qint64 SaveFile::writeData(const char *data, qint64 len)
{
    errno = 0;
    const qint64 done = QSaveFile::writeData(data, len);
    if (done != len && !failed) {
        // Read before anything else can change it: the failed write() set it.
        failed = true;
        failedErrno = errno;
    }
    unsynced += std::max<qint64>(done, 0);
    if (unsynced >= (qint64(8) << 20)) {
#ifdef Q_OS_LINUX
        sync_file_range(int(handle()), 0, 0, SYNC_FILE_RANGE_WRITE); // a hint: failure changes nothing
#endif
        unsynced = 0;
    }
    return done;
}
