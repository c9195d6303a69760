// SPDX-License-Identifier: GPL-3.0-or-later
// The busy overlay covers its parent, shows its default text, takes clicks and stops spinning.
#include "ui/LoadingOverlay.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

class LoadingOverlayTest : public testing::Test
{
protected:
    void SetUp() override
    {
        parent.resize(400, 300);
        button = new QPushButton(QStringLiteral("应用"), &parent);
        button->setGeometry(150, 200, 100, 40);
        overlay = new LoadingOverlay(&parent);
        parent.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    }

    QImage overlayImage() { return overlay->grab().toImage().convertToFormat(QImage::Format_ARGB32); }

    QWidget parent;
    QPushButton *button = nullptr;
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
