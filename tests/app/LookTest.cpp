// SPDX-License-Identifier: GPL-3.0-or-later
// The look of the program at start: Chinese text renders under the style sheet and on the
// splash picture, and the splash picture has its colours.
#include "app/DarkStyleSheet.h"
#include "app/SplashPicture.h"
#include "app/WelcomePage.h"

#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QRawFont>
#include <QStatusBar>

#include <gtest/gtest.h>

namespace {

// Characters from texts the shell shows. The chosen font itself must have them: the
// per-glyph fallback of the font system depends on how fontconfig is set up.
const QString kChineseSample = QStringLiteral("未打开项目就绪关闭单轨工程多轨导入教程正在加载偏好设置");

::testing::AssertionResult drawsChinese(const QFont &font)
{
    const QRawFont raw = QRawFont::fromFont(font);
    for (const QChar c : kChineseSample)
        if (!raw.supportsCharacter(c))
            return ::testing::AssertionFailure() << QFontInfo(font).family().toStdString() << " has no glyph for "
                                                 << QString(c).toStdString();
    return ::testing::AssertionSuccess();
}

TEST(Look, StyleSheetFontDrawsChineseOnEveryKindOfWidget)
{
    QWidget window;
    window.setStyleSheet(darkStyleSheet());
    auto *label = new QLabel(QStringLiteral("未打开项目"), &window);
    auto *button = new QPushButton(QStringLiteral("关闭"), &window);
    auto *statusBar = new QStatusBar(&window);
    auto *welcome = new WelcomePage(&window);
    const QList<QWidget *> widgets{label, button, statusBar, welcome};
    for (QWidget *widget : widgets) {
        SCOPED_TRACE(widget->metaObject()->className());
        widget->ensurePolished();
        EXPECT_TRUE(drawsChinese(widget->font()));
    }
}

TEST(Look, SplashFontDrawsChinese)
{
    QFont font;
    font.setFamilies(uiFontFamilies());
    EXPECT_TRUE(drawsChinese(font));
}

TEST(Look, SplashPictureHasItsFieldAccentBarAndText)
{
    const QImage picture = paintSplashPicture(QStringLiteral("0.1.0")).toImage();
    ASSERT_EQ(picture.size(), QSize(600, 340));

    const auto near = [](QColor actual, QColor expected) {
        return std::abs(actual.red() - expected.red()) <= 3 && std::abs(actual.green() - expected.green()) <= 3
               && std::abs(actual.blue() - expected.blue()) <= 3;
    };
    const struct
    {
        const char *where;
        QPoint point;
        QColor colour;
    } points[] = {
        {"field, top left", {2, 2}, QColor(20, 20, 20)},
        {"field above the bar", {300, 330}, QColor(20, 20, 20)},
        {"bar, left end", {0, 337}, QColor(42, 130, 218)},
        {"bar, middle", {300, 337}, QColor(0, 242, 255)},
        {"bar, right end", {599, 337}, QColor(42, 130, 218)},
        // A linear gradient halfway between its first two stops.
        {"bar, first quarter", {150, 337}, QColor(21, 186, 236)},
    };
    for (const auto &p : points) {
        SCOPED_TRACE(p.where);
        const QColor actual = picture.pixelColor(p.point);
        EXPECT_TRUE(near(actual, p.colour)) << actual.name().toStdString();
    }

    const auto count = [&](QRect band, QColor colour) {
        int n = 0;
        for (int y = band.top(); y <= band.bottom(); ++y)
            for (int x = band.left(); x <= band.right(); ++x)
                n += near(picture.pixelColor(x, y), colour);
        return n;
    };
    EXPECT_GT(count(QRect(0, 80, 600, 80), Qt::white), 200) << "no title";
    EXPECT_GT(count(QRect(0, 160, 600, 30), QColor(136, 136, 170)), 20) << "no version line";
    EXPECT_GT(count(QRect(0, 260, 600, 30), QColor(102, 102, 136)), 20) << "no loading line";
}

} // namespace
