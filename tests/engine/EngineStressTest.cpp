// SPDX-License-Identifier: GPL-3.0-or-later
// The GUI thread changes slots, buffers, callbacks and the recording state 10,000 times
// while the engines' real callbacks run, first on a pumped device, then on the test
// PulseAudio null sink. Every block the device asked for must be the offline render of
// one published state at the block's frame, in publishing order, with no block skipped and
// no allocation inside a callback. The worst callback time is printed, not asserted.
#include "engine/AudioEngine.h"
#include "engine/MultiTrackAudioEngine.h"
#include "engine/SampleRing.h"

#include "MeteredAudioBackend.h"
#include "PumpedAudioBackend.h"
#include "ScopedEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iostream>
#include <memory>
#include <random>
#include <thread>
#include <vector>

namespace {
using Slot = MultiTrackAudioEngine::TrackSlot;
using namespace std::chrono_literals;

constexpr int changes = 10000;

// How the GUI side is paced against the stream thread.
struct Pace
{
    unsigned int pumpedFrames; // 0: the null sink's own clock drives the callback
    int rate;
    int recordToggleEvery;     // single-track changes between two recording-state toggles

    int blockFrames() const { return pumpedFrames ? int(pumpedFrames) : 512; }
};

// Drives a pumped device from its own thread, two blocks per credit the GUI side grants,
// so the callback keeps running during every change without the output growing unbounded.
class CreditedPump
{
public:
    CreditedPump(PumpedAudioBackend &device, unsigned int frames)
        : thread([this, &device, frames] {
            std::vector<float> output(2 * std::size_t(frames));
            std::vector<float> input(frames);
            std::uint32_t counter = 0;
            while (!done.load()) {
                if (credits.load() <= 0) {
                    std::this_thread::yield();
                    continue;
                }
                // A running count as input, so a recording shows any lost or repeated sample.
                for (float &value : input)
                    value = float(++counter & 0xFFFFFF) / float(1 << 24);
                if (device.pumpInto(output, input))
                    credits.fetch_sub(1);
                else
                    counter -= frames;
                std::this_thread::yield();
            }
        })
    {
    }
    ~CreditedPump()
    {
        done.store(true);
        thread.join();
    }
    // Lets two more blocks run, once the previous ones have.
    void grant()
    {
        while (credits.load() > 2)
            std::this_thread::yield();
        credits.fetch_add(2);
    }
    void drain()
    {
        while (credits.load() > 0)
            std::this_thread::yield();
    }

private:
    std::atomic<int> credits{0};
    std::atomic<bool> done{false};
    std::thread thread;
};

// Gives the stream thread room between two changes: pumped blocks, or real time.
class Pacer
{
public:
    Pacer(const Pace &pace, PumpedAudioBackend *pumped)
    {
        if (pumped)
            pump = std::make_unique<CreditedPump>(*pumped, pace.pumpedFrames);
    }
    void step()
    {
        if (pump)
            pump->grant();
        else
            std::this_thread::sleep_for(1ms);
    }
    void finish()
    {
        if (pump)
            pump->drain();
        else
            std::this_thread::sleep_for(300ms);
    }

private:
    std::unique_ptr<CreditedPump> pump;
};

// The device the engine gets: pumped or the real one, wrapped in the meter either way.
struct Device
{
    MeteredAudioBackend *meter = nullptr;
    PumpedAudioBackend *pumped = nullptr;
    std::unique_ptr<AudioBackend> owned;
};

// Keeps the output of every pumped block, or of the first half minute on the null sink.
Device makeDevice(const Pace &pace)
{
    const std::size_t keptFrames = std::size_t(changes) * 2 * (pace.pumpedFrames ? pace.pumpedFrames : 32) + (1u << 20);
    Device device;
    std::unique_ptr<AudioBackend> inner;
    if (pace.pumpedFrames > 0) {
        auto pumped = std::make_unique<PumpedAudioBackend>();
        device.pumped = pumped.get();
        inner = std::move(pumped);
    } else {
        std::string error;
        inner = AudioBackend::create(error);
    }
    if (!inner)
        return device;
    auto meter = std::make_unique<MeteredAudioBackend>(std::move(inner), keptFrames, keptFrames / 64);
    device.meter = meter.get();
    device.owned = std::move(meter);
    return device;
}

void report(const char *name, const MeteredAudioBackend &meter)
{
    std::cout << "[ stress   ] " << name << ": " << meter.blocks.load() << " blocks, worst callback "
              << double(meter.worstNanoseconds.load()) / 1e3 << " us, " << meter.allocations.load()
              << " allocations\n";
}

// ---------------------------------------------------------------- multitrack

std::vector<std::vector<float>> noisePool(int count, int frames)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.4f, 0.4f);
    const std::vector<float> silence(static_cast<std::size_t>(frames));
    std::vector<std::vector<float>> pool(static_cast<std::size_t>(count), silence);
    for (auto &buffer : pool)
        for (float &value : buffer)
            value = noise(random);
    return pool;
}

// Change g: four tracks on pool buffers near `frame`, each field varying with g.
std::vector<Slot> slotList(int g, std::int64_t frame, int rate, const std::vector<std::vector<float>> &pool)
{
    std::vector<Slot> list(4);
    for (int t = 0; t < 4; ++t) {
        Slot &slot = list[std::size_t(t)];
        const auto &buffer = pool[std::size_t(g * 3 + t) % pool.size()];
        slot.samples = buffer.data();
        slot.sampleCount = int(buffer.size());
        slot.startTime = double(frame - (g + t) % 5 * 100) / rate;
        slot.volume = 0.2f + 0.1f * float((g + t) % 7);
        slot.pan = float((g * 5 + t) % 9) * 0.25f - 1.0f;
        slot.muted = (g + t) % 11 == 0;
        slot.solo = g % 13 == 0 && t == 1;
    }
    return list;
}

// The list as seen from a block that starts at `frame`: the same mix from time 0.
std::vector<Slot> shifted(std::vector<Slot> list, std::int64_t frame, int rate)
{
    for (Slot &slot : list)
        slot.startTime = double(std::llround(slot.startTime * rate) - frame) / rate;
    return list;
}

void mixStress(const Pace &pace)
{
    Device device = makeDevice(pace);
    ASSERT_NE(device.meter, nullptr);
    MeteredAudioBackend &meter = *device.meter;
    MultiTrackAudioEngine engine(std::move(device.owned));
    engine.initialize(pace.rate, pace.blockFrames());

    const auto pool = noisePool(16, pace.rate);
    std::vector<std::vector<Slot>> published{slotList(0, 0, pace.rate, pool)};
    engine.setTracks(published.back());
    ASSERT_TRUE(engine.startPlayback(0.0));
    {
        Pacer pacer(pace, device.pumped);
        for (int g = 1; g <= changes; ++g) {
            const auto frame = std::int64_t(engine.getPlaybackPosition() * pace.rate);
            std::vector<Slot> next = slotList(g, frame, pace.rate, pool);
            if (g % 3 == 0) {
                next = published.back();
                next[std::size_t(g) % 4] = slotList(g, frame, pace.rate, pool)[std::size_t(g) % 4];
                engine.updateTrackSlot(g % 4, next[std::size_t(g) % 4]);
            } else {
                engine.setTracks(next);
            }
            published.push_back(std::move(next));
            pacer.step();
        }
        pacer.finish();
    }
    engine.stopPlayback();
    report("multitrack", meter);

    const std::uint64_t blocks = std::min<std::uint64_t>(meter.blocks.load(), meter.blockStarts.size());
    if (device.pumped) {
        EXPECT_EQ(meter.blocks.load(), std::uint64_t(2 * changes));
    }
    EXPECT_EQ(meter.allocations.load(), 0u);
    // Blocks the device asked for before playback was flagged are silent and do not count.
    std::uint64_t first = 0;
    const auto silent = [&](std::uint64_t b, std::uint64_t frames) {
        const float *values = meter.output.data() + 2 * meter.blockStarts[b];
        return std::all_of(values, values + 2 * frames, [](float v) { return v == 0.0f; });
    };
    const auto blockFrames = [&](std::uint64_t b) {
        return (b + 1 < meter.blocks.load() ? meter.blockStarts[b + 1] : meter.frames.load()) - meter.blockStarts[b];
    };
    while (first < blocks && silent(first, blockFrames(first)))
        ++first;
    ASSERT_LT(first, 4u) << "the first blocks of playback were silent";

    std::size_t g = 0;
    int unmatched = 0;
    QList<float> expected;
    for (std::uint64_t b = first; b < blocks && unmatched < 3; ++b) {
        const std::uint64_t frames = blockFrames(b);
        if (2 * (meter.blockStarts[b] + frames) > meter.output.size())
            break;
        const std::int64_t position = std::int64_t(meter.blockStarts[b] - meter.blockStarts[first]);
        const float *heard = meter.output.data() + 2 * meter.blockStarts[b];
        bool matched = false;
        for (std::size_t candidate = g; candidate < published.size() && !matched; ++candidate) {
            engine.renderOffline(shifted(published[candidate], position, pace.rate), int(frames), pace.rate, expected);
            if (std::memcmp(expected.constData(), heard, 2 * frames * sizeof(float)) == 0) {
                g = candidate;
                matched = true;
            }
        }
        if (!matched) {
            ++unmatched;
            ADD_FAILURE() << "block " << b << " at frame " << position << " is no published list's render";
        }
    }
    EXPECT_EQ(g, published.size() - 1) << "the last list was never heard";
}

// ---------------------------------------------------------------- single track

constexpr int poolBuffers = 256;
constexpr int bufferFrames = 4096;

// Sample i of buffer `id`, exact in float, so a played value tells where it came from.
float codedSample(int id, int i)
{
    return float(id * 65536 + i + 1) / float(1 << 24);
}

bool decode(float value, int &id, int &i)
{
    const double code = double(value) * double(1 << 24);
    if (code != std::floor(code) || code < 0)
        return false;
    id = int(code) >> 16;
    i = (int(code) & 0xFFFF) - 1;
    return id < poolBuffers && i >= 0 && i < bufferFrames;
}

void singleTrackStress(const Pace &pace)
{
    Device device = makeDevice(pace);
    ASSERT_NE(device.meter, nullptr);
    MeteredAudioBackend &meter = *device.meter;
    AudioEngine engine(std::move(device.owned));
    engine.initialize(pace.rate, pace.blockFrames());

    std::vector<std::vector<float>> pool(poolBuffers, std::vector<float>(bufferFrames));
    for (int id = 0; id < poolBuffers; ++id)
        for (int i = 0; i < bufferFrames; ++i)
            pool[std::size_t(id)][std::size_t(i)] = codedSample(id, i);
    std::vector<std::vector<int>> starts(poolBuffers);

    // The recording goes where the editor's does: a pre-sized ring that the GUI drains.
    SampleRing ring(1 << 20);
    std::atomic<int> level{0};
    engine.setRecordCallback([&ring](const float *input, int frames) { ring.write({input, std::size_t(frames)}); });
    std::vector<float> drained(1 << 20);
    std::int64_t lastCount = -1;
    int recordingGaps = 0;
    const auto drain = [&] {
        const std::size_t count = ring.read(drained);
        for (std::size_t k = 0; k < count && device.pumped; ++k) {
            const auto value = std::int64_t(double(drained[k]) * (1 << 24));
            if (lastCount >= 0 && value != lastCount + 1)
                ++recordingGaps;
            lastCount = value;
        }
    };

    ASSERT_TRUE(engine.startRecording());
    bool recording = true;
    int restarts = 0;
    {
        Pacer pacer(pace, device.pumped);
        for (int g = 0; g < changes; ++g) {
            switch (g % 4) {
            case 0: {
                const int id = g % poolBuffers;
                const int start = (g * 37) % bufferFrames;
                starts[std::size_t(id)].push_back(start);
                engine.startPlayback(pool[std::size_t(id)].data(), bufferFrames, pace.rate, start);
                break;
            }
            case 1:
                engine.setPlaybackProcessCallback([&level, g](float *samples, int count) {
                    level.store(count > 0 && samples[0] > 0.0f ? g : 0, std::memory_order_relaxed);
                });
                break;
            case 2:
                if (g % pace.recordToggleEvery == 2) {
                    if (recording) {
                        engine.stopRecording();
                        drain();
                    } else {
                        ASSERT_TRUE(engine.startRecording());
                        ++restarts;
                    }
                    recording = !recording;
                }
                break;
            default:
                if (g % 8 == 3)
                    engine.stopPlayback();
                else
                    engine.pausePlayback();
                break;
            }
            if (g % 16 == 0)
                drain();
            pacer.step();
        }
        pacer.finish();
    }
    engine.stopRecording();
    engine.stop();
    drain();
    report("single track", meter);

    if (device.pumped) {
        EXPECT_EQ(meter.blocks.load(), std::uint64_t(2 * changes));
        // Each restart may skip the blocks played while recording was off; nothing else may.
        EXPECT_LE(recordingGaps, restarts) << "a recorded sample was lost or repeated";
    }
    EXPECT_EQ(ring.dropped(), 0u);
    EXPECT_EQ(meter.allocations.load(), 0u);

    // Each block is a run of one buffer from a start sample or from where the previous
    // block stopped, left equal to right, then silence.
    const std::uint64_t frames = std::min<std::uint64_t>(meter.frames.load(), meter.output.size() / 2);
    const std::uint64_t blocks = std::min<std::uint64_t>(meter.blocks.load(), meter.blockStarts.size());
    int previousId = -1, previousEnd = -1, faults = 0;
    for (std::uint64_t b = 0; b < blocks && faults < 3; ++b) {
        const std::uint64_t begin = meter.blockStarts[b];
        const std::uint64_t end = b + 1 < blocks ? meter.blockStarts[b + 1] : frames;
        if (end > frames)
            break;
        int id = -1, first = -1, at = -1;
        bool silenceStarted = false;
        for (std::uint64_t f = begin; f < end && faults < 3; ++f) {
            const float left = meter.output[2 * f], right = meter.output[2 * f + 1];
            int frameId, index;
            const bool ok = left == right && (left == 0.0f ? (silenceStarted = true) : !silenceStarted)
                            && (left == 0.0f || (decode(left, frameId, index) && (id < 0 || (frameId == id && index == at + 1))));
            if (!ok) {
                ++faults;
                ADD_FAILURE() << "block " << b << " frame " << f - begin << " holds " << left << "/" << right;
            } else if (left != 0.0f) {
                if (id < 0) {
                    id = frameId;
                    first = index;
                }
                at = index;
            }
        }
        if (id >= 0) {
            const bool continues = id == previousId && first == previousEnd + 1;
            const auto &known = starts[std::size_t(id)];
            const bool restarts = std::find(known.begin(), known.end(), first) != known.end();
            if (!continues && !restarts && faults < 3) {
                ++faults;
                ADD_FAILURE() << "block " << b << " starts buffer " << id << " at " << first;
            }
            // A full block leaves its successor to continue; an early end closes the run.
            const bool full = at - first + 1 == int(end - begin);
            previousId = full ? id : -1;
            previousEnd = at;
        } else {
            previousId = -1;
        }
    }
}

class EngineStress : public ::testing::TestWithParam<Pace>
{
};
} // namespace

TEST_P(EngineStress, MultiTrackMixesEveryPublishedListInOrder)
{
    mixStress(GetParam());
}

TEST_P(EngineStress, SingleTrackPlaysAndRecordsThroughEveryChange)
{
    singleTrackStress(GetParam());
}

INSTANTIATE_TEST_SUITE_P(EnginePumped, EngineStress, ::testing::Values(Pace{128, 44100, 4}));

namespace {
class EngineStressOnNullSink : public EngineStress
{
protected:
    ScopedEnv api{"ZENTRIQ_AUDIO_API", "pulse"};
};
} // namespace

TEST_P(EngineStressOnNullSink, MultiTrackMixesEveryPublishedListInOrder)
{
    mixStress(GetParam());
}

TEST_P(EngineStressOnNullSink, SingleTrackPlaysAndRecordsThroughEveryChange)
{
    singleTrackStress(GetParam());
}

// The null sink runs at 48 kHz. Starting to record reopens the stream, and a fresh duplex
// stream on PulseAudio takes about a second to flow, so the state toggles rarely here.
INSTANTIATE_TEST_SUITE_P(EngineNullSink, EngineStressOnNullSink, ::testing::Values(Pace{0, 48000, 5000}));
