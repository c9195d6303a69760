// SPDX-License-Identifier: GPL-3.0-or-later
// The media flows from their menu actions: audio import into the page that shows, MIDI
// import with its tempo question, WAV/MP3/FLAC export read back by ffprobe and ffmpeg,
// SoundFont and VST3 loading, each with its failure messages; hostile VST3 modules are refused
// with their reason while the window keeps running.
#include "AppTestSupport.h"
#include "MpegFrames.h"
#include "OracleTool.h"
#include "Requirement.h"
#include "TestFiles.h"
#include "VideoFixtures.h"

#include "app/MainWindow.h"
#include "app/PluginLoadCheck.h"
#include "editor/AudioEditorPage.h"
#include "multitrack/MixerPage.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "multitrack/TrackHeaderWidget.h"
#include "multitrack/TrackRowWidget.h"
#include "plugins/AudioPluginBridge.h"
#include "plugins/VST3PluginInstance.h"
#include "ui/LoadingOverlay.h"
#include "video/widgets/VideoPlayerDialog.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

const QString kSoundFont = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");

struct Probe
{
    QString codec;
    int sampleRate = 0;
    int channels = 0;
    int bits = 0;
    double duration = 0.0;
};

Probe ffprobe(const QString &path)
{
    const ToolResult result = runTool(QStringLiteral("ffprobe"),
                                      {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_streams"),
                                       QStringLiteral("-show_format"), QStringLiteral("-of"), QStringLiteral("json"), path});
    EXPECT_TRUE(result.ok()) << result.standardError.toStdString();
    const QJsonObject root = QJsonDocument::fromJson(result.standardOutput).object();
    const QJsonObject stream = root.value(QStringLiteral("streams")).toArray().first().toObject();
    Probe probe;
    probe.codec = stream.value(QStringLiteral("codec_name")).toString();
    probe.sampleRate = stream.value(QStringLiteral("sample_rate")).toString().toInt();
    probe.channels = stream.value(QStringLiteral("channels")).toInt();
    probe.bits = stream.value(QStringLiteral("bits_per_raw_sample")).toString().toInt();
    probe.duration = root.value(QStringLiteral("format")).toObject().value(QStringLiteral("duration")).toString().toDouble();
    return probe;
}

// The file decoded by ffmpeg to interleaved 32-bit floats.
std::vector<float> ffmpegDecode(const QString &path)
{
    const ToolResult result = runTool(QStringLiteral("ffmpeg"),
                                      {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                                       QStringLiteral("-f"), QStringLiteral("f32le"), QStringLiteral("-")});
    EXPECT_TRUE(result.ok()) << result.standardError.toStdString();
    std::vector<float> values(size_t(result.standardOutput.size()) / sizeof(float));
    std::memcpy(values.data(), result.standardOutput.constData(), values.size() * sizeof(float));
    return values;
}

// Interleaved stereo with different tones left and right, so a swapped or averaged export shows.
QList<float> stereoTones(int frames, int sampleRate)
{
    QList<float> interleaved;
    interleaved.reserve(2 * frames);
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / sampleRate;
        interleaved.append(float(0.5 * std::sin(2 * M_PI * 440 * t)));
        interleaved.append(float(0.25 * std::sin(2 * M_PI * 660 * t)));
    }
    return interleaved;
}

QList<float> monoTone(int frames, int sampleRate)
{
    QList<float> mono;
    mono.reserve(frames);
    for (int i = 0; i < frames; ++i)
        mono.append(float(0.5 * std::sin(2 * M_PI * 330 * double(i) / sampleRate)));
    return mono;
}

class MediaFlowsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The SoundFont folder lives under the per-user data location: keep it private.
        savedDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", files.path(QStringLiteral("data")).toUtf8());
        window = std::make_unique<MainWindow>();
        stack = qobject_cast<QStackedWidget *>(window->centralWidget());
        editor = window->findChild<AudioEditorPage *>();
        multitrack = window->findChild<MultiTrackEditorPage *>();
        ASSERT_TRUE(stack && editor && multitrack);
    }

    void TearDown() override
    {
        window.reset();
        qputenv("XDG_DATA_HOME", savedDataHome);
    }

    void openProject(const char *type)
    {
        window->openNewProject(QLatin1String(type), 44100, 16, false);
        ASSERT_TRUE(window->projectOpen);
    }

    void runAction(const char *text)
    {
        QAction *found = nullptr;
        for (QAction *action : window->findChildren<QAction *>())
            if (action->text() == QString::fromUtf8(text))
                found = action;
        ASSERT_NE(found, nullptr) << text;
        ASSERT_TRUE(found->isEnabled()) << text;
        found->trigger();
    }

    // Whether the busy overlay covers the pages (the window itself need not be on screen).
    bool overlayShows() const
    {
        auto *overlay = window->findChild<LoadingOverlay *>();
        return overlay && overlay->isVisibleTo(window.get());
    }

    // Runs the action with `text` and checks that the busy overlay is gone afterwards.
    void trigger(const char *text)
    {
        runAction(text);
        EXPECT_FALSE(overlayShows());
    }

    struct Vst3Import
    {
        std::vector<ShownBox> boxes;
        // A timer ran while the module was still being tried, behind the overlay.
        bool answeredWhileProbing = false;
    };

    // Imports the VST3 module at `path` through the Tools menu and waits until the window has
    // loaded it or said why not, answering the boxes on the way.
    Vst3Import importVst3(const QString &path)
    {
        PluginLoadCheck *check = window->findChild<PluginLoadCheck *>();
        Vst3Import result;
        bool finished = false;
        // Connected after the window's own handler, so it runs once that has returned.
        const QMetaObject::Connection done =
            QObject::connect(check, &PluginLoadCheck::finished, [&finished] { finished = true; });
        DialogScript script;
        script.files = {path};
        runAction("导入VST3插件(&V)...");
        if (check->isRunning()) {
            QTimer::singleShot(0, window.get(), [&] { result.answeredWhileProbing = check->isRunning() && overlayShows(); });
            EXPECT_TRUE(QTest::qWaitFor([&] { return finished; }, 120000));
        }
        QObject::disconnect(done);
        EXPECT_FALSE(overlayShows());
        result.boxes = script.boxes;
        return result;
    }

    QString status() const { return window->statusBar()->currentMessage(); }

    TemporarySettingsStore store;
    TestFiles files;
    QByteArray savedDataHome;
    std::unique_ptr<MainWindow> window;
    QStackedWidget *stack = nullptr;
    AudioEditorPage *editor = nullptr;
    MultiTrackEditorPage *multitrack = nullptr;
};

constexpr const char *kImport = "导入音频/视频(&I)...";
constexpr const char *kImportMidi = "导入MIDI(&M)...";

TEST_F(MediaFlowsTest, ImportLoadsTheEditorAndFailuresKeepItsAudio)
{
    openProject("single");
    stack->setCurrentWidget(editor);
    const QList<float> stereo = stereoTones(4410, 48000);
    const QList<float> mono = monoTone(2205, 22050);
    const QString flacSource = files.write(QStringLiteral("flac-source.wav"),
                                           makeWavBytes(std::span<const float>(stereo.constData(), stereo.size()), 2, 48000));
    // A recording cut short: its data chunk claims four times the bytes that are there.
    QByteArray cutShort = makeWavBytes(std::span<const float>(mono.constData(), mono.size()), 1, 22050, true);
    qToLittleEndian(quint32(mono.size() * 4 * 4), cutShort.data() + cutShort.indexOf("data") + 4);
    // An MP3 with one frame damaged in its header and side information, an eighth of the way in.
    ASSERT_TRUE(runTool(QStringLiteral("sox"), {QStringLiteral("-R"), QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                                                QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-b"), QStringLiteral("16"),
                                                files.path(QStringLiteral("tone.wav")), QStringLiteral("synth"), QStringLiteral("2"),
                                                QStringLiteral("pinknoise"), QStringLiteral("sine"), QStringLiteral("440")}).ok());
    ASSERT_TRUE(runTool(QStringLiteral("lame"), {QStringLiteral("--silent"), files.path(QStringLiteral("tone.wav")),
                                                 files.path(QStringLiteral("tone.mp3"))}).ok());
    const QByteArray tone = files.read(QStringLiteral("tone.mp3"));
    const QByteArray damagedMp3 = withDamagedMpegFrame(tone, int(mpegFrameOffsets(tone).size() / 8));
    ASSERT_FALSE(damagedMp3.isEmpty());

    const struct
    {
        const char *name;
        QByteArray bytes;    // empty: made from flac-source.wav by sox
        int sampleRate;      // 0: the import fails
        QList<float> expectedStereo;
        QList<float> expectedMono;
        const char *failure;  // exact failure text when known
        const char *warning = nullptr;  // pattern of what the import could not read
    } cases[] = {
        {"mono.wav", makeWavBytes(std::span<const float>(mono.constData(), mono.size()), 1, 22050, true), 22050, {},
         mono, nullptr},
        {"song.WAV", makeWavBytes(std::span<const float>(stereo.constData(), stereo.size()), 2, 48000, true), 48000,
         stereo, {}, nullptr},
        {"Take.Flac", {}, 48000, {}, {}, nullptr},
        {"cut.wav", QByteArray("RIFF\x10\0\0\0WAVE", 12), 0, {}, {}, nullptr},
        {"noise.mp3", QByteArray(4000, '\x5a'), 0, {}, {}, nullptr},
        {"noise.flac", QByteArray("fLaC") + QByteArray(200, '\x01'), 0, {}, {}, nullptr},
        {"notes.txt", QByteArray("text"), 0, {}, {}, "不支持的音频格式: txt"},
        {"cut-short.wav", cutShort, 22050, {}, mono, nullptr, "^WAV文件不完整: 只读到0\\.10秒音频，文件头声明0\\.40秒$"},
        {"damaged.mp3", damagedMp3, 44100, {}, {}, nullptr, "^MP3文件中有[1-9][0-9]*个损坏的帧，已跳过$"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QString path = files.path(QString::fromUtf8(c.name));
        if (c.bytes.isEmpty())
            ASSERT_TRUE(runTool(QStringLiteral("sox"), {flacSource, QStringLiteral("-t"), QStringLiteral("flac"), path}).ok());
        else
            files.write(QString::fromUtf8(c.name), c.bytes);

        const QList<float> before = editor->samples;
        window->statusBar()->clearMessage();
        DialogScript script;
        script.files = {path};
        trigger(kImport);
        ASSERT_EQ(script.fileDialogCaptions, QStringList{QStringLiteral("导入音频/视频")});

        if (c.sampleRate == 0) {
            ASSERT_EQ(script.boxes.size(), 1u);
            EXPECT_EQ(script.boxes[0].title, QStringLiteral("导入失败"));
            EXPECT_FALSE(script.boxes[0].text.isEmpty());
            EXPECT_FALSE(script.boxes[0].busyCoverBehind);
            if (c.failure) {
                EXPECT_EQ(script.boxes[0].text, QString::fromUtf8(c.failure));
            }
            EXPECT_EQ(editor->samples, before);
            EXPECT_TRUE(status().isEmpty());
            continue;
        }
        if (c.warning) {
            ASSERT_EQ(script.boxes.size(), 1u);
            EXPECT_EQ(script.boxes[0].title, QStringLiteral("导入不完整"));
            EXPECT_TRUE(QRegularExpression(QString::fromUtf8(c.warning)).match(script.boxes[0].text).hasMatch())
                << script.boxes[0].text.toStdString();
        } else {
            EXPECT_TRUE(script.boxes.empty());
        }
        EXPECT_EQ(status(), QStringLiteral("已导入: %1").arg(QString::fromUtf8(c.name)));
        EXPECT_EQ(editor->sampleRate, c.sampleRate);
        if (!c.expectedStereo.isEmpty()) {
            EXPECT_EQ(editor->stereoSamples, c.expectedStereo);
        }
        if (!c.expectedMono.isEmpty()) {
            EXPECT_EQ(editor->samples, c.expectedMono);
            EXPECT_TRUE(editor->stereoSamples.isEmpty());
        }
        if (c.bytes.isEmpty()) {  // 16-bit FLAC of the stereo tones
            ASSERT_EQ(editor->stereoSamples.size(), stereo.size());
            for (qsizetype i = 0; i < stereo.size(); ++i)
                ASSERT_NEAR(editor->stereoSamples[i], stereo[i], 2.0 / 32768) << i;
        }
    }
}

TEST_F(MediaFlowsTest, ImportGoesToTheMultitrackPageOnlyWhileItShows)
{
    openProject("multi");
    const QList<float> stereo = stereoTones(1000, 44100);
    const QString path = files.write(QStringLiteral("Drums.2.wav"),
                                     makeWavBytes(std::span<const float>(stereo.constData(), stereo.size()), 2, 44100, true));
    stack->setCurrentWidget(multitrack);
    {
        DialogScript script;
        script.files = {path};
        trigger(kImport);
    }
    ASSERT_EQ(multitrack->document().tracks.size(), 1u);
    const TrackData &track = multitrack->document().tracks[0];
    EXPECT_EQ(track.name, QStringLiteral("Drums"));
    ASSERT_EQ(track.audioClips.size(), 1u);
    EXPECT_EQ(track.audioClips[0].stereoSamples, stereo);
    EXPECT_EQ(track.audioClips[0].samples.size(), 1000);

    // While the mixer shows, the single-track editor receives the file.
    stack->setCurrentWidget(window->findChild<MixerPage *>());
    {
        DialogScript script;
        script.files = {path};
        trigger(kImport);
    }
    EXPECT_EQ(multitrack->document().tracks.size(), 1u);
    EXPECT_EQ(editor->stereoSamples, stereo);
}

TEST_F(MediaFlowsTest, VideoImportPutsTheSoundIntoThePageAndOpensThePreview)
{
    openProject("multi");
    const QString mp4 = videoFixture(QStringLiteral("b.mp4"));
    const QString silentWebm = videoFixture(QStringLiteral("e.webm"));
    ZENTRIQ_REQUIRE(!mp4.isEmpty() && !silentWebm.isEmpty(), "ffmpeg could not make the video fixtures");
    const qsizetype oracleFloats = ffmpegFloats(mp4).size();

    const struct
    {
        const char *name;
        QString source;        // empty: `bytes` are written under `name`
        QByteArray bytes;
        bool onMultitrack;
        const char *boxTitle;  // null: the import works
        const char *boxText;   // the box's text, or its start for FFmpeg's reasons
    } cases[] = {
        {"b.mp4", mp4, {}, false, nullptr, nullptr},
        {"b.mp4", mp4, {}, true, nullptr, nullptr},
        {"clip.WEBM", {}, QByteArray("not a video"), false, "视频导入失败", "无法打开文件: "},
        {"e.webm", silentWebm, {}, false, "导入失败", "该视频文件没有音频轨道"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << (c.onMultitrack ? " on the multitrack page" : ""));
        const QString path = c.source.isEmpty() ? files.write(QString::fromUtf8(c.name), c.bytes) : c.source;
        stack->setCurrentWidget(c.onMultitrack ? static_cast<QWidget *>(multitrack) : editor);
        editor->loadAudioSamples({0.5f, 0.25f}, 8000);
        const size_t tracksBefore = multitrack->document().tracks.size();
        window->statusBar()->clearMessage();
        DialogScript script;
        script.files = {path};
        trigger(kImport);

        auto *preview = window->findChild<VideoPlayerDialog *>();
        if (c.boxTitle) {
            ASSERT_EQ(script.boxes.size(), 1u);
            EXPECT_EQ(script.boxes[0].title, QString::fromUtf8(c.boxTitle));
            EXPECT_TRUE(script.boxes[0].text.startsWith(QString::fromUtf8(c.boxText))) << script.boxes[0].text.toStdString();
            EXPECT_FALSE(script.boxes[0].busyCoverBehind);
            EXPECT_EQ(editor->samples, (QList<float>{0.5f, 0.25f}));
            EXPECT_EQ(multitrack->document().tracks.size(), tracksBefore);
            EXPECT_EQ(preview, nullptr);  // the earlier preview went with the import that replaced it
            continue;
        }
        EXPECT_TRUE(script.boxes.empty());
        EXPECT_EQ(status(), QStringLiteral("已导入视频音频: b.mp4"));
        ASSERT_NE(preview, nullptr);
        EXPECT_TRUE(preview->isVisible());
        EXPECT_EQ(preview->size(), QSize(320, 240));
        if (c.onMultitrack) {
            ASSERT_EQ(multitrack->document().tracks.size(), tracksBefore + 1);
            const TrackData &track = multitrack->document().tracks.back();
            EXPECT_EQ(track.name, QStringLiteral("b"));
            ASSERT_EQ(track.audioClips.size(), 1u);
            EXPECT_EQ(track.audioClips[0].stereoSamples.size(), oracleFloats);
            EXPECT_EQ(track.audioClips[0].sampleRate, 48000);
            // The new track's VID button brings the closed preview back.
            ASSERT_EQ(multitrack->trackRows.size(), multitrack->document().tracks.size());
            QPushButton *video = multitrack->trackRows.back()->header->videoButton;
            EXPECT_FALSE(video->isHidden());
            preview->hide();
            video->click();
            EXPECT_TRUE(preview->isVisible());
        } else {
            EXPECT_EQ(editor->stereoSamples.size(), oracleFloats);
            EXPECT_EQ(editor->samples.size(), oracleFloats / 2);
            EXPECT_EQ(editor->sampleRate, 48000);
        }
    }
}

TEST_F(MediaFlowsTest, NextVideoImportEndsThePreviousPreviewFirst)
{
    openProject("single");
    stack->setCurrentWidget(editor);
    const QString mp4 = videoFixture(QStringLiteral("b.mp4"));
    ZENTRIQ_REQUIRE(!mp4.isEmpty(), "ffmpeg could not make b.mp4");
    const auto import = [&] {
        DialogScript script;
        script.files = {mp4};
        trigger(kImport);
        return QPointer<VideoPlayerDialog>(window->findChild<VideoPlayerDialog *>());
    };

    QPointer<VideoPlayerDialog> first = import();
    ASSERT_FALSE(first.isNull());
    first->syncPlay();
    first->syncPosition(0.5);
    // Gone at once, not at the next event-loop turn, since its thread reads the old demuxer.
    QPointer<VideoPlayerDialog> second = import();
    EXPECT_TRUE(first.isNull());
    ASSERT_FALSE(second.isNull());

    // Closed by hand, then another import.
    second->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(second.isNull());
    QPointer<VideoPlayerDialog> third = import();
    ASSERT_FALSE(third.isNull());
    // The window goes while the preview plays: preview first, then the demuxer.
    third->syncPlay();
    third->syncPosition(1.0);
    window.reset();
    EXPECT_TRUE(third.isNull());
}

class MidiImportTest : public MediaFlowsTest
{
protected:
    // A format-1 file written by mido: a conductor track with the tempo, one track whose
    // only note ends at 0.1 s and one whose last note ends at `longEndBeats` beats.
    QString writeMidi(const QString &name, double bpm, double longEndBeats = 4.0)
    {
        const QString python = pythonWith(QStringLiteral("mido"));
        if (python.isEmpty())
            return {};
        const QString path = files.path(name);
        const QString script = QStringLiteral(
            "import sys, mido\n"
            "f = mido.MidiFile(type=1, ticks_per_beat=480)\n"
            "c = mido.MidiTrack(); f.tracks.append(c)\n"
            "c.append(mido.MetaMessage('set_tempo', tempo=mido.bpm2tempo(float(sys.argv[2]))))\n"
            "for name, end in (('Short', 0.2), ('Long', float(sys.argv[3]))):\n"
            "    t = mido.MidiTrack(); f.tracks.append(t)\n"
            "    t.append(mido.MetaMessage('track_name', name=name))\n"
            "    t.append(mido.Message('note_on', note=60, velocity=90, time=0))\n"
            "    t.append(mido.Message('note_off', note=60, velocity=0, time=int(end * 480)))\n"
            "f.save(sys.argv[1])\n");
        const ToolResult result = runTool(python, {QStringLiteral("-c"), script, path, QString::number(bpm, 'f', 3),
                                                   QString::number(longEndBeats)});
        EXPECT_TRUE(result.ok()) << result.standardError.toStdString();
        return path;
    }
};

TEST_F(MidiImportTest, AsksAboutTheTempoOnlyBeyondATenthOfABeat)
{
    const struct
    {
        double fileBpm;
        QMessageBox::StandardButton answer;
        bool asks;
        double projectBpmAfter;
    } cases[] = {
        {121.0, QMessageBox::Yes, true, 121.0},
        {121.0, QMessageBox::No, true, 120.0},
        {120.05, QMessageBox::Yes, false, 120.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.fileBpm << " answer " << c.answer);
        const QString path = writeMidi(QStringLiteral("song.mid"), c.fileBpm);
        ZENTRIQ_REQUIRE(!path.isEmpty(), "python3-mido is not installed");
        window = std::make_unique<MainWindow>();
        stack = qobject_cast<QStackedWidget *>(window->centralWidget());
        multitrack = window->findChild<MultiTrackEditorPage *>();
        openProject("multi");
        stack->setCurrentWidget(multitrack);

        DialogScript script;
        script.files = {path};
        script.boxAnswer = c.answer;
        trigger(kImportMidi);

        if (c.asks) {
            ASSERT_EQ(script.boxes.size(), 1u);
            EXPECT_EQ(script.boxes[0].title, QStringLiteral("导入MIDI"));
            EXPECT_EQ(script.boxes[0].text, QStringLiteral("MIDI文件的 tempo 为 121.0 BPM，当前项目 tempo 为 120.0 BPM。\n"
                                                           "是否将项目 tempo 设为 121.0 BPM？"));
        } else {
            EXPECT_TRUE(script.boxes.empty());
        }
        EXPECT_NEAR(multitrack->document().bpm, c.projectBpmAfter, 1e-3);
        EXPECT_NEAR(multitrack->bpmSpinBox->value(), c.projectBpmAfter, 1e-3);  // the box shows the tempo in force
        EXPECT_NEAR(multitrack->document().midiFileTempo, c.fileBpm, 1e-3);

        ASSERT_EQ(multitrack->document().tracks.size(), 2u);
        EXPECT_EQ(multitrack->document().tracks[0].name, QStringLiteral("Short"));
        EXPECT_EQ(multitrack->document().tracks[1].name, QStringLiteral("Long"));
        // A clip is as long as its last note, at least half a second.
        EXPECT_DOUBLE_EQ(multitrack->document().tracks[0].midiClips.at(0).duration, 0.5);
        EXPECT_NEAR(multitrack->document().tracks[1].midiClips.at(0).duration, 4 * 60.0 / c.fileBpm, 1e-3);
        EXPECT_EQ(status(), QStringLiteral("已导入MIDI: song.mid (2条轨道)"));
    }
}

TEST_F(MidiImportTest, ImportedTracksAreScrolledIntoView)
{
    const QString midi = writeMidi(QStringLiteral("song.mid"), 120.0);
    ZENTRIQ_REQUIRE(!midi.isEmpty(), "python3-mido is not installed");
    const QList<float> stereo = stereoTones(1000, 44100);
    const QString audio = files.write(QStringLiteral("Drums.wav"),
                                      makeWavBytes(std::span<const float>(stereo.constData(), stereo.size()), 2, 44100));
    openProject("multi");
    stack->setCurrentWidget(multitrack);
    window->resize(1200, 700);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    // More rows than the page shows: a new track lands below the visible ones.
    const auto lastRowHidden = [&] {
        QCoreApplication::processEvents();
        return multitrack->trackRows.back()->lane()->visibleRegion().isEmpty();
    };
    do {
        multitrack->addTrack(TrackType::Audio, {}, 44100, QStringLiteral("轨道"), {});
    } while (!lastRowHidden() && multitrack->document().tracks.size() < 100);
    ASSERT_TRUE(lastRowHidden());

    const struct
    {
        const char *action;
        QString path;
        int added;
    } cases[] = {{kImport, audio, 1}, {kImportMidi, midi, 2}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.action);
        const int first = int(multitrack->document().tracks.size());
        {
            DialogScript script;
            script.files = {c.path};
            trigger(c.action);
        }
        ASSERT_EQ(int(multitrack->document().tracks.size()), first + c.added);
        QCoreApplication::processEvents();
        for (int index = first; index < first + c.added; ++index) {
            SCOPED_TRACE(index);
            TrackRowWidget *row = multitrack->trackRows[size_t(index)];
            EXPECT_EQ(row->lane()->visibleRegion().boundingRect(), row->lane()->rect());
            EXPECT_EQ(row->header->visibleRegion().boundingRect(), row->header->rect());
        }
    }
}

TEST_F(MidiImportTest, RefusesDamagedFilesAndTheSingleTrackEditor)
{
    const QString good = writeMidi(QStringLiteral("ok.mid"), 120.0);
    ZENTRIQ_REQUIRE(!good.isEmpty(), "python3-mido is not installed");
    const QString damaged = files.write(QStringLiteral("bad%1.mid"), QByteArray("MThd\0\0\0\6", 8));
    openProject("single");
    stack->setCurrentWidget(editor);

    const struct
    {
        QString path;
        const char *title;
        QString text;
    } cases[] = {
        {damaged, "导入失败", QStringLiteral("无法解析MIDI文件: bad%1.mid")},
        {good, "导入MIDI", QStringLiteral("请先创建多轨项目再导入MIDI文件")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        DialogScript script;
        script.files = {c.path};
        trigger(kImportMidi);
        ASSERT_EQ(script.boxes.size(), 1u);
        EXPECT_EQ(script.boxes[0].title, QString::fromUtf8(c.title));
        EXPECT_EQ(script.boxes[0].text, c.text);
        EXPECT_TRUE(multitrack->document().tracks.empty());
    }
}

class ExportTest : public MediaFlowsTest
{
protected:
    void SetUp() override
    {
        MediaFlowsTest::SetUp();
        ZENTRIQ_REQUIRE(toolAvailable(QStringLiteral("ffprobe")) && toolAvailable(QStringLiteral("ffmpeg")),
                        "ffmpeg is not installed");
        openProject("single");
        stack->setCurrentWidget(editor);
    }

    static constexpr int rate = 48000;
    static constexpr int frames = 72000;  // 1.5 s
};

TEST_F(ExportTest, WritesEachFormatWithTheChannelsOfTheMaterial)
{
    const QList<float> stereo = stereoTones(frames, rate);
    const QList<float> mono = monoTone(frames, rate);
    const struct
    {
        const char *action;
        const char *suffix;
        int bitDepth;
        QString codec;
        int bits;  // 0: not checked
    } formats[] = {
        {"导出为WAV(&W)...", "wav", 16, QStringLiteral("pcm_s16le"), 0},
        {"导出为WAV(&W)...", "wav", 24, QStringLiteral("pcm_s24le"), 0},
        {"导出为WAV(&W)...", "wav", 32, QStringLiteral("pcm_f32le"), 0},
        {"导出为MP3(&M)...", "mp3", 24, QStringLiteral("mp3"), 0},
        {"导出为FLAC(&F)...", "flac", 16, QStringLiteral("flac"), 16},
        {"导出为FLAC(&F)...", "flac", 24, QStringLiteral("flac"), 24},
    };
    const struct
    {
        const char *name;
        bool stereoMaterial;
        bool monoFlag;
        int channels;
    } materials[] = {{"stereo", true, false, 2}, {"mono-material", false, false, 1}, {"mono-flag", true, true, 1}};

    int n = 0;
    for (const auto &m : materials) {
        if (m.stereoMaterial)
            editor->loadStereoAudioSamples(stereo, rate);
        else
            editor->loadAudioSamples(mono, rate);
        editor->mono = m.monoFlag;
        for (const auto &f : formats) {
            SCOPED_TRACE(testing::Message() << m.name << " " << f.suffix << " " << f.bitDepth);
            multitrack->document().bitDepth = f.bitDepth;
            const QString path = files.path(QStringLiteral("out%1.%2").arg(n++).arg(QLatin1String(f.suffix)));
            DialogScript script;
            script.files = {path};
            trigger(f.action);
            EXPECT_TRUE(script.boxes.empty());
            EXPECT_EQ(status(), QStringLiteral("已导出: %1").arg(QFileInfo(path).fileName()));

            const Probe probe = ffprobe(path);
            EXPECT_EQ(probe.codec, f.codec);
            EXPECT_EQ(probe.sampleRate, rate);
            EXPECT_EQ(probe.channels, m.channels);
            if (f.bits) {
                EXPECT_EQ(probe.bits, f.bits);
            }
            EXPECT_NEAR(probe.duration, 1.5, f.codec == QLatin1String("mp3") ? 0.06 : 1e-6);

            // Float WAV holds exactly the list the editor plays or shows in stereo.
            if (f.codec == QLatin1String("pcm_f32le")) {
                const QList<float> &expected = m.channels == 2 ? editor->stereoSamples : editor->samples;
                EXPECT_EQ(ffmpegDecode(path), std::vector<float>(expected.begin(), expected.end()));
            }
        }
    }
}

TEST_F(ExportTest, MultitrackExportWritesTheMixdown)
{
    stack->setCurrentWidget(multitrack);
    multitrack->addTrack(TrackType::Audio, monoTone(frames, rate), rate, QStringLiteral("a"), {});
    multitrack->addTrack(TrackType::Audio, monoTone(30000, 22050), 22050, QStringLiteral("b"), {});
    multitrack->document().tracks[1].pan = 0.5f;
    multitrack->setSampleRate(rate);
    QList<float> mix;
    int mixRate = 0;
    ASSERT_TRUE(multitrack->renderMixdown(mix, mixRate));
    QList<float> folded(mix.size() / 2);
    for (qsizetype i = 0; i < folded.size(); ++i)
        folded[i] = (mix[2 * i] + mix[2 * i + 1]) * 0.5f;

    const struct
    {
        const char *action;
        const char *suffix;
        int bitDepth;
        bool mono;
        QString codec;
        int channels;
    } cases[] = {
        {"导出为WAV(&W)...", "wav", 32, false, QStringLiteral("pcm_f32le"), 2},
        {"导出为WAV(&W)...", "wav", 32, true, QStringLiteral("pcm_f32le"), 1},
        {"导出为FLAC(&F)...", "flac", 24, false, QStringLiteral("flac"), 2},
        {"导出为MP3(&M)...", "mp3", 32, false, QStringLiteral("mp3"), 2},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.suffix << (c.mono ? " mono" : ""));
        multitrack->document().bitDepth = c.bitDepth;
        multitrack->document().mono = c.mono;
        const QString path = files.path(QStringLiteral("mix%1.%2").arg(n++).arg(QLatin1String(c.suffix)));
        DialogScript script;
        script.files = {path};
        trigger(c.action);
        EXPECT_TRUE(script.boxes.empty());
        EXPECT_EQ(status(), QStringLiteral("已导出: %1").arg(QFileInfo(path).fileName()));
        const Probe probe = ffprobe(path);
        EXPECT_EQ(probe.codec, c.codec);
        EXPECT_EQ(probe.sampleRate, rate);
        EXPECT_EQ(probe.channels, c.channels);
        EXPECT_NEAR(probe.duration, 1.5, c.codec == QLatin1String("mp3") ? 0.06 : 1e-6);
        if (c.codec == QLatin1String("pcm_f32le")) {
            const QList<float> &expected = c.mono ? folded : mix;
            EXPECT_EQ(ffmpegDecode(path), std::vector<float>(expected.begin(), expected.end()));
        }
    }
}

TEST_F(ExportTest, DialogAddsTheSuffixAndAsksBeforeReplacing)
{
    editor->loadAudioSamples(monoTone(4800, rate), rate);

    // A name without a suffix gets the format's.
    {
        DialogScript script;
        script.files = {files.path(QStringLiteral("take"))};
        trigger("导出为FLAC(&F)...");
        EXPECT_EQ(ffprobe(files.path(QStringLiteral("take.flac"))).codec, QStringLiteral("flac"));
    }

    const QByteArray old("an earlier file");
    const QString existing = files.write(QStringLiteral("old.wav"), old);
    for (QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        SCOPED_TRACE(answer);
        window->statusBar()->clearMessage();
        DialogScript script;
        script.boxAnswer = answer;
        script.files = {files.path(QStringLiteral("old"))};
        trigger("导出为WAV(&W)...");
        ASSERT_EQ(script.boxes.size(), 1u);  // the dialog's overwrite question
        EXPECT_TRUE(script.boxes[0].text.contains(QStringLiteral("old.wav")));
        if (answer == QMessageBox::No) {
            EXPECT_EQ(files.read(QStringLiteral("old.wav")), old);
            EXPECT_TRUE(status().isEmpty());
        } else {
            EXPECT_EQ(ffprobe(existing).codec, QStringLiteral("pcm_s16le"));
        }
    }
}

TEST_F(ExportTest, FailuresAndEmptyAudioAreReported)
{
    // Nothing loaded: no file is asked for.
    {
        DialogScript script;
        trigger("导出为WAV(&W)...");
        EXPECT_TRUE(script.fileDialogCaptions.isEmpty());
        ASSERT_EQ(script.boxes.size(), 1u);
        EXPECT_EQ(script.boxes[0].title, QStringLiteral("导出"));
        EXPECT_EQ(script.boxes[0].text, QStringLiteral("没有可导出的音频数据"));
    }
    // An empty multitrack project has nothing to mix down.
    stack->setCurrentWidget(multitrack);
    {
        DialogScript script;
        trigger("导出为MP3(&M)...");
        ASSERT_EQ(script.boxes.size(), 1u);
        EXPECT_EQ(script.boxes[0].text, QStringLiteral("没有可导出的音频数据"));
    }
    // A rate FLAC cannot carry: the writer's reason in the failure box, no status, and the
    // file it was to replace stays whole.
    stack->setCurrentWidget(editor);
    editor->loadAudioSamples(monoTone(4800, rate), 1000000);
    window->statusBar()->clearMessage();
    const QByteArray old("an earlier file");
    files.write(QStringLiteral("keep.flac"), old);
    {
        DialogScript script;
        script.boxAnswer = QMessageBox::Yes;  // replace keep.flac
        script.files = {files.path(QStringLiteral("keep.flac"))};
        trigger("导出为FLAC(&F)...");
        ASSERT_EQ(script.boxes.size(), 2u);
        EXPECT_EQ(script.boxes[1].title, QStringLiteral("导出失败"));
        EXPECT_EQ(script.boxes[1].text, QStringLiteral("无法保存音频: 参数无效 (采样率 1000000, 声道 1, 位深 16)"));
        EXPECT_FALSE(script.boxes[1].busyCoverBehind);
        EXPECT_TRUE(status().isEmpty());
        EXPECT_EQ(files.read(QStringLiteral("keep.flac")), old);
    }
}

TEST_F(MediaFlowsTest, SoundFontLoadsAndADamagedOneKeepsTheInstrument)
{
    ZENTRIQ_REQUIRE(QFileInfo::exists(kSoundFont), "timgm6mb-soundfont is not installed");
    constexpr const char *action = "加载音色库(&L)...";
    {
        DialogScript script;
        script.files = {kSoundFont};
        trigger(action);  // enabled before any project
        EXPECT_TRUE(script.boxes.empty());
    }
    EXPECT_EQ(status(), QStringLiteral("已加载音色库: TimGM6mb.sf2"));
    ASSERT_TRUE(multitrack->document().sf2Sampler.isLoaded());
    const QList<QString> presets = multitrack->document().sf2Sampler.getPresetNames();

    QFile source(kSoundFont);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QString damaged = files.write(QStringLiteral("Damaged.sf2"), source.read(50000));
    {
        DialogScript script;
        script.files = {damaged};
        trigger(action);
        ASSERT_EQ(script.boxes.size(), 1u);
        EXPECT_EQ(script.boxes[0].title, QStringLiteral("加载失败"));
        EXPECT_EQ(script.boxes[0].text, QStringLiteral("无法加载音色库文件:\n") + damaged);
    }
    EXPECT_TRUE(multitrack->document().sf2Sampler.isLoaded());
    EXPECT_EQ(multitrack->document().sf2Sampler.getPresetNames(), presets);

    // The next start loads the copy kept in the SoundFont folder.
    window = std::make_unique<MainWindow>();
    EXPECT_TRUE(window->findChild<MultiTrackEditorPage *>()->document().sf2Sampler.isLoaded());
}

TEST_F(MediaFlowsTest, HostileVst3ModulesAreRefusedWithTheirReasonWhileTheWindowRuns)
{
    openProject("multi");
    const QString notAModule = files.write(QStringLiteral("Reverb.vst3"), QByteArray("no module"));
    // A bundle whose library is a symbolic link to itself, beside a link back up the tree.
    const std::filesystem::path loop = std::filesystem::path(files.path(QStringLiteral("Loop.vst3")).toStdString());
    std::filesystem::create_directories(loop / "Contents" / "x86_64-linux");
    std::filesystem::create_symlink("Loop.so", loop / "Contents" / "x86_64-linux" / "Loop.so");
    std::filesystem::create_directory_symlink("../..", loop / "Contents" / "x86_64-linux" / "up");

    PluginLoadCheck *check = window->findChild<PluginLoadCheck *>();
    ASSERT_NE(check, nullptr);
    // Short, since the hanging module is waited for that long.
    check->timeLimit = std::chrono::seconds(3);
    const struct
    {
        const char *what;
        QString path;
        QString reason;
    } cases[] = {
        {"factory crashes", QStringLiteral(HOSTILE_CRASHING_FACTORY),
         QStringLiteral("插件在试运行时崩溃（信号 11 SIGSEGV，访问了无效的内存）")},
        {"factory returns garbage", QStringLiteral(HOSTILE_GARBAGE_FACTORY),
         QStringLiteral("插件在试运行时崩溃（信号 11 SIGSEGV，访问了无效的内存）")},
        {"factory returns null", QStringLiteral(HOSTILE_NULL_FACTORY), QStringLiteral("模块没有提供插件工厂")},
        {"factory ends the process", QStringLiteral(HOSTILE_EXITING_FACTORY),
         QStringLiteral("插件在试运行时意外退出，没有报告任何结果（退出码 0）")},
        {"factory never returns", QStringLiteral(HOSTILE_HANGING_FACTORY),
         QStringLiteral("插件在 3 秒内没有响应，已被终止")},
        {"not a library", notAModule, QStringLiteral("文件不是可加载的动态库")},
        {"symbolic-link loop", QString::fromStdString(loop.string()), QStringLiteral("文件不是可加载的动态库")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const Vst3Import import = importVst3(c.path);
        const std::vector<ShownBox> &boxes = import.boxes;
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].title, QStringLiteral("加载失败"));
        EXPECT_EQ(boxes[0].text, QStringLiteral("无法加载插件: %1\n%2").arg(c.path, c.reason));
        // Only the hanging module is sure to be still running when the timer fires.
        if (QString::fromUtf8(c.what) == QStringLiteral("factory never returns")) {
            EXPECT_TRUE(import.answeredWhileProbing);
        }
        EXPECT_TRUE(multitrack->bridge()->loadedPluginIds().empty());
    }

    // A refused module is refused at once the next time, with the same reason.
    const std::vector<ShownBox> again = importVst3(QStringLiteral(HOSTILE_HANGING_FACTORY)).boxes;
    ASSERT_EQ(again.size(), 1u);
    EXPECT_TRUE(again[0].text.startsWith(QStringLiteral("无法加载插件: %1\n插件在 3 秒内没有响应，已被终止\n")
                                             .arg(QStringLiteral(HOSTILE_HANGING_FACTORY))))
        << again[0].text.toStdString();

    // The program is still whole: a real plug-in loads.
    EXPECT_TRUE(importVst3(QStringLiteral("/usr/lib/vst3/ZamEQ2.vst3")).boxes.empty());
    EXPECT_EQ(multitrack->bridge()->loadedPluginIds().size(), 1u);
}

TEST_F(MediaFlowsTest, Vst3ImportTakesABundleFolderOrItsLibrary)
{
    openProject("multi");
    auto *bridge = window->findChild<MultiTrackEditorPage *>()->bridge();
    const QString bundle = QStringLiteral("/usr/lib/vst3/ZamEQ2.vst3");
    for (const QString &path : {bundle, bundle + QStringLiteral("/Contents/x86_64-linux/ZamEQ2.so")}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_TRUE(importVst3(path).boxes.empty());
        const std::vector<int> ids = bridge->loadedPluginIds();
        ASSERT_FALSE(ids.empty());
        EXPECT_EQ(bridge->pluginName(ids.back()), "ZamEQ2");
        EXPECT_EQ(bridge->getPluginInfo(ids.back()).path, path.toStdString());
        EXPECT_TRUE(bridge->getPluginInstance(ids.back())->isActive());
    }
}

TEST_F(MediaFlowsTest, Vst3ImportOffersThePluginInTheMidiTracksAlreadyThere)
{
    openProject("multi");
    multitrack->addMidiTrack(QString(), {}, 1.0);
    multitrack->document().tracks[0].instrumentIndex = 0;
    QComboBox *list = multitrack->trackRows[0]->header->instrumentCombo;
    const QStringList before = [&] {
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items.append(list->itemText(i));
        return items;
    }();
    EXPECT_TRUE(importVst3(QStringLiteral("/usr/lib/vst3/ZamEQ2.vst3")).boxes.empty());
    EXPECT_EQ(status(), QStringLiteral("已加载VST3插件: ZamEQ2.vst3"));
    QStringList after;
    for (int i = 0; i < list->count(); ++i)
        after.append(list->itemText(i));
    EXPECT_EQ(after, QStringList({QStringLiteral("[VST3] ZamEQ2"), QString()}) + before);
    // The track keeps its instrument until the user picks the plug-in.
    EXPECT_EQ(list->currentIndex(), 2);
    EXPECT_EQ(multitrack->document().tracks[0].pluginId, -1);
    EXPECT_EQ(multitrack->document().tracks[0].instrumentIndex, 0);
    list->setCurrentIndex(0);
    EXPECT_EQ(multitrack->document().tracks[0].pluginId, multitrack->bridge()->loadedPluginIds().front());
}

} // namespace
