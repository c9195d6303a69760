// SPDX-License-Identifier: GPL-3.0-or-later
// Damaged and hostile files: each load fails with its text and leaves the cleared fields,
// or, where the audio itself is intact, loads exactly what is there.
#include "AudioFixtures.h"
#include "AudioOracles.h"
#include "OracleTool.h"
#include "TestFiles.h"

#include "audio/AudioProcessor.h"

#include <QRegularExpression>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace {

QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray chunk(const char *id, const QByteArray &body, qint64 claimedSize = -1)
{
    return QByteArray(id, 4) + le32(quint32(claimedSize < 0 ? body.size() : claimedSize)) + body
        + (body.size() % 2 ? QByteArray(1, '\0') : QByteArray());
}

QByteArray fmtBody(quint16 format, quint16 channels, quint32 rate, quint16 bits)
{
    QByteArray b(16, '\0');
    qToLittleEndian(format, b.data());
    qToLittleEndian(channels, b.data() + 2);
    qToLittleEndian(rate, b.data() + 4);
    qToLittleEndian(quint32(rate * channels * (bits / 8)), b.data() + 8);
    qToLittleEndian(quint16(channels * (bits / 8)), b.data() + 12);
    qToLittleEndian(bits, b.data() + 14);
    return b;
}

// WAVE_FORMAT_EXTENSIBLE fmt body whose SubFormat GUID starts with `subFormat`.
QByteArray extensibleBody(quint16 subFormat, quint16 bits, bool standardGuid = true)
{
    QByteArray b = fmtBody(0xFFFE, 2, 44100, bits);
    b += QByteArray::fromHex("1600") + QByteArray(2, '\0') + le32(3);
    QByteArray guid(2, '\0');
    qToLittleEndian(subFormat, guid.data());
    guid += QByteArray::fromHex(standardGuid ? "000000001000800000aa00389b71" : "0000000010008000aaaaaaaaaaaa");
    return b + guid;
}

QByteArray wav(const QByteArray &chunks, const char *magic = "RIFF")
{
    return QByteArray(magic, 4) + le32(quint32(chunks.size() + 4)) + "WAVE" + chunks;
}

const QByteArray someData = QByteArray::fromHex("00100020003000400050006000700080");

QByteArray randomBytes(int count, unsigned seed)
{
    std::mt19937 rng(seed);
    QByteArray out(count, '\0');
    for (char &c : out)
        c = char(rng() & 0xFF);
    return out;
}

QByteArray mp3File(TestFiles &files)
{
    return made(files, "src.mp3", {{"sox", "-R", "-n", "-r", "44100", "-c", "2", "-b", "16", "%D/src.wav", "synth", "3", "sine", "300-3000"},
                                   {"lame", "--silent", "-b", "128", "%D/src.wav", "%D/src.mp3"}});
}
QByteArray flacFile(TestFiles &files)
{
    return made(files, "src.flac", {{"sox", "-R", "-n", "-r", "44100", "-c", "2", "-b", "16", "%D/src.wav", "synth", "3", "sine", "300-3000"},
                                    {"flac", "-s", "-f", "-o", "%D/src.flac", "%D/src.wav"}});
}
// Where the frames start: after the last metadata block.
qsizetype flacFramesStart(const QByteArray &flac)
{
    qsizetype pos = 4;
    while (pos + 4 <= flac.size()) {
        const bool last = quint8(flac[pos]) & 0x80;
        pos += 4 + qFromBigEndian<quint32>(flac.constData() + pos) % 0x1000000;
        if (last)
            break;
    }
    return pos;
}

// STREAMINFO's 36-bit total sits in the low nibble of byte 13 and bytes 14..17 of its body,
// which starts at byte 8.
quint64 flacTotalFrames(const QByteArray &flac)
{
    return quint64(quint8(flac[21]) & 0x0F) << 32 | qFromBigEndian<quint32>(flac.constData() + 22);
}

// The frames of a second stream appended after the first's. Every FLAC frame carries its own
// rate and channel codes, so this is a valid stream that changes format part-way. STREAMINFO
// counts both parts, as an encoder that changed format would; else decoders stop at the first.
QByteArray flacWithAppendedFrames(TestFiles &files, const QStringList &first, const QStringList &second)
{
    auto encode = [&files](const QString &name, const QStringList &format) {
        return made(files, name + ".flac",
                    {QStringList{"sox", "-R", "-n", "-b", "16"} + format
                         + QStringList{"%D/" + name + ".wav", "synth", "0.5", "sine", "440"},
                     {"flac", "-s", "-f", "%D/" + name + ".wav"}});
    };
    QByteArray head = encode("first", first);
    const QByteArray tail = encode("second", second);
    if (head.isEmpty() || tail.isEmpty())
        return {};
    const quint64 total = flacTotalFrames(head) + flacTotalFrames(tail);
    head[21] = char((quint8(head[21]) & 0xF0) | (total >> 32));
    qToBigEndian(quint32(total), head.data() + 22);
    return head + tail.mid(flacFramesStart(tail));
}

QByteArray oggFile(TestFiles &files)
{
    return made(files, "src.ogg", {{"sox", "-R", "-n", "-r", "44100", "-c", "2", "%D/src.ogg", "synth", "3", "sine", "300-3000"}});
}


// `ogg` with the first page of its first link appended under a serial number of its own: a
// further link that breaks off after its first header page.
QByteArray withBrokenLinkAppended(const QByteArray &ogg)
{
    if (ogg.size() < 27)
        return {};
    QByteArray linkStart = ogg.left(oggPageSize(ogg, 0));
    qToLittleEndian(quint32(0x5EC0D11C), linkStart.data() + 14);
    qToLittleEndian(quint32(0), linkStart.data() + 22);
    qToLittleEndian(oggCrc(linkStart), linkStart.data() + 22);
    return ogg + linkStart;
}

// Two Ogg Vorbis files one after the other, a chained file as stream recorders write them; the
// second's pages get a serial number of their own.
QByteArray chainedOgg(TestFiles &files, const QStringList &firstFormat, const QStringList &secondFormat)
{
    const auto encode = [&files](const QString &name, const QStringList &format) {
        return made(files, name + ".ogg",
                    {QStringList{"sox", "-R", "-n"} + format + QStringList{"%D/" + name + ".ogg", "synth", "0.5", "sine", "440"}});
    };
    const QByteArray first = encode("first", firstFormat);
    QByteArray second = encode("second", secondFormat);
    if (first.isEmpty() || second.isEmpty())
        return {};
    for (qsizetype page = 0; page + 27 <= second.size(); page += oggPageSize(second, page)) {
        qToLittleEndian(quint32(0xC0FFEE), second.data() + page + 14);
        qToLittleEndian(quint32(0), second.data() + page + 22);
        qToLittleEndian(oggCrc(second.mid(page, oggPageSize(second, page))), second.data() + page + 22);
    }
    return first + second;
}

struct CorruptCase
{
    const char *name;
    const char *fileName;
    std::function<QByteArray(TestFiles &)> bytes; // empty: the file does not exist
    const char *error; // regular expression; %1 = the path
};

void PrintTo(const CorruptCase &c, std::ostream *os)
{
    *os << c.name;
}

class CorruptInputTest : public ::testing::TestWithParam<CorruptCase>
{
};

TEST_P(CorruptInputTest, FailsWithItsTextAndLeavesTheClearedFields)
{
    const CorruptCase &c = GetParam();
    TestFiles files;
    QString path = files.path(c.fileName);
    if (c.bytes) {
        const QByteArray content = c.bytes(files);
        path = files.write(c.fileName, content);
        ASSERT_FALSE(path.isEmpty());
    }
    AudioProcessor processor;
    processor.samples = {1.0f, 2.0f};
    processor.stereoSamples = {1.0f};
    processor.sampleRate = 8000;
    processor.channels = 1;
    processor.noiseProfile = {0.5f};
    SignalLog log(processor);
    EXPECT_FALSE(processor.loadAudioFile(path));
    ASSERT_EQ(log.errors.size(), 1);
    QString pattern = QString::fromUtf8(c.error);
    if (pattern.contains("%1"))
        pattern = pattern.arg(QRegularExpression::escape(path));
    const QRegularExpression expected("^" + pattern + "$");
    EXPECT_TRUE(expected.match(log.errors.first()).hasMatch())
        << log.errors.first().toStdString() << " !~ " << expected.pattern().toStdString();
    EXPECT_EQ(log.loadedCount, 0);
    EXPECT_TRUE(processor.samples.isEmpty());
    EXPECT_TRUE(processor.stereoSamples.isEmpty());
    EXPECT_EQ(processor.sampleRate, 44100);
    EXPECT_EQ(processor.channels, 2);
    EXPECT_EQ(processor.noiseProfile, QList<float>{0.5f});
}

// Found by fuzzing: a setup header whose codebook makes stb_vorbis free an uninitialised
// pointer. Any decoder must simply refuse it.
const char *const hostileSetupHeader =
    "T2dnUwACAAAAAAAAAF9uPADzAAAAACFrTWsBHgF2b3JiaXMAAAAAAUAfAAAAAAAAgFcAAAAAAACZAU9nZ1MAAAAAAAAAAAAAX/Nu"
    "PAEAAABIpx38C2D///////////+1A3ZvcmJpczQAAABYaXBoLk9yZyCIbGliVm9yYmlzIEkgMjAyMDA3MDQgKFJlZHVjaW5nIEVu"
    "dmlyb25tZW50KQEAAAAYAAAAQ29tbWVudD1Qcm9jZXNzZWQgYnkgU29YAQV2b3JiaXMSQkNWAQAAAQAMUhQhJRlTSmMIlVJSKQUd"
    "Y1BbRx1j1DlGIWQQU4hJGaV7TyqVWErIEVJYKUUdU0xTSZVSlilFHWMUU0ghU09nZ1MAAgAAAAAAAAAAX/NuPAAAAAAha01rAR4B"
    "dm9yYmlzAAAAAAFAHwAAAAAAAIBXAAAAAAAAmQFPZ2dTAAAAAAAAAAAAAF/zbjwBAAAASKcd/Atg////////////tQN2b3JiaXM0"
    "AAAAWGlwaC5PcmcgbGliVm9yYmlzIEkgMjAyMDA3MDQgKFJlZHVjaW5nIEVudmlyb25tZW50KQEAAAAYAAAAQ29tbWVudD1Qcm9j"
    "ZXNzZWQgYnkgU29YAQV2b3JiaXMSQkNWAQAAAQAMUhQhJRlTSmMIlVJSKQUdY1BbRx1j1DlGIWQQU4hJGaV7TyqVWErIEVJYKUUd"
    "U0xTSZVSlilFHWMUU0ghU9YxZaFzFEuGSQklbE2udBZL6JljljFGHWPOWkqdY9YxRR1jUlJJoXMYOmYlZBQ6RsXoYnwwOpWiQii+"
    "x95S6S2FiluKvdcaU+sthBhLacEIYXPttdXcSmrFGGOMMcbF4lMogtCQVQAAAQAAQAQBQkNWAQAKAADCUAxFUYDQkFUAQAYAgAAU"
    "RXEUx3EcR5IkywJCQ1YBAEAAAAIAACiO4SiSI0mSZFmWZVmWpnmWqLmqL/uuLuuu7eq6DoSGrAQAyAAAGIYhh95JzJBTkEkmKVXM"
    "OQih9Q455RRk0lLGmGKMUc6QUwwxBTGG0CmFENROOaUMIghDSJ1kziBLPejgYuc4EBqyIgCIAgAAjEGMIcaQcwxKBiFyjknIIETO"
    "OSmdlExKKK20lkkJLZXWIueclE5KJqW0FlLLpJTWQisFAAAEOAAABFgIhYasCACiAAAQg5BSSCnElGJOMYeUUo4px5BSzDnFmHKM"
    "MeggVMwxyByESCnFGHNOOeYgZAwq5hyEDDIBAAABDgAAARZCoSErAoA4AQCDJGmapWmi1jFloXMUS4ZJCSVsTa50FkvomWOWMUYd"
    "Y85aSp1j1jFFHWNSUkmhcxg6ZiVkFDpGxehifDA6laJCKL7H3lLpLYWKW4q91xpT6y2EGEtpwQhhc+211dxKasUYY4wxxsXiUyiC"
    "0JBVAAABAABABAFCQ1YBAAoAAMJQDEVRgNCQVQBABgCAABRFcRTHcRxHkiTLAkJDVgEAQAAAAgAAKI7hKJIjSZJkWZZlWZameZao"
    "uaov+64u667t6roOhIasBADIAAAYhiGH3knMkFOQSSYpVcw5CKH1DjnlFGTSUsaYYoxRzpBTDDEFMYbQKYUQ1E45pQwiCENInWTO"
    "IEs96OBi5zgQGrIiAIgCAACMQYwhxpBzDEoGIXKOScggRGhpms45";

const char *const headerBroken = "WAV文件头损坏: %1";
const char *const noData = "WAV文件中没有找到音频数据: %1";
const char *const badFmt = "WAV fmt chunk损坏: %1";
const char *const noMp3Frame = "MP3解码失败 \\(没有找到MP3音频帧\\): %1";
const char *const notFlac = "FLAC解码失败 \\(不是有效的FLAC文件\\): %1";
const char *const noVorbis = "OGG解码失败 \\(没有找到Vorbis音频流\\): %1";
const char *const brokenVorbisHeaders = "OGG解码失败 \\(文件头不完整或已损坏\\): %1";

std::vector<CorruptCase> corruptCases()
{
    const QByteArray fmt = chunk("fmt ", fmtBody(1, 2, 44100, 16));
    return {
        {"WavEmpty", "a.wav", [](TestFiles &) { return QByteArray(); }, headerBroken},
        {"Wav43Bytes", "a.wav", [](TestFiles &) { return wav(chunk("fmt ", fmtBody(1, 1, 8000, 16)) + chunk("data", "abc")).left(43); }, headerBroken},
        {"WavRifx", "a.wav", [fmt](TestFiles &) { return wav(fmt + chunk("data", someData), "RIFX"); }, "不是有效的WAV文件: %1"},
        {"WavFmtTooShort", "a.wav", [](TestFiles &) { return wav(chunk("fmt ", fmtBody(1, 2, 44100, 16).left(14)) + chunk("data", someData)); }, badFmt},
        {"WavFmtPastTheEnd", "a.wav", [](TestFiles &) { return wav(chunk("data", someData) + chunk("fmt ", fmtBody(1, 2, 44100, 16), 100)); }, badFmt},
        {"WavNoDataChunk", "a.wav", [fmt](TestFiles &) { return wav(fmt + chunk("LIST", someData + someData)); }, noData},
        {"WavEmptyDataChunk", "a.wav", [fmt](TestFiles &) { return wav(fmt + chunk("LIST", someData) + chunk("data", {})); }, noData},
        {"WavHugeChunkSkipsPastData", "a.wav", [fmt](TestFiles &) { return wav(fmt + chunk("LIST", {}, 0xFFFFFFFF) + chunk("data", someData)); }, noData},
        {"WavZeroChannels", "a.wav", [](TestFiles &) { return wav(chunk("fmt ", fmtBody(1, 0, 44100, 16)) + chunk("data", someData)); }, "WAV文件声道数为0: %1"},
        {"WavWithoutFmt", "a.wav", [](TestFiles &) { return wav(chunk("data", someData + someData + someData)); }, "WAV文件声道数为0: %1"},
        {"WavZeroRate", "a.wav", [](TestFiles &) { return wav(chunk("fmt ", fmtBody(1, 2, 0, 16)) + chunk("data", someData)); }, "WAV文件采样率无效 \\(0 Hz\\): %1"},
        {"WavNegativeRate", "a.wav", [](TestFiles &) { return wav(chunk("fmt ", fmtBody(1, 2, 0x80000000u, 16)) + chunk("data", someData)); }, "WAV文件采样率无效 \\(2147483648 Hz\\): %1"},
        {"WavAbsurdRate", "a.wav", [](TestFiles &) { return wav(chunk("fmt ", fmtBody(1, 2, 768001, 16)) + chunk("data", someData)); }, "WAV文件采样率无效 \\(768001 Hz\\): %1"},
        {"WavZeroBits", "a.wav", [](TestFiles &) { return wav(chunk("fmt ", fmtBody(1, 2, 44100, 0)) + chunk("data", someData)); }, "不支持的WAV编码 \\(格式 0x0001, 0 位\\): %1"},
        {"WavFourBits", "a.wav", [](TestFiles &) { return wav(chunk("fmt ", fmtBody(1, 2, 44100, 4)) + chunk("data", someData)); }, "不支持的WAV编码 \\(格式 0x0001, 4 位\\): %1"},
        {"WavALaw", "a.wav", [](TestFiles &) { return wav(chunk("fmt ", fmtBody(6, 1, 8000, 8)) + chunk("data", someData)); }, "不支持的WAV编码 \\(格式 0x0006, 8 位\\): %1"},
        {"WavExtensibleAdpcm", "a.wav", [](TestFiles &) { return wav(chunk("fmt ", extensibleBody(2, 16)) + chunk("data", someData)); }, "不支持的WAV编码 \\(格式 0x0002, 16 位\\): %1"},
        {"WavExtensibleForeignGuid", "a.wav", [](TestFiles &) { return wav(chunk("fmt ", extensibleBody(1, 16, false)) + chunk("data", someData)); }, "不支持的WAV编码 \\(格式 0xfffe, 16 位\\): %1"},
        {"WavExtensibleWithoutExtension", "a.wav", [](TestFiles &) { return wav(chunk("fmt ", fmtBody(0xFFFE, 2, 44100, 16)) + chunk("data", someData)); }, "不支持的WAV编码 \\(格式 0xfffe, 16 位\\): %1"},
        {"WavMissing", "missing.wav", {}, "无法打开文件: %1"},
        {"WavRandomBytes", "a.wav", [](TestFiles &) { return randomBytes(4096, 1); }, "不是有效的WAV文件: %1"},

        {"Mp3Empty", "a.mp3", [](TestFiles &) { return QByteArray(); }, noMp3Frame},
        {"Mp3TruncatedInFirstFrame", "a.mp3", [](TestFiles &f) { return mp3File(f).left(200); }, noMp3Frame},
        {"Mp3RandomBytes", "a.mp3", [](TestFiles &) { return randomBytes(4096, 2); }, noMp3Frame},
        {"Mp3HoldingSilentWav", "a.mp3", [fmt](TestFiles &) { return wav(fmt + chunk("data", QByteArray(8192, '\0'))); }, noMp3Frame},
        // mpg123 plays on at the new rate; a clip has one, and resampling a part of it is no load.
        {"Mp3RateChangesPartWay", "a.mp3", [](TestFiles &f) { return joinedMp3(f, {"-r", "44100", "-c", "2"}, {"-r", "48000", "-c", "2"}); },
         "MP3文件中途改变采样率 \\(44100 Hz → 48000 Hz\\)，无法加载: %1"},
        {"Mp3Missing", "missing.mp3", {}, "无法打开文件: %1"},

        {"FlacEmpty", "a.flac", [](TestFiles &) { return QByteArray(); }, notFlac},
        {"FlacTruncatedInMetadata", "a.flac", [](TestFiles &f) { return flacFile(f).left(60); }, "FLAC解码失败 \\(没有可解码的音频\\): %1"},
        {"FlacRandomBytes", "a.flac", [](TestFiles &) { return randomBytes(4096, 3); }, notFlac},
        {"FlacHoldingWav", "a.flac", [fmt](TestFiles &) { return wav(fmt + chunk("data", someData)); }, notFlac},
        {"FlacMissing", "missing.flac", {}, "FLAC解码失败 \\(无法读取文件\\): %1"},
        {"FlacRateChangesPartWay", "a.flac", [](TestFiles &f) {
             return flacWithAppendedFrames(f, {"-r", "44100", "-c", "2"}, {"-r", "48000", "-c", "2"});
         }, "FLAC文件中途改变采样率 \\(44100 Hz → 48000 Hz\\)，无法加载: %1"},
        {"FlacChannelsIncreasePartWay", "a.flac", [](TestFiles &f) {
             return flacWithAppendedFrames(f, {"-r", "44100", "-c", "1"}, {"-r", "44100", "-c", "2"});
         }, "FLAC文件中途改变声道数 \\(1 → 2\\)，无法加载: %1"},
        {"FlacChannelsDecreasePartWay", "a.flac", [](TestFiles &f) {
             return flacWithAppendedFrames(f, {"-r", "44100", "-c", "2"}, {"-r", "44100", "-c", "1"});
         }, "FLAC文件中途改变声道数 \\(2 → 1\\)，无法加载: %1"},

        {"OggEmpty", "a.ogg", [](TestFiles &) { return QByteArray(); }, noVorbis},
        {"OggTruncatedInHeaders", "a.ogg", [](TestFiles &f) { return oggFile(f).left(2000); }, brokenVorbisHeaders},
        {"OggRandomBytes", "a.ogg", [](TestFiles &) { return randomBytes(4096, 4); }, noVorbis},
        {"OggHoldingFlac", "a.ogg", [](TestFiles &f) {
             return made(f, "of.ogg", {{"sox", "-R", "-n", "-r", "44100", "-c", "1", "-b", "16", "%D/s.wav", "synth", "0.2", "sine", "440"},
                                       {"flac", "-s", "-f", "--ogg", "-o", "%D/of.ogg", "%D/s.wav"}});
         }, noVorbis},
        {"OggHostileSetupHeader", "a.ogg", [](TestFiles &) { return QByteArray::fromBase64(hostileSetupHeader); }, brokenVorbisHeaders},
        // Found by fuzzing: libvorbisfile leaks opening both (suppressed in
        // tests/sanitizers/lsan.supp); the load still ends cleanly.
        {"OggSecondLinkBrokenInHeaders", "a.ogg", [](TestFiles &f) { return withBrokenLinkAppended(oggFile(f)); }, brokenVorbisHeaders},
        {"OggThirdLinkBrokenInHeaders", "a.ogg", [](TestFiles &f) {
             return withBrokenLinkAppended(chainedOgg(f, {"-r", "44100", "-c", "2"}, {"-r", "48000", "-c", "2"}));
         }, brokenVorbisHeaders},
        {"OggChainedRateChange", "a.ogg", [](TestFiles &f) { return chainedOgg(f, {"-r", "44100", "-c", "2"}, {"-r", "48000", "-c", "2"}); },
         "OGG文件中途改变采样率 \\(44100 Hz → 48000 Hz\\)，无法加载: %1"},
        {"OggChainedChannelChange", "a.ogg", [](TestFiles &f) { return chainedOgg(f, {"-r", "44100", "-c", "2"}, {"-r", "44100", "-c", "1"}); },
         "OGG文件中途改变声道数 \\(2 → 1\\)，无法加载: %1"},
        {"OggMissing", "missing.ogg", {}, "无法打开文件: %1"},

        {"UnknownSuffix", "a.aiff", [](TestFiles &) { return QByteArray("FORM"); }, "不支持的音频格式: aiff"},
        {"NoSuffix", "noSuffix", [](TestFiles &) { return QByteArray("RIFF"); }, "不支持的音频格式: "},
    };
}

INSTANTIATE_TEST_SUITE_P(Inputs, CorruptInputTest, ::testing::ValuesIn(corruptCases()),
                         [](const auto &info) { return std::string(info.param.name); });

// Rewrites the granule position of the last page, the stream length stb_vorbis reports.
QByteArray withLastGranule(QByteArray ogg, quint64 granule)
{
    const qsizetype page = ogg.lastIndexOf("OggS");
    qToLittleEndian(granule, ogg.data() + page + 6);
    qToLittleEndian(quint32(0), ogg.data() + page + 22);
    qToLittleEndian(oggCrc(ogg.mid(page, oggPageSize(ogg, page))), ogg.data() + page + 22);
    return ogg;
}

struct HostileLengthCase
{
    const char *name;
    quint64 granule;
};

class OggHostileLengthTest : public ::testing::TestWithParam<HostileLengthCase>
{
};

TEST_P(OggHostileLengthTest, DecodesWhatIsThereWhateverTheLastPageClaims)
{
    TestFiles files;
    const QByteArray original = oggFile(files);
    ASSERT_FALSE(original.isEmpty());
    AudioProcessor reference;
    ASSERT_TRUE(reference.loadAudioFile(files.path("src.ogg")));

    const QString path = files.write("patched.ogg", withLastGranule(original, GetParam().granule));
    AudioProcessor processor;
    ASSERT_TRUE(processor.loadAudioFile(path));
    // Without trusting the claim the decoder may keep the final page's padding.
    ASSERT_GE(processor.samples.size(), reference.samples.size());
    EXPECT_LE(processor.samples.size(), reference.samples.size() + 4096);
    EXPECT_EQ(processor.samples.mid(0, reference.samples.size()), reference.samples);
}

INSTANTIATE_TEST_SUITE_P(Claims, OggHostileLengthTest,
                         ::testing::Values(HostileLengthCase{"FourBillionFrames", 0xFFFFFFF0ull},
                                           HostileLengthCase{"MinusOne", ~0ull}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(FlacHostileHeader, HugeTotalSampleClaimLoadsTheRealFrames)
{
    TestFiles files;
    QByteArray flac = flacFile(files);
    ASSERT_FALSE(flac.isEmpty());
    // STREAMINFO's 36-bit total sits in the low nibble of byte 13 and bytes 14..17 of its body.
    const qsizetype info = 8;
    flac[info + 13] = char(quint8(flac[info + 13]) | 0x0F);
    for (int i = 14; i < 18; ++i)
        flac[info + i] = char(0xFF);
    const QString path = files.write("claims.flac", flac);
    const OracleAudio oracle = decodeWithFfmpeg(files.path("src.flac"));
    ASSERT_TRUE(oracle.ok);
    AudioProcessor processor;
    ASSERT_TRUE(processor.loadAudioFile(path));
    EXPECT_EQ(processor.stereoSamples, oracle.interleaved);
}

TEST(TruncatedStreams, KeepTheFramesBeforeTheCut)
{
    struct Case
    {
        const char *name;
        QByteArray (*make)(TestFiles &);
    };
    const Case cases[] = {{"src.mp3", mp3File}, {"src.flac", flacFile}, {"src.ogg", oggFile}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TestFiles files;
        const QByteArray whole = c.make(files);
        ASSERT_FALSE(whole.isEmpty());
        AudioProcessor complete;
        ASSERT_TRUE(complete.loadAudioFile(files.path(c.name)));
        const QString path = files.write(QString("cut.") + QString(c.name).section('.', 1), whole.left(whole.size() * 3 / 4));
        AudioProcessor cut;
        ASSERT_TRUE(cut.loadAudioFile(path));
        EXPECT_GT(cut.samples.size(), complete.samples.size() / 3);
        EXPECT_LT(cut.samples.size(), complete.samples.size());
        // Up to the cut the same signal (a decoder may drop gapless trimming on a cut file).
        const QList<float> interior = complete.samples.mid(4096, cut.samples.size() - 3 * 4096);
        const int offset = bestAlignment(interior, cut.samples.mid(4096), 2400);
        EXPECT_LT(rmsDifference(interior, cut.samples.mid(4096), offset), 1e-3) << "offset " << offset;
    }
}

} // namespace
