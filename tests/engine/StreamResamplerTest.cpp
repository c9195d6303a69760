// SPDX-License-Identifier: GPL-3.0-or-later
// Stream sample-rate conversion against sox's rate effect, fed in uneven blocks the way a
// capture pushes them and pulled in uneven blocks the way a playback asks for them, and the
// mixing engine on a device of another rate, which must play what sox makes of its mix.
#include "AllocationCounter.h"
#include "OracleTool.h"
#include "PumpedAudioBackend.h"
#include "Requirement.h"

#include "engine/MultiTrackAudioEngine.h"
#include "engine/StreamResampler.h"

#include <QList>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <span>
#include <vector>

namespace {

constexpr int kBlock = 512;

// Interleaved tones well inside the pass band of every rate below, each channel its own,
// faded in over 20 ms: a step at the start would ring differently through any two filters.
std::vector<float> tones(int rate, int channels, int frames)
{
    std::vector<float> samples(std::size_t(frames * channels));
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        const double fade = t < 0.02 ? 0.5 - 0.5 * std::cos(std::numbers::pi * t / 0.02) : 1.0;
        for (int c = 0; c < channels; ++c)
            samples[std::size_t(i * channels + c)] =
                float(fade * (0.4 * std::sin(2.0 * std::numbers::pi * (440.0 + 300.0 * c) * t)
                              + 0.3 * std::sin(2.0 * std::numbers::pi * 2500.0 * t + c)
                              + 0.2 * std::sin(2.0 * std::numbers::pi * (6000.0 - 700.0 * c) * t)));
    }
    return samples;
}

// Over the first `count` values, which both must hold.
double maxDifference(const std::vector<float> &ours, const std::vector<float> &theirs, std::size_t count)
{
    EXPECT_GE(ours.size(), count);
    EXPECT_GE(theirs.size(), count);
    double worst = 0.0;
    for (std::size_t i = 0; i < std::min({count, ours.size(), theirs.size()}); ++i)
        worst = std::max(worst, double(std::fabs(ours[i] - theirs[i])));
    return worst;
}

std::vector<float> soxRate(const std::vector<float> &input, int from, int to, int channels)
{
    const QString rawFloat = QStringLiteral("-e floating-point -b 32 -c %1").arg(channels);
    const QStringList arguments = QStringList{"-D", "-t", "raw", "-r", QString::number(from)}
                                  + rawFloat.split(' ') + QStringList{"-", "-t", "raw"} + rawFloat.split(' ')
                                  + QStringList{"-", "rate", "-v", QString::number(to)};
    const ToolResult sox = runTool("sox", arguments,
                                   QByteArray(reinterpret_cast<const char *>(input.data()),
                                              qsizetype(input.size() * sizeof(float))));
    EXPECT_TRUE(sox.ok()) << sox.standardError.constData();
    std::vector<float> output(std::size_t(sox.standardOutput.size()) / sizeof(float));
    std::memcpy(output.data(), sox.standardOutput.constData(), output.size() * sizeof(float));
    return output;
}

// Uneven block sizes, none larger than kBlock.
int blockSize(int k)
{
    static constexpr int sizes[] = {kBlock, 1, 37, 500, 3, kBlock, 128, 0, 441};
    return sizes[k % std::size(sizes)];
}

// Pushes the input in uneven blocks and keeps every frame that comes out.
std::vector<float> convertPushed(StreamResampler &resampler, const std::vector<float> &input, int channels)
{
    std::vector<float> output, block(std::size_t(resampler.maxOutputFrames(kBlock) * channels));
    const int frames = int(input.size()) / channels;
    for (int done = 0, k = 0; done < frames; ++k) {
        const int count = std::min(blockSize(k), frames - done);
        const int made = resampler.process(input.data() + done * channels, count, block.data(),
                                           resampler.maxOutputFrames(kBlock));
        output.insert(output.end(), block.begin(), block.begin() + made * channels);
        done += count;
    }
    return output;
}

// Asks for uneven output blocks, giving exactly the input each one needs, as a playback does;
// each must come out whole, without a heap allocation.
std::vector<float> convertPulled(StreamResampler &resampler, const std::vector<float> &input, int channels,
                                 int outputFrames)
{
    std::vector<float> output(std::size_t(outputFrames * channels));
    const int inputFrames = int(input.size()) / channels;
    int used = 0;
    for (int made = 0, k = 0; made < outputFrames; ++k) {
        const int wanted = std::min(blockSize(k + 3), outputFrames - made);
        int got = 0;
        {
            AllocationCounter::Scope counting;
            const std::uint64_t before = AllocationCounter::count();
            while (got < wanted) {
                const int needed = std::min(resampler.inputNeeded(wanted - got), kBlock);
                if (used + needed > inputFrames)
                    return output;
                got += resampler.process(input.data() + used * channels, needed,
                                         output.data() + (made + got) * channels, wanted - got);
                used += needed;
            }
            EXPECT_EQ(AllocationCounter::count(), before) << "allocated while converting";
        }
        EXPECT_EQ(got, wanted);
        made += got;
    }
    return output;
}

TEST(StreamResampler, AgreesWithSoxPushedOrPulledInUnevenBlocks)
{
    ZENTRIQ_REQUIRE(toolAvailable("sox"), "sox is not installed");
    const struct
    {
        int from;
        int to;
        int channels;
        bool pulled;
    } cases[] = {
        {44100, 48000, 2, true},   // a timeline at 44.1 kHz played on a 48 kHz device
        {48000, 44100, 1, false},  // a 48 kHz input recorded onto a 44.1 kHz timeline
        {22050, 48000, 2, true},
        {48000, 22050, 1, false},
        {96000, 44100, 1, false},
        {44100, 96000, 2, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " Hz to " << c.to << " Hz, " << c.channels << " channel(s), "
                                        << (c.pulled ? "pulled" : "pushed"));
        const std::vector<float> input = tones(c.from, c.channels, c.from);
        const std::vector<float> theirs = soxRate(input, c.from, c.to, c.channels);
        StreamResampler resampler;
        resampler.reset(c.from, c.to, c.channels, kBlock);
        const std::vector<float> ours = c.pulled ? convertPulled(resampler, input, c.channels, c.to - kBlock)
                                                 : convertPushed(resampler, input, c.channels);
        // Near the end sox's longer filter reads the silence after the input, which a stream
        // never gets.
        EXPECT_LT(maxDifference(ours, theirs, std::size_t((c.to - kBlock) * c.channels)), 1e-4);
    }
}

TEST(StreamResampler, TheMixOfATimelineAtAnotherRateIsConvertedForTheDevice)
{
    ZENTRIQ_REQUIRE(toolAvailable("sox"), "sox is not installed");
    constexpr int timelineRate = 44100;
    constexpr int deviceRate = 48000;
    // Tones from 0.1 s on, panned, so both channels and the silence before them count.
    const std::vector<float> tone = tones(timelineRate, 1, timelineRate / 2);
    MultiTrackAudioEngine::TrackSlot slot;
    slot.samples = tone.data();
    slot.sampleCount = int(tone.size());
    slot.startTime = 0.1;
    slot.volume = 1.0f;
    slot.pan = 0.3f;
    QList<float> mix;
    MultiTrackAudioEngine().renderOffline({slot}, timelineRate / 2, timelineRate, mix);
    const std::vector<float> theirs = soxRate(std::vector<float>(mix.begin(), mix.end()), timelineRate, deviceRate, 2);

    // A device that keeps to its block, and one that asks for more than it promised.
    for (const unsigned int blockFrames : {512u, 1500u}) {
        SCOPED_TRACE(testing::Message() << blockFrames << "-frame blocks");
        PumpedDeviceSetup setup;
        setup.deviceRate = deviceRate;
        auto owned = std::make_unique<PumpedAudioBackend>(setup);
        PumpedAudioBackend *device = owned.get();
        MultiTrackAudioEngine engine(std::move(owned));
        engine.initialize(timelineRate, 512);
        engine.setTracks({slot});
        ASSERT_TRUE(engine.startPlayback(0.0));
        EXPECT_EQ(device->openedRate, unsigned(deviceRate));
        EXPECT_EQ(engine.outputClock().rate(), deviceRate);

        const int blocks = deviceRate * 4 / 10 / int(blockFrames);
        std::vector<float> ours(std::size_t(blocks) * blockFrames * 2);
        std::vector<float> noInput(blockFrames);
        for (int k = 0; k < blocks; ++k) {
            AllocationCounter::Scope counting;
            const std::uint64_t before = AllocationCounter::count();
            ASSERT_TRUE(device->pumpInto(std::span(ours).subspan(std::size_t(k) * blockFrames * 2, blockFrames * 2),
                                         noInput));
            EXPECT_EQ(AllocationCounter::count(), before) << "allocated in block " << k;
        }
        engine.stopPlayback();
        EXPECT_LT(maxDifference(ours, theirs, ours.size()), 1e-4);
    }
}

} // namespace
