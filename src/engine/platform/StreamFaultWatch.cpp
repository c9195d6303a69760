// SPDX-License-Identifier: GPL-3.0-or-later
// Counting failed blocks on the stream thread.
#include "engine/platform/StreamFaultWatch.h"

#include <algorithm>

void StreamFaultWatch::reset()
{
    errorInBlock = false;
    failedBlocks = 0;
    lastError.fill('\0');
    streamLost.store(false, std::memory_order_release);
}

StreamFaultWatch::Block StreamFaultWatch::nextBlock() noexcept
{
    if (streamLost.load(std::memory_order_relaxed))
        return Block::Stop;
    const bool afterError = errorInBlock;
    errorInBlock = false;
    failedBlocks = afterError ? failedBlocks + 1 : 0;
    if (failedBlocks >= failedBlocksForLoss) {
        streamLost.store(true, std::memory_order_release);
        return Block::Stop;
    }
    return afterError ? Block::DropInput : Block::Deliver;
}

void StreamFaultWatch::noteError(std::string_view text) noexcept
{
    // Once lost, the text is the readers': the layer's own clean-up errors do not replace it.
    if (streamLost.load(std::memory_order_relaxed))
        return;
    errorInBlock = true;
    const std::size_t length = std::min(text.size(), lastError.size() - 1);
    std::copy_n(text.data(), length, lastError.data());
    lastError[length] = '\0';
}

std::string StreamFaultWatch::reason() const
{
    if (!lost())
        return {};
    return std::string(lastError.data());
}
