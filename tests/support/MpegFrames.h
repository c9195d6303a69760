// SPDX-License-Identifier: GPL-3.0-or-later
// Finding and damaging the frames of an MPEG Layer III stream, for fixtures of damaged MP3 files.
#pragma once

#include <QByteArray>
#include <QList>

// Byte offsets of the Layer III frames of `mp3`, walked header by header from the start (an
// ID3v2 tag is stepped over); the walk stops at the first byte that is no frame header.
QList<qsizetype> mpegFrameOffsets(const QByteArray &mp3);

// `mp3` with frame `frameIndex` damaged as a bad sector or a bit-flipping link would: the
// header's bit-rate and sample-rate byte and the side information after it inverted.
QByteArray withDamagedMpegFrame(QByteArray mp3, int frameIndex);
