// SPDX-License-Identifier: GPL-3.0-or-later
// Both engines on real streams of the test PulseAudio server: what plays on the null
// sink is recorded back from its monitor. Also the real device layer without a server.
#include "engine/AudioEngine.h"
#include "engine/MultiTrackAudioEngine.h"
#include "engine/platform/AudioBackend.h"

#include "Requirement.h"
#include "ScopedEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {
using namespace std::chrono_literals;
constexpr int rate = 48000;

// Power of one frequency (Goertzel), normalised by the signal's length: (A/2)^2 for a sine of amplitude A.
double tonePower(const float *x, std::size_t count, double frequency)
{
    const double coeff = 2.0 * std::cos(2.0 * std::numbers::pi * frequency / rate);
    double s1 = 0, s2 = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double s0 = x[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return (s1 * s1 + s2 * s2 - coeff * s1 * s2) / (double(count) * double(count));
}

std::vector<float> sine(double frequency, double amplitude, double seconds)
{
    std::vector<float> x(std::size_t(seconds * rate));
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = float(amplitude * std::sin(2.0 * std::numbers::pi * frequency * double(i) / rate));
    return x;
}

// Records the default input (the sink's monitor) into a buffer sized up front, so the
// stream thread never allocates.
class MonitorRecorder
{
public:
    explicit MonitorRecorder(double seconds)
        : samples(std::size_t(seconds * rate))
    {
        engine.initialize(rate, 512);
        engine.setRecordCallback([this](const float *input, int frames) {
            std::size_t at = filled.load();
            const std::size_t n = std::min(samples.size() - at, std::size_t(frames));
            std::copy(input, input + n, samples.begin() + std::ptrdiff_t(at));
            filled.store(at + n);
        });
    }
    ~MonitorRecorder()
    {
        engine.stopRecording();
        engine.shutdown();
    }
    bool start() { return engine.startRecording(); }
    // Strongest power of `frequency` over any one-second window recorded so far.
    double strongest(double frequency) const
    {
        double best = 0;
        const std::size_t n = filled.load();
        for (std::size_t at = 0; at + rate <= n; at += rate / 4)
            best = std::max(best, tonePower(samples.data() + at, rate, frequency));
        return best;
    }
    std::size_t recorded() const { return filled.load(); }
    std::vector<float> taken() const
    {
        return {samples.begin(), samples.begin() + std::ptrdiff_t(filled.load())};
    }

private:
    AudioEngine engine;
    std::vector<float> samples;
    std::atomic<std::size_t> filled{0};
};

// Frames at which a click of `threshold` or more starts.
std::vector<std::int64_t> clickOnsets(const std::vector<float> &x, float threshold)
{
    std::vector<std::int64_t> onsets;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (std::fabs(x[i]) >= threshold) {
            onsets.push_back(std::int64_t(i));
            i += rate / 10;
        }
    }
    return onsets;
}

class EngineLoopback : public ::testing::Test
{
protected:
    ScopedEnv api{"ZENTRIQ_AUDIO_API", "pulse"};
};
} // namespace

TEST_F(EngineLoopback, SingleTrackToneIsHeardOnTheMonitor)
{
    MonitorRecorder recorder(8.0);
    ASSERT_TRUE(recorder.start());

    const std::vector<float> tone = sine(1000.0, 0.8, 2.0);
    AudioEngine player;
    player.initialize(rate, 512);
    ASSERT_TRUE(player.startPlayback(tone.data(), int(tone.size()), rate, 0));
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (player.isPlaying() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(player.isPlaying()) << "playback must end by itself at the end of the buffer";
    EXPECT_EQ(player.position(), int(tone.size()));
    // Let the sink's latency drain into the recording.
    std::this_thread::sleep_for(700ms);
    player.shutdown();

    // Played at 0.8 to both channels: the monitor (left) holds the tone at 0.8, (0.4)^2.
    EXPECT_GT(recorder.strongest(1000.0), 0.16 * 0.5);
    EXPECT_LT(recorder.strongest(1370.0), 0.16 * 0.01);
}

TEST_F(EngineLoopback, MultiTrackStreamStartsPausesRestartsAndStops)
{
    MonitorRecorder recorder(7.0);
    ASSERT_TRUE(recorder.start());

    const std::vector<float> tone = sine(700.0, 0.9, 6.0);
    MultiTrackAudioEngine engine;
    engine.initialize(rate, 512);
    MultiTrackAudioEngine::TrackSlot slot;
    slot.samples = tone.data();
    slot.sampleCount = int(tone.size());
    slot.volume = 1.0f;
    engine.setTracks({slot});

    ASSERT_TRUE(engine.startPlayback(0.0));
    EXPECT_TRUE(engine.isPlaying());
    std::this_thread::sleep_for(400ms);
    const double played = engine.getPlaybackPosition();
    EXPECT_GT(played, 0.0);

    engine.pausePlayback();
    EXPECT_FALSE(engine.isPlaying());
    const double paused = engine.getPlaybackPosition();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(engine.getPlaybackPosition(), paused);

    // Long enough that a whole second of tone reaches the monitor past the server's latency.
    ASSERT_TRUE(engine.startPlayback(3.0));
    EXPECT_TRUE(engine.isPlaying());
    std::this_thread::sleep_for(2500ms);
    EXPECT_GT(engine.getPlaybackPosition(), 3.0);

    engine.stopPlayback();
    EXPECT_FALSE(engine.isPlaying());
    EXPECT_EQ(engine.getPlaybackPosition(), 0.0);

    // Slot at pan 0 and volume 1: 0.707 x 0.9 on each channel.
    const double amplitude = 0.707 * 0.9;
    EXPECT_GT(recorder.strongest(700.0), amplitude * amplitude / 4 * 0.5);
}

TEST_F(EngineLoopback, AnOutputThatMissesItsDeadlineKeepsItsTime)
{
    // Clicks every quarter second; the stream thread stalls once, for longer than the queue
    // at the server lasts. What should have played meanwhile is lost, but every click after
    // it must still fall on the quarter-second grid of the clicks before.
    constexpr std::int64_t clickEvery = rate / 4;
    constexpr std::int64_t stallAt = rate;
    struct Player
    {
        std::int64_t frame = 0;
    } player;
    const AudioBackend::Callback clicks = [](void *output, void *, unsigned int frames, double, unsigned int,
                                             void *data) -> int {
        auto *state = static_cast<Player *>(data);
        if (state->frame <= stallAt && state->frame + frames > stallAt)
            std::this_thread::sleep_for(300ms);
        auto *out = static_cast<float *>(output);
        for (unsigned int k = 0; k < frames; ++k, ++state->frame)
            out[2 * k] = out[2 * k + 1] = state->frame % clickEvery < 48 ? 0.8f : 0.0f;
        return 0;
    };
    MonitorRecorder recorder(30.0);
    ASSERT_TRUE(recorder.start());
    std::string error;
    const std::unique_ptr<AudioBackend> backend = AudioBackend::create(error);
    ASSERT_TRUE(backend) << error;
    const AudioBackend::StreamParameters output{backend->defaultOutputDevice(), 2, 0};
    unsigned int frames = 512;
    ASSERT_TRUE(backend->openStream(&output, nullptr, rate, frames, clicks, &player)) << backend->errorText();
    ASSERT_TRUE(backend->startStream()) << backend->errorText();
    // Until four clicks from well after the stall are back, however slow the build.
    std::vector<std::int64_t> onsets;
    const auto clicksAfterStall = [&] {
        onsets = clickOnsets(recorder.taken(), 0.2f);
        return std::count_if(onsets.begin(), onsets.end(), [&](std::int64_t at) { return at - onsets.front() > 2 * rate; });
    };
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (clicksAfterStall() < 4 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100ms);
    backend->closeStream();
    ASSERT_GE(clicksAfterStall(), 4) << "too few clicks heard after the stall";

    // Where each click lies off the grid of the first. A click whose start an underrun cut
    // off begins late, never early, so the earliest lies on the true grid.
    std::vector<std::int64_t> offGrid;
    for (const std::int64_t onset : onsets) {
        const std::int64_t apart = onset - onsets.front();
        offGrid.push_back(apart - (apart + clickEvery / 2) / clickEvery * clickEvery);
    }
    const auto [earliest, latest] = std::minmax_element(offGrid.begin(), offGrid.end());
    EXPECT_LE(*latest - *earliest, 48) << "clicks between " << *earliest << " and " << *latest
                                       << " frames off the grid";
}

TEST(EngineWithoutServer, EveryStartFailsWithAText)
{
    struct Row
    {
        const char *api;
        const char *variable;
        const char *value;
    };
    const Row rows[] = {
        {"pulse", "PULSE_SERVER", "unix:/nonexistent/zentriq-no-server"},
        {"jack", "JACK_DEFAULT_SERVER", "zentriq-no-such-server"},
        {"alsa", "ALSA_CONFIG_PATH", "/nonexistent/alsa.conf"},
        {"no-such-api", "ZENTRIQ_UNUSED", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.api);
        ScopedEnv api("ZENTRIQ_AUDIO_API", row.api);
        ScopedEnv server(row.variable, row.value);
        ScopedEnv noJackStart("JACK_NO_START_SERVER", "1");

        std::string error;
        const auto backend = AudioBackend::create(error);
        if (!backend) {
            EXPECT_FALSE(error.empty());
        } else {
            const AudioBackend::StreamParameters output{backend->defaultOutputDevice(), 2, 0};
            unsigned int frames = 512;
            if (backend->deviceCount() > 0 && output.deviceId != 0) {
                const auto silent = [](void *, void *, unsigned int, double, unsigned int, void *) { return 0; };
                EXPECT_FALSE(backend->openStream(&output, nullptr, rate, frames, silent, nullptr));
                EXPECT_FALSE(backend->errorText().empty());
                EXPECT_FALSE(backend->isStreamOpen());
                // Without a server the device's own rate is unknown, and asking does not hang.
                EXPECT_EQ(backend->deviceSampleRate(output.deviceId, false), 0u);
            }
        }

        MultiTrackAudioEngine multiTrack;
        EXPECT_FALSE(multiTrack.startPlayback(0.0));
        EXPECT_FALSE(multiTrack.isPlaying());

        const float samples[64] = {};
        AudioEngine single;
        EXPECT_FALSE(single.startPlayback(samples, 64, rate, 0));
        EXPECT_FALSE(single.isPlaying());
        EXPECT_FALSE(single.startRecording());
    }
}

TEST(EngineOnJack, DeviceErrorsCarryTheirTextAndEveryTimelineRatePlays)
{
    // The test JACK server runs its dummy driver at 48 kHz and refuses any other rate; the
    // mixing engine opens it at that rate and converts a timeline of another.
    ScopedEnv api("ZENTRIQ_AUDIO_API", "jack");
    ScopedEnv noJackStart("JACK_NO_START_SERVER", "1");
    std::string error;
    const auto backend = AudioBackend::create(error);
    ASSERT_NE(backend, nullptr) << error;
    ZENTRIQ_REQUIRE(backend->deviceCount() > 0, "no JACK server running");

    const AudioBackend::StreamParameters output{backend->defaultOutputDevice(), 2, 0};
    ASSERT_NE(output.deviceId, 0u);
    EXPECT_GE(backend->deviceInfo(output.deviceId).outputChannels, 2u);
    unsigned int frames = 512;
    const auto silent = [](void *, void *, unsigned int, double, unsigned int, void *) { return 0; };
    EXPECT_FALSE(backend->openStream(&output, nullptr, 44100, frames, silent, nullptr));
    EXPECT_NE(backend->errorText().find("44100"), std::string::npos) << backend->errorText();
    EXPECT_FALSE(backend->isStreamOpen());

    const std::vector<float> tone = sine(440.0, 0.5, 2.0);
    MultiTrackAudioEngine::TrackSlot slot;
    slot.samples = tone.data();
    slot.sampleCount = int(tone.size());
    for (const int timelineRate : {44100, 48000}) {
        SCOPED_TRACE(timelineRate);
        MultiTrackAudioEngine engine;
        engine.initialize(timelineRate, 512);
        engine.setTracks({slot});
        EXPECT_TRUE(engine.startPlayback(0.0));
        EXPECT_TRUE(engine.isPlaying());
        EXPECT_EQ(engine.outputClock().rate(), 48000);
        std::this_thread::sleep_for(300ms);
        EXPECT_GT(engine.getPlaybackPosition(), 0.0);
        EXPECT_TRUE(engine.waitForSlotAdoption(2000));
        engine.stopPlayback();
    }
}
