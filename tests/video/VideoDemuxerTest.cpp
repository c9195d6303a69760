// SPDX-License-Identifier: GPL-3.0-or-later
// The demuxer against the ffmpeg command line: the extracted sound sample for sample, the
// pictures by colour, every picture up to the end, and files that are empty, random,
// truncated, corrupted or change their format mid-stream.
#include "VideoFixtures.h"
#include "OracleTool.h"
#include "Requirement.h"
#include "video/VideoDemuxer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <random>

namespace {

#define REQUIRE_FIXTURE(path, name)                                                                                   \
    const QString path = videoFixture(name);                                                                         \
    ZENTRIQ_REQUIRE(!path.isEmpty(), "ffmpeg could not make " name)

struct Sound
{
    bool ok = false;
    QList<float> mono;
    QList<float> interleaved;
    int rate = 0;
};

struct Opened
{
    VideoDemuxer demuxer;
    QStringList errors;
    Opened() { QObject::connect(&demuxer, &VideoDemuxer::errorOccurred, [this](const QString &m) { errors << m; }); }
    Sound extract()
    {
        Sound sound;
        sound.ok = demuxer.extractAudio(sound.mono, sound.interleaved, sound.rate);
        return sound;
    }
};

double maxDifference(const QList<float> &a, const QList<float> &b)
{
    double worst = 0.0;
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i)
        worst = std::max(worst, double(std::abs(a[i] - b[i])));
    return worst;
}

struct AudioCase
{
    const char *file;
    QStringList oracleArguments;  // what makes ffmpeg give the two-channel mix we give
    int sourceChannels;
    double tolerance;
};

class ExtractedSound : public testing::TestWithParam<AudioCase>
{};

TEST_P(ExtractedSound, EqualsTheCommandLineDecode)
{
    const AudioCase &c = GetParam();
    const QString path = videoFixture(c.file);
    ZENTRIQ_REQUIRE(!path.isEmpty(), "ffmpeg could not make the fixture");
    const QList<float> oracle = ffmpegFloats(path, c.oracleArguments);
    ASSERT_FALSE(oracle.isEmpty());

    Opened opened;
    ASSERT_TRUE(opened.demuxer.open(path)) << opened.errors.join(' ').toStdString();
    EXPECT_EQ(opened.demuxer.getAudioChannels(), c.sourceChannels);
    const Sound sound = opened.extract();
    ASSERT_TRUE(sound.ok);
    const QList<float> &mono = sound.mono, &interleaved = sound.interleaved;
    EXPECT_EQ(sound.rate, 48000);
    EXPECT_TRUE(opened.errors.isEmpty());

    const QList<float> &ours = c.sourceChannels == 1 ? mono : interleaved;
    if (c.sourceChannels == 1)
        EXPECT_TRUE(interleaved.isEmpty());
    else
        ASSERT_EQ(mono.size() * 2, interleaved.size());
    ASSERT_EQ(ours.size(), oracle.size());
    EXPECT_LE(maxDifference(ours, oracle), c.tolerance);
    // The start too: no priming dropped or zeroed.
    EXPECT_LE(maxDifference(ours.first(2048), oracle.first(2048)), c.tolerance);
    if (c.sourceChannels > 1)
        for (qsizetype i = 0; i < mono.size(); i += 997)
            ASSERT_FLOAT_EQ(mono[i], (interleaved[2 * i] + interleaved[2 * i + 1]) * 0.5f);
}

INSTANTIATE_TEST_SUITE_P(Files, ExtractedSound,
                         testing::Values(AudioCase{"c.avi", {}, 1, 0.0}, AudioCase{"b.mp4", {}, 2, 1e-6},
                                         AudioCase{"d.mkv", {"-ac", "2"}, 6, 1e-6},
                                         AudioCase{"joined-programs.ts", {}, 1, 1e-6}),
                         [](const auto &info) { return QString(info.param.file).remove('.').remove('-').toStdString(); });

TEST(VideoDemuxer, MonoAviGivesEveryFrameAndTheDurationIsRight)
{
    REQUIRE_FIXTURE(avi, "c.avi");
    REQUIRE_FIXTURE(mp4, "b.mp4");
    Opened opened;
    ASSERT_TRUE(opened.demuxer.open(avi));
    const Sound sound = opened.extract();
    ASSERT_TRUE(sound.ok);
    EXPECT_EQ(sound.mono.size(), 144000);

    // Opening a second file closes the first.
    ASSERT_TRUE(opened.demuxer.open(mp4));
    EXPECT_NEAR(opened.demuxer.getDuration(), 3.0, 0.01);
    EXPECT_EQ(opened.demuxer.getVideoWidth(), 320);
    EXPECT_EQ(opened.demuxer.getVideoHeight(), 240);
    EXPECT_EQ(opened.demuxer.getAudioSampleRate(), 48000);
}

TEST(VideoDemuxer, PictureAtEachSecondHasThatSecondsColour)
{
    REQUIRE_FIXTURE(mp4, "b.mp4");
    Opened opened;
    ASSERT_TRUE(opened.demuxer.open(mp4));
    const QColor expected[] = {Qt::red, Qt::blue, QColor(0, 255, 0)};
    for (int second : {2, 0, 1}) {
        SCOPED_TRACE(second);
        const QImage picture = opened.demuxer.decodeFrameAt(second);
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(picture.format(), QImage::Format_RGB32);
        EXPECT_EQ(picture.size(), QSize(320, 240));
        EXPECT_TRUE(colourNear(centrePixel(picture), expected[second])) << std::hex << centrePixel(picture);
    }
}

TEST(VideoDemuxer, NextFrameGivesAllPicturesInOrderThenNull)
{
    REQUIRE_FIXTURE(mp4, "b.mp4");
    Opened opened;
    ASSERT_TRUE(opened.demuxer.open(mp4));
    ASSERT_FALSE(opened.demuxer.decodeFrameAt(0).isNull());
    opened.demuxer.seekTo(0.0);
    int pictures = 0;
    double previous = -1.0;
    for (;;) {
        double pts = -2.0;
        const QImage picture = opened.demuxer.decodeNextFrame(pts);
        if (picture.isNull()) {
            EXPECT_EQ(pts, -1.0);
            break;
        }
        EXPECT_GT(pts, previous);
        previous = pts;
        ++pictures;
    }
    EXPECT_EQ(pictures, 75);  // the last B-frames come out of the decoder's drain
    EXPECT_NEAR(previous, 74 / 25.0, 1e-6);
    double pts = 0;
    EXPECT_TRUE(opened.demuxer.decodeNextFrame(pts).isNull());
}

TEST(VideoDemuxer, SeekToLandsOnThePictureShownThere)
{
    REQUIRE_FIXTURE(mp4, "b.mp4");
    Opened opened;
    ASSERT_TRUE(opened.demuxer.open(mp4));
    opened.demuxer.seekTo(1.5);
    double pts = -1;
    const QImage picture = opened.demuxer.decodeNextFrame(pts);
    EXPECT_NEAR(pts, 1.48, 0.021);
    EXPECT_TRUE(colourNear(centrePixel(picture), Qt::blue));
}

// ---------------------------------------------------------------- hostile files

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString writeScratch(const QString &name, const QByteArray &bytes)
{
    QFile file(scratchPath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return file.fileName();
}

QByteArray randomBytes(qsizetype count)
{
    std::mt19937 generator(20261210);
    QByteArray bytes(count, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(generator() & 0xff);
    return bytes;
}

TEST(VideoDemuxer, UnreadableFilesCannotBeOpened)
{
    REQUIRE_FIXTURE(mp4, "b.mp4");  // its moov atom comes after the media data
    const QByteArray whole = fileBytes(mp4);
    const struct
    {
        const char *name;
        QByteArray bytes;
    } cases[] = {{"empty.mp4", {}}, {"random.mp4", randomBytes(50 * 1024)}, {"truncated.mp4", whole.first(whole.size() / 2)}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Opened opened;
        EXPECT_FALSE(opened.demuxer.open(writeScratch(c.name, c.bytes)));
        ASSERT_EQ(opened.errors.size(), 1);
        EXPECT_TRUE(opened.errors[0].startsWith(QStringLiteral("无法打开文件: "))) << opened.errors[0].toStdString();
        EXPECT_GT(opened.errors[0].size(), 8);
        // The reason is ours, in Chinese, not FFmpeg's English text.
        EXPECT_FALSE(opened.errors[0].contains(QRegularExpression(QStringLiteral("[A-Za-z]"))))
            << opened.errors[0].toStdString();
        EXPECT_FALSE(opened.demuxer.hasAudioStream());
        EXPECT_FALSE(opened.extract().ok);
        EXPECT_TRUE(opened.demuxer.decodeFrameAt(0).isNull());
    }
    Opened missing;
    EXPECT_FALSE(missing.demuxer.open(scratchPath("no-such-file.mp4")));
    EXPECT_EQ(missing.errors, QStringList{QStringLiteral("无法打开文件: 文件不存在")});
}

QString faststartCopy()
{
    const QString target = scratchPath("faststart.mp4");
    if (!QFile::exists(target)
        && !runTool("ffmpeg", {"-v", "error", "-y", "-i", videoFixture("b.mp4"), "-c", "copy", "-movflags", "+faststart", target})
                .ok())
        return {};
    return target;
}

// Decodes everything the file gives, sound and pictures; the caller checks what came out.
struct Drained
{
    bool opened = false;
    bool extracted = false;
    qsizetype monoFrames = 0;
    QList<QSize> pictureSizes;
};

Drained drain(const QString &path)
{
    Drained result;
    VideoDemuxer demuxer;
    result.opened = demuxer.open(path);
    // Pictures first, read on from the open without a seek: joined files repeat their timestamps.
    double pts = 0;
    for (QImage picture = demuxer.decodeNextFrame(pts); !picture.isNull(); picture = demuxer.decodeNextFrame(pts))
        if (result.pictureSizes.isEmpty() || result.pictureSizes.last() != picture.size())
            result.pictureSizes << picture.size();
    QList<float> mono, interleaved;
    int rate = 0;
    result.extracted = demuxer.extractAudio(mono, interleaved, rate);
    result.monoFrames = mono.size();
    return result;
}

TEST(VideoDemuxer, TruncatedFaststartFileGivesItsDecodablePart)
{
    const QString faststart = faststartCopy();
    ZENTRIQ_REQUIRE(!faststart.isEmpty(), "ffmpeg could not remux b.mp4");
    const QByteArray whole = fileBytes(faststart);
    const Drained half = drain(writeScratch("half.mp4", whole.first(whole.size() / 2)));
    ASSERT_TRUE(half.opened);
    ASSERT_TRUE(half.extracted);
    EXPECT_GT(half.monoFrames, 48000 / 2);
    EXPECT_LT(half.monoFrames, 144000);
}

TEST(VideoDemuxer, CorruptedMediaDataDoesNotCrash)
{
    const QString faststart = faststartCopy();
    ZENTRIQ_REQUIRE(!faststart.isEmpty(), "ffmpeg could not remux b.mp4");
    QByteArray bytes = fileBytes(faststart);
    const qsizetype mdat = bytes.indexOf("mdat");
    ASSERT_GT(mdat, 0);
    for (qsizetype i = mdat + 64; i < bytes.size(); i += 7)
        bytes[i] = char(bytes[i] ^ 0x5a);
    const Drained corrupted = drain(writeScratch("corrupted.mp4", bytes));
    EXPECT_TRUE(corrupted.opened);
}

TEST(VideoDemuxer, VideoWithoutSoundOpensButHasNoAudio)
{
    REQUIRE_FIXTURE(webm, "e.webm");
    Opened opened;
    ASSERT_TRUE(opened.demuxer.open(webm));
    EXPECT_FALSE(opened.demuxer.hasAudioStream());
    EXPECT_TRUE(opened.demuxer.hasVideoStream());
    EXPECT_EQ(opened.demuxer.getAudioChannels(), 0);
    QList<float> mono{1.0f}, interleaved{1.0f};
    int rate = 0;
    EXPECT_FALSE(opened.demuxer.extractAudio(mono, interleaved, rate));
    EXPECT_EQ(opened.errors, QStringList{QStringLiteral("没有音频流")});
    EXPECT_FALSE(opened.demuxer.decodeFrameAt(0).isNull());
}

TEST(VideoDemuxer, StatedDurationReservesNoMoreThanTheFileCanHold)
{
    const struct
    {
        const char *file;
        const char *refusal;  // null: the sound is what ffmpeg decodes
    } cases[] = {{"claims-300000s.mkv", nullptr}, {"claims-9e12s.mka", nullptr},
                 {"claims-only.webm", "未能解码到音频数据"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = videoFixture(c.file);
        ZENTRIQ_REQUIRE(!path.isEmpty(), "ffmpeg could not make the fixture");
        Opened opened;
        ASSERT_TRUE(opened.demuxer.open(path)) << opened.errors.join(' ').toStdString();
        const Sound sound = opened.extract();
        if (c.refusal) {
            EXPECT_FALSE(sound.ok);
            EXPECT_EQ(opened.errors, QStringList{QString::fromUtf8(c.refusal)});
            continue;
        }
        ASSERT_TRUE(sound.ok);
        const QList<float> &ours = sound.interleaved.isEmpty() ? sound.mono : sound.interleaved;
        const QList<float> oracle = ffmpegFloats(path);
        ASSERT_EQ(ours.size(), oracle.size());
        EXPECT_LE(maxDifference(ours, oracle), 1e-6);
        // A file of kilobytes may hold seconds of sound, not the header's years of it.
        EXPECT_LT(ours.capacity(), qsizetype(64) << 20);
    }
}

TEST(VideoDemuxer, PictureTimeZeroIsTheFirstPictureWithOneKeyFrameBeforeTheSound)
{
    REQUIRE_FIXTURE(ts, "one-key-frame.ts");
    Opened opened;
    ASSERT_TRUE(opened.demuxer.open(ts));
    const QImage first = opened.demuxer.decodeFrameAt(0.0);
    ASSERT_FALSE(first.isNull());
    EXPECT_TRUE(colourNear(centrePixel(first), Qt::red)) << std::hex << centrePixel(first);
    opened.demuxer.seekTo(0.0);
    double pts = -2.0;
    EXPECT_FALSE(opened.demuxer.decodeNextFrame(pts).isNull());
    EXPECT_NEAR(pts, 0.0, 0.1);
}

TEST(VideoDemuxer, PictureSizeChangeMidStreamFollowsEachPicture)
{
    REQUIRE_FIXTURE(ts, "size-change.ts");
    const Drained drained = drain(ts);
    ASSERT_TRUE(drained.opened);
    EXPECT_TRUE(drained.extracted);
    EXPECT_EQ(drained.pictureSizes, (QList<QSize>{{640, 480}, {320, 240}}));
}

TEST(VideoDemuxer, ChannelAndRateChangeMidStreamKeepsOneOutputFormat)
{
    REQUIRE_FIXTURE(ts, "channel-change.ts");
    Opened opened;
    ASSERT_TRUE(opened.demuxer.open(ts));
    const Sound sound = opened.extract();
    ASSERT_TRUE(sound.ok);
    ASSERT_EQ(sound.interleaved.size(), sound.mono.size() * 2);
    // One second at each rate, both resampled to the rate reported.
    EXPECT_NEAR(double(sound.mono.size()) / sound.rate, 2.0, 0.1);
    const float peak = *std::max_element(sound.mono.begin(), sound.mono.end());
    EXPECT_GT(peak, 0.05f);
    EXPECT_LT(peak, 1.0f);
}

} // namespace
