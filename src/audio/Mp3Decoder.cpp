// SPDX-License-Identifier: GPL-3.0-or-later
// MP3 decoding from memory with libmpg123.
#include "audio/Mp3Decoder.h"

#include "audio/MemoryReader.h"

#include <mpg123.h>

#include <algorithm>
#include <memory>

namespace {

// A seekable reader over memory lets mpg123 scan the stream for its exact length and the
// LAME tag's gapless information, which a push-fed decoder cannot.
mpg123_ssize_t readMemory(void *handle, void *buffer, size_t bytes)
{
    return mpg123_ssize_t(static_cast<MemoryReader *>(handle)->read(buffer, qint64(bytes)));
}

off_t seekMemory(void *handle, off_t offset, int whence)
{
    return off_t(static_cast<MemoryReader *>(handle)->seek(offset, whence));
}

struct HandleDeleter
{
    void operator()(mpg123_handle *handle) const
    {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};

} // namespace

DecodedAudio Mp3Decoder::decode(QByteArrayView bytes)
{
    DecodedAudio out;
    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle, HandleDeleter> handle(mpg123_new(nullptr, &error));
    if (!handle)
        return out;
    mpg123_handle *mh = handle.get();
    // ADD_FLAGS, not FLAGS: replacing the flags would switch gapless decoding off.
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_FORCE_FLOAT | MPG123_QUIET, 0.0);

    MemoryReader source{bytes.data(), bytes.size(), 0};
    if (mpg123_replace_reader_handle(mh, readMemory, seekMemory, nullptr) != MPG123_OK
        || mpg123_open_handle(mh, &source) != MPG123_OK)
        return out;

    long rate = 0;
    int channelCount = 0;
    int encoding = 0;
    if (mpg123_getformat(mh, &rate, &channelCount, &encoding) != MPG123_OK || rate <= 0
        || (channelCount != 1 && channelCount != 2) || encoding != MPG123_ENC_FLOAT_32)
        return out;

    // The length is only a reserve hint: it comes from headers a file may fake. An MP3
    // frame is at least 24 bytes and carries at most 1152 frames.
    constexpr qsizetype step = 1152 * 8;
    qint64 hinted = 0;
    if (mpg123_scan(mh) == MPG123_OK)
        hinted = std::min<qint64>(mpg123_length(mh), (bytes.size() / 24 + 1) * 1152);
    // One step more than the length, so the read that reports the end never regrows.
    out.start(channelCount, int(rate), hinted > 0 ? hinted + step : 0);

    qsizetype used = 0;
    qsizetype mixed = 0;
    for (;;) {
        float *dst = out.extend(used, step * channelCount);
        size_t done = 0;
        const int status = mpg123_read(mh, dst, size_t(step * channelCount) * sizeof(float), &done);
        used += qsizetype(done / sizeof(float));
        out.mix(mixed, used / channelCount - mixed);
        mixed = used / channelCount;
        if (status == MPG123_NEW_FORMAT) {
            long newRate = 0;
            int newChannels = 0;
            int newEncoding = 0;
            mpg123_getformat(mh, &newRate, &newChannels, &newEncoding);
            if (newRate == rate && newChannels == channelCount && newEncoding == encoding)
                continue;
            break; // a clip has one rate and layout: keep what came before the change
        }
        if (status != MPG123_OK)
            break; // MPG123_DONE at the end; an error keeps what came before
    }
    out.finish(used - used % channelCount);
    return out;
}
