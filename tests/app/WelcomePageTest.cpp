// SPDX-License-Identifier: GPL-3.0-or-later
// The start page: its buttons' signals, the seven tutorial cards and their step dialogs.
#include "AppTestSupport.h"

#include "app/WelcomePage.h"

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct StepRow
{
    QString number;
    QString text;
};

// The step rows of a tutorial dialog: the frames directly inside its scroll area.
std::vector<StepRow> stepRows(QDialog *dialog)
{
    std::vector<StepRow> rows;
    auto *scroll = dialog->findChild<QScrollArea *>();
    if (!scroll || !scroll->widget())
        return rows;
    for (QFrame *frame : scroll->widget()->findChildren<QFrame *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<QLabel *>(frame))
            continue;
        const auto labels = frame->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
        if (labels.size() == 2)
            rows.push_back({labels[0]->text(), labels[1]->text()});
    }
    return rows;
}

QPushButton *buttonWithText(QWidget *parent, const QString &text)
{
    for (QPushButton *button : parent->findChildren<QPushButton *>())
        if (button->text() == text)
            return button;
    return nullptr;
}

TEST(WelcomePage, EachButtonEmitsExactlyOneSignalPerClick)
{
    const struct
    {
        QString button;
        QString createdType; // empty: the import signal
    } cases[] = {
        {QStringLiteral("＋ 单轨工程"), QStringLiteral("single")},
        {QStringLiteral("＋ 多轨工程"), QStringLiteral("multi")},
        {QStringLiteral("导入工程"), QString()},
    };
    WelcomePage page(nullptr);
    page.show();
    EXPECT_EQ(page.objectName(), QStringLiteral("WelcomePage"));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.button.toStdString());
        QSignalSpy created(&page, &WelcomePage::createProject);
        QSignalSpy imported(&page, &WelcomePage::importProject);
        QPushButton *button = buttonWithText(&page, c.button);
        ASSERT_NE(button, nullptr);

        QTest::mouseClick(button, Qt::LeftButton);
        QTest::mouseClick(button, Qt::LeftButton);

        if (c.createdType.isEmpty()) {
            EXPECT_EQ(created.count(), 0);
            EXPECT_EQ(imported.count(), 2);
        } else {
            EXPECT_EQ(imported.count(), 0);
            ASSERT_EQ(created.count(), 2);
            EXPECT_EQ(created.at(0).at(0).toString(), c.createdType);
            EXPECT_EQ(created.at(1).at(0).toString(), c.createdType);
        }
    }
}

TEST(WelcomePage, EveryTutorialCardOpensItsStepsAndTheDialogIsDeletedAfterClosing)
{
    const struct
    {
        QString title;
        int steps;
        QString firstStep;
        int emptyStep; // 1-based row with an empty text, 0 for none
    } cards[] = {
        {QStringLiteral("快捷键指南"), 18, QStringLiteral("Ctrl+N — 创建新工程"), 10},
        {QStringLiteral("录制你的第一条音频"), 4, QStringLiteral("点击工具栏“录音”按钮，开始麦克风录音"), 0},
        {QStringLiteral("多轨混音入门"), 4, QStringLiteral("在欢迎页点击“+多轨工程”创建多轨项目"), 0},
        {QStringLiteral("MIDI 音乐制作"), 4, QStringLiteral("在多轨编辑器中添加MIDI轨道，右键点击创建MIDI片段"), 0},
        {QStringLiteral("音频效果处理"), 4, QStringLiteral("录制或导入音频后，选择波形图中的音频片段"), 0},
        {QStringLiteral("频谱分析"), 4, QStringLiteral("录制或导入音频后，点击“频谱”按钮打开频谱分析器"), 0},
        {QStringLiteral("插件使用"), 4, QStringLiteral("在设置中指定VST3插件扫描路径，点击“扫描插件”"), 0},
    };

    WelcomePage page(nullptr);
    page.resize(1200, 800);
    page.show();
    const QList<QFrame *> found = page.findChildren<QFrame *>(QStringLiteral("TutorialCard"));
    ASSERT_EQ(found.size(), 7);

    for (int i = 0; i < 7; ++i) {
        const auto &card = cards[i];
        SCOPED_TRACE(card.title.toStdString());
        EXPECT_EQ(found[i]->property("tutorialTitle").toString(), card.title);
        EXPECT_EQ(found[i]->property("tutorialSteps").toStringList().size(), card.steps);

        // Click the card's title label: labels pass presses on to the card.
        QLabel *titleLabel = nullptr;
        for (QLabel *label : found[i]->findChildren<QLabel *>())
            if (label->text() == card.title)
                titleLabel = label;
        ASSERT_NE(titleLabel, nullptr);

        QPointer<QDialog> shown;
        QString windowTitle;
        std::vector<StepRow> rows;
        auto answered = answerNextDialog<QDialog>([&](QDialog *dialog) {
            shown = dialog;
            windowTitle = dialog->windowTitle();
            rows = stepRows(dialog);
            QPushButton *close = buttonWithText(dialog, QStringLiteral("关闭"));
            ASSERT_NE(close, nullptr);
            close->click();
        });
        QTest::mouseClick(titleLabel, Qt::LeftButton);

        ASSERT_TRUE(*answered);
        EXPECT_EQ(windowTitle, card.title);
        ASSERT_EQ(int(rows.size()), card.steps);
        EXPECT_EQ(rows[0].text, card.firstStep);
        for (int row = 0; row < card.steps; ++row) {
            EXPECT_EQ(rows[row].number, QString::number(row + 1));
            EXPECT_EQ(rows[row].text.isEmpty(), row + 1 == card.emptyStep) << "row " << row + 1;
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(shown.isNull()) << "the closed dialog is still alive";
    }
}

TEST(WelcomePage, PressesOnOtherObjectsAreNotHandled)
{
    WelcomePage page(nullptr);
    QWidget plainWidget;
    plainWidget.setProperty("tutorialTitle", QStringLiteral("标题"));
    plainWidget.setProperty("tutorialSteps", QStringList{QStringLiteral("一")});
    QFrame withoutSteps;
    withoutSteps.setProperty("tutorialTitle", QStringLiteral("标题"));
    QFrame withoutTitle;
    withoutTitle.setProperty("tutorialSteps", QStringList{QStringLiteral("一")});

    const struct
    {
        const char *name;
        QObject *watched;
    } cases[] = {{"not a frame", &plainWidget}, {"no steps", &withoutSteps}, {"no title", &withoutTitle}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto opened = answerNextDialog<QDialog>([](QDialog *dialog) { dialog->reject(); }, 100);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        EXPECT_FALSE(page.eventFilter(c.watched, &press));
        QTest::qWait(120);
        EXPECT_FALSE(*opened);
    }
}

} // namespace
