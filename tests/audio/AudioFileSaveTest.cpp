// SPDX-License-Identifier: GPL-3.0-or-later
// Written WAV, FLAC and MP3 files checked by independent tools (ffprobe, ffmpeg, flac,
// metaflac, mpg123), and failed saves that must leave an existing file alone.
#include "AudioOracles.h"
#include "FailingDisk.h"
#include "OracleTool.h"
#include "Requirement.h"
#include "TestFiles.h"

#include "audio/AudioProcessor.h"
#include "audio/WavCodec.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <random>

namespace {

// Values every writer must survive: beyond full scale, exactly full scale, NaN, infinities,
// and halfway between two 16-bit steps, including the halves next to the clamp.
QList<float> testSignal(qsizetype frames, int channels)
{
    QList<float> out;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float step = 1.0f / 32768.0f;
    const float specials[] = {1.5f,        -1.0f,        0.5f,        -2.0f,           nan,
                              inf,         -inf,         1.0f,        -0.999f,         0.0f,
                              1.5f * step, -2.5f * step, -0.5f * step, 32767.5f * step, -32768.5f * step};
    for (qsizetype i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            const qsizetype n = i * channels + c;
            out.append(n < qsizetype(std::size(specials)) ? specials[n]
                                                          : 0.8f * float(std::sin(0.01 * double(n) * (c + 1))));
        }
    return out;
}

// The stored integer is what reading divides by 2^(bits − 1), so writing is
// clamp(round(x · 2^(bits − 1))) with halves away from zero; non-finite values are silence.
qint32 storedInteger(float x, int bits)
{
    if (!std::isfinite(x))
        return 0;
    const double scale = std::ldexp(1.0, bits - 1);
    return qint32(std::clamp(std::round(double(x) * scale), -scale, scale - 1.0));
}

struct WavCase
{
    int bitDepth;
    int channels;
};

class WavSaveTest : public ::testing::TestWithParam<WavCase>
{
};

TEST_P(WavSaveTest, FfmpegReadsWhatWasWritten)
{
    const auto [bitDepth, channels] = GetParam();
    TestFiles files;
    const QString path = files.path("out.wav");
    const QList<float> signal = testSignal(3000, channels);
    AudioProcessor processor;
    ASSERT_TRUE(processor.saveAudioFile(path, signal, 48000, channels, bitDepth));

    const auto info = probeStream(path);
    const char *codec = bitDepth == 16 ? "pcm_s16le" : bitDepth == 24 ? "pcm_s24le" : "pcm_f32le";
    EXPECT_EQ(info.value("codec_name"), codec);
    EXPECT_EQ(info.value("sample_rate"), "48000");
    EXPECT_EQ(info.value("channels").toInt(), channels);
    EXPECT_EQ(info.value("duration_ts"), "3000"); // frames, in units of 1 / sample rate

    const OracleAudio decoded = decodeWithFfmpeg(path);
    ASSERT_TRUE(decoded.ok);
    ASSERT_EQ(decoded.interleaved.size(), signal.size());
    const double divisor = std::ldexp(1.0, bitDepth - 1);
    for (qsizetype i = 0; i < signal.size(); ++i) {
        SCOPED_TRACE(i);
        if (bitDepth == 32) {
            if (std::isnan(signal[i]))
                EXPECT_TRUE(std::isnan(decoded.interleaved[i]));
            else
                EXPECT_EQ(decoded.interleaved[i], signal[i]); // stored unclamped
        } else {
            EXPECT_EQ(double(decoded.interleaved[i]), storedInteger(signal[i], bitDepth) / divisor);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(DepthsAndLayouts, WavSaveTest,
                         ::testing::Values(WavCase{16, 1}, WavCase{16, 2}, WavCase{24, 2}, WavCase{24, 6},
                                           WavCase{32, 1}, WavCase{32, 2}),
                         [](const auto &info) {
                             return "Bits" + std::to_string(info.param.bitDepth) + "Channels"
                                 + std::to_string(info.param.channels);
                         });

TEST(WavSave, StoredBytesAtTheEdges)
{
    TestFiles files;
    AudioProcessor processor;
    ASSERT_TRUE(processor.saveAudioFile(files.path("a.wav"), {1.5f, -1.0f, 0.5f}, 44100, 1, 16));
    EXPECT_EQ(files.read("a.wav").mid(44).toHex(), "ff7f00800040"); // 32767, -32768, 16384
    ASSERT_TRUE(processor.saveAudioFile(files.path("b.wav"), {-2.0f}, 44100, 1, 24));
    EXPECT_EQ(files.read("b.wav").mid(44, 3).toHex(), "000080"); // -8388608
    ASSERT_TRUE(processor.saveAudioFile(files.path("c.wav"), {0.f, 0.f, 0.f, 0.f, 0.f, 0.f}, 44100, 2, 32));
    const QByteArray c = files.read("c.wav");
    EXPECT_EQ(c.size(), 80);
    EXPECT_EQ(qFromLittleEndian<quint32>(c.constData() + 4), 72u);
    EXPECT_EQ(c.mid(36, 4), "fact");
    EXPECT_EQ(qFromLittleEndian<quint32>(c.constData() + 44), 3u);
}

TEST(WavSave, RefusesSizesTheRiffHeaderCannotHold)
{
    struct Case
    {
        qint64 samples;
        int bitDepth;
        bool fits;
    };
    const quint64 riffMax = std::numeric_limits<quint32>::max();
    const Case cases[] = {
        {qint64((riffMax - 36) / 2), 16, true},
        {qint64((riffMax - 36) / 2) + 1, 16, false},
        {qint64((riffMax - 36) / 3), 24, true},
        {qint64((riffMax - 36) / 3) + 1, 24, false},
        {qint64((riffMax - 48) / 4), 32, true},
        {qint64((riffMax - 48) / 4) + 1, 32, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.samples);
        EXPECT_EQ(WavCodec::fitsRiff(c.samples, c.bitDepth), c.fits);
    }
}

// Load -> save of an unedited file must give back the very integers it held.
struct RoundTripCase
{
    const char *suffix;
    int bits;
    int channels;
    qsizetype frames = 20000; // a million and more load and save on several threads
};

void PrintTo(const RoundTripCase &c, std::ostream *os)
{
    *os << c.suffix << ' ' << c.bits << " bits, " << c.channels << " channels, " << c.frames << " frames";
}

class PcmRoundTripTest : public ::testing::TestWithParam<RoundTripCase>
{
};

// Seeded integers over the whole range of `bits`, led by both extremes and the values next to 0.
QByteArray rawPcm(qsizetype count, int bits)
{
    const qint64 half = qint64(1) << (bits - 1);
    const qint64 edges[] = {half - 1, -half, 0, 1, -1, -half + 1};
    std::mt19937 rng(17);
    std::uniform_int_distribution<qint64> any(-half, half - 1);
    QByteArray out;
    for (qsizetype i = 0; i < count; ++i) {
        const qint64 value = i < qsizetype(std::size(edges)) ? edges[i] : any(rng);
        for (int shift = 0; shift < bits; shift += 8)
            out.append(char((value >> shift) & 0xFF));
    }
    return out;
}

TEST_P(PcmRoundTripTest, UneditedFileSavesBitExact)
{
    const auto [suffix, bits, channels, frames] = GetParam();
    TestFiles files;
    const QByteArray pcm = rawPcm(frames * channels, bits);
    const QString raw = files.write("in.raw", pcm);
    const QStringList rawFormat = {"-t", "raw", "-r", "44100", "-e", "signed-integer", "-b",
                                   QString::number(bits), "-c", QString::number(channels)};
    const QString input = files.path(QString("in.") + suffix);
    const QString output = files.path(QString("out.") + suffix);
    ASSERT_TRUE(runOk("sox", QStringList{"-D"} + rawFormat + QStringList{raw, input}));

    AudioProcessor processor;
    ASSERT_TRUE(processor.loadAudioFile(input));
    ASSERT_EQ(processor.channels, channels);
    const QList<float> &loaded = channels == 2 ? processor.stereoSamples : processor.samples;
    ASSERT_TRUE(processor.saveAudioFile(output, loaded, processor.sampleRate, channels, bits));

    const ToolResult back = runTool("sox", QStringList{"-D", output} + rawFormat + QStringList{"-"});
    ASSERT_TRUE(back.ok()) << back.standardError.toStdString();
    ASSERT_EQ(back.standardOutput.size(), pcm.size());
    if (back.standardOutput == pcm)
        return;
    const int bytes = bits / 8;
    qsizetype changed = 0;
    for (qsizetype i = 0; i < pcm.size(); i += bytes)
        changed += back.standardOutput.mid(i, bytes) != pcm.mid(i, bytes);
    EXPECT_EQ(changed, 0) << "of " << pcm.size() / bytes << " samples";
}

INSTANTIATE_TEST_SUITE_P(FormatsDepthsLayouts, PcmRoundTripTest,
                         ::testing::Values(RoundTripCase{"wav", 16, 1}, RoundTripCase{"wav", 16, 2},
                                           RoundTripCase{"wav", 24, 1}, RoundTripCase{"wav", 24, 2},
                                           RoundTripCase{"flac", 16, 1}, RoundTripCase{"flac", 16, 2},
                                           RoundTripCase{"flac", 24, 1}, RoundTripCase{"flac", 24, 2},
                                           RoundTripCase{"wav", 16, 2, 1500001}, RoundTripCase{"flac", 24, 2, 1500001}),
                         [](const auto &info) {
                             return std::string(info.param.suffix) + std::to_string(info.param.bits) + "Bits"
                                 + std::to_string(info.param.channels) + "Channels" + std::to_string(info.param.frames);
                         });

struct FlacCase
{
    const char *name;
    qsizetype frames;
    int channels;
    int sampleRate;
    int bitDepth;
};

void PrintTo(const FlacCase &c, std::ostream *os)
{
    *os << c.name;
}

QString metaflac(const QString &option, const QString &path)
{
    return QString::fromUtf8(runTool("metaflac", {option, path}).standardOutput).trimmed();
}

class FlacSaveTest : public ::testing::TestWithParam<FlacCase>
{
};

TEST_P(FlacSaveTest, ReferenceDecoderAcceptsAndReproducesIt)
{
    const FlacCase &c = GetParam();
    TestFiles files;
    const QString path = files.path("out.flac");
    const QList<float> signal = testSignal(c.frames, c.channels);
    AudioProcessor processor;
    ASSERT_TRUE(processor.saveAudioFile(path, signal, c.sampleRate, c.channels, c.bitDepth));

    const int bits = c.bitDepth == 24 ? 24 : 16;
    ASSERT_TRUE(runOk("flac", {"-t", "-s", path})); // header CRC-8 and frame CRC-16 of every frame
    const qsizetype lastBlock = c.frames % 4096 ? c.frames % 4096 : 4096;
    const qsizetype minBlock = c.frames == 0 ? 16 : std::max<qsizetype>(16, std::min<qsizetype>(lastBlock, 4096));
    const qsizetype maxBlock = std::max<qsizetype>(16, std::min<qsizetype>(c.frames, 4096));
    EXPECT_EQ(metaflac("--show-min-blocksize", path).toLongLong(), minBlock);
    EXPECT_EQ(metaflac("--show-max-blocksize", path).toLongLong(), maxBlock);
    EXPECT_EQ(metaflac("--show-total-samples", path).toLongLong(), c.frames);
    EXPECT_EQ(metaflac("--show-sample-rate", path).toInt(), c.sampleRate);
    EXPECT_EQ(metaflac("--show-channels", path).toInt(), c.channels);
    EXPECT_EQ(metaflac("--show-bps", path).toInt(), bits);
    EXPECT_EQ(metaflac("--show-vendor-tag", path), "ZentriqStudio");

    // ffmpeg refuses block sizes below 16 in STREAMINFO; short and empty clips must pass.
    const auto info = probeStream(path);
    EXPECT_EQ(info.value("codec_name"), "flac");
    const OracleAudio viaFfmpeg = decodeWithFfmpeg(path);
    ASSERT_TRUE(viaFfmpeg.ok);
    EXPECT_EQ(viaFfmpeg.frames(), c.frames);

    const ToolResult raw = runTool("flac", {"-d", "-c", "-s", "--force-raw-format", "--endian=little",
                                            "--sign=signed", path});
    ASSERT_TRUE(raw.ok());
    const int bytes = bits / 8;
    ASSERT_EQ(raw.standardOutput.size(), signal.size() * bytes);
    for (qsizetype i = 0; i < signal.size(); ++i) {
        const auto *p = reinterpret_cast<const unsigned char *>(raw.standardOutput.constData() + i * bytes);
        const qint32 value = bits == 16 ? qint32(qint16(p[0] | p[1] << 8))
                                        : qint32(quint32(p[0] | p[1] << 8 | p[2] << 16) << 8) >> 8;
        ASSERT_EQ(value, storedInteger(signal[i], bits)) << "sample " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, FlacSaveTest,
    ::testing::Values(FlacCase{"TenMonoFrames", 10, 1, 44100, 16}, FlacCase{"FiveThousandMono", 5000, 1, 44100, 16},
                      FlacCase{"OddRateStereo", 3000, 2, 12345, 16}, FlacCase{"Stereo24Bit", 9000, 2, 48000, 24},
                      FlacCase{"Depth32WritesSixteen", 100, 1, 44100, 32},
                      FlacCase{"LongStereo", 70000, 2, 96000, 16}, FlacCase{"EmptyMono", 0, 1, 44100, 16},
                      FlacCase{"EmptyThreeChannels", 0, 3, 44100, 16}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FlacSave, FrameHeadersCodeSizesAndSampleNumbers)
{
    TestFiles files;
    AudioProcessor processor;
    ASSERT_TRUE(processor.saveAudioFile(files.path("ten.flac"), QList<float>(10, 0.25f), 44100, 1, 16));
    // fLaC, STREAMINFO header and body, comment header and its 21 bytes: frames start at 67.
    const QByteArray ten = files.read("ten.flac");
    // Sync + variable blocking, size code 7 / rate code 9, mono / 16 bit, sample 0, size − 1 = 9.
    EXPECT_EQ(ten.mid(67, 7).toHex(), "fff979080000" "09");

    ASSERT_TRUE(processor.saveAudioFile(files.path("long.flac"), QList<float>(5000, 0.0f), 44100, 1, 16));
    const QByteArray five = files.read("long.flac");
    const qsizetype firstFrameBytes = 5 + 1 + 1 + 4096 * 2 + 2; // header, CRC-8, subframe, CRC-16
    EXPECT_EQ(five.mid(67, 5).toHex(), "fff9c90800");                   // 4096 frames: size code 12
    EXPECT_EQ(five.mid(67 + firstFrameBytes, 4).toHex(), "fff97908");   // 904 frames: code 7
    EXPECT_EQ(five.mid(67 + firstFrameBytes + 4, 3).toHex(), "e18080"); // 4096 in FLAC's UTF-8 coding
}

// mpg123's signed 16-bit output, interleaved as the file's channels are. mpg123 honours the
// LAME tag: no leading silence, no trailing padding.
QList<qint16> mpg123Pcm(const QString &path)
{
    const ToolResult raw = runTool("mpg123", {"-q", "-s", path});
    EXPECT_TRUE(raw.ok()) << raw.standardError.toStdString();
    const auto *pcm = reinterpret_cast<const qint16 *>(raw.standardOutput.constData());
    return QList<qint16>(pcm, pcm + raw.standardOutput.size() / 2);
}

// Saves `samples` (stride `channels`) at 44.1 kHz, checks the stream is 192 kbit/s constant
// rate with `storedChannels`, and returns what mpg123 decodes.
QList<qint16> saveAndDecodeMp3(const QString &path, const QList<float> &samples, int channels, int storedChannels)
{
    AudioProcessor processor;
    EXPECT_TRUE(processor.saveAudioFile(path, samples, 44100, channels, 16));
    const auto info = probeStream(path);
    EXPECT_EQ(info.value("codec_name"), "mp3");
    EXPECT_EQ(info.value("channels").toInt(), storedChannels);
    EXPECT_EQ(info.value("sample_rate"), "44100");
    EXPECT_EQ(info.value("bit_rate"), "192000");
    return mpg123Pcm(path);
}

TEST(Mp3Save, ConstantRateMonoThatDecodesToTheInputLength)
{
    TestFiles files;
    QList<float> click(44100, 0.0f);
    click[22050] = 0.9f;
    const QString path = files.path("click.mp3");
    const QList<qint16> pcm = saveAndDecodeMp3(path, click, 1, 1);
    EXPECT_EQ(pcm.size(), 44100);
    qsizetype peak = 0;
    for (qsizetype i = 0; i < pcm.size(); ++i)
        if (std::abs(pcm[i]) > std::abs(pcm[peak]))
            peak = i;
    EXPECT_LT(std::abs(peak - 22050), 1152);

    AudioProcessor loaded;
    ASSERT_TRUE(loaded.loadAudioFile(path));
    EXPECT_EQ(loaded.samples.size(), 44100);
}

TEST(Mp3Save, NonFiniteSamplesEncodeAsSilence)
{
    TestFiles files;
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity()};
    QList<float> broken;
    for (int i = 0; i < 11025; ++i)
        broken << specials[i % 3];
    const QList<qint16> pcm = saveAndDecodeMp3(files.path("nan.mp3"), broken, 1, 1);
    ASSERT_EQ(pcm.size(), 11025);
    for (qsizetype i = 0; i < pcm.size(); ++i)
        ASSERT_LE(std::abs(pcm[i]), 1) << i;
}

TEST(Mp3Save, EmptyListGivesAnEmptyStream)
{
    TestFiles files;
    const QString path = files.path("empty.mp3");
    AudioProcessor processor;
    ASSERT_TRUE(processor.saveAudioFile(path, {}, 44100, 1, 16));
    EXPECT_TRUE(mpg123Pcm(path).isEmpty());
}

TEST(Mp3Save, StereoKeepsItsTwoChannels)
{
    TestFiles files;
    // Opposite channels: a mono mix of them would be silence.
    QList<float> stereo;
    for (int i = 0; i < 20000; ++i) {
        const float s = 0.5f * float(std::sin(2.0 * std::numbers::pi * 440.0 * i / 44100.0));
        stereo << s << -s;
    }
    stereo << 0.9f; // a trailing partial frame is dropped
    const QList<qint16> pcm = saveAndDecodeMp3(files.path("stereo.mp3"), stereo, 2, 2);
    ASSERT_EQ(pcm.size(), 40000);
    // Away from the edges each channel follows its own input within a few percent.
    double leftError = 0.0, rightError = 0.0, power = 0.0;
    for (int i = 2000; i < 18000; ++i) {
        const double left = stereo[2 * i] * 32768.0, right = stereo[2 * i + 1] * 32768.0;
        leftError += std::pow(pcm[2 * i] - left, 2);
        rightError += std::pow(pcm[2 * i + 1] - right, 2);
        power += left * left;
    }
    EXPECT_LT(leftError / power, 1e-3);
    EXPECT_LT(rightError / power, 1e-3);
}

TEST(Mp3Save, WiderLayoutsAreMixedToMono)
{
    TestFiles files;
    QList<float> three;
    for (int i = 0; i < 10000; ++i) {
        const float s = 0.5f * float(std::sin(0.05 * i));
        three << s << -s << 0.0f; // cancels in the mix
    }
    const QList<qint16> pcm = saveAndDecodeMp3(files.path("mix.mp3"), three, 3, 1);
    EXPECT_EQ(pcm.size(), 10000);
    for (qsizetype i = 0; i < pcm.size(); ++i)
        ASSERT_LE(std::abs(pcm[i]), 4) << i;
}

// Failed saves: each writer reports and leaves whatever was at the target.
struct FailedSaveCase
{
    const char *name;
    const char *fileName;
    int sampleRate;
    int channels;
    int bitDepth;
    const char *error; // %1 = path
};

void PrintTo(const FailedSaveCase &c, std::ostream *os)
{
    *os << c.name;
}

class FailedSaveTest : public ::testing::TestWithParam<FailedSaveCase>
{
};

TEST_P(FailedSaveTest, ReportsAndKeepsTheExistingFile)
{
    const FailedSaveCase &c = GetParam();
    TestFiles files;
    const QByteArray precious("an earlier export the user still needs");
    const QString path = files.write(c.fileName, precious);
    AudioProcessor processor;
    SignalLog log(processor);
    EXPECT_FALSE(processor.saveAudioFile(path, testSignal(2000, 3), c.sampleRate, c.channels, c.bitDepth));
    const QString error = QString::fromUtf8(c.error);
    EXPECT_EQ(log.errors, QStringList{error.contains("%1") ? error.arg(path) : error});
    EXPECT_EQ(files.read(c.fileName), precious);
    EXPECT_EQ(QDir(files.path("")).entryList(QDir::Files).size(), 1); // no temporary left behind
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, FailedSaveTest,
    ::testing::Values(
        FailedSaveCase{"WavBitDepth12", "a.wav", 44100, 3, 12, "无法保存音频: 参数无效 (采样率 44100, 声道 3, 位深 12)"},
        FailedSaveCase{"WavZeroRate", "a.wav", 0, 3, 16, "无法保存音频: 参数无效 (采样率 0, 声道 3, 位深 16)"},
        FailedSaveCase{"WavZeroChannels", "a.wav", 44100, 0, 16, "无法保存音频: 参数无效 (采样率 44100, 声道 0, 位深 16)"},
        FailedSaveCase{"FlacThreeChannels", "a.flac", 44100, 3, 16, "FLAC编码仅支持1或2声道"},
        FailedSaveCase{"FlacRateTooHigh", "a.flac", 700000, 1, 16, "无法保存音频: 参数无效 (采样率 700000, 声道 1, 位深 16)"},
        FailedSaveCase{"Mp3ZeroRate", "a.mp3", 0, 3, 16, "MP3编码器参数设置失败"},
        FailedSaveCase{"OggHasNoWriter", "a.ogg", 44100, 3, 16, "不支持保存的音频格式: ogg"}),
    [](const auto &info) { return std::string(info.param.name); });

// A save cut short part-way names the system's reason rather than the creation of the file,
// leaves no temporary file, and keeps the file it would have replaced.
struct CutShortCase
{
    const char *name;
    bool fullDisk;  // else the file size limit
    const char *reason;
};

void PrintTo(const CutShortCase &c, std::ostream *os)
{
    *os << c.name;
}

class CutShortSaveTest : public ::testing::TestWithParam<CutShortCase>
{
};

TEST_P(CutShortSaveTest, NamesTheCauseAndKeepsTheExistingFile)
{
    const CutShortCase &c = GetParam();
    constexpr qint64 room = 64 * 1024;
    for (const char *name : {"full.wav", "full.flac", "full.mp3"}) {
        SCOPED_TRACE(name);
        std::optional<SmallDisk> disk;
        if (c.fullDisk) {
            disk.emplace(room);
            ZENTRIQ_REQUIRE(disk->mounted(), "mounting a small tmpfs needs root");
        }
        TestFiles files;
        const QString folder = disk ? disk->path() : files.path(QString());
        const QString path = QDir(folder).filePath(QString::fromUtf8(name));
        const QByteArray precious("yesterday's mix");
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(precious);
        }
        AudioProcessor processor;
        SignalLog log(processor);
        bool saved = true;
        {
            std::optional<FileSizeLimit> limit;
            if (!c.fullDisk)
                limit.emplace(room);
            saved = processor.saveAudioFile(path, testSignal(200000, 2), 44100, 2, 16);
        }
        EXPECT_FALSE(saved);
        EXPECT_EQ(log.errors, QStringList{QString("写入文件失败: %1 (%2)").arg(path, QString::fromUtf8(c.reason))});
        QFile kept(path);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), precious);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QString::fromUtf8(name)});
    }
}

INSTANTIATE_TEST_SUITE_P(FailedSave, CutShortSaveTest,
                         ::testing::Values(CutShortCase{"FullDisk", true, "磁盘空间不足"},
                                           CutShortCase{"FileSizeLimit", false, "文件超过了系统允许的大小"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(FailedSave, MissingFolderCannotBeCreated)
{
    for (const char *name : {"a.wav", "a.flac", "a.mp3"}) {
        SCOPED_TRACE(name);
        TestFiles files;
        const QString path = files.path(QString("missing/") + name);
        AudioProcessor processor;
        SignalLog log(processor);
        EXPECT_FALSE(processor.saveAudioFile(path, {0.1f, 0.2f}, 44100, 1, 16));
        EXPECT_EQ(log.errors, QStringList{QString("无法创建文件: %1").arg(path)});
    }
}

} // namespace
