// SPDX-License-Identifier: GPL-3.0-or-later
// The editor page on the test PulseAudio server: what it plays is recorded back from the
// null sink's monitor (by parec, independently of our engine), and what it records comes
// from that monitor while paplay plays a tone into the sink.
#include "AudioEditorPageProbe.h"

#include "MonitorCapture.h"
#include "OracleTool.h"
#include "PrivatePulseServer.h"
#include "ScopedEnv.h"
#include "ShownPage.h"
#include "WarningBoxes.h"
#include "TestFiles.h"
#include "ui/AudioDeviceNotice.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <optional>
#include <random>
#include <thread>
#include <vector>

namespace {
constexpr int rate = 48000;  // the null sink's rate, so nothing is resampled on the way

// Where the heard audio starts: the first clearly non-silent recorded frame and the frame of
// `expected` that the 64 frames from there repeat. The null sink rewinds when a stream
// joins and its monitor misses what was re-rendered, so the first few blocks may be absent.
struct Onset
{
    std::size_t recorded;
    qsizetype expected;
};
std::optional<Onset> findOnset(const std::vector<float> &recorded, const QList<float> &expected)
{
    const auto first = std::find_if(recorded.begin(), recorded.end(), [](float x) { return std::abs(x) > 0.05f; });
    const std::size_t at = std::size_t(first - recorded.begin());
    if (at + 64 > recorded.size())
        return std::nullopt;
    // Back up over quiet frames before the first loud one when they were played too; when
    // the monitor heard silence before the playback, the loud frame itself is the onset.
    for (std::size_t back = std::min<std::size_t>(at, 8);; --back) {
        const std::size_t start = at - back;
        for (qsizetype k = 0; k + 64 <= expected.size(); ++k) {
            bool same = true;
            for (qsizetype j = 0; j < 64 && same; ++j)
                same = std::abs(recorded[start + std::size_t(j)] - expected[k + j]) < 1e-4f;
            if (same)
                return Onset{start, k};
        }
        if (back == 0)
            break;
    }
    return std::nullopt;
}

class EditorTransport : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pulse.isValid()) << "no private PulseAudio server";
        ASSERT_TRUE(showPage(page));
    }

    bool waitForPlaybackEnd(int timeoutMs)
    {
        return waitUntil([&] { return !AudioEditorPageProbe::isPlaying(page); }, timeoutMs);
    }

    ScopedEnv api{"ZENTRIQ_AUDIO_API", "pulse"};
    PrivatePulseServer pulse;
    AudioEditorPage page;
};

TEST_F(EditorTransport, PlaysTheClipFromThePlayheadUnchangedByEditsDuringPlayback)
{
    page.loadAudioSamples(seededNoise(qsizetype(rate) * 3, 0.3f, 21), rate);
    // An edit before playing, undone while playing: the snapshot taken at Play is what is heard.
    page.setPlayheadAll(2.0);
    AudioEditorPageProbe::waveform1(page)->setFocus();
    QTest::mousePress(AudioEditorPageProbe::waveform1(page), Qt::LeftButton, {}, QPoint(800, 100));
    QTest::mouseMove(AudioEditorPageProbe::waveform1(page), QPoint(900, 100));
    QTest::mouseRelease(AudioEditorPageProbe::waveform1(page), Qt::LeftButton, {}, QPoint(1000, 100));
    QTest::keyClick(&page, Qt::Key_Delete);
    ASSERT_EQ(page.document().undoStack()->count(), 1);
    const QList<float> played = page.document().samples();

    MonitorCapture capture;
    ASSERT_TRUE(capture.start(rate, pulse.serverArguments()));
    page.setPlayheadAll(1.0);
    page.onPlayPauseClicked();
    ASSERT_TRUE(AudioEditorPageProbe::isPlaying(page)) << AudioEditorPageProbe::status(page).toStdString();
    EXPECT_EQ(AudioEditorPageProbe::status(page), QStringLiteral("播放中..."));
    QTest::qWait(300);
    page.document().undo();

    ASSERT_TRUE(waitForPlaybackEnd(10000));
    EXPECT_EQ(AudioEditorPageProbe::status(page), QStringLiteral("播放完成"));
    EXPECT_EQ(AudioEditorPageProbe::playText(page), QStringLiteral(">"));
    EXPECT_EQ(AudioEditorPageProbe::leftMeter(page), 0);
    QTest::qWait(500);
    const std::vector<float> recorded = capture.stop();

    const QList<float> expected = played.mid(rate);
    const std::optional<Onset> onset = findOnset(recorded, expected);
    ASSERT_TRUE(onset.has_value()) << "the clip from 1.0 s was not heard on the monitor";
    EXPECT_LT(onset->expected, rate / 10) << "playback must start at the playhead";
    const qsizetype heard = expected.size() - onset->expected;
    ASSERT_GE(qsizetype(recorded.size() - onset->recorded), heard) << "the end of the clip was not heard";
    float worst = 0;
    for (qsizetype i = 0; i < heard; ++i)
        worst = std::max(worst, std::abs(recorded[onset->recorded + std::size_t(i)] - expected[onset->expected + i]));
    // The sink stores 16-bit samples.
    EXPECT_LT(worst, 1e-4f);
}

TEST_F(EditorTransport, StopReturnsToZero)
{
    page.loadAudioSamples(seededNoise(rate * 2, 0.1f, 2), rate);
    page.setPlayheadAll(0.5);
    page.onPlayPauseClicked();
    ASSERT_TRUE(AudioEditorPageProbe::isPlaying(page));
    QTest::qWait(300);
    EXPECT_GT(AudioEditorPageProbe::waveform1(page)->getPlayheadPosition(), 0.5);

    page.onStopClicked();
    EXPECT_FALSE(AudioEditorPageProbe::isPlaying(page));
    EXPECT_EQ(AudioEditorPageProbe::time(page), QStringLiteral("00:00:00.000"));
    EXPECT_EQ(AudioEditorPageProbe::waveform1(page)->getPlayheadPosition(), 0.0);
    EXPECT_EQ(AudioEditorPageProbe::status(page), QStringLiteral("已停止"));
    EXPECT_EQ(AudioEditorPageProbe::leftMeter(page), 0);
}

TEST_F(EditorTransport, MetersShowTheLevelOfThePlayedBlocks)
{
    const struct
    {
        float value;
        int level;
    } rows[] = {{0.5f, 50}, {1.5f, 100}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.value);
        page.loadAudioSamples(QList<float>(rate, row.value), rate);
        page.setPlayheadAll(0.0);
        page.onPlayPauseClicked();
        EXPECT_TRUE(waitUntil([&] { return AudioEditorPageProbe::leftMeter(page) == row.level; }, 3000));
        EXPECT_EQ(AudioEditorPageProbe::rightMeter(page), AudioEditorPageProbe::leftMeter(page));
        page.onStopClicked();
    }
}

TEST_F(EditorTransport, EachClipPlaysAtItsOwnRate)
{
    page.loadAudioSamples(QList<float>(4410, 0.0f), 44100);
    page.onPlayPauseClicked();
    EXPECT_EQ(AudioEditorPageProbe::engineRate(page), 44100);
    ASSERT_TRUE(waitForPlaybackEnd(5000));

    page.loadAudioSamples(QList<float>(4800, 0.0f), 48000);
    page.setPlayheadAll(0.0);
    page.onPlayPauseClicked();
    EXPECT_EQ(AudioEditorPageProbe::engineRate(page), 48000);
    page.onStopClicked();
}

TEST_F(EditorTransport, RecordingAtOneSecondInsertsTheTakeIntoBothListsAsOneStep)
{
    TestFiles files;
    std::vector<float> tone(std::size_t(rate) * 3 / 2);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = float(0.5 * std::sin(2.0 * std::numbers::pi * 1000.0 * double(i) / rate));
    const QString tonePath = files.write(QStringLiteral("tone.wav"), makeWavBytes(tone, 1, rate));
    ASSERT_FALSE(tonePath.isEmpty());

    const QList<float> interleaved = seededNoise(2 * 3 * rate, 0.4f, 9);
    page.loadStereoAudioSamples(interleaved, rate);
    const QList<float> mono = page.document().samples();
    page.setPlayheadAll(1.0);

    page.onRecordClicked();
    ASSERT_TRUE(AudioEditorPageProbe::isRecording(page)) << AudioEditorPageProbe::status(page).toStdString();
    EXPECT_EQ(AudioEditorPageProbe::status(page), QStringLiteral("录音中..."));

    QProcess player;
    player.start(QStringLiteral("paplay"), pulse.serverArguments() + QStringList{tonePath});
    ASSERT_TRUE(player.waitForStarted(5000));
    // The take reaches the list while recording, not only at the stop.
    EXPECT_TRUE(waitUntil([&] { return page.document().samples().size() > mono.size() + rate / 5; }, 5000));
    // Nothing may replace the list under the take.
    EXPECT_FALSE(page.document().undoStack()->canUndo());
    QTest::keyClick(&page, Qt::Key_Z, Qt::ControlModifier);
    page.document().undoStack()->undo();
    EXPECT_FALSE(page.loadAudioSamples(QList<float>(10, 0.0f), rate));
    EXPECT_TRUE(AudioEditorPageProbe::status(page).startsWith(QStringLiteral("错误：")));
    EXPECT_TRUE(waitUntil([&] { return player.state() == QProcess::NotRunning; }, 10000));
    QTest::qWait(300);
    page.onRecordClicked();
    ASSERT_FALSE(AudioEditorPageProbe::isRecording(page));

    const qsizetype taken = page.document().samples().size() - mono.size();
    ASSERT_GT(taken, rate);
    EXPECT_TRUE(sameBits(page.document().samples().mid(0, rate), mono.mid(0, rate)));
    EXPECT_TRUE(sameBits(page.document().samples().mid(rate + taken), mono.mid(rate)));
    ASSERT_EQ(page.document().stereoSamples().size(), 2 * page.document().samples().size());
    EXPECT_TRUE(sameBits(page.document().stereoSamples().mid(0, 2 * rate), interleaved.mid(0, 2 * rate)));
    EXPECT_TRUE(sameBits(page.document().stereoSamples().mid(2 * (rate + taken)), interleaved.mid(2 * rate)));
    float loudest = 0;
    for (qsizetype i = rate; i < rate + taken; ++i) {
        ASSERT_EQ(page.document().stereoSamples()[2 * i], page.document().samples()[i]);
        ASSERT_EQ(page.document().stereoSamples()[2 * i + 1], page.document().samples()[i]);
        loudest = std::max(loudest, std::abs(page.document().samples()[i]));
    }
    EXPECT_GT(loudest, 0.4f) << "the tone played into the sink must be in the take";
    EXPECT_NEAR(AudioEditorPageProbe::waveform1(page)->getPlayheadPosition(), double(rate + taken) / rate, 1e-9);
    EXPECT_TRUE(AudioEditorPageProbe::status(page).startsWith(QStringLiteral("录音完成，共 ")));

    EXPECT_EQ(page.document().undoStack()->count(), 1);
    EXPECT_EQ(page.document().undoStack()->undoText(), QStringLiteral("插入录音"));
    expectUndoRedoBitExact(page, mono, interleaved);
}

TEST_F(EditorTransport, AnEmptyTakePushesNoStep)
{
    const QList<float> original = seededNoise(rate, 0.2f, 4);
    page.loadAudioSamples(original, rate);
    // Stopping right after starting usually captures nothing; on a loaded machine the stream
    // may already have delivered a block, which is then undone and the attempt repeated.
    for (int attempt = 0; attempt < 5; ++attempt) {
        // Starting a recording drops what could be redone, as any new edit does.
        const int stepsBefore = page.document().undoStack()->index();
        page.onRecordClicked();
        ASSERT_TRUE(AudioEditorPageProbe::isRecording(page)) << AudioEditorPageProbe::status(page).toStdString();
        page.onRecordClicked();
        if (AudioEditorPageProbe::status(page) == QStringLiteral("录音已停止")) {
            EXPECT_EQ(page.document().undoStack()->count(), stepsBefore);
            EXPECT_EQ(page.document().undoStack()->index(), stepsBefore);
            EXPECT_TRUE(sameBits(page.document().samples(), original));
            return;
        }
        ASSERT_EQ(page.document().undoStack()->undoText(), QStringLiteral("插入录音"));
        page.document().undoStack()->undo();
        ASSERT_TRUE(sameBits(page.document().samples(), original));
    }
    GTEST_SKIP() << "every attempt captured a block before the stop";
}

// Seconds of the loopback recording below; CTest runs a short one, the full minute runs
// with ZENTRIQ_RECORD_SECONDS=60 (bench/editor/record-minute.sh).
int recordingSeconds()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("ZENTRIQ_RECORD_SECONDS", &ok);
    return ok && seconds > 1 ? seconds : 6;
}

TEST_F(EditorTransport, ARecordingLosesNoSampleWhileTheGuiThreadStalls)
{
    const int seconds = recordingSeconds();
    TestFiles files;
    // 16-bit values, so the sink's sample format carries them unchanged.
    std::vector<float> signal(std::size_t(seconds) * rate);
    std::mt19937 random(31);
    std::uniform_int_distribution<int> values(-9000, 9000);
    // A short silence first, as findOnset backs up over quiet frames before the first loud one.
    for (std::size_t i = 16; i < signal.size(); ++i)
        signal[i] = float(values(random)) / 32768.0f;
    const QString path = files.write(QStringLiteral("signal.wav"), makeWavBytes(signal, 1, rate));
    ASSERT_FALSE(path.isEmpty());

    page.loadAudioSamples(QList<float>(rate / 2, 0.0f), rate);
    page.setPlayheadAll(0.5);
    page.onRecordClicked();
    ASSERT_TRUE(AudioEditorPageProbe::isRecording(page)) << AudioEditorPageProbe::status(page).toStdString();
    QTest::qWait(1500);  // a fresh capture stream takes a moment to flow

    QProcess player;
    player.start(QStringLiteral("paplay"), pulse.serverArguments() + QStringList{path});
    ASSERT_TRUE(player.waitForStarted(5000));
    // Every second the GUI thread is busy for 200 ms without processing any event.
    QElapsedTimer clock;
    clock.start();
    while (player.state() != QProcess::NotRunning && clock.elapsed() < qint64(seconds) * 1000 + 20000) {
        QTest::qWait(800);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    QTest::qWait(500);
    page.onRecordClicked();
    ASSERT_FALSE(AudioEditorPageProbe::isRecording(page));

    const QList<float> take = page.document().samples().mid(rate / 2, page.document().samples().size() - rate);
    const std::vector<float> heard(take.begin(), take.end());
    const QList<float> played(signal.begin(), signal.end());
    const std::optional<Onset> onset = findOnset(heard, played);
    ASSERT_TRUE(onset.has_value()) << "the played signal is not in the take";
    EXPECT_LT(onset->expected, rate / 10);
    // Every played sample must be in the take, in order. The only thing allowed in between is
    // silence the sink inserted when the player itself ran late on a loaded machine: then the
    // signal resumes with the very sample that was due, so nothing was lost on our side.
    std::size_t at = onset->recorded;
    qsizetype next = onset->expected, inserted = 0;
    while (next < played.size() && at < heard.size()) {
        if (std::abs(heard[at] - played[next]) <= 1e-4f) {
            ++next;
        } else if (heard[at] == 0.0f) {
            ++inserted;
        } else {
            break;
        }
        ++at;
    }
    EXPECT_EQ(next, played.size()) << "sample " << next << " of the signal (" << double(next) / rate
                                   << " s) is not where the take continues";
    RecordProperty("insertedSilenceFrames", int(inserted));
}

TEST_F(EditorTransport, ALostServerEndsPlaybackAndRecordingOnceAndTheNextPlayWorksAgain)
{
    using AudioDeviceNotice::Event;
    page.loadAudioSamples(QList<float>(qsizetype(rate) * 60, 0.1f), rate);
    const qsizetype before = page.document().samples().size();
    const auto playhead = [&] { return AudioEditorPageProbe::waveform1(page)->getPlayheadPosition(); };

    page.onPlayPauseClicked();
    ASSERT_TRUE(waitUntil([&] { return playhead() > 0.5; }, 20000)) << "the stream never ran";
    ASSERT_TRUE(pulse.stop());
    ASSERT_TRUE(waitForPlaybackEnd(20000)) << "the page still plays without a server";
    EXPECT_EQ(AudioEditorPageProbe::playText(page), QStringLiteral(">"));
    EXPECT_EQ(AudioEditorPageProbe::status(page), QStringLiteral("错误：音频设备已断开"));
    EXPECT_EQ(takeMessageBoxes(page), QStringList{AudioDeviceNotice::text(Event::LostWhilePlaying)});

    ASSERT_TRUE(pulse.start());
    page.setPlayheadAll(10.0);
    page.onRecordClicked();
    ASSERT_TRUE(AudioEditorPageProbe::isRecording(page));
    // The page takes the blocks in about ten times a second.
    ASSERT_TRUE(waitUntil([&] { return page.document().samples().size() >= before + rate / 2; }, 20000)) << "nothing was recorded";
    const qsizetype seenBeforeLoss = page.document().samples().size() - before;
    ASSERT_TRUE(pulse.stop());
    ASSERT_TRUE(waitUntil([&] { return !AudioEditorPageProbe::isRecording(page); }, 20000))
        << "the page still records without a server";
    const qsizetype inserted = page.document().samples().size() - before;
    EXPECT_GE(inserted, seenBeforeLoss);
    // The stream stopped with the server: the take holds what was heard, not a flood of stale blocks.
    EXPECT_LT(inserted, qsizetype(rate) * 60);
    EXPECT_EQ(page.document().undoStack()->count(), 1);
    EXPECT_TRUE(AudioEditorPageProbe::status(page).startsWith(QStringLiteral("录音完成")))
        << AudioEditorPageProbe::status(page).toStdString();
    EXPECT_EQ(takeMessageBoxes(page), QStringList{AudioDeviceNotice::text(Event::LostWhileRecording)});

    // Back again: Play opens a new stream without a restart of the program.
    ASSERT_TRUE(pulse.start());
    page.setPlayheadAll(0.0);
    page.onPlayPauseClicked();
    ASSERT_TRUE(AudioEditorPageProbe::isPlaying(page));
    EXPECT_TRUE(waitUntil([&] { return playhead() > 0.5; }, 20000)) << "playback did not run again";
    EXPECT_TRUE(takeMessageBoxes(page).isEmpty());
}

TEST(EditorWithoutDevice, PlayAndRecordSayTheyFailed)
{
    ScopedEnv api("ZENTRIQ_AUDIO_API", "pulse");
    ScopedEnv server("PULSE_SERVER", "unix:/nonexistent/zentriq-no-server");
    ScopedEnv noAutospawn("PULSE_NO_AUTOSPAWN", "1");
    AudioEditorPage page;
    page.loadAudioSamples(QList<float>(48000, 0.1f), 48000);

    page.onPlayPauseClicked();
    EXPECT_FALSE(AudioEditorPageProbe::isPlaying(page));
    const QString playStatus = AudioEditorPageProbe::status(page);
    EXPECT_TRUE(playStatus.startsWith(QStringLiteral("错误："))) << playStatus.toStdString();
    QTest::qWait(200);
    EXPECT_EQ(AudioEditorPageProbe::status(page), playStatus) << "no finish may be reported";

    page.onRecordClicked();
    EXPECT_FALSE(AudioEditorPageProbe::isRecording(page));
    EXPECT_EQ(AudioEditorPageProbe::status(page), QStringLiteral("错误：无法开始录音"));
    EXPECT_EQ(page.document().undoStack()->count(), 0);
}

} // namespace
