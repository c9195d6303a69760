// SPDX-License-Identifier: GPL-3.0-or-later
// .zqp files on disk: byte-for-byte the document QJsonDocument would write, read by Python
// as an independent reader, audio kept outside the parsed text, damaged files refused.
#include "RandomProject.h"
#include "Requirement.h"

#include "project/ExtractedStrings.h"
#include "project/ProjectFile.h"

#include "OracleTool.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

ProjectFile::SaveResult saveFile(const QString &path, const ProjectData &project)
{
    return ProjectFile::save(path, project.name, project.tracks, project.settings, project.currentTime, project.zoom,
                             project.markers);
}

QList<float> tone(qsizetype count, float scale)
{
    QList<float> list(count);
    for (qsizetype i = 0; i < count; ++i)
        list[i] = scale * float(std::sin(0.01 * double(i)));
    return list;
}

ProjectData stereoProject(qsizetype frames)
{
    AudioClip clip;
    clip.samples = tone(frames, 0.5f);
    clip.stereoSamples = tone(2 * frames, 0.25f);
    TrackData track;
    track.name = QStringLiteral("Take");
    track.color = QColor(1, 2, 3);
    track.audioClips = {clip};
    ProjectData project;
    project.name = QStringLiteral("Song");
    project.version = QStringLiteral("1.0.0");
    project.tracks = {track};
    return project;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(ProjectFile, WritesExactlyTheIndentedDocumentAndReadsItBack)
{
    TestFiles files;
    for (unsigned seed = 100; seed < 110; ++seed) {
        SCOPED_TRACE(seed);
        ProjectData project = randomProject(seed);
        ASSERT_EQ(saveFile(files.path("p.zqp"), project), ProjectFile::SaveResult::Saved);
        const QByteArray bytes = readAll(files.path("p.zqp"));
        EXPECT_EQ(QJsonDocument::fromJson(bytes).toJson(QJsonDocument::Indented), bytes);

        ProjectData loaded;
        ASSERT_EQ(ProjectFile::load(files.path("p.zqp"), loaded), ProjectFile::LoadResult::Loaded);
        project.id = loaded.id;
        EXPECT_EQ(loaded, project);
    }
}

// Python's json, base64 and struct read the file independently of Qt.
TEST(ProjectFile, PythonReadsTheSavedFile)
{
    ZENTRIQ_REQUIRE(toolAvailable(QStringLiteral("python3")), "python3 missing");
    TestFiles files;
    ProjectData project = stereoProject(30001);  // 120004 bytes: a padded last group
    AudioClip &clip = project.tracks[0].audioClips[0];
    clip.samples[1] = -0.0f;
    clip.samples[2] = std::nanf("");
    clip.stereoSamples[3] = -INFINITY;
    TrackData midi;
    midi.type = TrackType::Midi;
    midi.midiClips = {MidiClip()};
    project.tracks.push_back(midi);
    project.settings.tempo = 133.25;
    ASSERT_EQ(saveFile(files.path("song.zqp"), project), ProjectFile::SaveResult::Saved);

    const char *script = R"PY(
import base64, json, struct, sys, uuid
d = json.load(open(sys.argv[1], encoding='utf-8'))
audio, midi = d['tracks']
block = audio['audioBlocks'][0]
bits = []
for text in block['audioData']['channels']:
    raw = base64.b64decode(text, validate=True)
    bits.append(list(struct.unpack('<%dI' % (len(raw) // 4), raw)))
print(json.dumps({
    'rootKeys': sorted(d), 'settingsKeys': sorted(d['settings']), 'metadataKeys': sorted(d['metadata']),
    'audioKeys': sorted(audio), 'midiKeys': sorted(midi), 'blockKeys': sorted(block),
    'dataKeys': sorted(block['audioData']), 'version': d['version'],
    'uuid': str(uuid.UUID(d['id'])) == d['id'], 'volume': audio['volume'], 'tempo': d['settings']['tempo'],
    'length': block['audioData']['length'], 'format': block['audioData']['format'], 'bits': bits}))
)PY";
    const ToolResult result = runTool(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromUtf8(script),
                                                                  files.path("song.zqp")});
    ASSERT_TRUE(result.ok()) << result.standardError.constData();
    const QJsonObject seen = QJsonDocument::fromJson(result.standardOutput).object();

    const auto keys = [](std::initializer_list<const char *> names) {
        QJsonArray array;
        for (const char *name : names)
            array.append(QString::fromLatin1(name));
        return array;
    };
    EXPECT_EQ(seen["rootKeys"], keys({"automation", "createdAt", "currentTime", "effects", "id", "markers", "metadata",
                                      "name", "settings", "tracks", "updatedAt", "version", "zoom"}));
    EXPECT_EQ(seen["settingsKeys"], keys({"bitDepth", "channels", "midiFileTempo", "sampleRate", "tempo", "timeSignature"}));
    EXPECT_EQ(seen["metadataKeys"], keys({"album", "artist", "description", "genre", "tags", "year"}));
    EXPECT_EQ(seen["audioKeys"],
              keys({"audioBlocks", "color", "envelopeEnabled", "muted", "name", "pan", "solo", "type", "volume"}));
    EXPECT_EQ(seen["midiKeys"], keys({"color", "envelopeEnabled", "instrumentIndex", "midiChannel", "midiClips",
                                      "muted", "name", "pan", "solo", "type", "volume"}));
    EXPECT_EQ(seen["blockKeys"], keys({"audioData", "audioEnd", "audioStart", "duration", "fadeIn", "fadeInCurve",
                                       "fadeOut", "fadeOutCurve", "start"}));
    EXPECT_EQ(seen["dataKeys"], keys({"channels", "duration", "format", "length", "sampleRate", "type"}));
    EXPECT_EQ(seen["version"], QStringLiteral("1.0.0"));
    EXPECT_TRUE(seen["uuid"].toBool());
    EXPECT_EQ(seen["volume"].toDouble(), 0.800000011920929);
    EXPECT_EQ(seen["tempo"].toDouble(), 133.25);
    EXPECT_EQ(seen["length"].toInt(), 30001);
    EXPECT_EQ(seen["format"], QStringLiteral("float32_base64"));

    const QJsonArray bits = seen["bits"].toArray();
    ASSERT_EQ(bits.size(), 3);
    const auto sameBits = [](const QJsonArray &written, const QList<float> &list, int first, int stride) {
        const qsizetype count = (list.size() - first + stride - 1) / stride;
        if (written.size() != count)
            return testing::AssertionFailure() << written.size() << " floats written, " << count << " expected";
        for (qsizetype i = 0; i < count; ++i)
            if (quint32(written[i].toDouble()) != std::bit_cast<quint32>(list[first + i * stride]))
                return testing::AssertionFailure() << "float " << i << " differs";
        return testing::AssertionSuccess();
    };
    EXPECT_TRUE(sameBits(bits[0].toArray(), clip.samples, 0, 1));
    EXPECT_TRUE(sameBits(bits[1].toArray(), clip.stereoSamples, 0, 2));
    EXPECT_TRUE(sameBits(bits[2].toArray(), clip.stereoSamples, 1, 2));
}

// The audio never goes through QJsonDocument: the text it parses does not grow with the audio,
// which is what lets projects past its size limits (about 50 minutes of stereo) open again.
TEST(ProjectFile, ParsedTextStaysSmallWhateverTheAudioLength)
{
    TestFiles files;
    qsizetype skeletonSizes[2] = {};
    const qsizetype frames[2] = {44100, 20 * 44100};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(frames[i]);
        const ProjectData project = stereoProject(frames[i]);
        ASSERT_EQ(saveFile(files.path("long.zqp"), project), ProjectFile::SaveResult::Saved);
        QFile file(files.path("long.zqp"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_GT(file.size(), frames[i] * 3 * 4 * 4 / 3);
        ExtractedStrings extracted(file);
        QString error;
        const auto skeleton = extracted.extract(error);
        ASSERT_TRUE(skeleton);
        skeletonSizes[i] = skeleton->size();
        for (int channel = 0; channel < 3; ++channel)
            EXPECT_EQ(extracted.channel(channel).floatCount(), frames[i]);
        file.seek(0);

        ProjectData loaded;
        ASSERT_EQ(ProjectFile::read(file, loaded), ProjectFile::LoadResult::Loaded);
        EXPECT_EQ(loaded.tracks, project.tracks);
    }
    EXPECT_LT(skeletonSizes[1], 2048);
    EXPECT_LE(std::abs(skeletonSizes[1] - skeletonSizes[0]), 8);  // only the digits of lengths differ
}

// Long strings that are not channels: Base64-looking text and text with escapes, both longer
// than the extraction threshold, must come back exactly.
TEST(ProjectFile, LongStringsOutsideChannelsComeBackExactly)
{
    TestFiles files;
    const QString base64Like = QString(ExtractedStrings::extractAbove + 5, QLatin1Char('A'));
    QString escaped = QStringLiteral("引号\"反斜杠\\") + QString(ExtractedStrings::extractAbove, QLatin1Char('B'));
    escaped.insert(ExtractedStrings::extractAbove / 2, QStringLiteral("\n中\t"));
    ProjectData project = stereoProject(10);
    project.tracks[0].name = base64Like;
    project.markers = {{1.0, escaped, QColor(9, 9, 9)}};
    ASSERT_EQ(saveFile(files.path("names.zqp"), project), ProjectFile::SaveResult::Saved);
    ProjectData loaded;
    ASSERT_EQ(ProjectFile::load(files.path("names.zqp"), loaded), ProjectFile::LoadResult::Loaded);
    EXPECT_EQ(loaded.tracks[0].name, base64Like);
    EXPECT_EQ(loaded.markers[0].label, escaped);
}

// A device that stops answering seeks once reading has begun, as a vanished network file does.
class SeekFailingBuffer : public QBuffer
{
public:
    using QBuffer::QBuffer;
    bool seek(qint64 position) override { return pos() == 0 && position == 0 && QBuffer::seek(position); }
};

// A long string that must be read again is lost to the device, not to its size: the error says so.
TEST(ProjectFile, AFailedReReadIsAReadErrorNotASizeError)
{
    QByteArray text = "{\"name\": \"" + QByteArray(ExtractedStrings::extractAbove + 10, 'B') + "!\"}";
    SeekFailingBuffer buffer(&text);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    ExtractedStrings extracted(buffer);
    QString error;
    EXPECT_FALSE(extracted.extract(error));
    EXPECT_EQ(error, QStringLiteral("读取文件时出错"));
}

struct DamageCase
{
    const char *name;
    std::function<void(QByteArray &)> damage;
    ProjectFile::LoadResult expected;
};

TEST(ProjectFile, DamagedFilesChangeNothing)
{
    TestFiles files;
    ASSERT_EQ(saveFile(files.path("good.zqp"), stereoProject(50000)), ProjectFile::SaveResult::Saved);
    const QByteArray good = readAll(files.path("good.zqp"));
    // Somewhere well inside the first (mono) channel string.
    const qsizetype inside = good.indexOf("\"channels\"") + 100000;
    using R = ProjectFile::LoadResult;
    const DamageCase cases[] = {
        {"truncated in the audio", [](QByteArray &b) { b.truncate(b.size() / 2); }, R::NotJson},
        {"truncated at the end", [](QByteArray &b) { b.chop(3); }, R::NotJson},
        {"empty file", [](QByteArray &b) { b.clear(); }, R::NotJson},
        {"foreign character in a channel", [&](QByteArray &b) { b[inside] = '*'; }, R::NotProject},
        {"padding inside a channel", [&](QByteArray &b) { b[inside] = '='; }, R::NotProject},
        {"one character lost", [&](QByteArray &b) { b.remove(inside, 1); }, R::NotProject},
        {"four characters lost", [&](QByteArray &b) { b.remove(inside, 4); }, R::NotProject},
        {"quote inside a channel", [&](QByteArray &b) { b[inside] = '"'; }, R::NotJson},
    };
    for (const DamageCase &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray bytes = good;
        c.damage(bytes);
        const QString path = files.write(QStringLiteral("bad.zqp"), bytes);
        ProjectData project = randomProject(7);
        const ProjectData before = project;
        QString error;
        EXPECT_EQ(ProjectFile::load(path, project, &error), c.expected);
        EXPECT_EQ(project, before);
        if (c.expected == R::NotJson) {
            EXPECT_FALSE(error.isEmpty());
            EXPECT_FALSE(error.contains(QRegularExpression(QStringLiteral("[a-z]{3,}")))) << error.toStdString();
        }
    }
}

// The reason goes to the user as "文件格式错误: <reason>": in Chinese, never the parser's English.
TEST(ProjectFile, BrokenJsonIsExplainedInTheUsersWords)
{
    const struct
    {
        const char *text;
        const char *reason;
    } cases[] = {
        {"{\"version\": \"1.0.0\", \"tracks\": [", "数组没有结束（缺少 “]”）"},
        {"{\"version\" \"1.0.0\"}", "名称后缺少 “:”"},
        {"{\"a\": tru}", "含有无效的值"},
        {"{\"a\": \"\\u12\"}", "含有无效的转义序列"},
        {"[1,]", "逗号后缺少内容"},
        {"{} {}", "结尾有多余的内容"},
        {"", "含有无效的值"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        QBuffer buffer;
        buffer.setData(QByteArray(c.text));
        ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
        ProjectData project;
        QString reason;
        EXPECT_EQ(ProjectFile::read(buffer, project, &reason), ProjectFile::LoadResult::NotJson);
        EXPECT_EQ(reason, QString::fromUtf8(c.reason));
    }
}

TEST(ProjectFile, FailedSaveLeavesNoFile)
{
    TestFiles files;
    const QString path = files.path("missing-folder/p.zqp");
    EXPECT_EQ(saveFile(path, stereoProject(10)), ProjectFile::SaveResult::CannotOpen);
    EXPECT_FALSE(QFile::exists(path));
    ProjectData project;
    EXPECT_EQ(ProjectFile::load(path, project), ProjectFile::LoadResult::CannotOpen);
}

// Numbers in the file never follow the user's locale: round trips under a decimal comma.
class DecimalCommaLocale : public testing::Test
{
protected:
    void SetUp() override
    {
        // scripts/install-deps.sh generates it.
        ZENTRIQ_REQUIRE(std::setlocale(LC_ALL, "de_DE.UTF-8"), "the de_DE.UTF-8 locale is not installed");
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", 1.5);
        ASSERT_STREQ(text, "1,5");
    }
    void TearDown() override
    {
        std::setlocale(LC_ALL, "C");
        QLocale::setDefault(QLocale::c());
    }
};

TEST_F(DecimalCommaLocale, RoundTripKeepsEveryNumber)
{
    TestFiles files;
    for (unsigned seed = 200; seed < 206; ++seed) {
        SCOPED_TRACE(seed);
        ProjectData project = randomProject(seed);
        project.currentTime = 12.75;
        project.zoom = 0.5;
        ASSERT_EQ(saveFile(files.path("komma.zqp"), project), ProjectFile::SaveResult::Saved);
        EXPECT_FALSE(readAll(files.path("komma.zqp")).contains("\"tempo\": 1,"));
        ProjectData loaded;
        ASSERT_EQ(ProjectFile::load(files.path("komma.zqp"), loaded), ProjectFile::LoadResult::Loaded);
        project.id = loaded.id;
        EXPECT_EQ(loaded, project);
    }
}

} // namespace
