// SPDX-License-Identifier: GPL-3.0-or-later
// Writes that fail part-way, as on a full disk: a small tmpfs (ENOSPC), or a file size
// limit on this process (EFBIG).
#pragma once

#include <QTemporaryDir>

#include <csignal>

#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

// While it lives, files this process writes cannot grow past `bytes`: a write beyond fails
// with EFBIG, even for root. The signal that would end the process is ignored meanwhile.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limited = previous;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit previous{};
    void (*previousHandler)(int) = SIG_DFL;
};

// A folder that is a file system of its own of `bytes`, for as long as this lives: writes
// that would fill it fail with ENOSPC. Mounting needs root; mounted() tells whether it worked.
class SmallDisk
{
public:
    explicit SmallDisk(qint64 bytes, const QString &at = QString()) : folder(at.isEmpty() ? temporary.path() : at)
    {
        const QByteArray options = "size=" + QByteArray::number(bytes);
        isMounted = geteuid() == 0
                    && ::mount("tmpfs", folder.toLocal8Bit().constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                               options.constData()) == 0;
    }
    ~SmallDisk()
    {
        if (isMounted)
            ::umount2(folder.toLocal8Bit().constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool mounted() const { return isMounted; }
    QString path() const { return folder; }
    QString filePath(const QString &name) const { return folder + QLatin1Char('/') + name; }

private:
    QTemporaryDir temporary;
    QString folder;
    bool isMounted = false;
};
