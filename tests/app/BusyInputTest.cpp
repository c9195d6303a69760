// SPDX-License-Identifier: GPL-3.0-or-later
// Keys and clicks that arrive while a blocking flow runs behind the busy overlay are dropped:
// once the flow is over, its result, the tool and the transport are as the flow left them.
#include "AppTestSupport.h"
#include "QueuedInput.h"
#include "TestFiles.h"

#include "app/MainWindow.h"
#include "editor/AudioEditorPage.h"
#include "multitrack/MultiTrackEditorPage.h"

#include <QAction>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Calls `arrive` once, when the flow pushes its step: the work is done, the overlay still up.
void whenTheStepLands(QUndoStack *stack, std::function<void()> arrive)
{
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(stack, &QUndoStack::indexChanged, [connection, arrive] {
        QObject::disconnect(*connection);
        arrive();
    });
}

class BusyInputTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window.resize(1400, 900);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        editor = window.findChild<AudioEditorPage *>();
        multitrack = window.findChild<MultiTrackEditorPage *>();
        ASSERT_TRUE(editor && multitrack);
    }

    // Lets every queued event run, as the event loop does after the flow.
    static void settle()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    TemporarySettingsStore store;
    TestFiles files;
    MainWindow window;
    AudioEditorPage *editor = nullptr;
    MultiTrackEditorPage *multitrack = nullptr;
};

TEST_F(BusyInputTest, KeysAndAClickDuringAnEffectDoNotUndoItOrChangeToolOrTransport)
{
    window.openNewProject(QStringLiteral("single"), 44100, 16, false);
    QList<float> tone(3 * 44100);
    for (qsizetype i = 0; i < tone.size(); ++i)
        tone[i] = float(0.5 * std::sin(2 * M_PI * 440 * double(i) / 44100));
    ASSERT_TRUE(editor->loadAudioSamples(tone, 44100));
    editor->setFocus();
    auto *play = editor->findChild<QPushButton *>(QStringLiteral("TransportPlayButton"));
    auto *erase = editor->findChild<QPushButton *>(QStringLiteral("toolEraseBtn"));
    auto *editorStatus = editor->findChild<QStatusBar *>();
    ASSERT_TRUE(play && erase && editorStatus);
    const QString idlePlayText = play->text();

    // The report's keys: play, delete, undo, erase tool, Return; then a click on Play.
    whenTheStepLands(editor->undoStack, [&] {
        queueKey(editor, Qt::Key_Space);
        queueKey(editor, Qt::Key_Delete);
        queueKey(editor, Qt::Key_Z, Qt::ControlModifier);
        queueKey(editor, Qt::Key_E);
        queueKey(editor, Qt::Key_Return);
        queueClick(play);
    });
    editor->showReverbDialog();
    QDialog *dialog = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *found = qobject_cast<QDialog *>(widget); found && found->isVisible() && found->windowTitle() == "混响")
            dialog = found;
    ASSERT_NE(dialog, nullptr);
    for (QPushButton *button : dialog->findChildren<QPushButton *>())
        if (button->text() == QStringLiteral("应用"))
            button->click();
    ASSERT_EQ(editor->undoStack->index(), 1);
    const QString appliedStatus = editorStatus->currentMessage();
    const QList<float> reverberated = editor->samples;
    ASSERT_NE(reverberated, tone);

    settle();
    EXPECT_EQ(editor->undoStack->index(), 1);
    EXPECT_EQ(editor->undoStack->undoText(), QStringLiteral("混响"));
    EXPECT_EQ(editor->samples, reverberated);
    EXPECT_FALSE(erase->isChecked());
    EXPECT_EQ(play->text(), idlePlayText);
    EXPECT_EQ(editorStatus->currentMessage(), appliedStatus);
}

TEST_F(BusyInputTest, UndoKeyDuringAnImportDoesNotTakeTheNewTrackAway)
{
    window.openNewProject(QStringLiteral("multi"), 44100, 16, false);
    QList<float> tone(44100, 0.25f);
    const QString path = files.write(QStringLiteral("Bass.wav"),
                                     makeWavBytes(std::span<const float>(tone.constData(), tone.size()), 1, 44100));
    multitrack->setFocus();
    whenTheStepLands(multitrack->document().undoStack, [&] { queueKey(multitrack, Qt::Key_Z, Qt::ControlModifier); });
    {
        DialogScript script;
        script.files = {path};
        QAction *import = nullptr;
        for (QAction *action : window.findChildren<QAction *>())
            if (action->text() == QStringLiteral("导入音频/视频(&I)..."))
                import = action;
        ASSERT_NE(import, nullptr);
        import->trigger();
    }
    ASSERT_EQ(multitrack->document().tracks.size(), 1u);

    settle();
    EXPECT_EQ(multitrack->document().tracks.size(), 1u);
    EXPECT_EQ(multitrack->document().undoStack->index(), 1);
    EXPECT_EQ(window.statusBar()->currentMessage(), QStringLiteral("已导入: Bass.wav"));
}

} // namespace
