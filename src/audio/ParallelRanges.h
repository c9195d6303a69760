// SPDX-License-Identifier: GPL-3.0-or-later
// Splits decoding and encoding into contiguous ranges that run on several threads: decodes
// of formats whose frames can be reached by an exact seek, encodes of independent pieces.
#pragma once

#include <QByteArray>

#include <functional>

namespace ParallelRanges {

// Threads worth using for a decode to `values` floats: one below a few megabytes, where
// starting threads and opening extra decoders costs more than it saves.
int threadsForValues(qint64 values);

// Cuts [0, frames) into `threads` ranges and runs decodeRange(first, count, isLast) for
// each at once, the last on the caller's thread. True when every range returned true.
bool run(qint64 frames, int threads, const std::function<bool(qint64 first, qint64 count, bool isLast)> &decodeRange);

// Encodes pieces 0 .. pieces - 1 in batches spread over `threads` and hands each to `write`
// in order, so memory holds one batch, never the whole file. `encode` replaces the contents
// of `bytes`, a buffer reused from an earlier batch. False when a write fails.
bool writeInOrder(qint64 pieces, int threads, const std::function<void(qint64 piece, QByteArray &bytes)> &encode,
                  const std::function<bool(const QByteArray &bytes)> &write);

} // namespace ParallelRanges
