// SPDX-License-Identifier: GPL-3.0-or-later
// MP3 decoding from memory with libmpg123, gapless (encoder delay and padding removed).
#pragma once

#include "audio/DecodedAudio.h"

#include <QByteArrayView>

class Mp3Decoder
{
public:
    // Decodes to the end of the stream in the first frame's layout: a later section with the
    // other channel count is mixed to mono or copied to both sides. Damaged bytes the decoder
    // passes over are counted in skippedFrames, and the frames at other rates it may find in
    // them are left out. A rate that lasts is a real change, which a clip cannot hold: no
    // frames then, with the failure and the change set. Any thread count gives the same result.
    static DecodedAudio decode(QByteArrayView bytes, DecodeOptions options = {});
};
