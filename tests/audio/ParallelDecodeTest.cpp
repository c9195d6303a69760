// SPDX-License-Identifier: GPL-3.0-or-later
// Long FLAC, Ogg Vorbis and MP3 files decode to the same bits on several threads as on one,
// including damaged ones, where the range decode must give way to the single pass.
#include "AudioOracles.h"
#include "TestFiles.h"

#include "audio/AudioProcessor.h"
#include "audio/FlacDecoder.h"
#include "audio/Mp3Decoder.h"
#include "audio/OggVorbisDecoder.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

struct ThreadCase
{
    const char *name;
    const char *fileName;
    QStringList encode; // %W is the sox input, %O the file to decode
    int channels;
    bool damaged; // a stretch in the middle overwritten
};

void PrintTo(const ThreadCase &c, std::ostream *os)
{
    *os << c.name;
}

DecodedAudio decode(const QString &path, DecodeOptions options)
{
    if (path.endsWith(".flac"))
        return FlacDecoder::decodeFile(path, options);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (path.endsWith(".mp3"))
        return Mp3Decoder::decode(bytes, options);
    OggVorbisDecoder decoder;
    return decoder.open(bytes) ? decoder.decodeAll(options) : DecodedAudio{};
}

DecodedAudio decode(const QString &path, int threads)
{
    return decode(path, {.threads = threads});
}

// The summaries a waveform view builds of a clip itself: of each channel of one or two,
// else of the mono mix.
std::vector<PeakSummary> summariesBuiltAfterwards(const QList<float> &interleaved, const QList<float> &mono,
                                                  int channels)
{
    const std::span<const float> frames(interleaved.constData(), std::size_t(interleaved.size()));
    std::vector<PeakSummary> summaries(channels > 2 ? 1 : std::size_t(channels));
    std::vector<PeakSummary *> pointers;
    std::vector<SampleChannel> drawn;
    for (std::size_t c = 0; c < summaries.size(); ++c) {
        pointers.push_back(&summaries[c]);
        drawn.push_back(channels > 2 ? SampleChannel({mono.constData(), std::size_t(mono.size())})
                                     : SampleChannel(frames, c, std::size_t(channels)));
    }
    PeakSummary::updateChannels(pointers, drawn, 0, 1);
    return summaries;
}

class ThreadedDecodeTest : public ::testing::TestWithParam<ThreadCase>
{
};

TEST_P(ThreadedDecodeTest, SameBitsOnOneAndManyThreads)
{
    const ThreadCase &c = GetParam();
    TestFiles files;
    // Music-like, not periodic: noise through a sweep, so every range differs.
    ASSERT_TRUE(runOk("sox", {"-R", "-n", "-r", "44100", "-c", QString::number(c.channels), "-b", "24",
                              files.path("in.wav"), "synth", "20.3", "pinknoise", "synth", "20.3", "sine",
                              "amod", "2", "gain", "-6"}));
    QStringList encode = c.encode;
    encode.replaceInStrings("%W", files.path("in.wav")).replaceInStrings("%O", files.path(c.fileName));
    const QString program = encode.takeFirst();
    ASSERT_TRUE(runOk(program, encode));
    const QString path = files.path(c.fileName);
    if (c.damaged) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.seek(file.size() / 2));
        ASSERT_EQ(file.write(QByteArray(4000, '\x5a')), 4000);
    }

    const DecodedAudio single = decode(path, 1);
    ASSERT_GT(single.frames(), 44100 * 10);
    EXPECT_EQ(single.channels, c.channels);
    EXPECT_EQ(single.mono, c.channels == 1 ? QList<float>() : monoMix(single.interleaved, c.channels));
    for (int threads : {2, 3, 8}) {
        SCOPED_TRACE(threads);
        const DecodedAudio many = decode(path, threads);
        EXPECT_EQ(many.channels, single.channels);
        EXPECT_EQ(many.sampleRate, single.sampleRate);
        ASSERT_EQ(many.interleaved.size(), single.interleaved.size());
        EXPECT_TRUE(many.interleaved == single.interleaved);
        EXPECT_TRUE(many.mono == single.mono);
    }
    // Summarising while decoding changes no sample, and gives what a view would build.
    const std::vector<PeakSummary> expected = summariesBuiltAfterwards(single.interleaved, single.mono, c.channels);
    for (int threads : {1, 3}) {
        SCOPED_TRACE(testing::Message() << "summarised on " << threads << " threads");
        const DecodedAudio summarised = decode(path, {.threads = threads, .summarise = true});
        EXPECT_TRUE(summarised.interleaved == single.interleaved);
        EXPECT_TRUE(summarised.mono == single.mono);
        EXPECT_TRUE(summarised.summaries == expected);
    }
    EXPECT_TRUE(single.summaries.empty());
}

// WAV loads summarise in the same pass when asked, whatever the layout and length, and
// leave the summaries empty otherwise.
TEST(SummarisedWavLoad, GivesWhatAViewWouldBuild)
{
    struct Row
    {
        const char *name;
        QStringList soxFormat;
        const char *seconds;
    };
    const Row rows[] = {
        {"mono 16-bit", {"-c", "1", "-b", "16"}, "30.001"},
        {"stereo 24-bit", {"-c", "2", "-b", "24"}, "30.0007"},
        {"four channels of float", {"-c", "4", "-e", "floating-point", "-b", "32"}, "3.3"},
        {"stereo shorter than a block", {"-c", "2", "-b", "16"}, "0.0005"},
    };
    TestFiles files;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = files.path("in.wav");
        ASSERT_TRUE(runOk("sox", QStringList{"-R", "-n", "-r", "44100"} + row.soxFormat
                                     + QStringList{path, "synth", row.seconds, "pinknoise", "gain", "-3"}));
        AudioProcessor plain;
        ASSERT_TRUE(plain.loadAudioFile(path));
        EXPECT_TRUE(plain.peakSummaries.empty());
        AudioProcessor summarising;
        summarising.summariseWhileLoading = true;
        ASSERT_TRUE(summarising.loadAudioFile(path));
        EXPECT_TRUE(summarising.samples == plain.samples);
        EXPECT_TRUE(summarising.stereoSamples == plain.stereoSamples);
        const bool stereo = !plain.stereoSamples.isEmpty();
        EXPECT_TRUE(summarising.peakSummaries
                    == summariesBuiltAfterwards(stereo ? plain.stereoSamples : plain.samples, plain.samples,
                                                stereo ? 2 : 1));
    }
}

INSTANTIATE_TEST_SUITE_P(
    LongFiles, ThreadedDecodeTest,
    ::testing::Values(
        ThreadCase{"FlacStereo", "a.flac", {"flac", "-s", "-f", "-b", "4096", "-o", "%O", "%W"}, 2, false},
        ThreadCase{"FlacSixChannelsOddBlocks", "a.flac",
                   {"flac", "-s", "-f", "--channel-map=none", "-b", "1000", "-o", "%O", "%W"}, 6, false},
        ThreadCase{"FlacDamaged", "a.flac", {"flac", "-s", "-f", "-o", "%O", "%W"}, 2, true},
        ThreadCase{"OggStereo", "a.ogg", {"sox", "%W", "%O"}, 2, false},
        ThreadCase{"OggMono", "a.ogg", {"sox", "%W", "%O"}, 1, false},
        ThreadCase{"OggSixChannels", "a.ogg", {"sox", "%W", "%O"}, 6, false},
        ThreadCase{"OggDamaged", "a.ogg", {"sox", "%W", "%O"}, 2, true},
        ThreadCase{"Mp3Stereo", "a.mp3", {"lame", "--silent", "-b", "192", "%W", "%O"}, 2, false},
        // Small frames: the bit reservoir reaches back over many of them.
        ThreadCase{"Mp3LowRate", "a.mp3", {"lame", "--silent", "-b", "32", "--resample", "44.1", "%W", "%O"}, 2, false},
        ThreadCase{"Mp3Variable", "a.mp3", {"lame", "--silent", "-V", "9", "--resample", "44.1", "%W", "%O"}, 2, false},
        // Half-rate frames, which take the single pass.
        ThreadCase{"Mp3HalfRate", "a.mp3", {"lame", "--silent", "-b", "32", "--resample", "22.05", "%W", "%O"}, 2, false},
        ThreadCase{"Mp3Mono", "a.mp3", {"lame", "--silent", "-m", "m", "-b", "64", "%W", "%O"}, 1, false},
        ThreadCase{"Mp3Damaged", "a.mp3", {"lame", "--silent", "-b", "128", "%W", "%O"}, 2, true},
        // Five seconds of mono, then the stereo file, held to mono: the same samples on any threads.
        ThreadCase{"Mp3MonoThenStereo", "a.mp3",
                   {"sh", "-c", "sox %W -c 1 %O.mono.wav trim 0 5 && lame --silent -t -b 128 %O.mono.wav %O.mono.mp3"
                                " && lame --silent -t -b 128 %W %O.stereo.mp3 && cat %O.mono.mp3 %O.stereo.mp3 > %O"},
                   1, false}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
