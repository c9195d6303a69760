// SPDX-License-Identifier: GPL-3.0-or-later
// Sampled piano: file names, the built-in recordings (against mpg123's own decode), voice
// stepping, stealing, pedal, output shaping and offline renders on generated recordings.
#include "engine/PianoSampler.h"

#include "audio/AudioProcessor.h"
#include "project/TrackData.h"

#include "MidiFixtures.h"
#include "OracleTool.h"
#include "Requirement.h"
#include "TestFiles.h"
#include "ToneAnalysis.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {
constexpr int rate = 44100;

// Writes a mono MP3 of a sine through the lame command, as the recordings are made.
QString writeSineMp3(const TestFiles &files, const QString &name, double hz, double seconds, int sampleRate,
                     double amplitude = 0.5)
{
    std::vector<float> sine(size_t(seconds * sampleRate));
    for (size_t i = 0; i < sine.size(); ++i)
        sine[i] = float(amplitude * std::sin(2.0 * std::numbers::pi * hz * double(i) / sampleRate));
    const QString wav = files.write(name + ".wav", makeWavBytes(sine, 1, sampleRate));
    QDir().mkpath(QFileInfo(files.path(name)).path());
    const ToolResult lame = runTool("lame", {"--quiet", "-m", "m", "-b", "192", wav, files.path(name)});
    return lame.ok() ? files.path(name) : QString();
}

QList<float> decoded(const QString &path)
{
    AudioProcessor processor;
    return processor.loadAudioFile(path) ? processor.samples : QList<float>();
}

std::vector<short> live(PianoSampler &piano, int frames)
{
    std::vector<short> out(2 * size_t(frames), 1234);
    piano.renderLive(out.data(), frames);
    return out;
}

// Generated recordings, 2 s at 44.1 kHz: "keys" holds pitches 60 (262 Hz) and 64, "solo"
// only 60, which `piano` plays.
class PianoFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ZENTRIQ_REQUIRE(toolAvailable("lame"), "lame is not installed");
        c4 = writeSineMp3(files, "keys/C4.mp3", 261.63, 2.0, rate);
        ASSERT_FALSE(writeSineMp3(files, "keys/E4.mp3", 329.63, 2.0, rate).isEmpty());
        ASSERT_FALSE(c4.isEmpty());
        QDir().mkpath(files.path("solo"));
        ASSERT_TRUE(QFile::copy(c4, files.path("solo/C4.mp3")));
        ASSERT_TRUE(piano.loadSampleLibrary(files.path("solo")));
        recording = decoded(c4);
        ASSERT_EQ(recording.size(), 2 * rate);
    }

    TestFiles files;
    QString c4;
    QList<float> recording;
    PianoSampler piano;
};
} // namespace

TEST(PianoFileNames, NameThePitch)
{
    struct Case
    {
        const char *name;
        int pitch;
    };
    const Case cases[] = {
        {"A0.mp3", 21}, {"a0.MP3", 21},     {"Asharp0.mp3", 22}, {"Csharp4.mp3", 61}, {"csharp4", 61},
        {"C8.mp3", 108}, {"C4", 60},        {"Bsharp3.mp3", 60}, {"A-1.mp3", 9},     {"G9.mp3", 127},
        {"H2.mp3", -1},  {"Cx.mp3", -1},    {"C.mp3", -1},       {"Csharp.mp3", -1}, {"C 4.mp3", -1},
        {"C4.5.mp3", -1}, {"", -1},         {".mp3", -1},        {"Cflat4.mp3", -1}, {"C99999999999.mp3", -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PianoSampler::filenameToPitch(QString::fromLatin1(c.name)), c.pitch);
    }
}

TEST(PianoBuiltIn, Holds88RecordingsThatDecodeLikeMpg123)
{
    PianoSampler piano;
    ASSERT_TRUE(piano.loadSampleLibraryFromResources(":/piano"));
    for (int pitch = 21; pitch <= 108; ++pitch)
        EXPECT_EQ(piano.findNearestPitch(pitch), pitch);
    EXPECT_EQ(piano.findNearestPitch(0), 21);
    EXPECT_EQ(piano.findNearestPitch(127), 108);
    EXPECT_EQ(QDir(":/piano").entryList({"*.mp3"}).size(), 88);

    // A note at the recording's own pitch and full velocity is the recording itself.
    const QList<float> a4 = piano.renderNotePreview(69, 127, 10.0, rate);
    ASSERT_EQ(a4.size(), 3 * rate);
    const ToolResult mpg123 =
        runTool("mpg123", {"-q", "-e", "f32", "-s", QStringLiteral(ZENTRIQ_SOURCE_DIR "/resources/piano/A4.mp3")});
    ASSERT_TRUE(mpg123.ok());
    ASSERT_EQ(mpg123.standardOutput.size(), qsizetype(sizeof(float)) * a4.size());
    const auto *theirs = reinterpret_cast<const float *>(mpg123.standardOutput.constData());
    double worst = 0.0;
    for (qsizetype i = 0; i < a4.size(); ++i)
        worst = std::max(worst, double(std::fabs(a4[i] - theirs[i])));
    EXPECT_LT(worst, 1e-6);

    const std::span<const float> sustained(a4.constData() + 4410, 16384);
    EXPECT_NEAR(strongestFrequency(sustained, rate, 400, 480), 440.0, 1.0);
}

TEST(PianoLoading, FailuresAreReportedAndLeaveItEmpty)
{
    TestFiles files;
    QDir().mkpath(files.path("empty"));
    files.write("junk/readme.txt", "no recordings");
    PianoSampler piano;
    EXPECT_FALSE(piano.loadSampleLibrary(files.path("missing")));
    EXPECT_FALSE(piano.loadSampleLibrary(files.path("empty")));
    EXPECT_FALSE(piano.loadSampleLibraryFromResources(":/nothing-here"));
    files.write("bad/C4.mp3", QByteArray(5000, '\x5a'));
    EXPECT_FALSE(piano.loadSampleLibrary(files.path("bad")));
    EXPECT_FALSE(piano.hasSamples());
    EXPECT_EQ(piano.findNearestPitch(60), -1);
    EXPECT_TRUE(piano.renderTrack(midiTrack({makeNote(60, 0, 1, 100)}), rate).isEmpty());
    const std::vector<short> out = live(piano, 256);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](short v) { return v == 0; }));

    // A broken file among good ones is skipped; a name that is no note is ignored.
    if (!toolAvailable("lame"))
        return;
    ASSERT_FALSE(writeSineMp3(files, "bad/E4.mp3", 329.63, 0.5, rate).isEmpty());
    ASSERT_FALSE(writeSineMp3(files, "bad/Intro.mp3", 329.63, 0.5, rate).isEmpty());
    EXPECT_TRUE(piano.loadSampleLibrary(files.path("bad")));
    EXPECT_EQ(piano.findNearestPitch(60), 64);
}

TEST_F(PianoFixture, NearestSampledPitch)
{
    ASSERT_TRUE(piano.loadSampleLibrary(files.path("keys")));
    struct Case
    {
        int pitch, nearest;
    };
    for (const Case c : {Case{62, 60}, Case{61, 60}, Case{63, 64}, Case{100, 64}, Case{0, 60}, Case{64, 64},
                         Case{-50, 60}, Case{1000, 64}}) {
        SCOPED_TRACE(c.pitch);
        EXPECT_EQ(piano.findNearestPitch(c.pitch), c.nearest);
    }
}

TEST_F(PianoFixture, LiveVoicesStepThroughTheRecording)
{
    // An octave up reads every second sample; the recording's own pitch reads each one.
    struct Case
    {
        int note;
        double step;
    };
    for (const Case c : {Case{60, 1.0}, Case{72, 2.0}, Case{59, std::pow(2.0, -1.0 / 12.0)}}) {
        SCOPED_TRACE(c.note);
        piano.noteOn(c.note, 127);
        const int frames = int(recording.size() / c.step) + 200;
        const std::vector<short> out = live(piano, frames);
        const float step = float(c.step);
        double position = 0.0;
        int f = 0;
        for (; qint64(std::floor(position)) + 1 < recording.size(); ++f, position += step) {
            const qint64 i = qint64(std::floor(position));
            const double frac = position - double(i);
            const float value = float((1.0 - frac) * recording[i] + frac * recording[i + 1]);
            ASSERT_EQ(out[2 * size_t(f)], short(value * 32767.0f)) << "frame " << f;
            ASSERT_EQ(out[2 * size_t(f) + 1], out[2 * size_t(f)]);
        }
        EXPECT_NEAR(f, (recording.size() - 1) / c.step, 2.0) << "the voice must reach the recording's end";
        EXPECT_TRUE(std::all_of(out.begin() + 2 * f, out.end(), [](short v) { return v == 0; }));
    }
}

TEST_F(PianoFixture, RecordingAtAnotherRateStepsByTheRateRatio)
{
    const QString path = writeSineMp3(files, "k48/C4.mp3", 261.63, 1.0, 48000);
    ASSERT_FALSE(path.isEmpty());
    ASSERT_TRUE(piano.loadSampleLibrary(files.path("k48")));
    const QList<float> rec = decoded(path);
    piano.setSampleRate(44100);
    piano.noteOn(60, 127);
    const std::vector<short> out = live(piano, 4000);
    const float step = float(48000.0 / 44100.0 * double(1.0f));
    for (int f = 0; f < 4000; ++f) {
        const double position = double(f) * step;
        const qint64 i = qint64(position);
        const float value = float((1.0 - (position - double(i))) * rec[i] + (position - double(i)) * rec[i + 1]);
        ASSERT_NEAR(out[2 * size_t(f)], short(value * 32767.0f), 1) << "frame " << f;
    }
}

TEST_F(PianoFixture, SeventeenthVoiceTakesOverTheFirst)
{
    PianoSampler reference;
    ASSERT_TRUE(reference.loadSampleLibrary(files.path("solo")));
    for (int n = 0; n < 17; ++n) {
        piano.noteOn(40 + n, 8);
        if (n > 0)
            reference.noteOn(40 + n, 8);
    }
    EXPECT_EQ(live(piano, 3000), live(reference, 3000));
    // Voice 0 now plays note 56; a note-off for the stolen note 40 changes nothing.
    piano.noteOff(40);
    EXPECT_EQ(live(piano, 3000), live(reference, 3000));
}

TEST_F(PianoFixture, NoteOffsAndThePedal)
{
    const auto silent = [](const std::vector<short> &v) {
        return std::all_of(v.begin(), v.end(), [](short s) { return s == 0; });
    };
    piano.noteOn(60, 100);
    piano.noteOn(60, 100);
    piano.noteOff(61);
    EXPECT_FALSE(silent(live(piano, 512)));
    piano.noteOff(60);
    EXPECT_FALSE(silent(live(piano, 512))) << "two voices of one pitch need two note-offs";
    piano.noteOff(60);
    EXPECT_TRUE(silent(live(piano, 512)));

    piano.sustain(true);
    piano.noteOn(64, 100);
    piano.noteOff(64);
    EXPECT_FALSE(silent(live(piano, 512))) << "the pedal holds the note";
    piano.sustain(false);
    EXPECT_TRUE(silent(live(piano, 512)));

    piano.noteOn(64, 100);
    piano.noteOn(65, 100);
    piano.allNotesOff();
    EXPECT_TRUE(silent(live(piano, 512)));
}

TEST_F(PianoFixture, LouderMixIsNeverQuieter)
{
    // N voices of one note sum to N times the recording; every frame must grow with N
    // and stay within 16 bits. Below full scale the value is written unchanged.
    std::vector<std::vector<short>> outputs;
    for (int voices = 1; voices <= 8; ++voices) {
        PianoSampler chord;
        ASSERT_TRUE(chord.loadSampleLibrary(files.path("solo")));
        for (int v = 0; v < voices; ++v)
            chord.noteOn(60, 127);
        outputs.push_back(live(chord, 2000));
    }
    for (size_t i = 0; i < outputs[0].size(); ++i) {
        ASSERT_EQ(outputs[0][i], short(recording[qsizetype(i / 2)] * 32767.0f));
        for (size_t n = 1; n < outputs.size(); ++n) {
            const bool rising = recording[qsizetype(i / 2)] >= 0;
            ASSERT_TRUE(rising ? outputs[n][i] >= outputs[n - 1][i] : outputs[n][i] <= outputs[n - 1][i])
                << "frame " << i / 2 << " with " << n + 1 << " voices";
        }
    }
    EXPECT_EQ(*std::max_element(outputs.back().begin(), outputs.back().end()), 32767);
}

TEST_F(PianoFixture, ReloadWhileVoicesPlayLeavesNoVoiceOnFreedRecordings)
{
    piano.noteOn(60, 100);
    piano.noteOn(64, 100);
    live(piano, 256);
    ASSERT_TRUE(piano.loadSampleLibrary(files.path("keys")));
    const std::vector<short> out = live(piano, 2048);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](short v) { return v == 0; }));
}

TEST_F(PianoFixture, TrackRenderOfOwnPitchIsTheRecordingTimesVelocity)
{
    const QList<float> out = piano.renderTrack(midiTrack({makeNote(60, 0.0, 1.0, 100)}), rate);
    ASSERT_EQ(out.size(), 5 * rate);
    const float gain = 100.0f / 127.0f;
    for (qsizetype i = 0; i < rate; ++i)
        ASSERT_EQ(out[i], recording[i] * gain) << "sample " << i;
    EXPECT_TRUE(std::all_of(out.begin() + rate, out.end(), [](float v) { return v == 0.0f; }));

    // A zero-length note adds nothing; a note past its clip's end is cut there.
    const QList<float> cut =
        piano.renderTrack(midiTrack({makeNote(60, 0.5, 0.0, 100), makeNote(62, 0.5, 9.0, 100)}, 0.0, 1.0), rate);
    ASSERT_EQ(cut.size(), 2 * rate);
    EXPECT_NE(cut[rate - 1], 0.0f);
    EXPECT_TRUE(std::all_of(cut.begin() + rate, cut.end(), [](float v) { return v == 0.0f; }));
}

TEST_F(PianoFixture, HostileNotesRenderNothingOrBounded)
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    TrackData far = midiTrack({makeNote(60, 0, 1, 100)});
    far.midiClips[0].start = 1e12;
    EXPECT_TRUE(piano.renderTrack(far, rate).isEmpty());
    const QList<float> out = piano.renderTrack(
        midiTrack({makeNote(500, 0, 1, 100), makeNote(-1, 0, 1, 100), makeNote(60, 0, nan, 100),
                   makeNote(60, -1.0, 2.0, 100), makeNote(60, 0.5, 1e300, 100)},
                  0.0, 1.0),
        rate);
    ASSERT_EQ(out.size(), 2 * rate);
    EXPECT_TRUE(std::all_of(out.begin(), out.begin() + rate / 2, [](float v) { return v == 0.0f; }));
    EXPECT_TRUE(std::all_of(out.begin() + rate, out.end(), [](float v) { return v == 0.0f; }));
    EXPECT_EQ(out[rate / 2 + 1], recording[1] * (100.0f / 127.0f));
}

TEST_F(PianoFixture, ResampledLengthIsExact)
{
    const PianoSampler::SampleBuffer buffer{recording, rate};
    struct Case
    {
        int note;
        int outRate;
        double seconds;
        qsizetype frames;
    };
    const qsizetype n = recording.size();
    for (const Case c : {Case{72, rate, 10.0, n / 2}, Case{48, rate, 10.0, 2 * n}, Case{60, rate, 0.5, rate / 2},
                         Case{60, 22050, 10.0, n / 2}, Case{60, rate, 0.0, 0}, Case{60, 0, 1.0, 0}}) {
        SCOPED_TRACE(testing::Message() << c.note << " at " << c.outRate);
        EXPECT_EQ(piano.renderNotePreview(c.note, 127, c.seconds, c.outRate).size(), c.frames);
    }
    // The octave down reads each sample twice, halfway in between.
    const QList<float> down = piano.renderNotePreview(48, 127, 1.0, rate);
    EXPECT_EQ(down[200], recording[100]);
    EXPECT_FLOAT_EQ(down[201], float(0.5 * recording[100] + 0.5 * recording[101]));
    EXPECT_EQ(piano.resample(buffer, 60, rate, 1.0).size(), rate) << "a buffer outside the map keeps its pitch";
}
