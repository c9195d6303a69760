// SPDX-License-Identifier: GPL-3.0-or-later
// Standard MIDI File import against files written by mido, hand-built cases and hostile files.
#include "engine/MidiFileParser.h"

#include "MidiTestLog.h"
#include "OracleTool.h"
#include "Requirement.h"
#include "TestFiles.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void append32(Bytes &out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back((value >> shift) & 0xFF);
}

void append16(Bytes &out, std::uint16_t value)
{
    out.push_back(value >> 8);
    out.push_back(value & 0xFF);
}

// A chunk with a stated length that may differ from the data it carries.
Bytes chunk(const char *type, const Bytes &data, std::int64_t statedLength = -1)
{
    Bytes out(type, type + 4);
    append32(out, statedLength < 0 ? std::uint32_t(data.size()) : std::uint32_t(statedLength));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes header(int format, int trackCount, int division, std::uint32_t length = 6)
{
    Bytes out{'M', 'T', 'h', 'd'};
    append32(out, length);
    append16(out, std::uint16_t(format));
    append16(out, std::uint16_t(trackCount));
    append16(out, std::uint16_t(division));
    return out;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes smf(int format, int division, std::initializer_list<Bytes> tracks)
{
    Bytes out = header(format, int(tracks.size()), division);
    for (const Bytes &events : tracks)
        out = concat({out, chunk("MTrk", events)});
    return out;
}

struct ParseResult
{
    bool ok = false;
    QList<ImportedMidiTrack> tracks;
    double duration = -1.0;  // sentinel values show outputs left untouched
    double bpm = -1.0;

    std::size_t noteCount() const
    {
        std::size_t count = 0;
        for (const auto &track : tracks)
            count += track.notes.size();
        return count;
    }
};

// Parses from a buffer of exactly the file's size, so the sanitizer sees any read past its end.
ParseResult parse(const Bytes &bytes)
{
    std::vector<char> exact(bytes.begin(), bytes.end());
    ParseResult result;
    result.tracks.append(ImportedMidiTrack{QStringLiteral("sentinel"), {}});
    result.ok = parseMidiData(QByteArray::fromRawData(exact.data(), qsizetype(exact.size())), result.tracks,
                              result.duration, result.bpm);
    return result;
}

bool untouched(const ParseResult &r)
{
    return r.tracks.size() == 1 && r.tracks[0].name == "sentinel" && r.duration == -1.0 && r.bpm == -1.0;
}

constexpr double kMicrosecond = 1e-6;

// --- files written by mido -------------------------------------------------------------

TEST(MidiFileParserMido, MatchesIndependentReader)
{
    ZENTRIQ_REQUIRE(runTool(pythonWith("mido"), {"-c", "import mido"}).exitCode == 0, "python3-mido is not installed");
    TestFiles files;
    const ToolResult tool = runTool(pythonWith("mido"), {ZENTRIQ_MIDI_FIXTURES, files.path(".")});
    ASSERT_TRUE(tool.ok()) << tool.standardError.constData();
    const QJsonObject expected = QJsonDocument::fromJson(tool.standardOutput).object();
    ASSERT_EQ(expected.size(), 15);  // 3 written by mido, 12 patched after writing

    for (auto file = expected.begin(); file != expected.end(); ++file) {
        SCOPED_TRACE(file.key().toStdString());
        const QJsonObject want = file.value().toObject();
        QList<ImportedMidiTrack> tracks;
        double duration = 0.0, bpm = 0.0;
        ASSERT_TRUE(parseMidiFile(files.path(file.key()), tracks, duration, bpm));
        EXPECT_NEAR(duration, want["duration"].toDouble(), kMicrosecond);
        EXPECT_DOUBLE_EQ(bpm, want["bpm"].toDouble());

        const QJsonArray wantTracks = want["tracks"].toArray();
        ASSERT_EQ(tracks.size(), wantTracks.size());
        for (int t = 0; t < tracks.size(); ++t) {
            const QJsonObject wantTrack = wantTracks[t].toObject();
            SCOPED_TRACE(wantTrack["name"].toString().toStdString());
            EXPECT_EQ(tracks[t].name, wantTrack["name"].toString());
            const QJsonArray wantNotes = wantTrack["notes"].toArray();
            ASSERT_EQ(tracks[t].notes.size(), std::size_t(wantNotes.size()));
            for (int n = 0; n < wantNotes.size(); ++n) {
                SCOPED_TRACE(n);
                const QJsonArray note = wantNotes[n].toArray();
                const MidiNote &got = tracks[t].notes[std::size_t(n)];
                EXPECT_EQ(got.pitch, note[0].toInt());
                EXPECT_NEAR(got.start, note[1].toDouble(), kMicrosecond);
                EXPECT_NEAR(got.duration, note[2].toDouble(), kMicrosecond);
                EXPECT_EQ(got.velocity, note[3].toInt());
            }
        }
    }
}

// --- hand-built files with known timing ---------------------------------------------------

struct ExpectedNote
{
    int pitch;
    double start;
    double duration;
    int velocity;
};

struct TimingCase
{
    const char *name;
    Bytes file;
    QString trackName;
    double bpm;
    std::vector<ExpectedNote> notes;
    double duration;  // latest note-off time, not stretched by the 1 ms minimum
};

TEST(MidiFileParserTiming, HandBuiltFiles)
{
    const Bytes tempo600k{0x00, 0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0};
    const Bytes endOfTrack{0x00, 0xFF, 0x2F, 0x00};
    const std::vector<TimingCase> cases = {
        {"tempo 600000 at tick 0, note 480..960 at division 480",
         smf(0, 480, {concat({tempo600k, {0x83, 0x60, 0x90, 60, 100, 0x83, 0x60, 0x80, 60, 0}, endOfTrack})}),
         "Track 1", 100.0, {{60, 0.6, 0.6, 100}}, 1.2},
        {"no tempo: tick 96 at division 96 is half a second",
         smf(0, 96, {{0x60, 0x90, 60, 100, 0x60, 0x80, 60, 0}}), "Track 1", 120.0, {{60, 0.5, 0.5, 100}}, 1.0},
        {"a tempo of 500000 reports 120 BPM",
         smf(1, 96, {{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0x90, 60, 1, 0x60, 0x90, 60, 0}}), "Track 1",
         120.0, {{60, 0.0, 0.5, 1}}, 0.5},
        {"repeated note-ons close oldest first",
         smf(0, 100, {{0x00, 0x90, 60, 10, 0x0A, 0x90, 60, 20, 0x0A, 0x80, 60, 0, 0x0A, 0x80, 60, 0}}), "Track 1",
         120.0, {{60, 0.0, 0.1, 10}, {60, 0.05, 0.1, 20}}, 0.15},
        {"note-off at its note-on's tick lasts a millisecond",
         smf(0, 100, {{0x00, 0x90, 60, 10, 0x00, 0x80, 60, 0}}), "Track 1", 120.0, {{60, 0.0, 0.001, 10}}, 0.0},
        {"a held note lasts to the last tick of its track",
         smf(0, 100, {{0x00, 0x90, 60, 10, 0x64, 0xFF, 0x2F, 0x00}}), "Track 1", 120.0, {{60, 0.0, 0.5, 10}}, 0.5},
        {"running status survives a meta event",
         smf(0, 100, {{0x00, 0x90, 60, 40, 0x00, 0xFF, 0x01, 0x00, 0x00, 62, 40, 0x0A, 60, 0, 0x00, 62, 0}}),
         "Track 1", 120.0, {{60, 0.0, 0.05, 40}, {62, 0.0, 0.05, 40}}, 0.05},
        {"one key on two channels pairs by channel",
         smf(0, 100, {{0x00, 0x90, 60, 10, 0x0A, 0x91, 60, 20, 0x0A, 0x81, 60, 0, 0x0A, 0x80, 60, 0}}), "Track 1",
         120.0, {{60, 0.05, 0.05, 20}, {60, 0.0, 0.15, 10}}, 0.15},
        {"tempo-only first track; second track unnamed",
         smf(1, 100, {{0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}, {0x64, 0x90, 60, 10, 0x64, 0x80, 60, 0}}),
         "Track 2", 60.0, {{60, 1.0, 1.0, 10}}, 2.0},
        {"a tempo change in a later track times the earlier one",
         smf(1, 100, {{0x00, 0xFF, 0x03, 0x02, 'L', 'd', 0x00, 0x90, 60, 10, 0x81, 0x48, 0x80, 60, 0},
                      {0x64, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}}),
         "Ld", 120.0, {{60, 0.0, 0.5 + 1.0, 10}}, 1.5},
    };
    for (const TimingCase &c : cases) {
        SCOPED_TRACE(c.name);
        const ParseResult r = parse(c.file);
        ASSERT_TRUE(r.ok);
        ASSERT_EQ(r.tracks.size(), 1);
        EXPECT_EQ(r.tracks[0].name, c.trackName);
        EXPECT_DOUBLE_EQ(r.bpm, c.bpm);
        ASSERT_EQ(r.tracks[0].notes.size(), c.notes.size());
        for (std::size_t i = 0; i < c.notes.size(); ++i) {
            SCOPED_TRACE(i);
            const MidiNote &got = r.tracks[0].notes[i];
            EXPECT_EQ(got.pitch, c.notes[i].pitch);
            EXPECT_NEAR(got.start, c.notes[i].start, kMicrosecond);
            EXPECT_NEAR(got.duration, c.notes[i].duration, kMicrosecond);
            EXPECT_EQ(got.velocity, c.notes[i].velocity);
        }
        EXPECT_NEAR(r.duration, c.duration, kMicrosecond);
    }
}

TEST(MidiFileParserTiming, RejectsSmpteAndMissingHeaderWithWarnings)
{
    struct Case
    {
        const char *name;
        Bytes file;
        const char *warning;
    };
    const std::vector<Case> cases = {
        {"SMPTE division", smf(0, 0xE728, {{0x00, 0x90, 60, 10, 0x0A, 0x80, 60, 0}}),
         "MidiFileParser: SMPTE timing not supported"},
        {"division 0", smf(0, 0, {{0x00, 0x90, 60, 10, 0x0A, 0x80, 60, 0}}),
         "MidiFileParser: SMPTE timing not supported"},
        {"RIFF instead of MThd", concat({{'R', 'I', 'F', 'F'}, Bytes(20, 0)}),
         "MidiFileParser: not a MIDI file (no MThd)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MidiTestLog log;
        const ParseResult r = parse(c.file);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(untouched(r));
        EXPECT_TRUE(log.has(c.warning, QtWarningMsg));
    }
}

TEST(MidiFileParserTiming, MissingFileIsReported)
{
    TestFiles files;
    MidiTestLog log;
    QList<ImportedMidiTrack> tracks;
    double duration = -1.0, bpm = -1.0;
    EXPECT_FALSE(parseMidiFile(files.path("absent.mid"), tracks, duration, bpm));
    EXPECT_TRUE(log.has("MidiFileParser: cannot open", QtWarningMsg));
    EXPECT_EQ(duration, -1.0);
}

// --- hostile files ---------------------------------------------------------------------

struct HostileCase
{
    const char *name;
    Bytes file;
    bool ok;
    bool outputsUntouched;
    std::size_t notes;
    double duration;  // latest note end, checked when ok
};

TEST(MidiFileParserHostile, NeverReadsOutsideTheFile)
{
    const Bytes noteOn{0x00, 0x90, 60, 100};
    const Bytes oneNote{0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0};  // 0.5 s at division 96
    const Bytes fullHeader = header(1, 1, 96);
    Bytes longTicks = noteOn;
    for (int i = 0; i < 16; ++i)  // sixteen deltas of 0x0FFFFFFF stay below 2^32 ticks ...
        longTicks.insert(longTicks.end(), {0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x01, 0x00});
    longTicks.insert(longTicks.end(), {0xFF, 0xFF, 0xFF, 0x7F, 0x80, 60, 0});  // ... a seventeenth does not

    std::vector<HostileCase> cases = {
        {"empty file", {}, false, true, 0, 0},
        {"13 bytes", Bytes(fullHeader.begin(), fullHeader.begin() + 13), false, true, 0, 0},
        {"header length 0xFFFFFFFF", concat({header(1, 1, 96, 0xFFFFFFFF), chunk("MTrk", oneNote)}), false, true, 0,
         0},
        {"header length 0x7FFFFFF8", concat({header(1, 1, 96, 0x7FFFFFF8), chunk("MTrk", oneNote)}), false, true, 0,
         0},
        {"header length below 6", concat({header(1, 1, 96, 5), chunk("MTrk", oneNote)}), false, true, 0, 0},
        {"MTrk length 0xFFFFFFFF is cut to the file",
         concat({header(1, 1, 96), chunk("MTrk", oneNote, 0xFFFFFFFF)}), true, false, 1, 0.5},
        {"MTrk length 0x7FFFFFF8 is cut to the file",
         concat({header(0, 1, 96), chunk("MTrk", oneNote, 0x7FFFFFF8)}), true, false, 1, 0.5},
        {"truncated MTrk closes held notes at the last delta",
         concat({header(1, 1, 96), chunk("MTrk", {0x00, 0x90, 60, 100, 0x60, 0x80, 60}, 8)}), true, false, 1, 0.5},
        {"5-byte delta ends the track",
         smf(1, 96, {concat({noteOn, {0x81, 0x80, 0x80, 0x80, 0x00, 0x80, 60, 0}})}), true, false, 1, 0.0},
        {"delta cut by the chunk end", smf(1, 96, {concat({noteOn, {0x81, 0x80}})}), true, false, 1, 0.0},
        {"meta length past the chunk",
         smf(1, 96, {concat({noteOn, {0x60, 0xFF, 0x03, 0x7F, 'a', 'b'}})}), true, false, 1, 0.5},
        {"meta length as a 4-byte maximum",
         smf(1, 96, {concat({noteOn, {0x60, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}})}), true, false, 1, 0.5},
        {"sysex length past the chunk",
         smf(1, 96, {concat({noteOn, {0x60, 0xF0, 0x8F, 0x7F, 0x01, 0xF7}})}), true, false, 1, 0.5},
        {"data byte before any status", smf(1, 96, {{0x00, 60, 100, 0x60, 0x80, 60, 0}}), false, false, 0, 0},
        {"note data with its top bit set ends the track",
         smf(1, 96, {concat({noteOn, {0x60, 0x90, 0xBC, 0x40}})}), true, false, 1, 0.5},
        {"system common data with its top bit set ends the track",
         smf(1, 96, {concat({noteOn, {0x60, 0xF2, 0x00, 0x90}})}), true, false, 1, 0.5},
        {"system common cancels the running status",
         smf(1, 96, {concat({noteOn, {0x30, 0xF3, 0x01, 0x00, 62, 100, 0x30, 0x80, 60, 0, 0x00, 62, 0}})}), true,
         false, 1, 0.25},
        {"real-time byte keeps the running status",
         smf(1, 96, {concat({noteOn, {0x30, 0xF8, 0x00, 62, 100, 0x30, 0x80, 60, 0, 0x00, 62, 0}})}), true,
         false, 2, 0.5},
        {"more tracks announced than present",
         concat({header(1, 9, 96), chunk("MTrk", oneNote)}), true, false, 1, 0.5},
        {"chunk length wrapping the offset",
         concat({header(1, 2, 96), chunk("JUNK", {}, 0xFFFFFFF8), chunk("MTrk", oneNote)}), false, false, 0, 0},
        {"MTrk header cut short", concat({header(1, 1, 96), Bytes{'M', 'T', 'r', 'k', 0, 0}}), false, false, 0, 0},
        {"format 0 without MTrk", concat({header(0, 1, 96), chunk("JUNK", oneNote)}), false, false, 0, 0},
        {"ticks beyond 32 bits end the track", smf(1, 96, {longTicks}), true, false, 1,
         16.0 * 0x0FFFFFFF * 500000 / 96 / 1e6},
    };
    // Undefined system bytes have no length to skip them by.
    const std::pair<const char *, unsigned char> undefinedBytes[] = {
        {"undefined F4 ends the track", 0xF4}, {"undefined F5 ends the track", 0xF5},
        {"undefined F9 ends the track", 0xF9}, {"undefined FD ends the track", 0xFD}};
    for (const auto &[name, status] : undefinedBytes)
        cases.push_back({name, smf(1, 96, {concat({noteOn, {0x60, status, 0x00, 0x00}})}), true, false, 1, 0.5});
    for (const HostileCase &c : cases) {
        SCOPED_TRACE(c.name);
        const ParseResult r = parse(c.file);
        EXPECT_EQ(r.ok, c.ok);
        EXPECT_EQ(untouched(r), c.outputsUntouched);
        if (c.outputsUntouched)
            continue;
        EXPECT_EQ(r.noteCount(), c.notes);
        if (c.ok)
            EXPECT_NEAR(r.duration, c.duration, kMicrosecond * 8);
        else
            EXPECT_EQ(r.duration, 0.0);
        for (const auto &track : r.tracks)
            for (const MidiNote &note : track.notes) {
                EXPECT_GE(note.pitch, 0);
                EXPECT_LE(note.pitch, 127);
            }
    }
}

} // namespace
