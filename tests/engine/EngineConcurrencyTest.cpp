// SPDX-License-Identifier: GPL-3.0-or-later
// Hand-over between the GUI thread and the stream thread: one thread pumps blocks while
// the test swaps slots, buffers and callbacks and frees what it replaced at once.
// Freed buffers are poisoned with NaN first, so a late read shows in the output even
// without a sanitizer; the suite also runs under ThreadSanitizer.
#include "engine/AudioEngine.h"
#include "engine/MultiTrackAudioEngine.h"

#include "PumpedAudioBackend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

namespace {
constexpr float poison = std::numeric_limits<float>::quiet_NaN();

// Pumps blocks on its own thread until destroyed; counts blocks holding a non-finite value.
class PumpThread
{
public:
    PumpThread(PumpedAudioBackend &device, unsigned int frames)
        : thread([this, &device, frames] {
            const std::vector<float> input(frames, 0.25f);
            while (!done.load()) {
                const auto block = device.pump(frames, input);
                ++blocks;
                if (block) {
                    for (float v : *block) {
                        if (!std::isfinite(v)) {
                            ++badBlocks;
                            break;
                        }
                    }
                }
            }
        })
    {
    }
    ~PumpThread()
    {
        done.store(true);
        thread.join();
    }
    // Waits until at least `count` more blocks have run.
    void waitBlocks(int count) const
    {
        const int target = blocks.load() + count;
        while (blocks.load() < target)
            std::this_thread::yield();
    }

    std::atomic<int> badBlocks{0};

private:
    std::atomic<bool> done{false};
    std::atomic<int> blocks{0};
    std::thread thread;
};

std::unique_ptr<std::vector<float>> freshBuffer(std::size_t count, float value)
{
    return std::make_unique<std::vector<float>>(count, value);
}

void release(std::unique_ptr<std::vector<float>> &buffer)
{
    std::fill(buffer->begin(), buffer->end(), poison);
    buffer.reset();
}
} // namespace

TEST(EngineConcurrency, MultiTrackSlotsSwappedWhileBlocksAreMixed)
{
    auto owned = std::make_unique<PumpedAudioBackend>();
    PumpedAudioBackend &device = *owned;
    MultiTrackAudioEngine engine(std::move(owned));
    engine.initialize(44100, 512);

    constexpr std::size_t tracks = 4, length = 1 << 16;
    std::vector<std::unique_ptr<std::vector<float>>> buffers;
    std::vector<MultiTrackAudioEngine::TrackSlot> trackSlots(tracks);
    for (std::size_t t = 0; t < tracks; ++t) {
        buffers.push_back(freshBuffer(length, 0.1f));
        trackSlots[t].samples = buffers[t]->data();
        trackSlots[t].sampleCount = int(length);
    }
    engine.setTracks(trackSlots);
    ASSERT_TRUE(engine.startPlayback(0.0));

    PumpThread pumping(device, 512);
    for (int round = 0; round < 400; ++round) {
        const std::size_t t = std::size_t(round) % tracks;
        auto replacement = freshBuffer(length, 0.05f * float(round % 7));
        MultiTrackAudioEngine::TrackSlot slot = trackSlots[t];
        slot.samples = replacement->data();
        slot.pan = float(round % 5) * 0.5f - 1.0f;
        // Placed under the play head, so the blocks keep reading the buffers being swapped.
        slot.startTime = engine.getPlaybackPosition() - 0.01;
        trackSlots[t] = slot;
        if (round % 3 == 0)
            engine.setTracks(trackSlots);
        else
            engine.updateTrackSlot(int(t), slot);
        ASSERT_TRUE(engine.waitForSlotAdoption(5000));
        release(buffers[t]);
        buffers[t] = std::move(replacement);
    }
    EXPECT_EQ(pumping.badBlocks.load(), 0);
}

TEST(EngineConcurrency, SingleTrackBuffersAndCallbacksSwappedWhileBlocksPlay)
{
    auto owned = std::make_unique<PumpedAudioBackend>();
    PumpedAudioBackend &device = *owned;
    AudioEngine engine(std::move(owned));
    engine.initialize(44100, 64);

    auto buffer = freshBuffer(5000, 0.5f);
    ASSERT_TRUE(engine.startPlayback(buffer->data(), int(buffer->size()), 44100, 0));
    ASSERT_TRUE(engine.startRecording());

    // Each callback works through a heap object that is destroyed the moment the
    // callback is replaced; a late call would read poison.
    struct Gain
    {
        float factor = 1.0f;
    };
    std::atomic<int> lateCalls{0};
    PumpThread pumping(device, 64);
    for (int round = 0; round < 300; ++round) {
        auto gain = std::make_unique<Gain>();
        gain->factor = 0.5f + 0.001f * float(round);
        Gain *live = gain.get();
        engine.setPlaybackProcessCallback([live, &lateCalls](float *samples, int count) {
            if (!std::isfinite(live->factor))
                ++lateCalls;
            for (int k = 0; k < count; ++k)
                samples[k] *= live->factor;
        });
        engine.setRecordCallback([live, &lateCalls](const float *input, int frames) {
            if (!std::isfinite(live->factor) || (frames > 0 && input[0] != 0.25f))
                ++lateCalls;
        });
        auto next = freshBuffer(std::size_t(100 + round * 37 % 3000), 0.25f);
        switch (round % 3) {
        case 0:
            engine.startPlayback(next->data(), int(next->size()), 44100, round % 50);
            break;
        case 1:
            engine.stopPlayback();
            engine.startPlayback(next->data(), int(next->size()), 44100, 0);
            break;
        default:
            engine.pausePlayback();
            engine.startPlayback(next->data(), int(next->size()), 44100, 10);
            break;
        }
        release(buffer);
        buffer = std::move(next);
        if (round % 60 == 0)
            pumping.waitBlocks(2);
        // Replace the callbacks with empty ones before the object they use goes.
        engine.setPlaybackProcessCallback({});
        engine.setRecordCallback({});
        gain->factor = poison;
        gain.reset();
    }
    engine.stopPlayback();
    release(buffer);
    EXPECT_EQ(lateCalls.load(), 0);
    EXPECT_EQ(pumping.badBlocks.load(), 0);
}
