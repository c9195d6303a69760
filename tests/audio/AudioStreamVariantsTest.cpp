// SPDX-License-Identifier: GPL-3.0-or-later
// Streams that real files hold and a straight reader gets wrong: MP3 streams that change their
// channel count or hold a damaged frame, Ogg files with a second stream interleaved or junk
// between pages. Each loads whole, as the peer player or decoder gives it.
#include "AudioFixtures.h"
#include "AudioOracles.h"
#include "MpegFrames.h"
#include "TestFiles.h"

#include "audio/AudioProcessor.h"

#include <QRegularExpression>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Two Vorbis streams, stereo and mono, as ffmpeg muxes them: their pages alternate. Half a
// second of sweeps puts each stream's audio in one page, which libvorbisfile's seekable open
// lost its way over.
QByteArray interleavedOgg(TestFiles &files)
{
    const QByteArray ogg = made(files, "two.ogg",
                                {{"sox", "-R", "-n", "-r", "44100", "-c", "2", "%D/a.wav", "synth", "0.5", "sine", "300-3000", "sine", "500-4000"},
                                 {"sox", "-R", "-n", "-r", "44100", "-c", "1", "%D/b.wav", "synth", "0.5", "sine", "660"},
                                 {"ffmpeg", "-v", "error", "-y", "-i", "%D/a.wav", "-i", "%D/b.wav", "-map", "0", "-map", "1",
                                  "-c:a", "libvorbis", "%D/two.ogg"}});
    // Only worth having if the streams' pages alternate.
    QList<quint32> serials;
    for (qsizetype page = 0; page + 27 <= ogg.size(); page += oggPageSize(ogg, page))
        serials.append(qFromLittleEndian<quint32>(ogg.constData() + page + 14));
    int switches = 0;
    for (qsizetype i = 1; i < serials.size(); ++i)
        switches += serials[i] != serials[i - 1];
    return switches >= 4 ? ogg : QByteArray();
}

// Half a second of sweeps from sox (its audio in one page) with a few bytes of junk before that page.
QByteArray oggWithJunkBeforeTheAudio(TestFiles &files)
{
    const QByteArray ogg = made(files, "clean.ogg", {{"sox", "-R", "-n", "-r", "44100", "-c", "2", "%D/clean.ogg", "synth", "0.5",
                                                      "sine", "300-3000", "sine", "500-4000", "gain", "-6"}});
    QList<qsizetype> pages;
    for (qsizetype page = 0; page + 27 <= ogg.size(); page += oggPageSize(ogg, page))
        pages.append(page);
    if (pages.size() != 3) // the identification header, the other two headers, the audio
        return {};
    return ogg.left(pages[2]) + QByteArray("\0junk\xff\xfe", 7) + ogg.mid(pages[2]);
}

struct PeerCase
{
    const char *name;
    const char *fileName;
    QByteArray (*make)(TestFiles &);
    OracleAudio (*oracle)(const QString &path);
    bool sameDecoder; // the oracle is the library we decode with: the very same samples
};

void PrintTo(const PeerCase &c, std::ostream *os)
{
    *os << c.name;
}

class PeerDecodedStreamTest : public ::testing::TestWithParam<PeerCase>
{
};

TEST_P(PeerDecodedStreamTest, LoadsWholeAsThePeerDecodesIt)
{
    const PeerCase &c = GetParam();
    TestFiles files;
    const QByteArray bytes = c.make(files);
    ASSERT_FALSE(bytes.isEmpty());
    const QString path = files.write(c.fileName, bytes);
    const OracleAudio oracle = c.oracle(path);
    ASSERT_TRUE(oracle.ok);

    AudioProcessor processor;
    SignalLog log(processor);
    ASSERT_TRUE(processor.loadAudioFile(path)) << log.errors.join("\n").toStdString();
    EXPECT_TRUE(processor.loadWarning.isEmpty()) << processor.loadWarning.toStdString();
    EXPECT_EQ(processor.channels, oracle.channels);
    EXPECT_EQ(processor.sampleRate, oracle.sampleRate);
    const QList<float> &interleaved = processor.channels == 2 ? processor.stereoSamples : processor.samples;
    EXPECT_EQ(processor.samples, monoMix(interleaved, processor.channels));
    if (c.sameDecoder) {
        EXPECT_TRUE(interleaved == oracle.interleaved);
        return;
    }
    // ffmpeg guesses where a stream whose audio fits one page starts and ends; the signal
    // is the same.
    const QList<float> expectedMono = monoMix(oracle.interleaved, oracle.channels);
    EXPECT_NEAR(double(processor.samples.size()), double(expectedMono.size()), 2048.0);
    const int offset = bestAlignment(expectedMono, processor.samples, 2048);
    EXPECT_LT(rmsDifference(expectedMono, processor.samples, offset), 1e-4) << "offset " << offset;
}

OracleAudio mpg123Mono(const QString &path)
{
    return decodeWithMpg123(path, 1);
}

OracleAudio mpg123Stereo(const QString &path)
{
    return decodeWithMpg123(path, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, PeerDecodedStreamTest,
    ::testing::Values(
        // mpg123 held to the first section's channel count is the same library's own conversion.
        PeerCase{"Mp3MonoThenStereo", "a.mp3",
                 [](TestFiles &f) { return joinedMp3(f, {"-r", "44100", "-c", "1"}, {"-r", "44100", "-c", "2"}); },
                 mpg123Mono, true},
        PeerCase{"Mp3StereoThenMono", "a.mp3",
                 [](TestFiles &f) { return joinedMp3(f, {"-r", "44100", "-c", "2"}, {"-r", "44100", "-c", "1"}); },
                 mpg123Stereo, true},
        PeerCase{"OggFirstOfTwoInterleavedStreams", "two.ogg", interleavedOgg, decodeWithFfmpeg, false},
        PeerCase{"OggJunkBeforeTheAudioPage", "a.ogg", oggWithJunkBeforeTheAudio, decodeWithFfmpeg, false}),
    [](const auto &info) { return std::string(info.param.name); });

// A frame damaged in its header and side information: mpg123 finds frames at other rates in
// its bytes before it is back in step, or skips them. Either way the damage is counted; all
// before it is the undamaged file's, and all a few frames after it too, only earlier.
TEST(Mp3DamagedFrame, IsLeftOutAndTheRestLoads)
{
    struct Row
    {
        const char *name;
        QStringList lame;
        int channels;
    };
    const Row rows[] = {
        {"stereo at a constant bit rate", {"-b", "128"}, 2},
        {"mono at a variable bit rate", {"-m", "m", "-V", "4"}, 1},
    };
    constexpr qsizetype frameLength = 1152;
    const QRegularExpression warning("^MP3文件中有([0-9]+)个损坏的帧，已跳过$");
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        TestFiles files;
        const QByteArray clean = made(files, "clean.mp3",
                                      {{"sox", "-R", "-n", "-r", "44100", "-c", QString::number(row.channels), "-b", "16",
                                        "%D/in.wav", "synth", "3", "pinknoise", "sine", "440", "gain", "-9"},
                                       QStringList{"lame", "--silent"} + row.lame + QStringList{"%D/in.wav", "%D/clean.mp3"}});
        const qsizetype frameCount = mpegFrameOffsets(clean).size();
        ASSERT_GT(frameCount, 100);
        const int damaged = int(frameCount / 8);
        const QString path = files.write("damaged.mp3", withDamagedMpegFrame(clean, damaged));
        const OracleAudio undamaged = decodeWithMpg123(files.path("clean.mp3"), row.channels);
        ASSERT_TRUE(undamaged.ok);

        AudioProcessor processor;
        SignalLog log(processor);
        ASSERT_TRUE(processor.loadAudioFile(path)) << log.errors.join("\n").toStdString();
        const QRegularExpressionMatch said = warning.match(processor.loadWarning);
        ASSERT_TRUE(said.hasMatch()) << processor.loadWarning.toStdString();
        EXPECT_GE(said.captured(1).toInt(), 1);
        const QList<float> &loaded = row.channels == 2 ? processor.stereoSamples : processor.samples;
        const qsizetype frames = loaded.size() / row.channels;
        EXPECT_LT(frames, undamaged.frames());
        EXPECT_GT(frames, undamaged.frames() - 16 * frameLength);

        // Up to the frame before the damaged one (the first frame is lame's tag).
        const qsizetype intact = (damaged - 2) * frameLength * row.channels;
        EXPECT_EQ(loaded.mid(0, intact), undamaged.interleaved.mid(0, intact));
        // From a few frames past the damage, when the bit reservoir is whole again: the
        // undamaged file's samples a little later in it, up to the synthesis filter's rounding.
        const qsizetype resumed = (damaged + 4) * frameLength;
        const QList<float> after = monoMix(loaded, row.channels).mid(resumed, 4096);
        const QList<float> original = monoMix(undamaged.interleaved, row.channels).mid(resumed, 4096 + 16 * frameLength);
        const int offset = bestAlignment(after, original, 16 * frameLength);
        EXPECT_GE(offset, 0);
        EXPECT_LT(rmsDifference(after, original, offset), 1e-6) << "offset " << offset;
    }
}

} // namespace
