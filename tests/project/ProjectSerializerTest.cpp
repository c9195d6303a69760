// SPDX-License-Identifier: GPL-3.0-or-later
// The project document: hand-written fixtures in the current and both older audio forms,
// seeded round trips, the Part-level edge cases and a table of damaged documents.
#include "RandomProject.h"
#include "Requirement.h"

#include "project/ProjectFile.h"
#include "project/ProjectLimits.h"
#include "project/ProjectSerializer.h"

#include "OracleTool.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QJsonArray>
#include <QJsonObject>

#include <bit>
#include <functional>
#include <limits>

namespace {

QJsonDocument save(const ProjectData &project)
{
    return ProjectSerializer::saveProject(project.name, project.tracks, project.settings, project.currentTime,
                                          project.zoom, project.markers);
}

ProjectData withTracks(std::vector<TrackData> tracks)
{
    ProjectData project;
    project.tracks = std::move(tracks);
    return project;
}

ProjectFile::LoadResult readText(const QByteArray &text, ProjectData &project)
{
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    return ProjectFile::read(buffer, project);
}

// Written by Python's json module, so the reader is checked against an independent writer.
const char *fixtureScript = R"PY(
import base64, json, struct, sys
def b64(values):
    return base64.b64encode(struct.pack('<%df' % len(values), *values)).decode('ascii')
current = {
  "id": "6f1c2b9e-0000-4000-8000-000000000001", "name": "Fixture", "version": "1.0.0",
  "createdAt": "2024-05-01T12:00:00Z", "currentTime": 1.5, "zoom": 2.0,
  "settings": {"sampleRate": 48000, "bitDepth": 24, "channels": 1, "tempo": 97.5, "timeSignature": "3/4"},
  "tracks": [
    {"type": "audio", "name": "Vox", "color": "#102030", "volume": 1.25, "pan": -0.5, "muted": True,
     "solo": False, "envelopeEnabled": True,
     "volumeEnvelope": [{"time": 3.0, "value": 0.1}, {"time": 1.0, "value": 0.2}, {"time": 2.0, "value": 0.3}],
     "audioBlocks": [{"start": 5.0, "duration": 99, "audioStart": 0.25, "audioEnd": 0.125, "fadeIn": 0.5,
                      "fadeOut": 0.75, "fadeInCurve": 1, "fadeOutCurve": 3,
                      "audioData": {"type": "embedded", "format": "float32_base64", "sampleRate": 22050,
                                    "duration": 1, "length": 3,
                                    "channels": [b64([0.5, -0.25, 1.0]), b64([1, 0, -1]), b64([0, -0.5, 2])]}}]},
    {"type": "midi", "name": "Keys", "color": "#abcdef", "volume": 0.5, "pan": 0.25, "muted": False,
     "solo": True, "envelopeEnabled": False, "instrumentIndex": 5, "midiChannel": 9,
     "midiClips": [{"start": 2.0, "duration": 8.0,
                    "notes": [{"pitch": 64, "start": 0.5, "duration": 1.5, "velocity": 90}, {}]}, {}]}],
  "markers": [{"time": 1.0, "label": "Intro", "color": "#00ff00"}, {"time": 4.0, "label": "Verse"}],
  "effects": [], "automation": [], "metadata": {}}
numbers = {
  "version": "1.0.0",
  "tracks": [
    {"name": "number blocks",
     "audioBlocks": [{"start": 1.0, "audioData": {"type": "embedded", "sampleRate": 32000,
                                                   "channels": [[0.1, 0.2], [1, 2, 3], [4, 5]]}},
                     {"audioData": {"type": "embedded", "format": "other", "channels": [[0, 0.5, 1]]}}]},
    {"name": "track level", "audioBlocks": [],
     "audioData": {"type": "embedded", "format": "float32_base64", "sampleRate": 22050,
                   "channels": [[0.1, 0.2]]}},
    {"name": "track level ignored",
     "audioBlocks": [{"audioData": {"type": "embedded", "channels": [[0.7]]}}],
     "audioData": {"type": "embedded", "channels": [[0.1, 0.2]]}}]}
with open(sys.argv[1], 'w') as f:
    json.dump(current, f, indent=1)
with open(sys.argv[2], 'w') as f:
    json.dump(numbers, f)
)PY";

class ProjectFixtures : public testing::Test
{
protected:
    void SetUp() override
    {
        ZENTRIQ_REQUIRE(toolAvailable(QStringLiteral("python3")), "python3 missing");
        const ToolResult result = runTool(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromUtf8(fixtureScript),
                                                                      files.path("current.zqp"), files.path("numbers.zqp")});
        ASSERT_TRUE(result.ok()) << result.standardError.constData();
    }

    TestFiles files;
};

TEST_F(ProjectFixtures, CurrentFormLoadsEveryField)
{
    ProjectData project;
    ASSERT_EQ(ProjectFile::load(files.path("current.zqp"), project), ProjectFile::LoadResult::Loaded);
    EXPECT_EQ(project.id, QStringLiteral("6f1c2b9e-0000-4000-8000-000000000001"));
    EXPECT_EQ(project.name, QStringLiteral("Fixture"));
    EXPECT_EQ(project.version, QStringLiteral("1.0.0"));
    EXPECT_EQ(project.currentTime, 1.5);
    EXPECT_EQ(project.zoom, 2.0);
    // Without a MIDI reference tempo the MIDI clips play as stored, at the project tempo.
    EXPECT_EQ(project.settings, (ProjectSettings{48000, 24, 1, 97.5, QStringLiteral("3/4"), 97.5}));
    ASSERT_EQ(project.tracks.size(), 2u);

    const TrackData &audio = project.tracks[0];
    EXPECT_EQ(audio.type, TrackType::Audio);
    EXPECT_EQ(audio.name, QStringLiteral("Vox"));
    EXPECT_EQ(audio.color, QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(audio.volume, 1.25f);
    EXPECT_EQ(audio.pan, -0.5f);
    EXPECT_TRUE(audio.muted);
    EXPECT_FALSE(audio.solo);
    EXPECT_TRUE(audio.envelopeEnabled);
    EXPECT_EQ(audio.volumeEnvelope,
              (std::vector<EnvelopePoint>{{1.0, float(0.2)}, {2.0, float(0.3)}, {3.0, float(0.1)}}));
    ASSERT_EQ(audio.audioClips.size(), 1u);
    AudioClip clip;
    clip.samples = {0.5f, -0.25f, 1.0f};
    clip.stereoSamples = {1.0f, 0.0f, 0.0f, -0.5f, -1.0f, 2.0f};
    clip.sampleRate = 22050;
    clip.start = 5.0;
    clip.audioStart = 0.25;
    clip.audioEnd = 0.125;
    clip.fadeIn = 0.5;
    clip.fadeOut = 0.75;
    clip.fadeInCurve = FadeCurve::SCurve;
    clip.fadeOutCurve = FadeCurve::Logarithmic;
    EXPECT_EQ(audio.audioClips[0], clip);

    const TrackData &midi = project.tracks[1];
    EXPECT_EQ(midi.type, TrackType::Midi);
    EXPECT_EQ(midi.color, QColor(0xab, 0xcd, 0xef));
    EXPECT_EQ(midi.volume, 0.5f);
    EXPECT_EQ(midi.pan, 0.25f);
    EXPECT_TRUE(midi.solo);
    EXPECT_EQ(midi.instrumentIndex, 5);
    EXPECT_EQ(midi.midiChannel, 9);
    ASSERT_EQ(midi.midiClips.size(), 2u);
    EXPECT_EQ(midi.midiClips[0].start, 2.0);
    EXPECT_EQ(midi.midiClips[0].duration, 8.0);
    EXPECT_EQ(midi.midiClips[0].notes, (std::vector<MidiNote>{{64, 0.5, 1.5, 90}, MidiNote()}));
    EXPECT_EQ(midi.midiClips[1], MidiClip());

    ASSERT_EQ(project.markers.size(), 2u);
    EXPECT_EQ(project.markers[0], (TimelineMarker{1.0, QStringLiteral("Intro"), QColor(0, 255, 0)}));
    EXPECT_EQ(project.markers[1], (TimelineMarker{4.0, QStringLiteral("Verse"), QColor(255, 165, 0)}));
}

TEST_F(ProjectFixtures, OlderNumberFormsLoad)
{
    ProjectData project;
    ASSERT_EQ(ProjectFile::load(files.path("numbers.zqp"), project), ProjectFile::LoadResult::Loaded);
    EXPECT_EQ(project.name, QStringLiteral("Untitled"));
    EXPECT_EQ(project.settings, ProjectSettings());
    ASSERT_EQ(project.tracks.size(), 3u);

    const auto &blocks = project.tracks[0].audioClips;
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].start, 1.0);
    EXPECT_EQ(blocks[0].sampleRate, 32000);
    EXPECT_EQ(blocks[0].samples, (QList<float>{0.1f, 0.2f}));
    EXPECT_EQ(blocks[0].stereoSamples, (QList<float>{1, 4, 2, 5}));
    EXPECT_EQ(blocks[1].samples, (QList<float>{0.0f, 0.5f, 1.0f}));
    EXPECT_TRUE(blocks[1].stereoSamples.isEmpty());

    const auto &fallback = project.tracks[1].audioClips;
    ASSERT_EQ(fallback.size(), 1u);
    EXPECT_EQ(fallback[0].start, 0.0);
    EXPECT_EQ(fallback[0].sampleRate, 22050);
    EXPECT_EQ(fallback[0].samples, (QList<float>{0.1f, 0.2f}));

    ASSERT_EQ(project.tracks[2].audioClips.size(), 1u);
    EXPECT_EQ(project.tracks[2].audioClips[0].samples, (QList<float>{0.7f}));
}

class ProjectRoundTrip : public testing::TestWithParam<unsigned>
{
};

// Both readers: the document handed over in memory, and the file bytes read back.
TEST_P(ProjectRoundTrip, LoadOfSaveGivesTheSameProject)
{
    ProjectData original = randomProject(GetParam());
    original.currentTime = GetParam() * 0.25;
    original.zoom = 1.0 + GetParam() % 3;
    const QJsonDocument document = save(original);

    ProjectData fromDocument;
    ASSERT_TRUE(ProjectSerializer::loadProject(document, fromDocument));
    ProjectData fromText;
    ASSERT_EQ(readText(document.toJson(QJsonDocument::Indented), fromText), ProjectFile::LoadResult::Loaded);

    original.id = fromDocument.id;
    EXPECT_EQ(fromDocument, original);
    fromText.id = original.id;
    EXPECT_EQ(fromText, original);
}

INSTANTIATE_TEST_SUITE_P(Seeds, ProjectRoundTrip, testing::Range(1u, 25u));

TEST(ProjectDocument, EmptyProject)
{
    const QJsonObject root = save(ProjectData()).object();
    EXPECT_EQ(root.value("tracks"), QJsonArray());
    EXPECT_EQ(root.value("markers"), QJsonArray());
    EXPECT_EQ(root.value("name"), QStringLiteral("Untitled"));
    EXPECT_NE(root.value("id"), save(ProjectData()).object().value("id"));
    ProjectData loaded;
    ASSERT_TRUE(ProjectSerializer::loadProject(QJsonDocument(root), loaded));
    EXPECT_TRUE(loaded.tracks.empty());
}

TEST(ProjectDocument, ChannelStringsPerClip)
{
    TrackData track;
    AudioClip mono;
    mono.samples = {0.1f, 0.2f};
    AudioClip stereo = mono;
    stereo.stereoSamples = {1, 2, 3, 4, 5};
    track.audioClips = {mono, stereo};
    const QJsonArray blocks = save(withTracks({track})).object()["tracks"][0]["audioBlocks"].toArray();
    const QJsonArray monoChannels = blocks[0]["audioData"]["channels"].toArray();
    ASSERT_EQ(monoChannels.size(), 1);
    const QJsonArray stereoChannels = blocks[1]["audioData"]["channels"].toArray();
    ASSERT_EQ(stereoChannels.size(), 3);
    EXPECT_EQ(QByteArray::fromBase64(stereoChannels[1].toString().toLatin1()).size(), 8);
    EXPECT_EQ(QByteArray::fromBase64(stereoChannels[2].toString().toLatin1()).size(), 8);

    ProjectData loaded;
    ASSERT_TRUE(ProjectSerializer::loadProject(save(withTracks({track})), loaded));
    EXPECT_EQ(loaded.tracks[0].audioClips[1].stereoSamples, (QList<float>{1, 2, 3, 4}));
}

TEST(ProjectDocument, UnsavedFieldsComeBackAsDefaults)
{
    TrackData track;
    track.type = TrackType::Midi;
    track.armed = true;
    track.pluginId = 3;
    track.insertPluginPaths = {QStringLiteral("/x.vst3")};
    MidiClip clip;
    clip.id = 7;
    track.midiClips = {clip};
    ProjectData loaded;
    ASSERT_TRUE(ProjectSerializer::loadProject(save(withTracks({track})), loaded));
    const TrackData &back = loaded.tracks[0];
    EXPECT_FALSE(back.armed);
    EXPECT_EQ(back.pluginId, -1);
    EXPECT_TRUE(back.insertPluginPaths.empty());
    EXPECT_EQ(back.midiClips[0].id, 0);
    EXPECT_FALSE(save(withTracks({track})).object()["tracks"][0].toObject().contains("volumeEnvelope"));
}

// A mended fault: an invalid colour used to be written as black and reload black.
TEST(ProjectDocument, InvalidTrackColourKeepsTheDefaultColour)
{
    ProjectData loaded;
    ASSERT_TRUE(ProjectSerializer::loadProject(save(withTracks({TrackData()})), loaded));
    EXPECT_EQ(loaded.tracks[0].color, QColor(0x4A, 0x90, 0xD9));
}

QByteArray base64Floats(std::initializer_list<float> values)
{
    QByteArray bytes;
    for (float v : values) {
        const quint32 bits = std::bit_cast<quint32>(v);
        for (int i = 0; i < 4; ++i)
            bytes.append(char(bits >> (8 * i)));
    }
    return bytes.toBase64();
}

QByteArray clipDocument(const QByteArray &channels, const QByteArray &extra = {})
{
    return R"({"version": "1.0.0", "tracks": [{"audioBlocks": [{)" + extra +
           R"("audioData": {"type": "embedded", "format": "float32_base64", "channels": [)" + channels + "]}}]}]}";
}

struct BadInputCase
{
    const char *name;
    QByteArray text;
    ProjectFile::LoadResult expected;
    std::function<void(const ProjectData &)> check;  // for documents that load with a repair
};

TEST(ProjectDocument, DamagedDocuments)
{
    using R = ProjectFile::LoadResult;
    const QByteArray two = '"' + base64Floats({0.25f, -0.5f}) + '"';
    const QByteArray three = '"' + base64Floats({1, 2, 3}) + '"';
    const float inf = std::numeric_limits<float>::infinity();
    const auto firstClip = [](const ProjectData &p) -> const AudioClip & { return p.tracks.at(0).audioClips.at(0); };
    const BadInputCase cases[] = {
        {"root is an array", "[]", R::NotProject, {}},
        {"no version", R"({"tracks": []})", R::NotProject, {}},
        {"no tracks", R"({"version": "1.0.0"})", R::NotProject, {}},
        {"not JSON", "{\"version\": ", R::NotJson, {}},
        {"bad Base64 character", clipDocument("\"AAAA*AAA\""), R::NotProject, {}},
        {"Base64 group cut short", clipDocument("\"AAAAAA\""), R::NotProject, {}},
        {"padding inside", clipDocument("\"AA==AAAA\""), R::NotProject, {}},
        {"10-byte payload", clipDocument('"' + QByteArray(10, 'x').toBase64() + '"'), R::NotProject, {}},
        {"bad right channel", clipDocument(two + "," + two + ",\"@@@@\""), R::NotProject, {}},
        {"sample rate text", R"({"version": "1", "tracks": [], "settings": {"sampleRate": "x", "tempo": -3}})",
         R::Loaded,
         [](const ProjectData &p) {
             EXPECT_EQ(p.settings.sampleRate, 44100);
             EXPECT_EQ(p.settings.tempo, 120.0);
         }},
        {"absurd sample rate", R"({"version": "1", "tracks": [], "settings": {"sampleRate": 2000000000}})", R::Loaded,
         [](const ProjectData &p) { EXPECT_EQ(p.settings.sampleRate, 44100); }},
        {"MIDI tempo of 0", R"({"version": "1", "tracks": [], "settings": {"tempo": 90, "midiFileTempo": 0}})",
         R::Loaded, [](const ProjectData &p) { EXPECT_EQ(p.settings.midiFileTempo, 90.0); }},
        {"MIDI tempo text", R"({"version": "1", "tracks": [], "settings": {"tempo": 90, "midiFileTempo": "x"}})",
         R::Loaded, [](const ProjectData &p) { EXPECT_EQ(p.settings.midiFileTempo, 90.0); }},
        {"left and right of different lengths", clipDocument(two + "," + two + "," + three), R::Loaded,
         [&](const ProjectData &p) { EXPECT_EQ(firstClip(p).stereoSamples, (QList<float>{0.25f, 1, -0.5f, 2})); }},
        {"stereo frames differ from mono", clipDocument(three + "," + two + "," + two), R::Loaded,
         [&](const ProjectData &p) {
             EXPECT_EQ(firstClip(p).samples, (QList<float>{1, 2, 3}));
             EXPECT_TRUE(firstClip(p).stereoSamples.isEmpty());
         }},
        {"empty channel strings", clipDocument(R"("", "", "")"), R::Loaded,
         [&](const ProjectData &p) {
             EXPECT_TRUE(firstClip(p).samples.isEmpty());
             EXPECT_TRUE(firstClip(p).stereoSamples.isEmpty());
         }},
        {"two channel entries", clipDocument(two + "," + two), R::Loaded,
         [&](const ProjectData &p) { EXPECT_TRUE(firstClip(p).stereoSamples.isEmpty()); }},
        {"non-finite samples", clipDocument('"' + base64Floats({inf, 0.5f, std::nanf("")}) + '"'), R::Loaded,
         [&](const ProjectData &p) { EXPECT_EQ(firstClip(p).samples, (QList<float>{0.0f, 0.5f, 0.0f})); }},
        {"numbers too large for a float", R"({"version": "1", "tracks": [{"volume": 1e300, "audioBlocks": [
             {"audioData": {"type": "embedded", "channels": [[1e300, -1e39, 0.5]]}}]}]})",
         R::Loaded,
         [&](const ProjectData &p) {
             EXPECT_EQ(p.tracks[0].volume, 0.8f);
             EXPECT_EQ(firstClip(p).samples, (QList<float>{0.0f, 0.0f, 0.5f}));
         }},
        {"bad clip timing", clipDocument(two, R"("audioStart": -1, "audioEnd": -0.5, "fadeIn": -2, "fadeOut": 0.5, )"),
         R::Loaded,
         [&](const ProjectData &p) {
             const AudioClip &c = firstClip(p);
             EXPECT_EQ(c.audioStart, 0.0);
             EXPECT_EQ(c.audioEnd, 0.0);
             EXPECT_EQ(c.fadeIn, 0.0);
             EXPECT_EQ(c.fadeOut, 0.5);
         }},
        {"clip sample rate zero", R"({"version": "1", "tracks": [{"audioBlocks": [
             {"audioData": {"type": "embedded", "sampleRate": 0, "channels": [[0.5]]}}]}]})",
         R::Loaded, [&](const ProjectData &p) { EXPECT_EQ(firstClip(p).sampleRate, 44100); }},
        {"not embedded", R"({"version": "1", "tracks": [{"audioBlocks": [{"start": 2, "fadeIn": 0.5,
             "audioData": {"type": "file", "sampleRate": 8000, "channels": [[0.5]]}}]}]})",
         R::Loaded,
         [&](const ProjectData &p) {
             EXPECT_TRUE(firstClip(p).samples.isEmpty());
             EXPECT_EQ(firstClip(p).sampleRate, 44100);
             EXPECT_EQ(firstClip(p).start, 2.0);
             EXPECT_EQ(firstClip(p).fadeIn, 0.5);
         }},
        {"MIDI values out of range", R"({"version": "1", "tracks": [{"type": "midi", "midiChannel": 20,
             "midiClips": [{"notes": [{"pitch": 200, "velocity": -5}, {"pitch": -1, "velocity": 300}]}]}]})",
         R::Loaded,
         [](const ProjectData &p) {
             EXPECT_EQ(p.tracks[0].midiChannel, 15);
             EXPECT_EQ(p.tracks[0].midiClips[0].notes,
                       (std::vector<MidiNote>{{127, 0.0, 0.5, 0}, {0, 0.0, 0.5, 127}}));
         }},
        {"track kinds and colours", R"({"version": "1", "tracks": [{"type": "MIDI", "color": "nonsense"}, 5]})",
         R::Loaded,
         [](const ProjectData &p) {
             ASSERT_EQ(p.tracks.size(), 2u);
             EXPECT_EQ(p.tracks[0].type, TrackType::Audio);
             EXPECT_EQ(p.tracks[0].color, QColor(0x4A, 0x90, 0xD9));
             EXPECT_EQ(p.tracks[1].color, QColor(0x4A, 0x90, 0xD9));
         }},
        {"markers out of order", R"({"version": "1", "tracks": [], "markers": [
             {"time": 5, "label": "b"}, {"time": 1, "label": "a", "color": "bogus"}, {"time": 5, "label": "c"}]})",
         R::Loaded,
         [](const ProjectData &p) {
             ASSERT_EQ(p.markers.size(), 3u);
             EXPECT_EQ(p.markers[0].label, QStringLiteral("a"));
             EXPECT_FALSE(p.markers[0].color.isValid());
             EXPECT_EQ(p.markers[1].label, QStringLiteral("b"));
             EXPECT_EQ(p.markers[2].label, QStringLiteral("c"));
         }},
    };
    for (const BadInputCase &c : cases) {
        SCOPED_TRACE(c.name);
        ProjectData project;
        project.name = QStringLiteral("untouched");
        const ProjectData before = project;
        ASSERT_EQ(readText(c.text, project), c.expected);
        if (c.expected == ProjectFile::LoadResult::Loaded)
            c.check(project);
        else
            EXPECT_EQ(project, before);
    }
}

TEST(ProjectDocument, EnvelopeStepsKeepTheirOrder)
{
    const QByteArray text = R"({"version": "1", "tracks": [{"volumeEnvelope": [
        {"time": 3.0, "value": 0.3}, {"time": 2.0, "value": 0.9}, {"time": 1.0}, {"time": 2.0, "value": 0.1}]}]})";
    ProjectData project;
    ASSERT_EQ(readText(text, project), ProjectFile::LoadResult::Loaded);
    EXPECT_EQ(project.tracks[0].volumeEnvelope,
              (std::vector<EnvelopePoint>{{1.0, 0.8f}, {2.0, float(0.9)}, {2.0, float(0.1)}, {3.0, float(0.3)}}));
}

// `count` copies of `item`, comma-separated, for documents that declare many of something.
QByteArray repeated(const QByteArray &item, qsizetype count)
{
    QByteArray text;
    text.reserve((item.size() + 1) * count);
    for (qsizetype i = 0; i < count; ++i) {
        if (i > 0)
            text += ',';
        text += item;
    }
    return text;
}

QByteArray tracksDocument(const QByteArray &tracks)
{
    return R"({"version": "1.0.0", "tracks": [)" + tracks + "]}";
}

TEST(ProjectDocument, MoreThanTheEditorCanShowIsRefusedUntouched)
{
    using R = ProjectFile::LoadResult;
    using E = ProjectLoadReport::Excess;
    const auto midiTrack = [](const QByteArray &clips) { return R"({"type": "midi", "midiClips": [)" + clips + "]}"; };
    const auto clipOfNotes = [](qsizetype notes) { return R"({"notes": [)" + repeated("{}", notes) + "]}"; };
    const struct
    {
        const char *name;
        QByteArray text;
        R expected;
        E excess;
        qsizetype declared;
    } cases[] = {
        {"as many tracks as allowed", tracksDocument(repeated("{}", ProjectLimits::maxTracks)), R::Loaded, E::None, 0},
        {"one track more", tracksDocument(repeated("{}", ProjectLimits::maxTracks + 1)), R::TooLarge, E::Tracks,
         ProjectLimits::maxTracks + 1},
        {"as many clips as allowed, audio and MIDI",
         tracksDocument(R"({"audioBlocks": [)" + repeated("{}", ProjectLimits::maxClips / 2) + "]}," +
                        midiTrack(repeated("{}", ProjectLimits::maxClips / 2))),
         R::Loaded, E::None, 0},
        {"clips of all tracks together one more",
         tracksDocument(R"({"audioBlocks": [)" + repeated("{}", ProjectLimits::maxClips / 2) + "]}," +
                        midiTrack(repeated("{}", ProjectLimits::maxClips / 2 + 1))),
         R::TooLarge, E::Clips, ProjectLimits::maxClips + 1},
        {"notes of all clips together one more",
         tracksDocument(midiTrack(clipOfNotes(ProjectLimits::maxNotes / 2)) + "," +
                        midiTrack(clipOfNotes(ProjectLimits::maxNotes / 2 + 1))),
         R::TooLarge, E::Notes, ProjectLimits::maxNotes + 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ProjectData project;
        project.name = QStringLiteral("untouched");
        const ProjectData before = project;
        ProjectLoadReport report;
        QBuffer buffer;
        buffer.setData(c.text);
        buffer.open(QIODevice::ReadOnly);
        ASSERT_EQ(ProjectFile::read(buffer, project, nullptr, &report), c.expected);
        EXPECT_EQ(report.excess, c.excess);
        EXPECT_EQ(report.declared, c.declared);
        if (c.expected != R::Loaded) {
            EXPECT_EQ(project, before);
        }
    }
}

TEST(ProjectDocument, RatesOutsideWhatDevicesUseAreReadAs44100AndReported)
{
    const auto document = [](int projectRate, std::initializer_list<int> clipRates) {
        QByteArray blocks;
        for (const int rate : clipRates) {
            if (!blocks.isEmpty())
                blocks += ',';
            blocks += R"({"audioData": {"type": "embedded", "format": "float32_base64", "sampleRate": )" +
                      QByteArray::number(rate) + R"(, "channels": [")" + base64Floats({0.5f}) + R"("]}})";
        }
        return R"({"version": "1.0.0", "settings": {"sampleRate": )" + QByteArray::number(projectRate) +
               R"(}, "tracks": [{"audioBlocks": [)" + blocks + "]}]}";
    };
    const struct
    {
        const char *name;
        QByteArray text;
        int projectRate;
        std::vector<int> clipRates;
        std::vector<int> replaced;
    } cases[] = {
        {"the ends of the range", document(8000, {384000, 8000}), 8000, {384000, 8000}, {}},
        {"a clip at 1 Hz", document(48000, {1, 22050}), 48000, {44100, 22050}, {1}},
        {"just outside, each rate reported once", document(7999, {384001, 384001, 1}), 44100,
         {44100, 44100, 44100}, {7999, 384001, 1}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ProjectData project;
        ProjectLoadReport report;
        QBuffer buffer;
        buffer.setData(c.text);
        buffer.open(QIODevice::ReadOnly);
        ASSERT_EQ(ProjectFile::read(buffer, project, nullptr, &report), ProjectFile::LoadResult::Loaded);
        EXPECT_EQ(project.settings.sampleRate, c.projectRate);
        std::vector<int> clipRates;
        for (const AudioClip &clip : project.tracks.at(0).audioClips)
            clipRates.push_back(clip.sampleRate);
        EXPECT_EQ(clipRates, c.clipRates);
        EXPECT_EQ(report.replacedRates, c.replaced);
        EXPECT_EQ(report.excess, ProjectLoadReport::Excess::None);
    }
}

} // namespace
