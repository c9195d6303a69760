// SPDX-License-Identifier: GPL-3.0-or-later
// SoundFont instrument against the fluidsynth command-line tool, FFT pitch and the
// render rules (lengths, clean resets between notes, channels, hostile track values).
#include "engine/SF2Sampler.h"

#include "project/TrackData.h"

#include "MidiFixtures.h"
#include "OracleTool.h"
#include "Requirement.h"
#include "StandardMidiFileBytes.h"
#include "TestFiles.h"
#include "ToneAnalysis.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {
const QString soundFont = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
constexpr int rate = 44100;

// One note at time 0, then a second before the end of the track for the release.
QByteArray oneNoteMidi(int key, int velocity, double seconds)
{
    MidiNote note;
    note.pitch = key;
    note.velocity = velocity;
    note.start = 0.0;
    note.duration = seconds;
    return standardMidiFile({note}, midiTicksPerSecond);
}

std::vector<float> floatsOf(const QByteArray &bytes)
{
    std::vector<float> out(size_t(bytes.size()) / sizeof(float));
    std::memcpy(out.data(), bytes.constData(), out.size() * sizeof(float));
    return out;
}

template<typename List>
qsizetype firstNonZero(const List &x, qsizetype from = 0)
{
    for (qsizetype i = from; i < qsizetype(x.size()); ++i)
        if (x[i] != 0.0f)
            return i;
    return -1;
}

double maxAbs(const QList<float> &x, qsizetype from, qsizetype to)
{
    double peak = 0.0;
    for (qsizetype i = from; i < to; ++i)
        peak = std::max(peak, double(std::fabs(x[i])));
    return peak;
}

// Worst difference of two renders, split into the first 64 frames after each note onset
// and the rest: a voice that FluidSynth reuses skips its 64-frame gain ramp, so a note's
// first block differs by up to a few thousandths from the same note on a fresh voice.
// `stride` is 2 for interleaved stereo.
struct Difference
{
    double nearOnsets = 0.0;
    double elsewhere = 0.0;
};

template<typename A, typename B>
Difference compare(const A &x, const B &y, qsizetype count, std::initializer_list<qsizetype> onsets, int stride = 1)
{
    Difference d;
    for (qsizetype i = 0; i < count; ++i) {
        const double diff = std::fabs(double(x[i]) - double(y[i]));
        const qsizetype frame = i / stride;
        const bool near = std::any_of(onsets.begin(), onsets.end(),
                                      [frame](qsizetype o) { return frame >= o && frame < o + 64; });
        (near ? d.nearOnsets : d.elsewhere) = std::max(near ? d.nearOnsets : d.elsewhere, diff);
    }
    return d;
}

class SF2SamplerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ZENTRIQ_REQUIRE(QFile::exists(soundFont), "TimGM6mb.sf2 is not installed");
        ASSERT_TRUE(sampler.loadSoundFont(soundFont));
    }

    std::vector<short> live(int frames)
    {
        std::vector<short> out(2 * size_t(frames), 1234);
        sampler.renderLive(out.data(), frames);
        return out;
    }

    SF2Sampler sampler;
};
} // namespace

TEST(SF2SamplerUnloaded, IsSilentAndEmpty)
{
    SF2Sampler sampler;
    EXPECT_FALSE(sampler.isLoaded());
    EXPECT_EQ(sampler.sampleRate(), 44100);
    std::vector<short> out(256, 99);
    sampler.noteOn(0, 60, 100);
    sampler.renderLive(out.data(), 128);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](short v) { return v == 0; }));
    EXPECT_TRUE(sampler.getPresetNames().isEmpty());
    EXPECT_TRUE(sampler.renderTrack(midiTrack({makeNote(60, 0, 1)}), rate).isEmpty());
    EXPECT_TRUE(sampler.renderNotePreview(60, 100, 1.0, rate).isEmpty());
}

TEST_F(SF2SamplerTest, PresetNamesMatchFluidsynthListingByBankThenProgram)
{
    const ToolResult listing = runTool("fluidsynth", {"-a", "file", "-o", "audio.file.name=/dev/null", "-o",
                                                      "audio.file.type=raw", "-n", "-q", soundFont},
                                       "inst 1\n");
    ASSERT_TRUE(listing.started);
    struct Entry
    {
        int bank, program;
        QString name;
    };
    std::vector<Entry> expected;
    const QRegularExpression line(QStringLiteral("^(\\d{3})-(\\d{3}) (.*)$"), QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(QString::fromUtf8(listing.standardOutput)); it.hasNext();) {
        const auto m = it.next();
        expected.push_back({m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3)});
    }
    std::stable_sort(expected.begin(), expected.end(), [](const Entry &a, const Entry &b) {
        return a.bank != b.bank ? a.bank < b.bank : a.program < b.program;
    });
    ASSERT_GT(expected.size(), 128u);
    const QList<QString> names = sampler.getPresetNames();
    ASSERT_EQ(size_t(names.size()), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(names[qsizetype(i)], expected[i].name) << "preset index " << i;
}

TEST_F(SF2SamplerTest, NoteMatchesFluidsynthCommandLine)
{
    struct Case
    {
        int key, velocity;
    };
    for (const Case c : {Case{60, 100}, Case{33, 127}, Case{96, 40}}) {
        SCOPED_TRACE(testing::Message() << "key " << c.key << " velocity " << c.velocity);
        TestFiles files;
        const QString midi = files.write("note.mid", oneNoteMidi(c.key, c.velocity, 1.0));
        const ToolResult cli = runTool("fluidsynth", {"-n", "-i", "-q", "-R", "0", "-C", "0", "-g", "1.0", "-r",
                                                      QString::number(rate), "-O", "float", "-T", "raw", "-F",
                                                      files.path("out.raw"), soundFont, midi});
        ASSERT_TRUE(cli.ok()) << cli.standardError.constData();
        const std::vector<float> theirs = floatsOf(files.read("out.raw"));
        const QList<float> ours = sampler.renderNotePreview(c.key, c.velocity, 0.9, rate);
        ASSERT_EQ(ours.size(), 2 * qsizetype(0.9 * rate));

        // The command's player starts the note on one of FluidSynth's 64-frame blocks,
        // not necessarily the first; align on the first sound.
        const qsizetype ourOnset = firstNonZero(ours);
        ASSERT_GE(ourOnset, 0);
        ASSERT_LT(ourOnset, 8) << "the note must sound from its first frames";
        const qsizetype shift = firstNonZero(theirs) - ourOnset;
        ASSERT_GE(shift, 0);
        ASSERT_EQ(shift % 128, 0) << "the command's note should start on a block";
        ASSERT_GE(qsizetype(theirs.size()) - shift, ours.size());
        const Difference d = compare(ours, theirs.data() + shift, ours.size(), {0}, 2);
        EXPECT_LT(d.nearOnsets, 1e-2);
        EXPECT_LT(d.elsewhere, 1e-6);
    }
}

TEST_F(SF2SamplerTest, PitchOfRenderedNoteIsTheKeysFrequency)
{
    for (const int key : {45, 57, 69, 81}) {
        SCOPED_TRACE(key);
        sampler.selectPreset(0, 0);
        const QList<float> stereo = sampler.renderNotePreview(key, 100, 0.5, rate);
        std::vector<float> mono(16384);
        for (size_t i = 0; i < mono.size(); ++i)
            mono[i] = stereo[qsizetype(2 * (4410 + i))] + stereo[qsizetype(2 * (4410 + i) + 1)];
        // Around the expected fundamental only, so a strong overtone cannot win.
        const double expected = 440.0 * std::pow(2.0, (key - 69) / 12.0);
        const double bestHz = strongestFrequency(mono, rate, expected * 0.7, expected * 1.4);
        EXPECT_NEAR(1200.0 * std::log2(bestHz / expected), 0.0, 10.0) << "found " << bestHz << " Hz";
    }
}

TEST_F(SF2SamplerTest, TrackLengthIsOneSecondPastTheLastClip)
{
    EXPECT_EQ(sampler.renderTrack(midiTrack({}, 2.0, 4.0), rate).size(), 7 * rate);
    EXPECT_EQ(sampler.renderTrack(midiTrack({}, 2.0, 4.0), 48000).size(), 7 * 48000);
    TrackData audio;
    AudioClip clip;
    clip.samples = QList<float>(rate, 0.1f);
    clip.start = 1.0;
    audio.audioClips.push_back(clip);
    EXPECT_EQ(sampler.renderTrack(audio, rate).size(), 3 * rate);
    EXPECT_TRUE(sampler.renderTrack(TrackData{}, rate).isEmpty());
    EXPECT_TRUE(sampler.renderTrack(midiTrack({}, -5.0, 4.0), rate).isEmpty());
}

TEST_F(SF2SamplerTest, OneSecondNoteStopsAbruptlyAndZeroLengthNoteSoundsHalfASecond)
{
    struct Case
    {
        double duration;
        qsizetype frames;
    };
    for (const Case c : {Case{1.0, rate}, Case{0.0, rate / 2}, Case{0.25, rate / 4}}) {
        SCOPED_TRACE(c.duration);
        const QList<float> out = sampler.renderTrack(midiTrack({makeNote(60, 0.0, c.duration)}), rate);
        ASSERT_EQ(out.size(), 5 * rate);
        EXPECT_GT(maxAbs(out, c.frames - 256, c.frames), 1e-3) << "still sounding just before its end";
        EXPECT_EQ(maxAbs(out, c.frames, out.size()), 0.0) << "no release after its end";
    }
}

TEST_F(SF2SamplerTest, NotesAfterResetsStartCleanOnTheirFrame)
{
    // Lengths and starts that fall mid-block in FluidSynth's 64-frame blocks; a loud note
    // cut short right before a soft one on the same key, which its tail would disturb.
    const QList<float> preview = sampler.renderNotePreview(67, 30, 0.3, rate);
    const TrackData track = midiTrack({makeNote(48, 0.0, 1000.0 / rate), makeNote(67, 3001.0 / rate, 0.3),
                                       makeNote(67, 20000.0 / rate, 0.05, 127), makeNote(67, 1.0 + 17.0 / rate, 0.3, 30)});
    const QList<float> out = sampler.renderTrack(track, rate);
    ASSERT_EQ(out.size(), 5 * rate);
    EXPECT_EQ(maxAbs(out, 1000, 3001), 0.0) << "the first note leaked past its end";

    const qsizetype start = rate + 17;
    const qsizetype frames = preview.size() / 2;
    std::vector<float> alone(static_cast<size_t>(frames));
    for (qsizetype i = 0; i < frames; ++i)
        alone[size_t(i)] = (preview[2 * i] + preview[2 * i + 1]) * 0.5f;
    // A tail of the note before, or a late start, would show in the first block.
    const Difference d = compare(out.data() + start, alone, frames, {0});
    EXPECT_LT(d.nearOnsets, 1e-2) << "the note after a reset differs from the note alone";
    EXPECT_LT(d.elsewhere, 1e-6) << "the note after a reset differs from the note alone";
    EXPECT_EQ(maxAbs(out, start + frames, out.size()), 0.0);
    EXPECT_EQ(maxAbs(out, start - 100, start), 0.0);
}

TEST_F(SF2SamplerTest, TrackOnsetsMatchTheNoteList)
{
    // Separate notes at starts off FluidSynth's block grid, in no particular order.
    const std::vector<MidiNote> notes = {makeNote(60, 0.5 + 33.0 / rate, 0.2), makeNote(72, 0.0, 0.1),
                                         makeNote(55, 1.25 + 1.0 / rate, 0.2), makeNote(64, 2.0 + 63.0 / rate, 0.3),
                                         makeNote(67, 1.0 + 5.0 / rate, 0.1)};
    const QList<float> out = sampler.renderTrack(midiTrack(notes), rate);
    ASSERT_EQ(out.size(), 5 * rate);
    for (const MidiNote &note : notes) {
        SCOPED_TRACE(note.pitch);
        const qsizetype start = qsizetype(note.start * rate);
        const qsizetype firstSound = firstNonZero(sampler.renderNotePreview(note.pitch, note.velocity, 0.1, rate)) / 2;
        EXPECT_EQ(maxAbs(out, std::max<qsizetype>(0, start - 200), start + firstSound), 0.0);
        EXPECT_EQ(firstNonZero(out, start), start + firstSound);
    }
}

TEST_F(SF2SamplerTest, RendersOfOneTrackAreIdenticalWhateverRanBefore)
{
    const TrackData track = midiTrack({makeNote(60, 0.5, 0.4), makeNote(67, 1.0, 0.3, 80)});
    const QList<float> first = sampler.renderTrack(track, rate);
    sampler.renderTrack(midiTrack({makeNote(40, 0.0, 0.7, 127), makeNote(72, 0.2, 0.1)}), rate);
    sampler.renderNotePreview(48, 100, 0.2, rate);
    EXPECT_EQ(sampler.renderTrack(track, rate), first);
}

TEST_F(SF2SamplerTest, OverlappingNotesSumLinearly)
{
    const MidiNote a = makeNote(60, 0.1, 0.8), b = makeNote(64, 0.3, 0.9, 70);
    const QList<float> both = sampler.renderTrack(midiTrack({a, b}), rate);
    const QList<float> onlyA = sampler.renderTrack(midiTrack({a}), rate);
    const QList<float> onlyB = sampler.renderTrack(midiTrack({b}), rate);
    ASSERT_EQ(both.size(), onlyA.size());
    std::vector<float> sum(size_t(both.size()));
    for (qsizetype i = 0; i < both.size(); ++i)
        sum[size_t(i)] = onlyA[i] + onlyB[i];
    const Difference d = compare(both, sum, both.size(), {qsizetype(0.1 * rate), qsizetype(0.3 * rate)});
    EXPECT_LT(d.nearOnsets, 1e-2);
    EXPECT_LT(d.elsewhere, 1e-6);
    EXPECT_GT(maxAbs(both, 0, both.size()), 0.01);
}

TEST_F(SF2SamplerTest, HostileTrackValuesAreBounded)
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    struct Case
    {
        const char *what;
        TrackData track;
        qsizetype length;        // -1: any length
        qsizetype silentFrom;    // frames from here on are silent
    };
    const Case cases[] = {
        {"clip far in the future", midiTrack({makeNote(60, 0, 1)}, 1e12, 4), 0, 0},
        {"infinite clip", midiTrack({makeNote(60, 0, 1)}, 0, inf), 0, 0},
        {"NaN clip start", midiTrack({makeNote(60, 0, 1)}, nan, 4), 0, 0},
        {"NaN end on a later clip", [] {
             TrackData t = midiTrack({makeNote(60, 0, 1)});
             t.midiClips.push_back(t.midiClips[0]);
             t.midiClips[1].duration = nan;
             return t;
         }(), 0, 0},
        {"NaN note times", midiTrack({makeNote(60, nan, 1), makeNote(62, 0, nan)}, 0, 1), 2 * rate, rate},
        {"negative note start is skipped", midiTrack({makeNote(60, -0.5, 1)}, 0, 2), 3 * rate, 0},
        {"note cut at the clip end", midiTrack({makeNote(60, 0.5, 100)}, 0, 1), 2 * rate, rate},
        {"note after the clip end", midiTrack({makeNote(60, 1.5, 0.2)}, 0, 1), 2 * rate, 0},
        {"enormous note", midiTrack({makeNote(60, 0, 1e300, 1000000)}, 0, 1), 2 * rate, rate},
        {"pitch out of range", midiTrack({makeNote(300, 0, 0.5), makeNote(-4, 0, 0.5)}, 0, 1), 2 * rate, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QList<float> out = sampler.renderTrack(c.track, rate);
        EXPECT_EQ(out.size(), c.length);
        if (!out.isEmpty()) {
            EXPECT_EQ(maxAbs(out, c.silentFrom, out.size()), 0.0);
        }
    }
}

TEST_F(SF2SamplerTest, ChannelsExistOnlyOnceUsed)
{
    sampler.noteOn(3, 60, 100);
    std::vector<short> out = live(2048);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](short v) { return v == 0; })) << "unused channel sounded";
    EXPECT_EQ(sampler.currentPresetIndex(3), 0);

    sampler.selectPreset(3, 5);
    EXPECT_EQ(sampler.currentPresetIndex(3), 5);
    EXPECT_EQ(sampler.currentPresetIndex(2), 0);
    for (const int channel : {2, 3}) {
        SCOPED_TRACE(channel);
        sampler.noteOn(channel, 60, 100);
        out = live(4096);
        EXPECT_TRUE(std::any_of(out.begin(), out.end(), [](short v) { return v != 0; }));
        sampler.allNotesOff();
        live(3 * rate);
    }
}

TEST_F(SF2SamplerTest, VelocityZeroReleasesLikeNoteOff)
{
    SF2Sampler other;
    ASSERT_TRUE(other.loadSoundFont(soundFont));
    for (SF2Sampler *s : {&sampler, &other}) {
        s->selectPreset(3, 5);
        s->noteOn(3, 72, 100);
    }
    std::vector<short> otherOut(2 * 4096);
    live(1024);
    other.renderLive(otherOut.data(), 1024);
    sampler.noteOn(3, 72, 0);
    other.noteOff(3, 72);
    other.renderLive(otherOut.data(), 4096);
    EXPECT_EQ(live(4096), otherOut);
}

TEST_F(SF2SamplerTest, RenderDuringLivePlayingLeavesLiveOutputUnchanged)
{
    SF2Sampler reference;
    ASSERT_TRUE(reference.loadSoundFont(soundFont));
    for (SF2Sampler *s : {&sampler, &reference}) {
        s->selectPreset(0, 0);
        s->noteOn(0, 60, 100);
        s->noteOn(0, 67, 80);
    }
    std::vector<short> a = live(3000);
    sampler.renderTrack(midiTrack({makeNote(40, 0, 0.3), makeNote(80, 0.1, 0.2)}), 48000);
    const std::vector<short> b = live(5000);
    a.insert(a.end(), b.begin(), b.end());
    std::vector<short> expected(2 * 8000);
    reference.renderLive(expected.data(), 8000);
    EXPECT_EQ(a, expected);
}

TEST_F(SF2SamplerTest, FailedLoadLeavesTheSamplerUnloaded)
{
    TestFiles files;
    QFile real(soundFont);
    ASSERT_TRUE(real.open(QIODevice::ReadOnly));
    const QString truncated = files.write("cut.sf2", real.read(4000));
    for (const QString &path : {files.path("missing.sf2"), truncated, files.write("text.sf2", "not a SoundFont")}) {
        SCOPED_TRACE(path.toStdString());
        ASSERT_TRUE(sampler.loadSoundFont(soundFont));
        EXPECT_FALSE(sampler.loadSoundFont(path));
        EXPECT_FALSE(sampler.isLoaded());
        EXPECT_TRUE(sampler.getPresetNames().isEmpty());
        EXPECT_TRUE(sampler.renderTrack(midiTrack({makeNote(60, 0, 1)}), rate).isEmpty());
    }
}

TEST_F(SF2SamplerTest, SampleRateChangeKeepsChannelPresets)
{
    sampler.selectPreset(1, 40);
    sampler.setSampleRate(48000);
    EXPECT_EQ(sampler.sampleRate(), 48000);
    EXPECT_EQ(sampler.currentPresetIndex(1), 40);
    sampler.noteOn(1, 60, 100);
    const std::vector<short> out = live(2048);
    EXPECT_TRUE(std::any_of(out.begin(), out.end(), [](short v) { return v != 0; }));
}
