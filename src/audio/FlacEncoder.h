// SPDX-License-Identifier: GPL-3.0-or-later
// Our own FLAC writer: verbatim (uncompressed) subframes in blocks of up to 4096 frames,
// a STREAMINFO with a zero MD5 and a VORBIS_COMMENT carrying the vendor "ZentriqStudio".
#pragma once

#include <span>

class QIODevice;

class FlacEncoder
{
public:
    static constexpr int maxBlockFrames = 4096;

    static bool supportedSampleRate(int sampleRate) { return sampleRate > 0 && sampleRate <= 655350; }

    // Writes the whole stream to the seekable `out` and returns false when a write fails.
    // `channels` is 1 or 2 (any count up to 8 for an empty list); `bitsPerSample` 16 or 24.
    // A trailing partial frame of `interleaved` is ignored.
    static bool write(QIODevice &out, std::span<const float> interleaved, int sampleRate, int channels,
                      int bitsPerSample);
};
