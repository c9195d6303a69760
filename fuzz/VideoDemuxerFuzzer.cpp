// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the media demuxer as a file: open, the whole sound, and pictures
// from the start, after a seek and in sequence, as the video import and its preview ask.
#include "FuzzInput.h"
#include "video/VideoDemuxer.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzInput::silenceQtLog();
    av_log_set_level(AV_LOG_QUIET);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // No telling name: FFmpeg finds the container by its contents alone.
    const QString path = FuzzInput::writeFile(QStringLiteral("input"), data, size);
    VideoDemuxer demuxer;
    if (path.isEmpty() || !demuxer.open(path))
        return 0;

    QList<float> mono, interleaved;
    int rate = 0;
    // The editors take an empty interleaved list for mono and otherwise read both frame by frame.
    if (demuxer.extractAudio(mono, interleaved, rate)
        && (rate <= 0 || mono.isEmpty() || (!interleaved.isEmpty() && interleaved.size() != 2 * mono.size())))
        __builtin_trap();

    demuxer.decodeFrameAt(0.0);
    demuxer.seekTo(0.5);
    double seconds = 0.0;
    for (int i = 0; i < 4 && !demuxer.decodeNextFrame(seconds).isNull(); ++i) {
    }
    return 0;
}
