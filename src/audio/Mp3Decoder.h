// SPDX-License-Identifier: GPL-3.0-or-later
// MP3 decoding from memory with libmpg123, gapless (encoder delay and padding removed).
#pragma once

#include "audio/DecodedAudio.h"

#include <QByteArrayView>

class Mp3Decoder
{
public:
    // No frames in the result when nothing decodes. Stops at the first change of
    // rate or channel count mid-stream, keeping what came before. Any thread count gives the
    // same result.
    static DecodedAudio decode(QByteArrayView bytes, DecodeOptions options = {});
};
