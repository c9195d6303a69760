// SPDX-License-Identifier: GPL-3.0-or-later
// Both engines on a PulseAudio server of the test's own that goes away while they run and
// comes back: the stream reports the loss and stands still, and the next start opens a new
// stream on the returned server. A server that hangs holds up neither Stop nor Play.
#include "engine/AudioEngine.h"
#include "engine/MultiTrackAudioEngine.h"

#include "PrivatePulseServer.h"
#include "ScopedEnv.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

bool waitFor(const std::function<bool()> &done)
{
    // Generous: a stream on a busy machine may take seconds to start.
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    return done();
}

// True when `count` keeps its value while the stream would have run many blocks.
bool standsStill(const std::function<std::int64_t()> &count)
{
    const std::int64_t before = count();
    for (int round = 0; round < 20; ++round) {
        std::this_thread::sleep_for(10ms);
        if (count() != before)
            return false;
    }
    return true;
}

class AudioServerLoss : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(pulse.isValid()) << "no private PulseAudio server"; }

    // Makes a minute of tone the one track of `engine`, which reads it in place.
    void playToneOn(MultiTrackAudioEngine &engine) const
    {
        engine.initialize(48000, 512);
        MultiTrackAudioEngine::TrackSlot slot;
        slot.samples = tone.data();
        slot.sampleCount = int(tone.size());
        engine.setTracks({slot});
    }

    ScopedEnv api{"ZENTRIQ_AUDIO_API", "pulse"};
    PrivatePulseServer pulse;
    const std::vector<float> tone = std::vector<float>(48000 * 60, 0.25f);
};

TEST_F(AudioServerLoss, MultiTrackPlaybackStopsWithTheServerAndPlaysOnceItIsBack)
{
    MultiTrackAudioEngine engine;
    playToneOn(engine);
    const auto frames = [&] { return engine.outputClock().frames(); };

    ASSERT_TRUE(engine.startPlayback(0.0));
    ASSERT_TRUE(waitFor([&] { return frames() > 4096; })) << "the stream never ran";
    EXPECT_FALSE(engine.deviceLost());

    ASSERT_TRUE(pulse.stop());
    ASSERT_TRUE(waitFor([&] { return engine.deviceLost(); }));
    EXPECT_TRUE(standsStill(frames)) << "blocks still run on a stream without a server";
    EXPECT_LT(engine.getPlaybackPosition(), 60.0);

    ASSERT_TRUE(pulse.start());
    ASSERT_TRUE(engine.startPlayback(1.0));
    EXPECT_FALSE(engine.deviceLost());
    EXPECT_TRUE(waitFor([&] { return frames() > 4096; })) << "no new stream after the server came back";
    engine.stopPlayback();
}

TEST_F(AudioServerLoss, CaptureStopsWithTheServerAndRecordsOnceItIsBack)
{
    std::atomic<std::int64_t> captured{0};
    AudioEngine engine;
    engine.initialize(48000, 512);
    engine.setRecordCallback([&captured](const float *, int frames) { captured += frames; });
    const auto count = [&] { return captured.load(); };

    ASSERT_TRUE(engine.startCapture());
    ASSERT_TRUE(waitFor([&] { return count() > 4096; })) << "the stream never ran";
    EXPECT_FALSE(engine.deviceLost());

    ASSERT_TRUE(pulse.stop());
    ASSERT_TRUE(waitFor([&] { return engine.deviceLost(); }));
    EXPECT_TRUE(standsStill(count)) << "blocks still arrive from a stream without a server";

    ASSERT_TRUE(pulse.start());
    const std::int64_t beforeRestart = count();
    ASSERT_TRUE(engine.startCapture());
    EXPECT_FALSE(engine.deviceLost());
    EXPECT_TRUE(waitFor([&] { return count() > beforeRestart + 4096; })) << "no new stream after the server came back";
    engine.stopRecording();
    engine.shutdown();
}

TEST_F(AudioServerLoss, AHungServerHoldsNeitherStopNorStartAndPlaysOnceItGoesOn)
{
    MultiTrackAudioEngine engine;
    playToneOn(engine);
    const auto frames = [&] { return engine.outputClock().frames(); };
    ASSERT_TRUE(engine.startPlayback(0.0));
    ASSERT_TRUE(waitFor([&] { return frames() > 4096; })) << "the stream never ran";

    ASSERT_TRUE(pulse.freeze(true));
    // Both return although the server never answers; the start fails.
    engine.stopPlayback();
    EXPECT_FALSE(engine.startPlayback(0.0));

    ASSERT_TRUE(pulse.freeze(false));
    ASSERT_TRUE(engine.startPlayback(0.0));
    EXPECT_TRUE(waitFor([&] { return frames() > 4096; })) << "no stream once the server went on";
    engine.stopPlayback();
}

TEST_F(AudioServerLoss, SingleTrackPlaybackReopensOnTheNextStart)
{
    AudioEngine engine;
    engine.initialize(48000, 512);
    ASSERT_TRUE(engine.startPlayback(tone.data(), int(tone.size()), 48000, 0));
    ASSERT_TRUE(waitFor([&] { return engine.position() > 4096; })) << "the stream never ran";

    ASSERT_TRUE(pulse.stop());
    ASSERT_TRUE(waitFor([&] { return engine.deviceLost(); }));
    EXPECT_TRUE(standsStill([&] { return std::int64_t(engine.position()); }));

    ASSERT_TRUE(pulse.start());
    ASSERT_TRUE(engine.startPlayback(tone.data(), int(tone.size()), 48000, 0));
    EXPECT_FALSE(engine.deviceLost());
    EXPECT_TRUE(waitFor([&] { return engine.position() > 4096; })) << "the lost stream was not replaced";
    engine.stopPlayback();
    engine.shutdown();
}

} // namespace
