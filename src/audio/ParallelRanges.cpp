// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/ParallelRanges.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace ParallelRanges {

int threadsForValues(qint64 values)
{
    constexpr qint64 valuesPerThread = qint64(1) << 20;
    const qint64 byLength = values / valuesPerThread;
    const qint64 cores = std::max(1u, std::thread::hardware_concurrency());
    return int(std::clamp<qint64>(std::min(byLength, cores), 1, 8));
}

bool run(qint64 frames, int threads, const std::function<bool(qint64, qint64, bool)> &decodeRange)
{
    threads = int(std::clamp<qint64>(threads, 1, std::max<qint64>(frames, 1)));
    std::atomic<bool> ok = true;
    const auto range = [&](int index) {
        const qint64 first = frames * index / threads;
        const qint64 end = frames * (index + 1) / threads;
        if (!decodeRange(first, end - first, index == threads - 1))
            ok = false;
    };
    std::vector<std::thread> workers;
    workers.reserve(size_t(threads - 1));
    for (int index = 0; index < threads - 1; ++index)
        workers.emplace_back(range, index);
    range(threads - 1);
    for (std::thread &worker : workers)
        worker.join();
    return ok;
}

bool writeInOrder(qint64 pieces, int threads, const std::function<void(qint64, QByteArray &)> &encode,
                  const std::function<bool(const QByteArray &)> &write)
{
    // Two sets of buffers take turns: one batch encodes while the one before it is written.
    // The same buffers serve every batch, so their pages are faulted in once.
    const qint64 batchSize = qint64(std::max(threads, 1)) * 16;
    auto writing = std::vector<QByteArray>(size_t(batchSize));
    auto encoding = std::vector<QByteArray>(size_t(batchSize));
    const auto encodeBatch = [&](qint64 first, std::vector<QByteArray> &batch) {
        run(std::min(batchSize, pieces - first), threads, [&](qint64 begin, qint64 count, bool) {
            for (qint64 i = begin; i < begin + count; ++i)
                encode(first + i, batch[size_t(i)]);
            return true;
        });
    };
    if (pieces > 0)
        encodeBatch(0, writing);
    for (qint64 first = 0; first < pieces; first += batchSize) {
        std::thread ahead;
        if (first + batchSize < pieces)
            ahead = std::thread(encodeBatch, first + batchSize, std::ref(encoding));
        bool written = true;
        for (qint64 i = 0; written && i < std::min(batchSize, pieces - first); ++i)
            written = write(writing[size_t(i)]);
        if (ahead.joinable())
            ahead.join();
        if (!written)
            return false;
        std::swap(writing, encoding);
    }
    return true;
}

} // namespace ParallelRanges
