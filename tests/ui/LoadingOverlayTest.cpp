// SPDX-License-Identifier: GPL-3.0-or-later
// The busy overlay covers its parent, shows its default text, takes clicks and stops spinning;
// input that queues up while it shows is dropped, and it steps aside for a modal box.
#include "ui/LoadingOverlay.h"

#include "QueuedInput.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

class LoadingOverlayTest : public testing::Test
{
protected:
    void SetUp() override
    {
        parent.resize(400, 300);
        button = new QPushButton(QStringLiteral("应用"), &parent);
        button->setGeometry(150, 200, 100, 40);
        field = new QLineEdit(&parent);
        field->setGeometry(10, 10, 200, 30);
        undo = new QAction(&parent);
        undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
        parent.addAction(undo);
        overlay = new LoadingOverlay(&parent);
        parent.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
        parent.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&parent));
        field->setFocus();
    }

    QImage overlayImage() { return overlay->grab().toImage().convertToFormat(QImage::Format_ARGB32); }

    QTimer *spinTimer() const { return overlay->findChild<QTimer *>(); }

    QWidget parent;
    QPushButton *button = nullptr;
    QLineEdit *field = nullptr;
    QAction *undo = nullptr;
    LoadingOverlay *overlay = nullptr;
};

TEST_F(LoadingOverlayTest, StartsHiddenAndCoversItsParentWhenShown)
{
    EXPECT_FALSE(overlay->isVisible());
    overlay->show(QStringLiteral("正在导出..."));
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_EQ(overlay->geometry(), parent.rect());
    // The parent's later growth is not followed.
    parent.resize(500, 320);
    EXPECT_EQ(overlay->geometry(), QRect(0, 0, 400, 300));
}

TEST_F(LoadingOverlayTest, EmptyMessageShowsTheDefaultText)
{
    overlay->show(QStringLiteral("处理中..."));
    const QImage explicitText = overlayImage();
    overlay->show(QString());
    const QImage defaultText = overlayImage();
    overlay->show(QStringLiteral("正在加载音频..."));
    const QImage otherText = overlayImage();
    EXPECT_EQ(defaultText, explicitText);
    EXPECT_NE(defaultText, otherText);
}

TEST_F(LoadingOverlayTest, SwallowsClicksMeantForCoveredWidgets)
{
    QSignalSpy clicks(button, &QPushButton::clicked);
    const QPoint onButton = button->geometry().center();
    QTest::mouseClick(parent.windowHandle(), Qt::LeftButton, {}, onButton);
    ASSERT_EQ(clicks.count(), 1) << "the click should reach the uncovered button";

    overlay->show(QString());
    QTest::mouseClick(parent.windowHandle(), Qt::LeftButton, {}, onButton);
    EXPECT_EQ(clicks.count(), 1);

    overlay->hide();
    QTest::mouseClick(parent.windowHandle(), Qt::LeftButton, {}, onButton);
    EXPECT_EQ(clicks.count(), 2);
}

TEST_F(LoadingOverlayTest, InputThatQueuesUpWhileShownIsDroppedNotDeliveredAfterwards)
{
    QSignalSpy clicks(button, &QPushButton::clicked);
    QSignalSpy undos(undo, &QAction::triggered);
    QWidget otherWindow;
    auto *otherButton = new QPushButton(QStringLiteral("播放"), &otherWindow);
    otherButton->resize(80, 30);
    otherWindow.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&otherWindow));
    QSignalSpy otherClicks(otherButton, &QPushButton::clicked);

    const struct
    {
        const char *name;
        std::function<void()> post;
        std::function<int()> arrivals;
    } inputs[] = {
        {"typing", [&] { queueKey(field, Qt::Key_A, Qt::NoModifier, QStringLiteral("a")); },
         [&] { return int(field->text().size()); }},
        {"a click on a covered button", [&] { queueClick(button); }, [&] { return int(clicks.count()); }},
        {"a shortcut", [&] { queueKey(button, Qt::Key_Z, Qt::ControlModifier); }, [&] { return int(undos.count()); }},
        {"a click in another window", [&] { queueClick(otherButton); }, [&] { return int(otherClicks.count()); }},
    };
    for (const auto &input : inputs) {
        SCOPED_TRACE(input.name);
        overlay->show(QStringLiteral("应用混响..."));
        input.post();
        overlay->hide();
        QCoreApplication::processEvents();
        EXPECT_EQ(input.arrivals(), 0);

        // The same input once the work is over reaches its target, so the test can see it.
        input.post();
        QCoreApplication::processEvents();
        EXPECT_EQ(input.arrivals(), 1);
        parent.activateWindow();
        field->setFocus();
    }
}

TEST_F(LoadingOverlayTest, StepsAsideForAModalBoxAndComesBackWhileTheWorkGoesOn)
{
    overlay->show(QStringLiteral("导入音频..."));
    queueKey(field, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    queueKey(field, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));

    bool coveredWhileBoxShows = true;
    bool spinningWhileBoxShows = true;
    QString typedBeforeBox;
    bool clickReachedBox = false;
    QTimer poll;
    int polls = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        coveredWhileBoxShows = overlay->isVisible();
        spinningWhileBoxShows = spinTimer()->isActive();
        typedBeforeBox = field->text();
        // A person's click on the box's button gets through once the box is up.
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        clickReachedBox = !box->isVisible();
        if (box->isVisible() && ++polls == 500)
            box->done(QMessageBox::Ok);  // every click was dropped: do not hang
    });
    poll.start(10);
    QMessageBox::warning(&parent, QStringLiteral("导入失败"), QStringLiteral("无法解码"), QMessageBox::Ok);
    poll.stop();

    EXPECT_FALSE(coveredWhileBoxShows) << "the spinner should not turn behind a box";
    EXPECT_FALSE(spinningWhileBoxShows);
    EXPECT_EQ(typedBeforeBox, QString()) << "keys typed during the work must not reach the box or the page";
    EXPECT_TRUE(clickReachedBox);
    // The work goes on after the box: covered and spinning again, input dropped again.
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_TRUE(spinTimer()->isActive());
    queueKey(field, Qt::Key_B, Qt::NoModifier, QStringLiteral("b"));
    overlay->hide();
    QCoreApplication::processEvents();
    EXPECT_EQ(field->text(), QString());
}

TEST_F(LoadingOverlayTest, SpinsWhileShownAndHideStopsTheTimer)
{
    auto *timer = overlay->findChild<QTimer *>();
    ASSERT_NE(timer, nullptr);
    EXPECT_FALSE(timer->isActive());
    overlay->show(QString());
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 50);

    const QImage first = overlayImage();
    QSignalSpy ticks(timer, &QTimer::timeout);
    ASSERT_TRUE(ticks.wait(1000));
    EXPECT_NE(overlayImage(), first) << "the arc should have turned";

    overlay->hide();
    EXPECT_FALSE(timer->isActive());
    EXPECT_FALSE(overlay->isVisible());
    overlay->hide(); // hiding twice is harmless
    EXPECT_FALSE(timer->isActive());
}

TEST_F(LoadingOverlayTest, ArcTurnsThirtyDegreesATickAndComesBackAfterTwelve)
{
    overlay->show(QString());
    auto *timer = overlay->findChild<QTimer *>();
    ASSERT_NE(timer, nullptr);
    timer->stop(); // tick by hand so the count is exact
    const auto tick = [&](int count) {
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout"));
    };
    const QImage start = overlayImage();
    tick(1);
    const QImage thirty = overlayImage();
    EXPECT_NE(thirty, start);
    tick(11);
    EXPECT_EQ(overlayImage(), start) << "twelve ticks of 30 degrees make a full turn";
    tick(1);
    EXPECT_EQ(overlayImage(), thirty);
    // Showing again restarts the arc at 0 degrees.
    overlay->show(QString());
    EXPECT_EQ(overlayImage(), start);
}

} // namespace
