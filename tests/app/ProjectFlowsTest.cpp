// SPDX-License-Identifier: GPL-3.0-or-later
// The project flows through the window's own actions and dialogs: new projects, save and
// open round trips, file names, unsaved work, failed and interrupted saves, bad files.
#include "AppTestSupport.h"
#include "FailingDisk.h"
#include "ProjectFixture.h"
#include "Requirement.h"

#include "app/MainWindow.h"
#include "editor/AudioEditorPage.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "project/ProjectFile.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <optional>
#include <random>

namespace {

class ProjectFlowsTest : public ::testing::Test
{
protected:
    TemporarySettingsStore store;
    QTemporaryDir dir;

    QString file(const QString &name) const { return dir.filePath(name); }
};

QAction *actionNamed(MainWindow &window, const char *text)
{
    for (QAction *action : window.findChildren<QAction *>(Qt::FindDirectChildrenOnly))
        if (action->text() == QString::fromUtf8(text))
            return action;
    return nullptr;
}

AudioEditorPage *editorOf(MainWindow &window) { return window.findChild<AudioEditorPage *>(); }
MultiTrackEditorPage *multiOf(MainWindow &window) { return window.findChild<MultiTrackEditorPage *>(); }
QWidget *currentPage(MainWindow &window)
{
    return qobject_cast<QStackedWidget *>(window.centralWidget())->currentWidget();
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Fills the new-project dialog as a user would and presses 确定.
std::shared_ptr<bool> answerNewProjectDialog(const QString &rate, const QString &depth, bool monoChosen)
{
    return answerNextDialog<QDialog>([=](QDialog *dialog) {
        const auto combos = dialog->findChildren<QComboBox *>();
        combos.at(0)->setCurrentText(rate);
        combos.at(1)->setCurrentText(depth);
        combos.at(2)->setCurrentIndex(monoChosen ? 1 : 0);
        for (QPushButton *button : dialog->findChildren<QPushButton *>())
            if (button->text() == QStringLiteral("确定"))
                button->click();
    });
}

MainWindow *otherMainWindow(const MainWindow &window)
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *other = qobject_cast<MainWindow *>(widget); other && other != &window)
            return other;
    return nullptr;
}

TEST_F(ProjectFlowsTest, NewProjectDialogStartsTheProjectHereFromTheStartPage)
{
    MainWindow window;
    const auto answered = answerNewProjectDialog(QStringLiteral("96000"), QStringLiteral("24-bit"), true);
    actionNamed(window, "新建多轨项目(&M)")->trigger();
    ASSERT_TRUE(*answered);
    EXPECT_TRUE(window.projectOpen);
    EXPECT_EQ(window.projectType, QStringLiteral("multi"));
    EXPECT_EQ(currentPage(window), multiOf(window));
    EXPECT_EQ(multiOf(window)->document().sampleRate, 96000);
    EXPECT_EQ(multiOf(window)->document().bitDepth, 24);
    EXPECT_TRUE(multiOf(window)->document().mono);
    EXPECT_TRUE(actionNamed(window, "保存项目(&S)")->isEnabled());
    EXPECT_EQ(otherMainWindow(window), nullptr);
}

TEST_F(ProjectFlowsTest, NewProjectOverAnEditorOpensASecondWindowThatGoesAwayWhenClosed)
{
    MainWindow window;
    window.openNewProject(QStringLiteral("single"), 44100, 16, false);
    window.resize(1000, 700);
    const auto answered = answerNewProjectDialog(QStringLiteral("48000"), QStringLiteral("32-bit float"), false);
    actionNamed(window, "新建单轨项目(&S)")->trigger();
    ASSERT_TRUE(*answered);

    QPointer<MainWindow> second = otherMainWindow(window);
    ASSERT_FALSE(second.isNull());
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(second->size(), window.size());
    EXPECT_EQ(editorOf(*second)->sampleRate, 48000);
    EXPECT_EQ(multiOf(*second)->document().bitDepth, 32);
    EXPECT_EQ(currentPage(*second), editorOf(*second));
    EXPECT_EQ(editorOf(window)->sampleRate, 44100) << "the first window keeps its project";

    // Unmodified: closes without a question, and takes its pages, engines and MIDI port along.
    EXPECT_TRUE(second->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(second.isNull());
}

// Saves through "项目另存为" with the name typed in the dialog.
bool saveAs(MainWindow &window, const QString &typed)
{
    const auto answered = answerNextFileDialog(typed);
    actionNamed(window, "项目另存为(&A)...")->trigger();
    return *answered;
}

// Opens through "打开项目" in a fresh window.
void openInto(MainWindow &window, const QString &path)
{
    const auto answered = answerNextFileDialog(path);
    actionNamed(window, "打开项目(&O)...")->trigger();
    ASSERT_TRUE(*answered);
}

TEST_F(ProjectFlowsTest, SingleTrackProjectsReopenBitExactInTheMultitrackEditor)
{
    const QList<float> left = seededSamples(3001, 1);
    QList<float> stereo;
    for (qsizetype i = 0; i < left.size(); ++i)
        stereo << left[i] << -left[i] * 0.5f;
    const struct
    {
        const char *name;
        QList<float> mono;    // loaded as mono when no stereo
        QList<float> stereo;
        bool monoFlag;
        bool reopensMono;
    } cases[] = {
        {"mono", left, {}, false, true},
        {"stereo", {}, stereo, false, false},
        {"stereo with the mono flag", {}, stereo, true, true},
        {"empty", {}, {}, false, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = file(QStringLiteral("single-%1.zqp").arg(&c - cases));
        MainWindow author;
        author.openNewProject(QStringLiteral("single"), 48000, 24, false);
        AudioEditorPage *editor = editorOf(author);
        if (!c.stereo.isEmpty())
            editor->loadStereoAudioSamples(c.stereo, 48000);
        else if (!c.mono.isEmpty())
            editor->loadAudioSamples(c.mono, 48000);
        editor->mono = c.monoFlag;
        ASSERT_TRUE(saveAs(author, path.chopped(4)));
        EXPECT_EQ(author.projectPath, path);
        EXPECT_EQ(author.projectType, QStringLiteral("single"));
        EXPECT_EQ(currentPage(author), editor) << "saving keeps the project in its editor";

        MainWindow reader;
        openInto(reader, path);
        MultiTrackEditorPage *multi = multiOf(reader);
        EXPECT_EQ(currentPage(reader), multi);
        EXPECT_EQ(reader.projectType, QStringLiteral("multi"));
        EXPECT_EQ(reader.projectPath, path);
        ASSERT_EQ(multi->document().tracks.size(), 1u);
        EXPECT_EQ(multi->document().tracks[0].name, QFileInfo(path).baseName());
        EXPECT_EQ(multi->document().sampleRate, 48000);
        EXPECT_EQ(multi->document().bitDepth, 24);
        EXPECT_EQ(multi->document().mono, c.reopensMono);
        EXPECT_EQ(multi->document().undoStack->count(), 0) << "after a load there is nothing to undo";
        if (editor->samples.isEmpty()) {
            EXPECT_TRUE(multi->document().tracks[0].audioClips.empty());
            continue;
        }
        ASSERT_EQ(multi->document().tracks[0].audioClips.size(), 1u);
        const AudioClip &clip = multi->document().tracks[0].audioClips[0];
        EXPECT_TRUE(sameBits(clip.samples, editor->samples));
        EXPECT_TRUE(sameBits(clip.stereoSamples, editor->stereoSamples));
        EXPECT_EQ(clip.sampleRate, 48000);
    }
}

TEST_F(ProjectFlowsTest, MultitrackProjectsReopenWithEverySavedField)
{
    MainWindow author;
    author.openNewProject(QStringLiteral("multi"), 44100, 32, true);
    MultiTrackEditorPage *page = multiOf(author);
    page->document().bpm = 97.5;
    page->document().midiFileTempo = 132.0;  // the MIDI keeps sounding as it did before the save

    AudioClip first;
    first.samples = seededSamples(2000, 2);
    first.stereoSamples = seededSamples(4000, 3);
    first.sampleRate = 22050;
    first.start = 5.0;
    first.audioStart = 0.01;
    first.audioEnd = 0.02;
    first.fadeIn = 0.005;
    first.fadeOut = 0.0125;
    first.fadeInCurve = FadeCurve::SCurve;
    first.fadeOutCurve = FadeCurve::Logarithmic;
    AudioClip second;
    second.samples = seededSamples(500, 4);
    second.start = 12.25;
    second.fadeOutCurve = FadeCurve::Exponential;
    page->addTrack(TrackType::Audio, first.samples, first.sampleRate, QStringLiteral("Vocals"), first.stereoSamples);
    TrackData &audio = page->document().tracks.back();
    audio.audioClips = {first, second};
    audio.volume = 1.25f;
    audio.pan = -0.375f;
    audio.muted = true;
    audio.envelopeEnabled = true;
    audio.volumeEnvelope = {{0.0, 0.8f}, {2.5, 0.25f}, {7.0, 1.5f}};

    page->addMidiTrack(QStringLiteral("Keys"), {{60, 0.0, 0.5, 100}, {67, 0.25, 1.0, 64}}, 3.0);
    TrackData &midi = page->document().tracks.back();
    midi.midiClips.push_back({0, {{36, 0.5, 0.125, 127}}, 8.0, 2.0});
    midi.instrumentIndex = 5;
    midi.midiChannel = 9;
    midi.solo = true;
    page->addTrack(TrackType::Audio, {}, 44100, QStringLiteral("Empty"), {});
    page->setMarkers({{1.5, QStringLiteral("Intro"), QColor(255, 165, 0)}, {30.0, QStringLiteral("副歌"), Qt::cyan}});
    const std::vector<TrackData> tracks = page->document().tracks;
    const std::vector<TimelineMarker> markers = page->document().markers;
    const QString path = file(QStringLiteral("multi.zqp"));
    ASSERT_TRUE(author.saveProject(path));

    MainWindow reader;
    ASSERT_TRUE(reader.loadProject(path));
    MultiTrackEditorPage *loaded = multiOf(reader);
    ASSERT_EQ(loaded->document().tracks.size(), tracks.size());
    for (size_t i = 0; i < tracks.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(loaded->document().tracks[i], tracks[i]);
        for (size_t k = 0; k < tracks[i].audioClips.size(); ++k) {
            EXPECT_TRUE(sameBits(loaded->document().tracks[i].audioClips[k].samples, tracks[i].audioClips[k].samples));
            EXPECT_TRUE(sameBits(loaded->document().tracks[i].audioClips[k].stereoSamples, tracks[i].audioClips[k].stereoSamples));
        }
    }
    EXPECT_EQ(loaded->document().markers, markers);
    EXPECT_EQ(loaded->document().bpm, 97.5);
    EXPECT_EQ(loaded->document().midiFileTempo, 132.0);
    EXPECT_EQ(loaded->document().bitDepth, 32);
    EXPECT_TRUE(loaded->document().mono);
    EXPECT_EQ(loaded->document().undoStack->count(), 0);
}

TEST_F(ProjectFlowsTest, SaveAsCompletesTheSuffixAndAsksBeforeReplacingAFile)
{
    const struct
    {
        const char *name;
        const char *typed;
        const char *written;
        bool exists;                          // the written name exists beforehand
        QMessageBox::StandardButton answer;   // to the replace question; NoButton: none expected
        bool replaced;
    } cases[] = {
        {"suffix in capitals kept", "a.ZQP", "a.ZQP", false, QMessageBox::NoButton, true},
        {"suffix added", "b", "b.zqp", false, QMessageBox::NoButton, true},
        {"other suffix kept, ours added", "c.v2", "c.v2.zqp", false, QMessageBox::NoButton, true},
        {"completed name exists: kept on No", "d", "d.zqp", true, QMessageBox::No, false},
        {"completed name exists: replaced on Yes", "e", "e.zqp", true, QMessageBox::Yes, true},
        {"added suffix names a file: kept on No", "f.v2", "f.v2.zqp", true, QMessageBox::No, false},
        {"added suffix names a file: replaced on Yes", "g.v2", "g.v2.zqp", true, QMessageBox::Yes, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString written = file(QString::fromUtf8(c.written));
        if (c.exists)
            writeFile(written, "old");
        MainWindow window;
        window.openNewProject(QStringLiteral("single"), 44100, 16, false);
        std::shared_ptr<bool> asked;
        if (c.answer != QMessageBox::NoButton) {
            asked = answerNextDialog<QMessageBox>([&c](QMessageBox *box) {
                box->button(c.answer)->click();
                // After No the file dialog's own question leaves the dialog open for
                // another name: the user cancels it.
                if (c.answer == QMessageBox::No && !QByteArray(c.typed).contains('.'))
                    QTimer::singleShot(0, [] { answerNextFileDialog(QString()); });
            });
        }
        ASSERT_TRUE(saveAs(window, file(QString::fromUtf8(c.typed))));
        if (asked)
            EXPECT_TRUE(*asked);
        ProjectData project;
        EXPECT_EQ(ProjectFile::load(written, project) == ProjectFile::LoadResult::Loaded, c.replaced);
        if (!c.replaced)
            EXPECT_EQ(contents(written), "old");
        EXPECT_EQ(window.projectPath, c.replaced ? written : QString());
    }
}

TEST_F(ProjectFlowsTest, UnsavedWorkIsOfferedForSavingBeforeAnotherProjectOpens)
{
    enum Flow { Open, New };
    const struct
    {
        const char *name;
        Flow flow;
        bool modified;
        QMessageBox::StandardButton answer;  // NoButton: no question expected
        bool proceeds;
        bool saved;
    } cases[] = {
        {"open, unmodified", Open, false, QMessageBox::NoButton, true, false},
        {"open, cancel", Open, true, QMessageBox::Cancel, false, false},
        {"open, discard", Open, true, QMessageBox::Discard, true, false},
        {"open, save", Open, true, QMessageBox::Save, true, true},
        {"new, unmodified", New, false, QMessageBox::NoButton, true, false},
        {"new, cancel", New, true, QMessageBox::Cancel, false, false},
        {"new, save", New, true, QMessageBox::Save, true, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = file(QStringLiteral("work.zqp"));
        MainWindow window;
        window.openNewProject(QStringLiteral("multi"), 44100, 16, false);
        ASSERT_TRUE(window.saveProject(path));
        if (c.modified)
            multiOf(window)->addTrack(TrackType::Audio, {0.5f}, 44100, QString(), {});

        MessageBoxAnswer question;
        if (c.answer != QMessageBox::NoButton)
            question = answerNextMessageBox(c.answer);
        bool proceeded = false;
        if (c.flow == Open) {
            QString caption;
            // A short window only where no dialog should come: on a loaded machine an expected
            // dialog can take seconds (the save question and the save come first), and one left
            // unanswered blocks the test.
            const auto asked = answerNextFileDialog(QString(), &caption, c.proceeds ? 60000 : 300);
            actionNamed(window, "打开项目(&O)...")->trigger();
            proceeded = *asked;
            if (!proceeded)  // let the unused answer expire before the next case
                QTest::qWait(400);
        } else {
            window.openNewProject(QStringLiteral("single"), 48000, 16, false);
            proceeded = window.projectType == QStringLiteral("single");
        }
        EXPECT_EQ(proceeded, c.proceeds);
        EXPECT_EQ(question.answered != nullptr && *question.answered, c.answer != QMessageBox::NoButton);
        if (question.answered)
            EXPECT_EQ(*question.text, QStringLiteral("当前有打开的项目，是否在关闭前保存？"));
        ProjectData project;
        ASSERT_EQ(ProjectFile::load(path, project), ProjectFile::LoadResult::Loaded);
        EXPECT_EQ(project.tracks.size(), c.saved ? 1u : 0u);
    }
}

// `count` copies of `item`, comma-separated.
QByteArray repeated(const QByteArray &item, int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += (i > 0 ? "," : "") + item;
    return text;
}

TEST_F(ProjectFlowsTest, LoadFailuresNameTheProblemAndLeaveTheOpenProjectAlone)
{
    const QString notJson = QStringLiteral("{\"version\": \"1.0.0\", \"tracks\": [");
    const auto projectOf = [](const QByteArray &tracks) { return R"({"version": "1.0.0", "tracks": [)" + tracks + "]}"; };
    const QByteArray notes = R"({"notes": [)" + repeated("{}", 500001) + "]}";
    const struct
    {
        const char *name;
        const char *fileName;
        QByteArray bytes;  // not written when empty
        QString text;
    } cases[] = {
        {"missing file", "missing.zqp", {}, QStringLiteral("无法读取文件: %1")},
        {"not JSON", "broken.zqp", notJson.toUtf8(), QStringLiteral("文件格式错误: 数组没有结束（缺少 “]”）")},
        {"array root", "array.zqp", "[{\"version\": \"1.0.0\", \"tracks\": []}]", QStringLiteral("无法解析工程文件")},
        {"no version", "old.zqp", "{\"name\": \"x\", \"tracks\": []}", QStringLiteral("无法解析工程文件")},
        {"more tracks than the editor shows", "tracks.zqp", projectOf(repeated("{}", 1001)),
         QStringLiteral("项目有 1001 条轨道，超过了本程序能显示的 1000 条，无法打开。")},
        {"more clips", "clips.zqp", projectOf(R"({"audioBlocks": [)" + repeated("{}", 100001) + "]}"),
         QStringLiteral("项目有 100001 个片段，超过了本程序能显示的 100000 个，无法打开。")},
        {"more notes", "notes.zqp", projectOf(R"({"type": "midi", "midiClips": [)" + notes + "," + notes + "]}"),
         QStringLiteral("项目有 1000002 个音符，超过了本程序能显示的 1000000 个，无法打开。")},
    };
    const QString openPath = file(QStringLiteral("open.zqp"));
    MainWindow window;
    window.openNewProject(QStringLiteral("multi"), 48000, 24, false);
    multiOf(window)->addTrack(TrackType::Audio, seededSamples(100, 5), 48000, QStringLiteral("kept"), {});
    ASSERT_TRUE(window.saveProject(openPath));
    const std::vector<TrackData> tracks = multiOf(window)->document().tracks;

    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = file(QString::fromUtf8(c.fileName));
        if (!c.bytes.isEmpty())
            writeFile(path, c.bytes);
        const MessageBoxAnswer box = answerNextMessageBox(QMessageBox::Ok);
        EXPECT_FALSE(window.loadProject(path));
        ASSERT_TRUE(*box.answered);
        EXPECT_EQ(*box.title, QStringLiteral("打开失败"));
        EXPECT_EQ(*box.text, c.text.contains(QLatin1String("%1")) ? c.text.arg(path) : c.text);
        EXPECT_EQ(multiOf(window)->document().tracks, tracks);
        EXPECT_EQ(multiOf(window)->document().sampleRate, 48000);
        EXPECT_EQ(window.projectPath, openPath);
        EXPECT_TRUE(actionNamed(window, "保存项目(&S)")->isEnabled()) << "the menus come back after the overlay";
    }
}

TEST_F(ProjectFlowsTest, LoadedSettingsNeverReachTheEditorOutOfRange)
{
    const struct
    {
        const char *settings;
        int rate;
        int bits;
        double tempo;
    } cases[] = {
        {R"({"sampleRate": 48000, "bitDepth": 24, "channels": 1, "tempo": 90})", 48000, 24, 90.0},
        {R"({"sampleRate": 0, "bitDepth": 7, "tempo": 0})", 44100, 16, 120.0},
        {R"({"sampleRate": -48000, "bitDepth": -16, "tempo": -120})", 44100, 16, 120.0},
        {R"({"sampleRate": 99999999999, "bitDepth": 1000, "tempo": "fast"})", 44100, 16, 120.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.settings);
        const QString path = file(QStringLiteral("settings.zqp"));
        writeFile(path, QByteArray(R"({"version": "1.0.0", "tracks": [], "settings": )") + c.settings + "}");
        MainWindow window;
        ASSERT_TRUE(window.loadProject(path));
        EXPECT_EQ(multiOf(window)->document().sampleRate, c.rate);
        EXPECT_EQ(multiOf(window)->document().bitDepth, c.bits);
        EXPECT_EQ(multiOf(window)->document().bpm, c.tempo);
    }
}

TEST_F(ProjectFlowsTest, RatesNoDeviceUsesOpenAt44100WithANotice)
{
    const QByteArray clip = R"({"audioData": {"type": "embedded", "sampleRate": 1, "channels": [[0.5, -0.5]]}})";
    const QString path = file(QStringLiteral("rates.zqp"));
    writeFile(path, R"({"version": "1.0.0", "settings": {"sampleRate": 500000}, "tracks": [{"audioBlocks": [)" + clip +
                        "," + clip + "]}]}");
    MainWindow window;
    ASSERT_TRUE(window.loadProject(path));
    MultiTrackEditorPage *page = multiOf(window);
    EXPECT_EQ(page->document().sampleRate, 44100);
    ASSERT_EQ(page->document().tracks.size(), 1u);
    for (const AudioClip &loaded : page->document().tracks[0].audioClips)
        EXPECT_EQ(loaded.sampleRate, 44100);
    // Told without stopping the window: the project is open behind it.
    const QMessageBox *notice = nullptr;
    for (const QMessageBox *box : window.findChildren<QMessageBox *>())
        if (box->isVisible())
            notice = box;
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->windowTitle(), QStringLiteral("打开项目"));
    EXPECT_EQ(notice->text(), QStringLiteral("项目中的采样率 500000 Hz、1 Hz 不在支持的范围（8000–384000 Hz）内，"
                                             "已按 44100 Hz 读取。"));
}

TEST_F(ProjectFlowsTest, ASaveIntoAFolderThatDoesNotExistSaysSo)
{
    MainWindow window;
    window.openNewProject(QStringLiteral("multi"), 44100, 16, false);
    const QString path = file(QStringLiteral("no/such/folder/p.zqp"));
    const MessageBoxAnswer box = answerNextMessageBox(QMessageBox::Ok);
    EXPECT_FALSE(window.saveProject(path));
    ASSERT_TRUE(*box.answered);
    EXPECT_EQ(*box.title, QStringLiteral("保存失败"));
    EXPECT_EQ(*box.text, QStringLiteral("无法写入文件: %1").arg(path));
    EXPECT_TRUE(window.projectPath.isEmpty());
}

struct ChildResult
{
    int exitCode = -1;
    QStringList lines;
};

ChildResult runSaveChild(const QStringList &arguments)
{
    QProcess child;
    child.start(QStringLiteral(PROJECT_SAVE_CHILD), arguments);
    child.waitForFinished(300000);
    return {child.exitCode(), QString::fromUtf8(child.readAllStandardOutput()).split(QLatin1Char('\n'))};
}

QList<float> loadedSamples(const QString &path)
{
    ProjectData project;
    if (ProjectFile::load(path, project) != ProjectFile::LoadResult::Loaded || project.tracks.size() != 1
        || project.tracks[0].audioClips.size() != 1)
        return {};
    return project.tracks[0].audioClips[0].samples;
}

// A save cut short part-way keeps the old project, leaves no temporary file and says why.
TEST_F(ProjectFlowsTest, ASaveCutShortKeepsTheOldProjectAndSaysWhy)
{
    const struct
    {
        const char *name;
        bool fullDisk;  // else the file size limit
        const char *reason;
    } cases[] = {
        {"the file size limit", false, "文件超过了系统允许的大小"},
        {"a full disk", true, "磁盘空间不足"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<SmallDisk> disk;
        if (c.fullDisk) {
            disk.emplace(512 * 1024);
            ZENTRIQ_REQUIRE(disk->mounted(), "mounting a small tmpfs needs root");
        }
        const QString folder = disk ? disk->path() : dir.path();
        const QString path = QDir(folder).filePath(QStringLiteral("limited.zqp"));
        ASSERT_EQ(runSaveChild({path, QStringLiteral("20000"), QStringLiteral("1")}).exitCode, 0);
        const QByteArray old = contents(path);
        ASSERT_GT(old.size(), 100000);

        // About a megabyte of Base64: past the limit and past the disk's room.
        QStringList arguments{path, QStringLiteral("200000"), QStringLiteral("2")};
        if (!c.fullDisk)
            arguments << QStringLiteral("65536");
        const ChildResult result = runSaveChild(arguments);
        EXPECT_EQ(result.exitCode, 1);
        const qsizetype at = result.lines.indexOf(QStringLiteral("saving"));
        ASSERT_GE(at, 0);
        ASSERT_GE(result.lines.size(), at + 4);
        EXPECT_EQ(result.lines[at + 1], QStringLiteral("failed"));
        EXPECT_EQ(result.lines[at + 2], QStringLiteral("保存失败"));
        EXPECT_EQ(result.lines[at + 3], QStringLiteral("写入文件不完整: %1 (%2)").arg(path, QString::fromUtf8(c.reason)));
        EXPECT_EQ(contents(path), old);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1) << "no temporary file is left";
    }
}

TEST_F(ProjectFlowsTest, AKilledSaveLeavesEitherTheOldOrTheNewProject)
{
    // About 100 MB of project file.
    const qsizetype frames = 18'800'000;
    const QString path = file(QStringLiteral("big.zqp"));
    const auto digest = [](const QList<float> &samples) {
        return QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char *>(samples.constData()),
                                                       samples.size() * qsizetype(sizeof(float))),
                                        QCryptographicHash::Sha1);
    };

    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(runSaveChild({path, QString::number(frames), QStringLiteral("1")}).exitCode, 0);
    const qint64 fullRunMs = clock.elapsed();
    ASSERT_GT(QFileInfo(path).size(), 100'000'000);
    QByteArray current = digest(seededSamples(frames, 1));

    std::mt19937 random(20261210);
    int keptOld = 0;
    for (unsigned seed = 2; seed < 8; ++seed) {
        SCOPED_TRACE(seed);
        const QByteArray next = digest(seededSamples(frames, seed));
        QProcess child;
        child.start(QStringLiteral(PROJECT_SAVE_CHILD), {path, QString::number(frames), QString::number(seed)});
        ASSERT_TRUE(child.waitForReadyRead(120000));  // "saving"
        QTest::qWait(std::uniform_int_distribution<int>(0, int(fullRunMs))(random));
        child.kill();
        child.waitForFinished();

        const QByteArray found = digest(loadedSamples(path));
        EXPECT_TRUE(found == current || found == next) << "the project no longer opens as either version";
        keptOld += found == current;
        current = found;
    }
    RecordProperty("killed before the new file was in place", keptOld);
}

} // namespace
