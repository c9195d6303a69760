// SPDX-License-Identifier: GPL-3.0-or-later
// The look of the program at start: Chinese text renders under the style sheet and on the
// splash picture, and the splash picture has its colours.
#include "app/DarkStyleSheet.h"
#include "app/SplashPicture.h"
#include "app/WelcomePage.h"
#include "ui/ThemeManager.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRawFont>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

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

// Widths, top to bottom, of the rows of `area` holding pixels within 24 of `colour` per channel.
std::vector<int> rowWidths(const QImage &image, const QRect &area, QColor colour)
{
    std::vector<int> widths;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        int width = 0;
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            width += std::abs(c.red() - colour.red()) <= 24 && std::abs(c.green() - colour.green()) <= 24
                     && std::abs(c.blue() - colour.blue()) <= 24;
        }
        if (width > 0)
            widths.push_back(width);
    }
    return widths;
}

// A small triangle: its rows narrow from the base to the tip, the base half at least twice as
// wide on average as the tip half (pointing down: base on top). A bar, which the style sheet's
// border trick draws in Qt, has rows of one width.
::testing::AssertionResult isTriangle(std::vector<int> widths, bool down)
{
    if (!down)
        std::reverse(widths.begin(), widths.end());
    std::string rows;
    for (int w : widths)
        rows += std::to_string(w) + " ";
    const std::size_t half = widths.size() / 2;
    const auto mean = [](auto first, auto last) { return std::accumulate(first, last, 0.0) / double(last - first); };
    if (widths.size() < 2 || *std::max_element(widths.begin(), widths.end()) < 3
        || mean(widths.begin(), widths.begin() + half) < 1.8 * mean(widths.end() - half, widths.end()))
        return ::testing::AssertionFailure() << "rows " << rows;
    return ::testing::AssertionSuccess();
}

QImage shown(QWidget &window, QWidget *child)
{
    window.resize(240, 60);
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    return child->grab().toImage();
}

// The arrows of combo boxes and spin boxes are triangles, also under a page's own combo style,
// and an unchecked radio button shows its ring.
TEST(Look, ArrowsAreTrianglesAndAnUncheckedRadioButtonShows)
{
    const QColor grey(0xaa, 0xaa, 0xaa);
    {
        QWidget window;
        window.setStyleSheet(darkStyleSheet());
        auto *combo = new QComboBox(&window);
        combo->addItem(QStringLiteral("两者"));
        combo->setGeometry(10, 10, 200, 34);
        const QImage image = shown(window, combo);
        EXPECT_TRUE(isTriangle(rowWidths(image, QRect(image.width() - 21, 0, 20, image.height()), grey), true));
    }
    {
        QWidget window;
        window.setStyleSheet(darkStyleSheet());
        auto *combo = new QComboBox(&window);
        combo->addItem(QStringLiteral("两者"));
        combo->setStyleSheet(ThemeManager::instance()->styleSheet(ThemeManager::EditorPart::ViewModeCombo));
        combo->setGeometry(10, 10, 120, 28);
        const QImage image = shown(window, combo);
        const QRect arrow(image.width() - 17, 0, 16, image.height());
        EXPECT_TRUE(isTriangle(rowWidths(image, arrow, QColor(0x88, 0x88, 0xaa)), true));
    }
    {
        // A spin box styled as the compressor's, without arrows of its own.
        QWidget window;
        window.setStyleSheet(darkStyleSheet());
        auto *spin = new QDoubleSpinBox(&window);
        spin->setStyleSheet(QStringLiteral("QDoubleSpinBox { background: #3a3a3a; color: #fff; border: 1px solid #555; "
                                           "border-radius: 4px; padding: 4px; font-size: 12px; }"));
        spin->setGeometry(10, 10, 90, 30);
        const QImage image = shown(window, spin);
        const int middle = image.height() / 2;
        const QRect up(image.width() - 18, 0, 17, middle);
        const QRect down(image.width() - 18, middle, 17, image.height() - middle);
        EXPECT_TRUE(isTriangle(rowWidths(image, up, grey), false));
        EXPECT_TRUE(isTriangle(rowWidths(image, down, grey), true));
    }
    {
        QWidget window;
        window.setStyleSheet(darkStyleSheet());
        auto *radio = new QRadioButton(QStringLiteral("频谱减法去伴奏"), &window);
        radio->setGeometry(10, 10, 200, 24);
        const QImage image = shown(window, radio);
        const std::vector<int> ring = rowWidths(image, QRect(0, 0, 18, image.height()), QColor(0x88, 0x88, 0x88));
        EXPECT_GE(ring.size(), 8u) << "the unchecked ring is missing";
    }
}

} // namespace
