// SPDX-License-Identifier: GPL-3.0-or-later
// Tells a passing hiccup of a stream (one over- or under-run reported by the device layer)
// from a stream whose device or server has gone away, which fails every block from then on.
#pragma once

#include <array>
#include <atomic>
#include <string>
#include <string_view>

// nextBlock() and noteError() run on the stream thread (no lock, no allocation); reset()
// runs while no stream feeds the watch; lost() and reason() may be read from any thread.
class StreamFaultWatch
{
public:
    // Consecutive failed blocks after which the stream counts as lost.
    static constexpr int failedBlocksForLoss = 4;

    enum class Block {
        Deliver,    // an ordinary block
        DropInput,  // the last block failed: its captured data was never read
        Stop,       // the stream is lost; the callback must not run any more
    };

    void reset();
    // At the start of every block: what the block may be used for.
    Block nextBlock() noexcept;
    // The device layer reported an error for the block just handed over.
    void noteError(std::string_view text) noexcept;

    bool lost() const noexcept { return streamLost.load(std::memory_order_acquire); }
    // The device layer's last error text before the loss; empty while not lost.
    std::string reason() const;

private:
    bool errorInBlock = false;
    int failedBlocks = 0;
    std::atomic<bool> streamLost{false};
    std::array<char, 256> lastError{};
};
