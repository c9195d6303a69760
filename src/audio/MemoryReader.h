// SPDX-License-Identifier: GPL-3.0-or-later
// A seekable read position over bytes held in memory, for decoders that take read and seek
// callbacks (so Qt resource files decode without touching the disk).
#pragma once

#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <cstring>

struct MemoryReader
{
    const char *data = nullptr;
    qint64 size = 0;
    qint64 position = 0;

    // Copies up to `bytes` from the position on and returns how many were copied.
    qint64 read(void *buffer, qint64 bytes)
    {
        const qint64 count = std::clamp<qint64>(size - position, 0, std::max<qint64>(bytes, 0));
        if (count > 0)
            std::memcpy(buffer, data + position, size_t(count));
        position += count;
        return count;
    }

    // Moves as fseek would (SEEK_SET, SEEK_CUR, SEEK_END); returns the new position, or -1
    // and stays put when the target lies outside the data.
    qint64 seek(qint64 offset, int whence)
    {
        qint64 target = offset;
        if (whence == SEEK_CUR)
            target += position;
        else if (whence == SEEK_END)
            target += size;
        if (target < 0 || target > size)
            return -1;
        position = target;
        return target;
    }
};
