// SPDX-License-Identifier: GPL-3.0-or-later
// Single-track engine driven block by block: playback edges, volume, the in-place
// playback callback, recording set-up and start failures.
#include "engine/AudioEngine.h"

#include "PumpedAudioBackend.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {
class SingleTrackPump : public ::testing::Test
{
protected:
    explicit SingleTrackPump(PumpedAudioBackend::Setup setup = {})
    {
        auto owned = std::make_unique<PumpedAudioBackend>(setup);
        device = owned.get();
        engine = std::make_unique<AudioEngine>(std::move(owned));
        engine->initialize(44100, 8);
    }

    // Left and right of one pumped block; both must carry the same mono signal.
    std::vector<float> pumpMono(unsigned int frames = 8, const std::vector<float> &input = {})
    {
        const auto block = device->pump(frames, input);
        EXPECT_TRUE(block.has_value());
        std::vector<float> mono;
        if (!block)
            return mono;
        for (unsigned int k = 0; k < frames; ++k) {
            EXPECT_EQ((*block)[2 * k], (*block)[2 * k + 1]) << "frame " << k;
            mono.push_back((*block)[2 * k]);
        }
        return mono;
    }

    PumpedAudioBackend *device = nullptr;
    std::unique_ptr<AudioEngine> engine;
    const std::vector<float> clip = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f, -0.5f, -0.25f};
};
} // namespace

TEST_F(SingleTrackPump, PlaysTheBufferToTheEndAndStops)
{
    ASSERT_TRUE(engine->startPlayback(clip.data(), int(clip.size()), 44100, 2));
    EXPECT_EQ(pumpMono(), std::vector<float>(clip.begin() + 2, clip.begin() + 10));
    EXPECT_TRUE(engine->isPlaying());
    EXPECT_EQ(engine->position(), 10);
    EXPECT_EQ(pumpMono(), (std::vector<float>{-0.5f, -0.25f, 0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(engine->isPlaying());
    EXPECT_EQ(engine->position(), 12);
    EXPECT_EQ(pumpMono(), std::vector<float>(8, 0.0f)) << "the stream keeps running silently";
}

TEST_F(SingleTrackPump, PlaybackEdges)
{
    struct
    {
        const char *name;
        int length, startSample;
        bool playingAfterFirstBlock;
    } const rows[] = {
        {"start at the end plays nothing", 12, 12, false},
        {"last sample on the block's last frame", 8, 0, true},
        {"negative start is clamped", 12, -5, true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(engine->startPlayback(clip.data(), row.length, 44100, row.startSample));
        pumpMono();
        EXPECT_EQ(engine->isPlaying(), row.playingAfterFirstBlock);
        pumpMono();
        EXPECT_FALSE(engine->isPlaying());
    }
    EXPECT_FALSE(engine->startPlayback(nullptr, 12, 44100, 0));
    EXPECT_FALSE(engine->startPlayback(clip.data(), 0, 44100, 0));
    EXPECT_EQ(device->opens, 1) << "playback reuses the running stream";
}

TEST_F(SingleTrackPump, VolumeAndPlaybackCallbackShapeWhatIsHeard)
{
    struct
    {
        float set, stored;
    } const volumes[] = {{1.5f, 1.0f}, {-1.0f, 0.0f}, {0.5f, 0.5f}};
    for (const auto &row : volumes) {
        engine->setVolume(row.set);
        EXPECT_EQ(engine->getVolume(), row.stored);
    }
    std::vector<int> counts;
    engine->setPlaybackProcessCallback([&counts](float *samples, int count) {
        counts.push_back(count);
        for (int k = 0; k < count; ++k)
            samples[k] *= 2.0f;
    });
    ASSERT_TRUE(engine->startPlayback(clip.data(), int(clip.size()), 44100, 6));
    // 0.5 volume, then doubled: the clip's own values; the callback sees only real frames.
    EXPECT_EQ(pumpMono(), (std::vector<float>{0.7f, 0.8f, 0.9f, 1.0f, -0.5f, -0.25f, 0, 0}));
    pumpMono();
    EXPECT_EQ(counts, std::vector<int>{6});
}

TEST_F(SingleTrackPump, PauseThenStartElsewhereOnTheSameStream)
{
    ASSERT_TRUE(engine->startPlayback(clip.data(), int(clip.size()), 44100, 0));
    pumpMono();
    engine->pausePlayback();
    EXPECT_EQ(pumpMono(), std::vector<float>(8, 0.0f));
    EXPECT_EQ(engine->position(), 8);
    engine->resumePlayback();
    EXPECT_EQ(pumpMono(4), (std::vector<float>{0.9f, 1.0f, -0.5f, -0.25f}));
    ASSERT_TRUE(engine->startPlayback(clip.data(), int(clip.size()), 44100, 3));
    EXPECT_EQ(pumpMono(2), (std::vector<float>{0.4f, 0.5f}));
    EXPECT_EQ(device->opens, 1);
    engine->stopPlayback();
    EXPECT_EQ(engine->position(), 0);
    EXPECT_EQ(pumpMono(2), std::vector<float>(2, 0.0f));
}

TEST_F(SingleTrackPump, ABlockLargerThanPromisedIsPlayedWhole)
{
    ASSERT_TRUE(engine->startPlayback(clip.data(), int(clip.size()), 44100, 0));
    std::vector<float> expected = clip;
    expected.resize(20, 0.0f);
    EXPECT_EQ(pumpMono(20), expected);
}

TEST_F(SingleTrackPump, RecordingReplacesThePlaybackStreamWithADuplexOne)
{
    std::vector<float> recorded;
    engine->setRecordCallback([&recorded](const float *input, int frames) { recorded.insert(recorded.end(), input, input + frames); });
    std::vector<const float *> processInputs;
    engine->setProcessCallback([&processInputs](const float *input, float *, int) { processInputs.push_back(input); });

    ASSERT_TRUE(engine->startPlayback(clip.data(), int(clip.size()), 44100, 0));
    EXPECT_FALSE(device->openedInput.has_value());
    pumpMono(4);
    ASSERT_TRUE(engine->startRecording());
    EXPECT_EQ(device->opens, 2);
    ASSERT_TRUE(device->openedInput.has_value());
    EXPECT_EQ(device->openedInput->channels, 1u);
    EXPECT_EQ(device->openedInput->deviceId, 1u);
    // Playback carries on where it was, on the new stream.
    EXPECT_EQ(pumpMono(4, {1, 2, 3, 4}), (std::vector<float>{0.5f, 0.6f, 0.7f, 0.8f}));
    engine->stopRecording();
    pumpMono(4, {5, 6, 7, 8});
    EXPECT_EQ(recorded, (std::vector<float>{1, 2, 3, 4}));
    ASSERT_EQ(processInputs.size(), 3u);
    EXPECT_EQ(processInputs[0], nullptr);
    EXPECT_NE(processInputs[1], nullptr);
}

namespace {
class SingleTrackWithoutInput : public SingleTrackPump
{
protected:
    SingleTrackWithoutInput()
        : SingleTrackPump({.inputChannels = 0})
    {
    }
};
} // namespace

TEST_F(SingleTrackWithoutInput, RecordingFailsAndPlaybackGoesOn)
{
    ASSERT_TRUE(engine->startPlayback(clip.data(), int(clip.size()), 44100, 0));
    EXPECT_FALSE(engine->startRecording());
    EXPECT_EQ(device->opens, 1) << "the playback stream must not be torn down for nothing";
    EXPECT_EQ(pumpMono(2), (std::vector<float>{0.1f, 0.2f}));
}

TEST(SingleTrackStartFailure, ReportsFailureAndStaysIdle)
{
    const float samples[4] = {};
    for (const StartFailure &row : startFailures) {
        SCOPED_TRACE(row.name);
        auto owned = row.backend();
        PumpedAudioBackend *device = owned.get();
        AudioEngine engine(std::move(owned));
        EXPECT_FALSE(engine.startPlayback(samples, 4, 44100, 0));
        EXPECT_FALSE(engine.isPlaying());
        EXPECT_FALSE(engine.startRecording());
        EXPECT_FALSE(engine.start());
        if (device) {
            EXPECT_FALSE(device->isStreamOpen());
        }
    }
}

TEST(SingleTrackDevices, ListsDevicesByDirection)
{
    AudioEngine withoutBackend(nullptr);
    EXPECT_TRUE(withoutBackend.getOutputDevices().empty());
    AudioEngine engine(std::make_unique<PumpedAudioBackend>(PumpedAudioBackend::Setup{.devices = 2, .inputChannels = 0}));
    EXPECT_EQ(engine.getOutputDevices(), (std::vector<std::string>{"Pumped 1", "Pumped 2"}));
    EXPECT_TRUE(engine.getInputDevices().empty());
}
