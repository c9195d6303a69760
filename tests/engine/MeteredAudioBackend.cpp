// SPDX-License-Identifier: GPL-3.0-or-later
// Device-layer decorator that measures the engine's callback.
#include "MeteredAudioBackend.h"

#include "AllocationCounter.h"

#include <algorithm>
#include <chrono>

MeteredAudioBackend::MeteredAudioBackend(std::unique_ptr<AudioBackend> inner, std::size_t keptFrames,
                                         std::size_t keptBlocks)
    : output(2 * keptFrames), blockStarts(keptBlocks), inner(std::move(inner))
{
}

bool MeteredAudioBackend::openStream(const StreamParameters *outputParameters, const StreamParameters *input,
                                     unsigned int sampleRate, unsigned int &bufferFrames, Callback engineCallback,
                                     void *engineData)
{
    callback = engineCallback;
    userData = engineData;
    return inner->openStream(outputParameters, input, sampleRate, bufferFrames, &trampoline, this);
}

int MeteredAudioBackend::trampoline(void *out, void *input, unsigned int count, double streamTime,
                                    unsigned int status, void *data)
{
    auto *self = static_cast<MeteredAudioBackend *>(data);
    const std::uint64_t before = AllocationCounter::count();
    const auto started = std::chrono::steady_clock::now();
    int result;
    {
        AllocationCounter::Scope scope;
        result = self->callback(out, input, count, streamTime, status, self->userData);
    }
    const std::int64_t took = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                  std::chrono::steady_clock::now() - started).count();
    self->allocations.fetch_add(AllocationCounter::count() - before);
    if (took > self->worstNanoseconds.load())
        self->worstNanoseconds.store(took);

    const std::uint64_t block = self->blocks.load();
    const std::uint64_t first = self->frames.load();
    if (block < self->blockStarts.size())
        self->blockStarts[block] = first;
    const std::size_t keptFrames = self->output.size() / 2;
    if (first < keptFrames) {
        const std::size_t keep = std::min<std::size_t>(count, keptFrames - first);
        const auto *values = static_cast<const float *>(out);
        std::copy(values, values + 2 * keep, self->output.begin() + std::ptrdiff_t(2 * first));
    }
    self->frames.store(first + count);
    self->blocks.store(block + 1);
    return result;
}
