// SPDX-License-Identifier: GPL-3.0-or-later
// Wraps a device layer and watches the engine's callback on the stream thread: blocks and
// frames it was asked for, allocations made inside it, its worst duration, and a copy of
// what it wrote, kept in memory sized up front.
#pragma once

#include "engine/platform/AudioBackend.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class MeteredAudioBackend final : public AudioBackend
{
public:
    // Keeps the output of the first `keptFrames` frames (interleaved stereo) and the frame
    // position at which each of the first `keptBlocks` blocks began.
    MeteredAudioBackend(std::unique_ptr<AudioBackend> inner, std::size_t keptFrames, std::size_t keptBlocks);

    std::string apiDisplayName() const override { return inner->apiDisplayName(); }
    unsigned int deviceCount() override { return inner->deviceCount(); }
    unsigned int deviceId(unsigned int index) override { return inner->deviceId(index); }
    unsigned int defaultOutputDevice() override { return inner->defaultOutputDevice(); }
    unsigned int defaultInputDevice() override { return inner->defaultInputDevice(); }
    DeviceInfo deviceInfo(unsigned int id) override { return inner->deviceInfo(id); }
    bool openStream(const StreamParameters *output, const StreamParameters *input, unsigned int sampleRate,
                    unsigned int &bufferFrames, Callback callback, void *userData) override;
    bool startStream() override { return inner->startStream(); }
    bool stopStream() override { return inner->stopStream(); }
    void closeStream() override { inner->closeStream(); }
    bool isStreamOpen() const override { return inner->isStreamOpen(); }
    bool isStreamRunning() const override { return inner->isStreamRunning(); }
    std::string errorText() const override { return inner->errorText(); }

    std::atomic<std::uint64_t> blocks{0};
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint64_t> allocations{0};
    std::atomic<std::int64_t> worstNanoseconds{0};
    // Written by the stream thread; read once the stream has stopped.
    std::vector<float> output;
    std::vector<std::uint64_t> blockStarts;

private:
    static int trampoline(void *output, void *input, unsigned int frames, double streamTime, unsigned int status,
                          void *userData);

    std::unique_ptr<AudioBackend> inner;
    Callback callback = nullptr;
    void *userData = nullptr;
};
