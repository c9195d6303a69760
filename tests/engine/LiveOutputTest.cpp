// SPDX-License-Identifier: GPL-3.0-or-later
// Live player and metronome: click frames against the analytic click, and the real path
// through the PulseAudio null sink, recorded back from its monitor.
#include "engine/LiveAudioPlayer.h"
#include "engine/Metronome.h"
#include "engine/PianoSampler.h"
#include "engine/PushAudioOutput.h"

#include "Requirement.h"
#include "ToneAnalysis.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMediaDevices>
#include <QProcess>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <numbers>
#include <vector>

namespace {
// The click the metronome must write at `frame` frames into a click of `hz`, at `volume`.
short expectedClick(int frame, double hz, int rate, double volume)
{
    const double t = double(frame) / rate;
    return short(std::sin(2.0 * std::numbers::pi * hz * t) * std::exp(-80.0 * t) * volume * 32767.0);
}

// Timeline frame of beat k: round(k * 60 / bpm * rate), in exact integer arithmetic.
qint64 beatFrame(qint64 k, int bpm, int rate)
{
    return (2 * k * 60 * rate + bpm) / (2 * bpm);
}

std::vector<short> renderClicks(Metronome &metronome, int frames)
{
    std::vector<short> out(2 * size_t(frames), 0);
    metronome.render(out.data(), frames);
    return out;
}

// Index of this process's playback stream on the PulseAudio server, or -1.
int ownSinkInput()
{
    QProcess pactl;
    pactl.start("pactl", {"list", "sink-inputs"});
    if (!pactl.waitForFinished(10000))
        return -1;
    int index = -1;
    const QString pid = QString::number(QCoreApplication::applicationPid());
    for (const QString &line : QString::fromUtf8(pactl.readAllStandardOutput()).split('\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith("Sink Input #"))
            index = trimmed.mid(12).toInt();
        else if (trimmed == QStringLiteral("application.process.id = \"%1\"").arg(pid))
            return index;
    }
    return -1;
}

// Records only our own stream from the null sink (other tests may play there at the same
// time) after `play` started it, until `seconds` have arrived; the left channel at 48 kHz.
template<typename Play>
std::vector<float> recordOwnStream(double seconds, Play &&play)
{
    play();
    const int stream = ownSinkInput();
    if (stream < 0)
        return {};
    QProcess parec;
    parec.start("parec", {"-d", "@DEFAULT_MONITOR@", QStringLiteral("--monitor-stream=%1").arg(stream), "--raw",
                          "--format=float32le", "--rate=48000", "--channels=2", "--latency-msec=20"});
    if (!parec.waitForStarted(10000))
        return {};
    QByteArray recorded;
    const qint64 wanted = qint64(seconds * 48000) * 2 * qint64(sizeof(float));
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 15000 && recorded.size() < wanted) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        recorded += parec.readAllStandardOutput();
    }
    parec.kill();
    parec.waitForFinished(5000);
    const auto *data = reinterpret_cast<const float *>(recorded.constData());
    std::vector<float> left(size_t(recorded.size()) / (2 * sizeof(float)));
    for (size_t i = 0; i < left.size(); ++i)
        left[i] = data[2 * i];
    return left;
}

// Notes whether Qt's PulseAudio sink reported an underflow while it lives: the server then
// played silence in place of frames the stream had not delivered yet.
class UnderflowWatch
{
public:
    UnderflowWatch()
    {
        seen = false;
        QLoggingCategory::setFilterRules(QStringLiteral("qt.multimedia.pulseaudio.output.debug=true"));
        previous = qInstallMessageHandler(&UnderflowWatch::handle);
    }
    ~UnderflowWatch()
    {
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
    }
    bool underflowed() const { return seen; }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (qstrcmp(context.category, "qt.multimedia.pulseaudio.output") != 0)
            previous(type, context, message);
        else if (message.contains(QLatin1String("underflow")))
            seen = true;
    }
    static inline QtMessageHandler previous = nullptr;
    static inline std::atomic<bool> seen = false;
};

bool haveAudioOutput()
{
    return !QMediaDevices::defaultAudioOutput().isNull();
}

// Metronome cases that open and close sinks without running the event loop. Qt's PulseAudio
// backend finishes closing a stream asynchronously; exiting before it has can trip an
// assertion inside libpulse, so each case lets the loop run briefly at its end.
class MetronomeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ZENTRIQ_REQUIRE(haveAudioOutput(), "no audio output: run through scripts/test.sh");
    }
    void TearDown() override
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 200)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
};
} // namespace

TEST(PushAudioOutput, ConvertsStereo16ToTheSinksFormat)
{
    const short stereo[] = {32767, -32768, 1000, -3000, 0, 16384};
    const auto format = [](QAudioFormat::SampleFormat sampleFormat, int channels) {
        QAudioFormat f;
        f.setSampleRate(48000);
        f.setChannelCount(channels);
        f.setSampleFormat(sampleFormat);
        return f;
    };
    struct Case
    {
        const char *what;
        QAudioFormat format;
        std::vector<double> expected;  // per frame and channel
    };
    const Case cases[] = {
        {"float stereo", format(QAudioFormat::Float, 2),
         {32767 / 32768.0, -1.0, 1000 / 32768.0, -3000 / 32768.0, 0.0, 0.5}},
        {"int16 stereo", format(QAudioFormat::Int16, 2), {32767, -32768, 1000, -3000, 0, 16384}},
        {"int32 mono takes the mean", format(QAudioFormat::Int32, 1), {0, -1000 * 65536.0, 8192 * 65536.0}},
        {"uint8, third channel silent", format(QAudioFormat::UInt8, 3), {255, 0, 128, 131, 116, 128, 128, 192, 128}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray out(3 * c.format.bytesPerFrame(), '\xEE');
        PushAudioOutput::convert(stereo, 3, c.format, out.data());
        for (size_t i = 0; i < c.expected.size(); ++i) {
            const char *at = out.constData() + i * size_t(c.format.bytesPerSample());
            double value = 0;
            switch (c.format.sampleFormat()) {
            case QAudioFormat::Float: value = *reinterpret_cast<const float *>(at); break;
            case QAudioFormat::Int16: value = *reinterpret_cast<const qint16 *>(at); break;
            case QAudioFormat::Int32: value = *reinterpret_cast<const qint32 *>(at); break;
            default: value = *reinterpret_cast<const quint8 *>(at); break;
            }
            EXPECT_DOUBLE_EQ(value, c.expected[i]) << "value " << i;
        }
    }
}

TEST_F(MetronomeTest, ClicksFollowTheTimelineBeatGridWithBarsAccented)
{
    struct Case
    {
        const char *what;
        int bpm;
        int rate;
        qint64 startBeat;       // start exactly on this beat, or
        double startSeconds;    // between beats when startBeat < 0
    };
    const Case cases[] = {
        {"120 BPM from 0", 120, 44100, 0, 0.0},
        {"120 BPM on beat 7", 120, 44100, 6, 0.0},
        {"120 BPM between beats", 120, 44100, -1, 1.2},
        {"97 BPM from 0", 97, 44100, 0, 0.0},
        {"97 BPM on beat 6", 97, 44100, 5, 0.0},
        {"97 BPM between beats, next one opens a bar", 97, 44100, -1, 2.0},
        {"97 BPM at 48 kHz between beats", 97, 48000, -1, 0.3},
    };
    constexpr int frames = 150000;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const double startSeconds = c.startBeat >= 0 ? double(c.startBeat) * 60.0 / c.bpm : c.startSeconds;
        const qint64 startFrame = c.startBeat >= 0 ? beatFrame(c.startBeat, c.bpm, c.rate)
                                                   : qint64(std::llround(c.startSeconds * c.rate));
        Metronome metronome;
        ASSERT_TRUE(metronome.start(c.rate, c.bpm, 4, startSeconds));
        // No event loop runs, so the feed timer does not move the clock behind our back.
        const std::vector<short> out = renderClicks(metronome, frames);

        std::vector<short> expected(out.size(), 0);
        const int clickFrames = c.rate / 20;
        std::vector<qint64> clickStarts;
        for (qint64 k = 0; beatFrame(k, c.bpm, c.rate) < startFrame + frames; ++k) {
            const qint64 at = beatFrame(k, c.bpm, c.rate) - startFrame;
            if (at < 0)
                continue;
            clickStarts.push_back(at);
            const double hz = k % 4 == 0 ? 800.0 : 600.0;  // beats 1, 5, 9 ... open a bar
            for (qint64 i = 0; i < clickFrames && at + i < frames; ++i)
                expected[2 * size_t(at + i)] = expected[2 * size_t(at + i) + 1] = expectedClick(int(i), hz, c.rate, 0.5);
        }
        ASSERT_GE(clickStarts.size(), 4u);
        if (c.startBeat >= 0)
            EXPECT_EQ(clickStarts.front(), 0) << "a start on a beat clicks at once";
        else
            EXPECT_GT(clickStarts.front(), 0) << "a start between beats waits for the next";

        int worst = 0;
        qint64 firstBad = -1;
        for (size_t i = 0; i < out.size(); ++i) {
            const int d = std::abs(out[i] - expected[i]);
            if (d > 1 && firstBad < 0)
                firstBad = qint64(i / 2);
            worst = std::max(worst, d);
        }
        EXPECT_LE(worst, 1) << "first wrong frame " << firstBad;
    }
}

TEST_F(MetronomeTest, SilentVolumeKeepsTheGridAndRestartBeginsAgain)
{
    Metronome metronome;
    ASSERT_TRUE(metronome.start(44100, 120.0, 4));
    metronome.render(nullptr, 10);
    renderClicks(metronome, 30000);  // the bar's first two beats
    metronome.setVolume(0.0f);
    std::vector<short> out = renderClicks(metronome, 50000);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](short v) { return v == 0; }));
    metronome.setVolume(0.5f);
    // Frames 80000 on: the next bar opens at 88200, whatever was silent before.
    out = renderClicks(metronome, 20000);
    EXPECT_EQ(out[2 * 8199], 0);
    EXPECT_EQ(out[2 * 8201], expectedClick(1, 800.0, 44100, 0.5));

    ASSERT_TRUE(metronome.start(44100, 120.0, 4, 0.25));
    EXPECT_TRUE(metronome.isRunning());
    out = renderClicks(metronome, 12000);
    EXPECT_EQ(out[2 * 11024], 0) << "a restart drops the old clock";
    EXPECT_EQ(out[2 * 11026], expectedClick(1, 600.0, 44100, 0.5));
    metronome.stop();
    EXPECT_FALSE(metronome.isRunning());
    metronome.stop();
}

TEST_F(MetronomeTest, DegenerateBarsAndTempos)
{
    struct Case
    {
        double bpm;
        int beats;
        bool clicks;  // every beat accented when it clicks
    };
    const Case cases[] = {{240.0, 0, true}, {240.0, -3, true}, {240.0, 1, true}, {0.0, 4, false},
                          {-120.0, 4, false}, {std::nan(""), 4, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.bpm << " BPM, " << c.beats << " beats");
        Metronome metronome;
        ASSERT_TRUE(metronome.start(44100, c.bpm, c.beats));
        const std::vector<short> out = renderClicks(metronome, 30000);
        if (!c.clicks) {
            EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](short v) { return v == 0; }));
            continue;
        }
        for (const int start : {0, 11025, 22050})
            EXPECT_EQ(out[2 * size_t(start + 10)], expectedClick(10, 800.0, 44100, 0.5));
    }
}

TEST(Metronome, ClicksHeardOnTheNullSinkHalfASecondApartWithBarsAccented)
{
    ZENTRIQ_REQUIRE(haveAudioOutput(), "no audio output: run through scripts/test.sh");
    // Spacing is counted in frames the stream delivered. When this process stalls (a busy
    // parallel run), the stream runs dry and the server plays silence the metronome never
    // wrote; a recording during which the sink reported that is made again.
    std::vector<float> heard;
    bool delivered = false;
    for (int attempt = 0; attempt < 3 && !delivered; ++attempt) {
        Metronome metronome;
        const UnderflowWatch watch;
        heard = recordOwnStream(2.6, [&] { ASSERT_TRUE(metronome.start(48000, 120.0, 4, 0.25)); });
        metronome.stop();
        delivered = !watch.underflowed();
    }
    // Onsets: the first frame of each loud stretch after at least 0.2 s of quiet.
    std::vector<size_t> onsets;
    size_t lastLoud = 0;
    for (size_t i = 0; i < heard.size(); ++i) {
        if (std::fabs(heard[i]) > 0.05f) {
            if (onsets.empty() || i - lastLoud > 9600)
                onsets.push_back(i);
            lastLoud = i;
        }
    }
    ASSERT_GE(onsets.size(), 4u) << "too few clicks heard in " << heard.size() << " frames";
    for (size_t n = 1; n < onsets.size(); ++n) {
        const double interval = double(onsets[n] - onsets[n - 1]);
        if (delivered)
            EXPECT_NEAR(interval, 24000.0, 48.0) << "click " << n;
        else
            EXPECT_GE(interval, 24000.0 - 48.0) << "click " << n << " (the stream ran dry on every attempt)";
    }
    // Every fourth click opens a bar at 800 Hz, the others sound at 600 Hz. The recording
    // may begin after the first click, so the bar is found from the first accent heard.
    std::vector<bool> accents;
    for (size_t n = 0; n < onsets.size() && onsets[n] + 1024 <= heard.size(); ++n) {
        const double hz = strongestFrequency(std::span<const float>(heard.data() + onsets[n], 1024), 48000, 500, 900);
        EXPECT_TRUE(std::fabs(hz - 600.0) <= 25.0 || std::fabs(hz - 800.0) <= 25.0) << "click " << n << ": " << hz;
        accents.push_back(hz > 700.0);
    }
    const auto firstAccent = std::find(accents.begin(), accents.end(), true);
    ASSERT_NE(firstAccent, accents.end()) << "no accent heard";
    ASSERT_LT(firstAccent - accents.begin(), 4);
    for (size_t n = 0; n < accents.size(); ++n)
        EXPECT_EQ(accents[n], (n + 4 - size_t(firstAccent - accents.begin())) % 4 == 0) << "click " << n;
}

TEST(LiveAudioPlayer, PianoNoteHeardOnTheNullSink)
{
    ZENTRIQ_REQUIRE(haveAudioOutput(), "no audio output: run through scripts/test.sh");
    PianoSampler piano;
    ASSERT_TRUE(piano.loadSampleLibraryFromResources(":/piano"));
    LiveAudioPlayer player;
    player.setPianoSampler(&piano);
    const std::vector<float> heard = recordOwnStream(1.5, [&] {
        ASSERT_TRUE(player.start(48000));
        EXPECT_TRUE(player.start(48000)) << "a running player starts at once";
        piano.noteOn(69, 127);
    });
    EXPECT_TRUE(player.isRunning());
    player.stop();
    EXPECT_FALSE(player.isRunning());
    // The A4 recording's fundamental, resampled to the sink's rate by the voice step.
    float peak = 0;
    size_t loudest = 0;
    for (size_t i = 0; i < heard.size(); ++i)
        if (std::fabs(heard[i]) > peak)
            peak = std::fabs(heard[loudest = i]);
    ASSERT_GT(peak, 0.05f) << "nothing heard";
    ASSERT_GT(heard.size(), loudest + 8192 + 4800);
    const std::span<const float> note(heard.data() + loudest + 4800, 8192);
    EXPECT_NEAR(strongestFrequency(note, 48000, 400, 480), 440.0, 2.0);
}

TEST(LiveAudioPlayer, WithoutInstrumentWritesSilence)
{
    ZENTRIQ_REQUIRE(haveAudioOutput(), "no audio output: run through scripts/test.sh");
    LiveAudioPlayer player;
    const std::vector<float> heard = recordOwnStream(0.6, [&] { ASSERT_TRUE(player.start(44100)); });
    ASSERT_GE(heard.size(), 28800u);
    EXPECT_TRUE(std::all_of(heard.begin(), heard.end(), [](float v) { return std::fabs(v) < 1e-4f; }));
}

// Runs the next test in a child whose PulseAudio address leads nowhere.
TEST(LiveOutputsWithoutServer, FailToStart)
{
    if (qEnvironmentVariableIsSet("ZENTRIQ_NO_AUDIO_SERVER_CHILD"))
        GTEST_SKIP();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ZENTRIQ_NO_AUDIO_SERVER_CHILD", "1");
    env.insert("PULSE_SERVER", "unix:/nonexistent/zentriq-no-server");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=LiveOutputsWithoutServerChild.*"});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray log = child.readAllStandardOutput() + child.readAllStandardError();
    EXPECT_EQ(child.exitCode(), 0) << log.constData();
    EXPECT_TRUE(log.contains("[  PASSED  ] 1 test")) << log.constData();
}

TEST(LiveOutputsWithoutServerChild, StartReturnsFalse)
{
    if (!qEnvironmentVariableIsSet("ZENTRIQ_NO_AUDIO_SERVER_CHILD"))
        GTEST_SKIP() << "runs inside LiveOutputsWithoutServer.FailToStart";
    LiveAudioPlayer player;
    EXPECT_FALSE(player.start(44100));
    EXPECT_FALSE(player.isRunning());
    Metronome metronome;
    EXPECT_FALSE(metronome.start(44100, 120.0, 4));
    EXPECT_FALSE(metronome.isRunning());
}
