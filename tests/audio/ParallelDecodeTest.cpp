// SPDX-License-Identifier: GPL-3.0-or-later
// Long FLAC, Ogg Vorbis and MP3 files decode to the same bits on several threads as on one,
// including damaged ones, where the range decode must give way to the single pass.
#include "AudioOracles.h"
#include "TestFiles.h"

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

DecodedAudio decode(const QString &path, int threads)
{
    if (path.endsWith(".flac"))
        return FlacDecoder::decodeFile(path, nullptr, threads);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (path.endsWith(".mp3"))
        return Mp3Decoder::decode(bytes, threads);
    OggVorbisDecoder decoder;
    return decoder.open(bytes) ? decoder.decodeAll(threads) : DecodedAudio{};
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
        ThreadCase{"Mp3Damaged", "a.mp3", {"lame", "--silent", "-b", "128", "%W", "%O"}, 2, true}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
