// SPDX-License-Identifier: GPL-3.0-or-later
// Track renders and mixdown against a float64 numpy reference written from the rules
// (mixdown_oracle.py), exact-sample checks, MIDI tempo scaling, and the engine slots of
// playback, recording and live updates through a pumped device.
#include "document/ProjectDocument.h"
#include "document/TrackRendering.h"

#include "OracleTool.h"
#include "PumpedDocumentEngine.h"
#include "Requirement.h"
#include "Signals.h"
#include "TestFiles.h"

#include "engine/MultiTrackAudioEngine.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>

namespace {

constexpr int rate = 44100;
const QString kSoundFont = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");

QList<float> noise(qsizetype frames, unsigned seed)
{
    return seededNoise<QList<float>>(std::size_t(frames), 0.5f, seed);
}

AudioClip clipOf(QList<float> samples, int sampleRate, double start)
{
    AudioClip clip;
    clip.samples = std::move(samples);
    clip.sampleRate = sampleRate;
    clip.start = start;
    return clip;
}

// A clip of `seconds` of seeded noise at `sampleRate`.
AudioClip noiseClip(double seconds, int sampleRate, double start, unsigned seed)
{
    return clipOf(noise(qsizetype(std::llround(seconds * sampleRate)), seed), sampleRate, start);
}

TrackData audioTrack(std::vector<AudioClip> clips)
{
    TrackData track;
    track.audioClips = std::move(clips);
    return track;
}

MidiClip midiClip(double start, double duration, std::vector<MidiNote> notes)
{
    MidiClip clip;
    clip.start = start;
    clip.duration = duration;
    clip.notes = std::move(notes);
    return clip;
}

TrackData midiTrack(std::vector<MidiClip> clips)
{
    TrackData track;
    track.type = TrackType::Midi;
    track.midiClips = std::move(clips);
    return track;
}

// The reference in mixdown_oracle.py, fed the records as JSON and raw sample files.
class Oracle
{
public:
    bool available() const { return !python.isEmpty(); }

    std::vector<double> run(const char *mode, const std::vector<TrackData> &tracks, int projectRate = rate,
                            double bpm = 120.0, double midiFileTempo = 120.0)
    {
        QJsonArray trackArray;
        for (const TrackData &track : tracks) {
            QJsonArray clips;
            for (const AudioClip &clip : track.audioClips) {
                const QString file = files.write(QStringLiteral("clip%1.f32").arg(next++),
                                                 QByteArray(reinterpret_cast<const char *>(clip.samples.constData()),
                                                            clip.samples.size() * qsizetype(sizeof(float))));
                clips.append(QJsonObject{{"file", file},
                                         {"sampleRate", clip.sampleRate},
                                         {"start", clip.start},
                                         {"audioStart", clip.audioStart},
                                         {"audioEnd", clip.audioEnd},
                                         {"fadeIn", clip.fadeIn},
                                         {"fadeOut", clip.fadeOut},
                                         {"fadeInCurve", clip.fadeInCurve},
                                         {"fadeOutCurve", clip.fadeOutCurve}});
            }
            QJsonArray envelope, midi;
            for (const EnvelopePoint &point : track.volumeEnvelope)
                envelope.append(QJsonArray{point.time, double(point.value)});
            for (const MidiClip &clip : track.midiClips)
                midi.append(QJsonArray{clip.start, clip.duration});
            trackArray.append(QJsonObject{{"volume", double(track.volume)},
                                          {"pan", double(track.pan)},
                                          {"muted", track.muted},
                                          {"solo", track.solo},
                                          {"envelopeEnabled", track.envelopeEnabled},
                                          {"envelope", envelope},
                                          {"clips", clips},
                                          {"midiClips", midi}});
        }
        const QJsonObject project{
            {"rate", projectRate}, {"bpm", bpm}, {"midiFileTempo", midiFileTempo}, {"tracks", trackArray}};
        const QString path = files.write(QStringLiteral("project%1.json").arg(next++),
                                         QJsonDocument(project).toJson(QJsonDocument::Compact));
        const ToolResult result = runTool(python, {QStringLiteral(ZENTRIQ_MIXDOWN_ORACLE), QString::fromUtf8(mode), path});
        EXPECT_TRUE(result.ok()) << result.standardError.toStdString();
        std::vector<double> values(size_t(result.standardOutput.size()) / sizeof(double));
        if (!values.empty())
            std::memcpy(values.data(), result.standardOutput.constData(), values.size() * sizeof(double));
        return values;
    }

private:
    QString python = pythonWith(QStringLiteral("numpy"));
    TestFiles files;
    int next = 0;
};

template<typename Values>
void expectClose(const Values &ours, const std::vector<double> &reference, double tolerance = 1e-6)
{
    ASSERT_EQ(size_t(ours.size()), reference.size());
    size_t worst = 0;
    double worstError = 0.0;
    for (size_t i = 0; i < reference.size(); ++i) {
        const double error = std::abs(double(ours[qsizetype(i)]) - reference[i]);
        if (error > worstError || std::isnan(error)) {
            worstError = std::isnan(error) ? 1e9 : error;
            worst = i;
        }
    }
    EXPECT_LE(worstError, tolerance) << "at frame " << worst << ": " << ours[qsizetype(worst)] << " vs "
                                     << reference[worst];
}

TEST(FadeGain, CurvesAndGainsAtTheirDefiningPoints)
{
    EXPECT_FLOAT_EQ(fadeCurve(FadeCurve::SCurve, 0.5f), 0.5f);
    EXPECT_FLOAT_EQ(fadeCurve(FadeCurve::Exponential, 0.5f), 0.25f);
    EXPECT_FLOAT_EQ(fadeCurve(FadeCurve::Logarithmic, 0.25f), 0.5f);
    EXPECT_FLOAT_EQ(fadeCurve(7, 0.3f), 0.3f);

    AudioClip clip = noiseClip(1.0, rate, 0.0, 1);
    clip.fadeIn = 0.5;
    clip.fadeOut = 0.5;
    const ClipFades fades = ClipFades::of(clip, rate);
    const struct
    {
        qint64 frame;
        float gain;
    } points[] = {{0, 0.0f}, {11025, 0.5f}, {22050, 1.0f}, {44099, 1.0f / 22050}};
    for (const auto &p : points) {
        SCOPED_TRACE(p.frame);
        EXPECT_NEAR(fades.gainAt(p.frame, rate), p.gain, 1e-7);  // single precision
    }
}

TEST(TrackRender, MatchesTheFloat64Reference)
{
    Oracle oracle;
    ZENTRIQ_REQUIRE(oracle.available(), "python3-numpy is not installed");

    const auto faded = [](int inCurve, int outCurve, double fadeIn, double fadeOut) {
        AudioClip clip = noiseClip(1.0, rate, 0.25, 10 + inCurve);
        clip.fadeIn = fadeIn;
        clip.fadeOut = fadeOut;
        clip.fadeInCurve = inCurve;
        clip.fadeOutCurve = outCurve;
        return audioTrack({clip});
    };
    const auto trimmed = [](int sampleRate) {
        AudioClip clip = noiseClip(1.5, sampleRate, 0.5, 3);
        clip.audioStart = 0.1;
        clip.audioEnd = 0.2;
        clip.fadeIn = 0.05;
        return audioTrack({clip});
    };
    TrackData enveloped = audioTrack({noiseClip(2.0, rate, 0.0, 4)});
    enveloped.envelopeEnabled = true;
    enveloped.volumeEnvelope = {{0.5, 0.2f}, {1.5, 1.2f}};
    TrackData enabledWithoutPoints = audioTrack({noiseClip(1.0, rate, 0.0, 5)});
    enabledWithoutPoints.envelopeEnabled = true;
    AudioClip cutFade = noiseClip(1.5, rate, -0.5, 6);
    cutFade.fadeIn = 1.0;
    cutFade.fadeInCurve = FadeCurve::SCurve;

    const struct
    {
        const char *name;
        TrackData track;
    } cases[] = {
        {"linear fades", faded(FadeCurve::Linear, FadeCurve::Linear, 0.3, 0.4)},
        {"S-curve fades", faded(FadeCurve::SCurve, FadeCurve::Exponential, 0.3, 0.4)},
        {"exponential fades", faded(FadeCurve::Exponential, FadeCurve::Logarithmic, 0.3, 0.4)},
        {"logarithmic fades", faded(FadeCurve::Logarithmic, FadeCurve::SCurve, 0.3, 0.4)},
        {"unknown curve is linear", faded(7, -2, 0.3, 0.4)},
        {"overlapping fade-in and fade-out multiply", faded(FadeCurve::SCurve, FadeCurve::Linear, 0.7, 0.6)},
        {"22050 Hz into 44100 Hz", trimmed(22050)},
        {"48000 Hz into 44100 Hz", trimmed(48000)},
        {"A 0-4 s, B 1-2 s, C 1.5-3 s", audioTrack({noiseClip(4.0, rate, 0.0, 7), noiseClip(1.0, rate, 1.0, 8),
                                                     noiseClip(1.5, rate, 1.5, 9)})},
        {"touching clips do not crossfade", audioTrack({noiseClip(2.0, rate, 0.0, 11), noiseClip(1.0, rate, 2.0, 12)})},
        {"equal starts keep their order", audioTrack({noiseClip(2.0, rate, 0.5, 13), noiseClip(1.0, rate, 0.5, 14)})},
        {"equal starts, other order", audioTrack({noiseClip(1.0, rate, 0.5, 14), noiseClip(2.0, rate, 0.5, 13)})},
        {"negative start drops what lies before 0", audioTrack({cutFade})},
        {"envelope", enveloped},
        {"envelope on without points", enabledWithoutPoints},
        {"start off the frame grid", audioTrack({noiseClip(0.5, 22050, 1.23456, 15), noiseClip(0.5, rate, 0.98765, 16)})},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        expectClose(renderAudioClips(c.track, rate), oracle.run("render", {c.track}));
    }
}

TEST(TrackRender, AShortPunchInFadesOnlyWhereItOverlaps)
{
    const AudioClip song = noiseClip(30.0, rate, 0.0, 20);
    const TrackData track = audioTrack({song, noiseClip(2.0, rate, 10.0, 21)});
    const QList<float> out = renderAudioClips(track, rate);
    ASSERT_EQ(out.size(), 31 * rate);
    // Before and after the punch-in the song is untouched, bit for bit.
    for (qsizetype i : {qsizetype(0), qsizetype(10 * rate - 1), qsizetype(12 * rate), qsizetype(30 * rate - 1)})
        EXPECT_EQ(out[i], song.samples[i]) << i;
    EXPECT_TRUE(std::equal(out.begin() + 12 * rate, out.begin() + 30 * rate, song.samples.begin() + 12 * rate));

    Oracle oracle;
    ZENTRIQ_REQUIRE(oracle.available(), "python3-numpy is not installed");
    expectClose(out, oracle.run("render", {track}));
}

TEST(TrackRender, WindowsAreSlicesOfTheWholeRender)
{
    AudioClip early = noiseClip(2.0, 48000, -0.3, 70);
    early.fadeIn = 0.5;
    early.fadeOut = 0.4;
    AudioClip late = noiseClip(1.5, rate, 1.2, 71);
    late.fadeOutCurve = FadeCurve::SCurve;
    late.fadeOut = 0.7;
    TrackData track = audioTrack({early, late, noiseClip(0.5, 22050, 1.4, 72)});
    track.envelopeEnabled = true;
    track.volumeEnvelope = {{0.2, 0.5f}, {2.0, 1.1f}};
    const QList<float> whole = renderAudioClips(track, rate);
    const struct
    {
        qint64 first;
        qint64 count;
    } windows[] = {{0, 1000}, {52000, 7777}, {whole.size() - 100, 500}, {whole.size() + 10, 64}};
    for (const auto &w : windows) {
        SCOPED_TRACE(w.first);
        std::vector<float> part(size_t(w.count), 9.0f);
        renderAudioClips(track, rate, w.first, part);
        for (qint64 i = 0; i < w.count; ++i) {
            const qint64 frame = w.first + i;
            ASSERT_EQ(part[size_t(i)], frame < whole.size() ? whole[frame] : 0.0f) << frame;
        }
    }
}

TEST(TrackRender, SevenMinutesAtTheProjectRateComeBackBitExact)
{
    const qsizetype frames = 7 * 60 * qsizetype(rate);
    const QList<float> source = noise(frames, 30);
    const struct
    {
        const char *name;
        double start;
        double audioStart;
        qsizetype outStart;
        qsizetype srcStart;
    } cases[] = {{"at 0", 0.0, 0.0, 0, 0}, {"at 2.5 s, 1 s trimmed", 2.5, 1.0, 110250, 44100}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        AudioClip clip = clipOf(source, rate, c.start);
        clip.audioStart = c.audioStart;
        const QList<float> out = renderAudioClips(audioTrack({clip}), rate);
        ASSERT_EQ(out.size(), c.outStart + frames - c.srcStart + rate);
        EXPECT_TRUE(std::all_of(out.begin(), out.begin() + c.outStart, [](float v) { return v == 0.0f; }));
        const auto mismatch =
            std::mismatch(source.begin() + c.srcStart, source.end(), out.begin() + c.outStart).first;
        EXPECT_EQ(mismatch, source.end()) << "first differing source frame " << (mismatch - source.begin());
    }
}

TEST(MidiTempo, ScaleIgnoresTempoesThatCannotDivide)
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    const struct
    {
        double bpm;
        double reference;
        double scale;
    } cases[] = {{60, 120, 2.0}, {240, 120, 0.5},  {120, 120 + 1e-13, 1.0}, {0, 120, 1.0},
                 {-90, 120, 1.0}, {120, 0, 1.0},    {nan, 120, 1.0},         {120, inf, 1.0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.bpm << " over " << c.reference);
        EXPECT_EQ(midiTempoScale(c.bpm, c.reference), c.scale);
    }
}

// Mixdown length, audio and MIDI, at tempos where the MIDI tail would be cut if it were not scaled.
TEST(Mixdown, LengthIsTheRoundedProjectEnd)
{
    Oracle oracle;
    ZENTRIQ_REQUIRE(oracle.available(), "python3-numpy is not installed");
    const TrackData offGrid = audioTrack({noiseClip(96001.0 / 48000, 48000, 0.0, 40)});  // 88200.92 frames
    const TrackData shortAudio = audioTrack({noiseClip(1.0, rate, 0.25, 41)});
    const TrackData midi = midiTrack({midiClip(0.5, 2.8, {{60, 0.25, 1.0, 100}}), midiClip(0.1, 1.0, {})});
    const struct
    {
        const char *name;
        std::vector<TrackData> tracks;
        double bpm;
    } cases[] = {
        {"audio, rate converted", {offGrid}, 120},
        {"MIDI at 60 BPM", {shortAudio, midi}, 60},
        {"MIDI at 97 BPM", {shortAudio, midi}, 97},
        {"MIDI at 120 BPM", {shortAudio, midi}, 120},
        {"MIDI at 240 BPM", {midi, shortAudio}, 240},
        {"a tempo of 0 plays MIDI as stored", {midi}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ProjectDocument document;
        document.tracks = c.tracks;
        document.bpm = c.bpm;
        QList<float> out;
        int outRate = 0;
        ASSERT_TRUE(document.renderMixdown(out, outRate));
        EXPECT_EQ(outRate, rate);
        const std::vector<double> frames = oracle.run("frames", c.tracks, rate, c.bpm, 120.0);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(out.size(), 2 * qsizetype(frames[0]));
    }
}

TEST(Mixdown, MatchesTheFloat64Reference)
{
    Oracle oracle;
    ZENTRIQ_REQUIRE(oracle.available(), "python3-numpy is not installed");
    TrackData a = audioTrack({noiseClip(2.0, 22050, 0.0, 50), noiseClip(1.0, 22050, 1.5, 51)});
    a.audioClips[0].fadeOut = 0.3;
    a.pan = -0.6f;
    TrackData b = audioTrack({noiseClip(2.5, 48000, 0.3, 52)});
    b.volume = 1.3f;
    b.pan = 0.25f;
    b.envelopeEnabled = true;
    b.volumeEnvelope = {{0.0, 0.5f}, {2.0, 1.5f}};
    TrackData loud = audioTrack({clipOf(QList<float>(rate, 0.9f), rate, 0.0)});  // the sum clips at 1
    loud.volume = 1.5f;
    TrackData silentSolo;
    silentSolo.solo = true;
    TrackData muted = b;
    muted.muted = true;

    const struct
    {
        const char *name;
        std::vector<TrackData> tracks;
    } cases[] = {
        {"pans, gains, envelope", {a, b}},
        {"clipping", {loud, loud, a}},
        {"mute", {a, muted}},
        {"a soloed silent track silences the rest", {a, b, silentSolo}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ProjectDocument document;
        document.tracks = c.tracks;
        QList<float> out;
        int outRate = 0;
        ASSERT_TRUE(document.renderMixdown(out, outRate));
        expectClose(out, oracle.run("mix", c.tracks));
    }
}

TEST(Mixdown, NothingToMixLeavesTheOutputAlone)
{
    ProjectDocument document;
    document.setSampleRate(48000);
    const QList<float> untouched{1.0f, 2.0f};
    QList<float> out = untouched;
    int outRate = 0;
    EXPECT_FALSE(document.renderMixdown(out, outRate));
    EXPECT_EQ(outRate, 48000);
    document.tracks = {audioTrack({}), midiTrack({})};
    EXPECT_FALSE(document.renderMixdown(out, outRate));
    EXPECT_EQ(out, untouched);
}

TEST(MidiRender, TempoScalesEveryTimeAndTheSoundFontWins)
{
    ZENTRIQ_REQUIRE(QFileInfo::exists(kSoundFont), "timgm6mb-soundfont is not installed");
    ProjectDocument document;
    ASSERT_TRUE(document.sf2Sampler.loadSoundFont(kSoundFont));
    ASSERT_TRUE(document.pianoSampler.loadSampleLibraryFromResources(QStringLiteral(":/piano")));
    document.tracks = {midiTrack({midiClip(0.5, 2.0, {{60, 0.25, 1.0, 100}, {64, 1.0, 0.9, 100}})})};
    for (double bpm : {60.0, 97.0, 120.0, 240.0}) {
        SCOPED_TRACE(bpm);
        document.bpm = bpm;
        const double g = 120.0 / bpm;
        const TrackData scaled = document.tempoScaledTrack(document.tracks[0]);
        const MidiClip &clip = scaled.midiClips[0];
        EXPECT_EQ(clip.start, 0.5 * g);
        EXPECT_EQ(clip.duration, 2.0 * g);
        EXPECT_EQ(clip.notes[1].start, 1.0 * g);
        EXPECT_EQ(clip.notes[1].duration, 0.9 * g);

        // The mix is the SoundFont's render of the scaled track; its last note is not cut.
        QList<float> mix;
        int outRate = 0;
        ASSERT_TRUE(document.renderMixdown(mix, outRate));
        const QList<float> render = document.sf2Sampler.renderTrack(scaled, rate);
        const QList<float> again = document.sf2Sampler.renderTrack(scaled, rate);
        for (qsizetype i = 0; i < render.size(); ++i)
            ASSERT_EQ(render[i], again[i]) << i;
        const qsizetype frames = mix.size() / 2;
        ASSERT_EQ(frames, std::llround(2.5 * g * rate));
        for (qsizetype i = 0; i < frames; i += 97)
            ASSERT_FLOAT_EQ(mix[2 * i], std::clamp(render[i] * 0.8f * 0.707f, -1.0f, 1.0f)) << i;
        const qsizetype noteEnd = std::llround((0.5 * g + 1.0 * g + 0.9 * g) * rate);
        const auto lastSound = std::find_if(render.rbegin(), render.rend(), [](float v) { return v != 0.0f; });
        const qsizetype lastFrame = render.rend() - lastSound - 1;
        EXPECT_LT(lastFrame, noteEnd);
        EXPECT_GT(lastFrame, noteEnd - 64);
    }
}

// The document with a device the test drives block by block.
class PlaybackSlots : public ::testing::Test
{
protected:
    float left() { return device.left(); }

    void play()
    {
        document.renderCachesAndSlots(-1);
        ASSERT_TRUE(document.engine->startPlayback(0.0));
    }

    ProjectDocument document;
    PumpedDocumentEngine device{document, rate};
};

TEST_F(PlaybackSlots, GainFollowsTheRenderThatPlays)
{
    document.tracks = {audioTrack({clipOf(QList<float>(rate, 0.5f), rate, 0.0)})};
    TrackData &track = document.tracks[0];
    play();
    EXPECT_FLOAT_EQ(left(), 0.5f * 0.8f * 0.707f);

    track.volume = 0.4f;
    document.updateEngineTrackSlot(0);
    EXPECT_FLOAT_EQ(left(), 0.5f * 0.4f * 0.707f);

    // Switched on while playing: the render has no envelope, so the volume stays in force
    // instead of jumping to gain 1.
    track.envelopeEnabled = true;
    track.volumeEnvelope = {{0.0, 0.1f}};
    document.updateEngineTrackSlot(0);
    EXPECT_FLOAT_EQ(left(), 0.5f * 0.4f * 0.707f);
    document.updateEngineTrackSlot(1);
    document.updateEngineTrackSlot(-1);

    // From the next Play the envelope is in the render and the volume has no effect.
    document.engine->stopPlayback();
    play();
    EXPECT_FLOAT_EQ(left(), 0.5f * 0.1f * 0.707f);
    track.volume = 1.2f;
    track.muted = true;
    document.updateEngineTrackSlot(0);
    EXPECT_EQ(left(), 0.0f);

    // Stopped, nothing is sent; an envelope without points leaves the volume in force.
    document.engine->stopPlayback();
    track.muted = false;
    document.updateEngineTrackSlot(0);
    ASSERT_TRUE(document.engine->startPlayback(0.0));
    EXPECT_EQ(left(), 0.0f);
    document.engine->stopPlayback();
    track.volumeEnvelope.clear();
    play();
    EXPECT_FLOAT_EQ(left(), 0.5f * 1.2f * 0.707f);
}

TEST_F(PlaybackSlots, RecordingLeavesOutTheClipBeingRecorded)
{
    const AudioClip played = noiseClip(1.0, rate, 0.0, 60);
    const AudioClip recording = noiseClip(0.5, rate, 1.0, 61);
    document.tracks = {audioTrack({played, recording}), audioTrack({recording}), audioTrack({played}),
                   midiTrack({midiClip(0.0, 1.0, {})})};
    document.renderCachesAndSlots(0);
    ASSERT_EQ(document.audioRenderCache.size(), 4u);
    EXPECT_EQ(document.audioRenderCache[0], renderAudioClips(audioTrack({played}), rate));
    EXPECT_EQ(document.audioRenderCache[2], document.audioRenderCache[0]);
    EXPECT_FALSE(document.audioRenderCache[1].isEmpty());

    document.renderCachesAndSlots(1);
    EXPECT_TRUE(document.audioRenderCache[1].isEmpty()) << "only the recording clip: the track is silent";
    EXPECT_EQ(document.audioRenderCache[0], renderAudioClips(document.tracks[0], rate));
    EXPECT_EQ(document.midiRenderCache[3].isEmpty(), !document.pianoSampler.hasSamples())
        << "without a SoundFont, MIDI sounds through the piano when it has samples";
    EXPECT_TRUE(document.midiRenderCache[0].isEmpty());
}

} // namespace
