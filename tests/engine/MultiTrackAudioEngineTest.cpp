// SPDX-License-Identifier: GPL-3.0-or-later
// Mixing engine: offline render against the mixing formula, the live callback pumped
// block by block, slot hand-over, and start failures.
#include "engine/MultiTrackAudioEngine.h"

#include "PumpedAudioBackend.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {
using Slot = MultiTrackAudioEngine::TrackSlot;

constexpr int rate = 44100;

// Ramps rise by a distinct step every sample, so a slot read one sample early or late
// shows at once. Full-scale ramps test clipping.
std::vector<float> ramp(int count, float step, float offset = 0.0f)
{
    std::vector<float> values(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        values[std::size_t(i)] = offset + step * float(i + 1);
    return values;
}

Slot slotOf(const std::vector<float> &samples, double startTime = 0.0, float volume = 1.0f, float pan = 0.0f)
{
    Slot slot;
    slot.samples = samples.data();
    slot.sampleCount = int(samples.size());
    slot.startTime = startTime;
    slot.volume = volume;
    slot.pan = pan;
    return slot;
}

// The mixing rule, in double precision with whole-frame offsets: sample i of a slot
// sounds at frame round(startTime x rate) + i.
std::vector<double> expectedMix(const std::vector<Slot> &trackSlots, int frames, int sampleRate)
{
    std::vector<double> out(2 * std::size_t(frames), 0.0);
    bool soloMode = false;
    for (const Slot &slot : trackSlots)
        soloMode = soloMode || slot.solo;
    for (int f = 0; f < frames; ++f) {
        double left = 0.0, right = 0.0;
        for (const Slot &slot : trackSlots) {
            if (slot.muted || (soloMode && !slot.solo) || !slot.samples || slot.sampleCount == 0)
                continue;
            const long long i = f - std::llround(slot.startTime * sampleRate);
            if (i < 0 || i >= slot.sampleCount)
                continue;
            const double v = double(slot.samples[i]) * slot.volume;
            left += (slot.pan <= 0 ? v : v * (1.0 - slot.pan)) * 0.707;
            right += (slot.pan >= 0 ? v : v * (1.0 + slot.pan)) * 0.707;
        }
        out[2 * std::size_t(f)] = std::clamp(left, -1.0, 1.0);
        out[2 * std::size_t(f) + 1] = std::clamp(right, -1.0, 1.0);
    }
    return out;
}

struct RenderCase
{
    const char *name;
    std::vector<Slot> trackSlots;
    int frames;
};

class MultiTrackRender : public ::testing::Test
{
protected:
    // Two tracks with different ramps, 1000 samples each.
    const std::vector<float> a = ramp(1000, 0.0005f);
    const std::vector<float> b = ramp(1000, -0.0003f, 0.1f);
    const std::vector<float> loud = std::vector<float>(1000, 1.0f);
};
} // namespace

TEST_F(MultiTrackRender, MatchesTheMixingRule)
{
    const auto with = [](Slot slot, auto change) {
        change(slot);
        return slot;
    };
    const Slot nullSolo = with(Slot{}, [](Slot &s) { s.solo = true; });
    const std::vector<RenderCase> cases = {
        {"pan -1", {slotOf(a, 0, 1, -1)}, 1200},
        {"pan -0.5", {slotOf(a, 0, 1, -0.5f)}, 1200},
        {"pan 0", {slotOf(a, 0, 1, 0)}, 1200},
        {"pan 0.5", {slotOf(a, 0, 1, 0.5f)}, 1200},
        {"pan 1", {slotOf(a, 0, 1, 1)}, 1200},
        {"volume and a second track", {slotOf(a, 0, 0.5f, 0.25f), slotOf(b, 0, 1.2f, -0.75f)}, 1200},
        {"default volume", {with(slotOf(a), [](Slot &s) { s.volume = Slot{}.volume; })}, 1000},
        {"mute", {with(slotOf(a), [](Slot &s) { s.muted = true; }), slotOf(b)}, 1000},
        {"solo", {slotOf(a), with(slotOf(b), [](Slot &s) { s.solo = true; })}, 1000},
        {"solo and mute on one slot", {slotOf(a), with(slotOf(b), [](Slot &s) { s.solo = s.muted = true; })}, 1000},
        {"two solos",
         {with(slotOf(a), [](Slot &s) { s.solo = true; }), slotOf(loud), with(slotOf(b, 0.01), [](Slot &s) { s.solo = true; })},
         1500},
        {"a soloed empty slot", {slotOf(a), nullSolo}, 1000},
        {"start 0.1 s", {slotOf(a, 0.1), slotOf(b)}, 6000},
        {"start 1.5 s", {slotOf(a, 1.5, 0.9f, 0.3f)}, 67200},
        {"start between frames", {slotOf(a, 0.123456789)}, 6500},
        {"render ends inside the slot", {slotOf(a, 0.001)}, 500},
        {"clipped sum", {slotOf(loud, 0, 1.5f), slotOf(loud, 0, 1.5f, -0.2f)}, 1000},
        {"clipped negative sum", {slotOf(loud, 0, -1.5f), slotOf(loud, 0, -1.5f)}, 1000},
    };
    MultiTrackAudioEngine engine(nullptr);
    for (const RenderCase &c : cases) {
        SCOPED_TRACE(c.name);
        QList<float> out{1.0f, 2.0f};
        ASSERT_TRUE(engine.renderOffline(c.trackSlots, c.frames, rate, out));
        const std::vector<double> expected = expectedMix(c.trackSlots, c.frames, rate);
        ASSERT_EQ(out.size(), qsizetype(expected.size()));
        int mismatches = 0;
        for (std::size_t k = 0; k < expected.size() && mismatches < 5; ++k) {
            if (std::fabs(out[qsizetype(k)] - expected[k]) > 1e-6) {
                ADD_FAILURE() << "frame " << k / 2 << (k % 2 ? " right " : " left ") << out[qsizetype(k)]
                              << " expected " << expected[k];
                ++mismatches;
            }
        }
    }
}

TEST_F(MultiTrackRender, PanLawAndEmptyRenders)
{
    // The constants the mixing rule names: 0.707 of a full-scale sample on the panned-to side.
    MultiTrackAudioEngine engine(nullptr);
    QList<float> out;
    const std::vector<float> one(4, 1.0f);
    struct
    {
        float pan, left, right;
    } const rows[] = {{0.0f, 0.707f, 0.707f}, {-1.0f, 0.707f, 0.0f}, {0.5f, 0.3535f, 0.707f}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.pan);
        engine.renderOffline({slotOf(one, 0, 1, row.pan)}, 1, rate, out);
        ASSERT_EQ(out.size(), 2);
        EXPECT_FLOAT_EQ(out[0], row.left);
        EXPECT_FLOAT_EQ(out[1], row.right);
    }
    out = {1.0f};
    EXPECT_TRUE(engine.renderOffline({slotOf(one)}, 0, rate, out));
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(engine.renderOffline({}, 3, rate, out));
    EXPECT_EQ(out, QList<float>(6, 0.0f));
}

namespace {
class MultiTrackPump : public ::testing::Test
{
protected:
    MultiTrackPump()
    {
        auto owned = std::make_unique<PumpedAudioBackend>();
        device = owned.get();
        engine = std::make_unique<MultiTrackAudioEngine>(std::move(owned));
        engine->initialize(rate, 512);
    }

    // Pumps `blocks` blocks of `frames` and returns the concatenated output.
    std::vector<float> pump(int blocks, unsigned int frames = 512)
    {
        std::vector<float> all;
        for (int i = 0; i < blocks; ++i) {
            const auto block = device->pump(frames);
            EXPECT_TRUE(block.has_value());
            if (block)
                all.insert(all.end(), block->begin(), block->end());
        }
        return all;
    }

    std::vector<float> offline(const std::vector<Slot> &trackSlots, int firstFrame, int frames)
    {
        QList<float> out;
        engine->renderOffline(trackSlots, firstFrame + frames, rate, out);
        return std::vector<float>(out.begin() + 2 * firstFrame, out.end());
    }

    PumpedAudioBackend *device = nullptr;
    std::unique_ptr<MultiTrackAudioEngine> engine;
    const std::vector<float> a = ramp(30000, 0.00002f);
    const std::vector<float> b = ramp(20000, -0.00003f, 0.2f);
};
} // namespace

TEST_F(MultiTrackPump, LiveBlocksEqualTheOfflineRender)
{
    const std::vector<Slot> trackSlots = {slotOf(a, 0.1, 0.9f, -0.4f), slotOf(b, 0.25, 1.1f, 0.6f)};
    struct
    {
        double startSeconds;
        int firstFrame;
        unsigned int blockFrames;
    } const rows[] = {{0.0, 0, 512}, {0.1, 4410, 512}, {0.3, 13230, 441}, {0.0, 0, 1}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.startSeconds);
        engine->setTracks(trackSlots);
        ASSERT_TRUE(engine->startPlayback(row.startSeconds));
        const int blocks = 40;
        const std::vector<float> live = pump(row.blockFrames == 1 ? 3000 : blocks, row.blockFrames);
        EXPECT_EQ(live, offline(trackSlots, row.firstFrame, int(live.size() / 2)));
        EXPECT_DOUBLE_EQ(engine->getPlaybackPosition(), (row.firstFrame + live.size() / 2) / double(rate));
        engine->stopPlayback();
        EXPECT_EQ(engine->getPlaybackPosition(), 0.0);
    }
}

TEST_F(MultiTrackPump, SlotChangesTakeEffectAtTheNextBlock)
{
    std::vector<Slot> trackSlots = {slotOf(a, 0, 1, 0), slotOf(b, 0, 1, 0)};
    engine->setTracks(trackSlots);
    ASSERT_TRUE(engine->startPlayback(0.0));
    const std::vector<float> before = pump(2);

    Slot muted = trackSlots[0];
    muted.muted = true;
    engine->updateTrackSlot(0, muted);
    engine->updateTrackSlot(-1, slotOf(a, 0, 1.5f));
    engine->updateTrackSlot(2, slotOf(a, 0, 1.5f));
    // The running stream has not taken the change yet: the old buffer is still in use.
    EXPECT_FALSE(engine->waitForSlotAdoption(0));
    const std::vector<float> after = pump(2);
    EXPECT_TRUE(engine->waitForSlotAdoption(0));

    EXPECT_EQ(before, offline(trackSlots, 0, 1024));
    trackSlots[0] = muted;
    EXPECT_EQ(after, offline(trackSlots, 1024, 1024));
}

TEST_F(MultiTrackPump, EmptyListIsSilentAndPositionAdvances)
{
    engine->setTracks({});
    ASSERT_TRUE(engine->startPlayback(2.0));
    EXPECT_EQ(pump(3), std::vector<float>(3 * 1024, 0.0f));
    EXPECT_DOUBLE_EQ(engine->getPlaybackPosition(), 2.0 + 3 * 512.0 / rate);
}

TEST_F(MultiTrackPump, PauseKeepsPositionAndStartOpensAFreshStream)
{
    engine->setTracks({slotOf(a)});
    ASSERT_TRUE(engine->startPlayback(0.0));
    pump(4);
    engine->pausePlayback();
    EXPECT_FALSE(engine->isPlaying());
    EXPECT_FALSE(device->pump(512).has_value()) << "a paused stream must be stopped";
    EXPECT_DOUBLE_EQ(engine->getPlaybackPosition(), 2048.0 / rate);
    EXPECT_TRUE(engine->waitForSlotAdoption(0)) << "nothing reads trackSlots while paused";

    ASSERT_TRUE(engine->startPlayback(0.5));
    EXPECT_EQ(device->opens, 2);
    EXPECT_EQ(pump(1), offline({slotOf(a)}, 22050, 512));
}

TEST_F(MultiTrackPump, RateIsFixedWhenTheStreamOpens)
{
    engine->setTracks({slotOf(a, 0.1)});
    ASSERT_TRUE(engine->startPlayback(0.0));
    EXPECT_EQ(device->openedRate, unsigned(rate));
    engine->initialize(48000, 512);
    const std::vector<float> live = pump(12);
    EXPECT_EQ(live, offline({slotOf(a, 0.1)}, 0, 12 * 512));
}

TEST(MultiTrackStartFailure, ReportsFailureAndStaysIdle)
{
    for (const StartFailure &row : startFailures) {
        SCOPED_TRACE(row.name);
        auto owned = row.backend();
        PumpedAudioBackend *device = owned.get();
        MultiTrackAudioEngine engine(std::move(owned));
        EXPECT_FALSE(engine.startPlayback(1.0));
        EXPECT_FALSE(engine.isPlaying());
        if (device) {
            EXPECT_FALSE(device->isStreamOpen());
        }
        engine.resumePlayback();
        EXPECT_FALSE(engine.isPlaying()) << "resuming without a stream must not claim to play";
    }
}
