// SPDX-License-Identifier: GPL-3.0-or-later
// Hands prepared state from the GUI thread to the stream thread by an atomic pointer swap.
// The writer copies, edits and publishes; it frees a replaced snapshot only once the
// reader has moved past it, so the reader never waits, locks or frees.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

// One writer thread (publish, latest, collect, released) and one real-time reader thread
// (acquire ... release around each block). The reader must not nest acquires.
template<typename T>
class SnapshotExchange
{
public:
    explicit SnapshotExchange(T initial = T{}) { publish(std::move(initial)); }

    SnapshotExchange(const SnapshotExchange &) = delete;
    SnapshotExchange &operator=(const SnapshotExchange &) = delete;

    // Writer. What the reader takes from its next block on; allocates on the writer's side.
    void publish(T value)
    {
        nodes.push_back(std::make_unique<Node>(Node{std::move(value), ++generation}));
        current.store(nodes.back().get(), std::memory_order_seq_cst);
        collect();
    }

    // Writer: the last published state.
    const T &latest() const { return nodes.back()->value; }

    // Writer: true when no block can still read an older snapshot than the latest.
    bool released() const
    {
        return !busy.load(std::memory_order_seq_cst) || adopted.load(std::memory_order_acquire) >= generation;
    }

    // Writer: true once a block has taken the latest snapshot.
    bool adoptedLatest() const { return adopted.load(std::memory_order_acquire) >= generation; }

    // Writer: polls until released() or the time-out; the reader is never woken or waited on.
    bool waitReleased(std::chrono::milliseconds timeout) const
    {
        return waitFor([this] { return released(); }, timeout);
    }

    // Writer: polls `done` until it holds or the time-out passes.
    template<typename Condition>
    static bool waitFor(Condition done, std::chrono::milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return true;
    }

    // Writer: frees the replaced snapshots no block can hold any more.
    void collect()
    {
        if (nodes.size() < 2)
            return;
        const std::uint64_t oldestHeld =
            busy.load(std::memory_order_seq_cst) ? adopted.load(std::memory_order_acquire) : generation;
        const auto stale = std::remove_if(nodes.begin(), nodes.end() - 1,
                                          [oldestHeld](const auto &node) { return node->generation < oldestHeld; });
        nodes.erase(stale, nodes.end() - 1);
    }

    // Reader, at the start of a block: the latest snapshot, valid until release().
    const T &acquire() noexcept
    {
        busy.store(true, std::memory_order_seq_cst);
        const Node *node = current.load(std::memory_order_seq_cst);
        adopted.store(node->generation, std::memory_order_release);
        return node->value;
    }

    // Reader, at the end of a block.
    void release() noexcept { busy.store(false, std::memory_order_release); }

private:
    struct Node
    {
        T value;
        std::uint64_t generation;
    };

    // Writer's side: every snapshot not yet freed, the latest last.
    std::vector<std::unique_ptr<Node>> nodes;
    std::uint64_t generation = 0;
    std::atomic<const Node *> current{nullptr};
    // Set by the reader while a block runs; with `adopted` it tells the writer what is held.
    std::atomic<bool> busy{false};
    std::atomic<std::uint64_t> adopted{0};
};
