// SPDX-License-Identifier: GPL-3.0-or-later
// The menu bar: every action's place, text, shortcut and enabled state, where its trigger
// leads, undo and redo routed to the page that shows, the mixer and the busy state.
#include "AppTestSupport.h"

#include "app/MainWindow.h"
#include "app/WelcomePage.h"
#include "editor/AudioEditorPage.h"
#include "editor/WaveformWidget.h"
#include "multitrack/MidiDeviceDialog.h"
#include "multitrack/MixerPage.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "project/UndoCommands.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QStackedWidget>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <map>

namespace {

class MenuTest : public ::testing::Test
{
protected:
    TemporarySettingsStore store;
};

QAction *actionNamed(MainWindow &window, const QString &text)
{
    for (QAction *action : window.findChildren<QAction *>())
        if (action->text() == text)
            return action;
    return nullptr;
}

QString menuOf(const QAction *action)
{
    for (QObject *object : action->associatedObjects())
        if (auto *menu = qobject_cast<QMenu *>(object))
            return menu->title();
    return QString();
}

QWidget *currentPage(MainWindow &window)
{
    return qobject_cast<QStackedWidget *>(window.centralWidget())->currentWidget();
}

// Triggers `action` and returns the title of the dialog it opened (cancelled at once).
QString dialogTitleAfter(QAction *action)
{
    QString title;
    const auto answered = answerNextDialog<QDialog>(
        [&title](QDialog *dialog) {
            title = dialog->windowTitle();
            dialog->reject();
        },
        2000);
    action->trigger();
    QTest::qWait(0);
    return title;
}

using Keys = QList<QKeySequence>;
Keys standard(QKeySequence::StandardKey key) { return QKeySequence::keyBindings(key); }
Keys fixed(const char *key) { return {QKeySequence(QLatin1String(key))}; }

// How a row checks that its trigger reached its target, in a window with a new
// single-track project; null where the target belongs to a flow tested on its own.
using Check = std::function<void(MainWindow &, QAction *)>;

Check opensDialog(const char *title)
{
    return [title](MainWindow &, QAction *action) { EXPECT_EQ(dialogTitleAfter(action), QString::fromUtf8(title)); };
}

// An Effects item opens its dialog on the single-track editor's audio; noise reduction,
// without a selection, answers with a box of its own title instead.
Check opensEffect(const char *title, bool inABox = false)
{
    return [title, inABox](MainWindow &window, QAction *action) {
        auto *editor = window.findChild<AudioEditorPage *>();
        ASSERT_TRUE(editor->loadAudioSamples(QList<float>(44100, 0.25f), 44100));
        if (inABox) {
            const auto answered = answerNextMessageBox(QMessageBox::Ok);
            action->trigger();
            EXPECT_TRUE(*answered.answered);
            EXPECT_EQ(*answered.title, QString::fromUtf8(title));
            return;
        }
        action->trigger();
        QString shown;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *dialog = qobject_cast<QDialog *>(widget); dialog && dialog->isVisible()) {
                shown = dialog->windowTitle();
                dialog->reject();
            }
        EXPECT_EQ(shown, QString::fromUtf8(title));
    };
}

TEST_F(MenuTest, EveryActionHasItsPlaceTextShortcutStateAndTarget)
{
    const Check zoom = [](MainWindow &window, QAction *action) {
        window.findChild<AudioEditorPage *>()->onZoomIn();  // room to zoom out
        auto *waveform = window.findChild<WaveformWidget *>();
        const double before = waveform->getZoomLevel();
        action->trigger();
        EXPECT_NE(waveform->getZoomLevel(), before);
    };
    const Check undoOrRedo = [](MainWindow &window, QAction *action) {
        auto *editor = window.findChild<AudioEditorPage *>();
        editor->samples = {1, 2, 3, 4};
        editor->undoStack->push(new DeleteSelectionCommand(&editor->samples, 1, 3, QStringLiteral("删除选区")));
        if (action->text() == QStringLiteral("重做(&R)"))
            editor->undoStack->undo();
        action->trigger();
        EXPECT_EQ(editor->samples.size(), action->text() == QStringLiteral("重做(&R)") ? 2 : 4);
    };
    const Check quits = [](MainWindow &window, QAction *action) {
        window.show();
        action->trigger();
        EXPECT_FALSE(window.isVisible());
    };
    const Check mixer = [](MainWindow &window, QAction *action) {
        action->trigger();
        EXPECT_TRUE(qobject_cast<MixerPage *>(currentPage(window)));
    };

    const struct
    {
        const char *menu;
        const char *text;
        Keys keys;
        bool atStart;
        bool withProject;
        Check check;
    } rows[] = {
        {"文件(&F)", "新建单轨项目(&S)", standard(QKeySequence::New), true, true, opensDialog("新建项目设置")},
        {"文件(&F)", "新建多轨项目(&M)", fixed("Ctrl+Shift+N"), true, true, opensDialog("新建项目设置")},
        {"文件(&F)", "打开项目(&O)...", standard(QKeySequence::Open), true, true, opensDialog("打开Zentriq项目")},
        {"文件(&F)", "保存项目(&S)", standard(QKeySequence::Save), false, true, opensDialog("保存项目")},
        {"文件(&F)", "项目另存为(&A)...", standard(QKeySequence::SaveAs), false, true, opensDialog("保存项目")},
        {"文件(&F)", "导入音频/视频(&I)...", {}, false, true, nullptr},
        {"文件(&F)", "导入MIDI(&M)...", {}, false, true, nullptr},
        {"文件(&F)", "导出为WAV(&W)...", {}, false, true, nullptr},
        {"文件(&F)", "导出为MP3(&M)...", {}, false, true, nullptr},
        {"文件(&F)", "导出为FLAC(&F)...", {}, false, true, nullptr},
        {"文件(&F)", "退出(&X)", standard(QKeySequence::Quit), true, true, quits},
        {"编辑(&E)", "撤销(&U)", standard(QKeySequence::Undo), false, true, undoOrRedo},
        {"编辑(&E)", "重做(&R)", standard(QKeySequence::Redo), false, true, undoOrRedo},
        {"编辑(&E)", "剪切(&T)", standard(QKeySequence::Cut), false, false, nullptr},
        {"编辑(&E)", "复制(&C)", standard(QKeySequence::Copy), false, false, nullptr},
        {"编辑(&E)", "粘贴(&P)", standard(QKeySequence::Paste), false, false, nullptr},
        {"视图(&V)", "放大(&I)", standard(QKeySequence::ZoomIn), true, true, zoom},
        {"视图(&V)", "缩小(&O)", standard(QKeySequence::ZoomOut), true, true, zoom},
        {"视图(&V)", "调音台(&M)", fixed("Ctrl+Shift+M"), false, true, mixer},
        {"效果(&E)", "增益(&G)", fixed("Ctrl+G"), false, true, opensEffect("增益调整")},
        {"效果(&E)", "中置声道提取(&C)", fixed("Ctrl+Shift+C"), false, true, opensEffect("中置声道提取")},
        {"效果(&E)", "降噪(&N)", {}, false, true, opensEffect("降噪", true)},
        {"效果(&E)", "混响(&R)", fixed("Ctrl+Shift+R"), false, true, opensEffect("混响")},
        {"效果(&E)", "延迟(&D)", fixed("Ctrl+Shift+D"), false, true, opensEffect("延迟")},
        {"效果(&E)", "音频速度检测(&T)", fixed("Ctrl+T"), false, true, opensEffect("音频速度检测 (BPM)")},
        {"效果(&E)", "音高修正(&P)", fixed("Ctrl+Shift+P"), false, true, opensEffect("音高修正")},
        {"效果(&E)", "声道转换(&L)", {}, false, true, opensEffect("声道转换")},
        {"效果(&E)", "压缩器(&C)", {}, false, true, opensEffect("动态压缩器")},
        {"效果(&E)", "均衡器(&E)", fixed("Ctrl+Shift+E"), false, true, opensEffect("参数均衡器 (Parametric EQ)")},
        {"工具(&T)", "加载音色库(&L)...", {}, true, true, nullptr},
        {"工具(&T)", "导入VST3插件(&V)...", {}, false, true, nullptr},
        {"工具(&T)", "合成器(&S)", {}, false, false, nullptr},
        {"工具(&T)", "MIDI 设备(&M)...", {}, true, true, opensDialog("MIDI 设备")},
        {"帮助(&H)", "检查更新(&U)", {}, true, true, nullptr},
        {"帮助(&H)", "关于ZentriqStudio(&A)", {}, true, true, opensDialog("关于ZentriqStudio")},
        {"帮助(&H)", "偏好设置(&P)", {}, true, true, opensDialog("偏好设置")},
    };

    MainWindow window;
    EXPECT_EQ(window.findChildren<QAction *>(Qt::FindDirectChildrenOnly).size(), std::size(rows));
    QStringList menuTitles;
    for (QAction *menu : window.menuBar()->actions())
        menuTitles << menu->text();
    EXPECT_EQ(menuTitles, (QStringList{QStringLiteral("文件(&F)"), QStringLiteral("编辑(&E)"), QStringLiteral("视图(&V)"),
                                       QStringLiteral("效果(&E)"), QStringLiteral("工具(&T)"), QStringLiteral("帮助(&H)")}));

    MainWindow withProject;
    withProject.openNewProject(QStringLiteral("single"), 44100, 16, false);
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        const QString text = QString::fromUtf8(row.text);
        QAction *action = actionNamed(window, text);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(menuOf(action), QString::fromUtf8(row.menu));
        EXPECT_EQ(action->shortcuts(), row.keys);
        EXPECT_EQ(action->isEnabled(), row.atStart);
        EXPECT_EQ(actionNamed(withProject, text)->isEnabled(), row.withProject);
        if (!row.check)
            continue;
        MainWindow target;
        target.openNewProject(QStringLiteral("single"), 44100, 16, false);
        row.check(target, actionNamed(target, text));
    }
}

TEST_F(MenuTest, NoKeyTriggersTwoEnabledActions)
{
    MainWindow window;
    window.openNewProject(QStringLiteral("single"), 44100, 16, false);
    std::map<QString, QString> owner;
    for (QAction *action : window.findChildren<QAction *>()) {
        if (!action->isEnabled())
            continue;
        for (const QKeySequence &key : action->shortcuts()) {
            const auto [at, fresh] = owner.emplace(key.toString(), action->text());
            EXPECT_TRUE(fresh) << key.toString().toStdString() << " on " << at->second.toStdString() << " and "
                               << action->text().toStdString();
        }
    }
}

TEST_F(MenuTest, CtrlShiftNOpensTheNewMultitrackDialogWithAProjectOpen)
{
    MainWindow window;
    window.openNewProject(QStringLiteral("single"), 44100, 16, false);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QString title;
    const auto answered = answerNextDialog<QDialog>([&title](QDialog *dialog) {
        title = dialog->windowTitle();
        dialog->reject();
    });
    QTest::keyClick(&window, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(*answered);
    EXPECT_EQ(title, QStringLiteral("新建项目设置"));
}

TEST_F(MenuTest, BusyOverlayDisablesMenusAndShortcutsUntilItHides)
{
    MainWindow window;
    window.openNewProject(QStringLiteral("single"), 44100, 16, false);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    std::map<QAction *, bool> before;
    for (QAction *action : window.findChildren<QAction *>(Qt::FindDirectChildrenOnly))
        before[action] = action->isEnabled();

    // A key press queued before the work starts reaches the window inside showLoading.
    const auto opened = answerNextDialog<QDialog>([](QDialog *dialog) { dialog->reject(); }, 500);
    QMetaObject::invokeMethod(
        &window, [&window] { QTest::keyClick(&window, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier); },
        Qt::QueuedConnection);
    window.showLoading(QStringLiteral("保存中..."));
    EXPECT_FALSE(window.menuBar()->isEnabled());
    for (QAction *action : window.findChildren<QAction *>(Qt::FindDirectChildrenOnly))
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
    window.hideLoading();
    QTest::qWait(600);
    EXPECT_FALSE(*opened) << "a queued key started a flow behind the overlay";

    EXPECT_TRUE(window.menuBar()->isEnabled());
    for (const auto &[action, enabled] : before)
        EXPECT_EQ(action->isEnabled(), enabled) << action->text().toStdString();
}

TEST_F(MenuTest, UndoAndRedoActOnThePageThatShows)
{
    const struct
    {
        const char *name;
        const char *type;  // project started in the window
        bool toMixer;      // then the mixer shows
        bool editorChanges;
        bool multitrackChanges;
    } cases[] = {
        {"single-track editor", "single", false, true, false},
        {"multitrack editor", "multi", false, false, true},
        {"mixer", "multi", true, false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        MainWindow window;
        window.openNewProject(QString::fromUtf8(c.type), 44100, 16, false);
        auto *editor = window.findChild<AudioEditorPage *>();
        auto *multi = window.findChild<MultiTrackEditorPage *>();
        editor->samples = {1, 2, 3, 4};
        editor->undoStack->push(new DeleteSelectionCommand(&editor->samples, 0, 2, QStringLiteral("删除选区")));
        multi->addTrack(TrackType::Audio, {0.5f}, 44100, QString(), {});
        if (c.toMixer)
            actionNamed(window, QStringLiteral("调音台(&M)"))->trigger();

        actionNamed(window, QStringLiteral("撤销(&U)"))->trigger();
        EXPECT_EQ(editor->samples.size(), c.editorChanges ? 4 : 2);
        EXPECT_EQ(multi->document().tracks.size(), c.multitrackChanges ? 0u : 1u);
        actionNamed(window, QStringLiteral("重做(&R)"))->trigger();
        EXPECT_EQ(editor->samples.size(), 2);
        EXPECT_EQ(multi->document().tracks.size(), 1u);
    }

    // The start page shows nothing to undo.
    MainWindow idle;
    auto *editor = idle.findChild<AudioEditorPage *>();
    editor->samples = {1, 2, 3, 4};
    editor->undoStack->push(new DeleteSelectionCommand(&editor->samples, 0, 2, QStringLiteral("删除选区")));
    actionNamed(idle, QStringLiteral("撤销(&U)"))->setEnabled(true);
    actionNamed(idle, QStringLiteral("撤销(&U)"))->trigger();
    EXPECT_EQ(editor->samples.size(), 2);
}

TEST_F(MenuTest, MixerTogglesBackToTheMultitrackEditor)
{
    MainWindow window;
    window.openNewProject(QStringLiteral("single"), 44100, 16, false);
    QAction *mixer = actionNamed(window, QStringLiteral("调音台(&M)"));
    mixer->trigger();
    EXPECT_TRUE(qobject_cast<MixerPage *>(currentPage(window)));
    mixer->trigger();
    EXPECT_TRUE(qobject_cast<MultiTrackEditorPage *>(currentPage(window)));
}

TEST_F(MenuTest, MixerEditsLandInTheTrackRecords)
{
    MainWindow window;
    window.openNewProject(QStringLiteral("multi"), 44100, 16, false);
    auto *mixer = window.findChild<MixerPage *>();
    auto *multi = window.findChild<MultiTrackEditorPage *>();
    multi->addTrack(TrackType::Audio, {}, 44100, QString(), {});
    multi->addTrack(TrackType::Audio, {}, 44100, QString(), {});

    emit mixer->trackVolumeChanged(1, 1.25f);
    emit mixer->trackPanChanged(0, -0.5f);
    emit mixer->trackMuteChanged(1, true);
    emit mixer->trackSoloChanged(0, true);
    EXPECT_EQ(multi->document().tracks[1].volume, 1.25f);
    EXPECT_EQ(multi->document().tracks[0].pan, -0.5f);
    EXPECT_TRUE(multi->document().tracks[1].muted);
    EXPECT_TRUE(multi->document().tracks[0].solo);

    // The master strip's pan (-1) and indices past the list change nothing.
    const auto tracks = multi->document().tracks;
    emit mixer->trackPanChanged(-1, 1.0f);
    emit mixer->trackVolumeChanged(2, 0.1f);
    emit mixer->trackMuteChanged(-5, true);
    EXPECT_EQ(multi->document().tracks, tracks);
}

TEST_F(MenuTest, StartPageButtonsOpenTheProjectDialogs)
{
    const struct
    {
        const char *name;
        std::function<void(WelcomePage *)> press;
        const char *title;
    } cases[] = {
        {"new", [](WelcomePage *page) { emit page->createProject(QStringLiteral("multi")); }, "新建项目设置"},
        {"open", [](WelcomePage *page) { emit page->importProject(); }, "打开Zentriq项目"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        MainWindow window;
        QString title;
        const auto answered = answerNextDialog<QDialog>([&title](QDialog *dialog) {
            title = dialog->windowTitle();
            dialog->reject();
        });
        c.press(window.findChild<WelcomePage *>());
        EXPECT_EQ(title, QString::fromUtf8(c.title));
    }
}

} // namespace
