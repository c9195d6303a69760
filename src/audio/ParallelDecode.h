// SPDX-License-Identifier: GPL-3.0-or-later
// Splits a decode into contiguous frame ranges that run on several threads, for formats
// whose frames can be reached by an exact seek.
#pragma once

#include <QtGlobal>

#include <functional>

namespace ParallelDecode {

// Threads worth using for a decode to `values` floats: one below a few megabytes, where
// starting threads and opening extra decoders costs more than it saves.
int threadsForValues(qint64 values);

// Cuts [0, frames) into `threads` ranges and runs decodeRange(first, count, isLast) for
// each at once, the last on the caller's thread. True when every range returned true.
bool run(qint64 frames, int threads, const std::function<bool(qint64 first, qint64 count, bool isLast)> &decodeRange);

} // namespace ParallelDecode
