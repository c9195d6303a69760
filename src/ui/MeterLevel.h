// SPDX-License-Identifier: GPL-3.0-or-later
// Level of one block for the editor's meters: int(RMS x 100) in 0..100.
#pragma once

#include <span>

// Real-time safe: no allocation, no locks. NaN and infinities are skipped so that one
// broken value cannot blank or pin the meter; a block without finite values reads 0.
int meterLevel(std::span<const float> block);
// Every `stride`-th value from `offset` on: one channel of an interleaved block.
int meterLevel(std::span<const float> block, int offset, int stride);
