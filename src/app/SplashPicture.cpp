// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up splash picture: program name, version and loading note on a dark field.
#include "SplashPicture.h"

#include "DarkStyleSheet.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>

namespace {

QFont splashFont(int pointSize, int weight)
{
    QFont font;
    font.setFamilies(uiFontFamilies());
    font.setPointSize(pointSize);
    font.setWeight(QFont::Weight(weight));
    return font;
}

} // namespace

QPixmap paintSplashPicture(const QString &version)
{
    QPixmap picture(600, 340);
    picture.fill(QColor(20, 20, 20));

    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient accent(0, 330, 600, 330);
    accent.setColorAt(0.0, QColor(42, 130, 218));
    accent.setColorAt(0.5, QColor(0, 242, 255));
    accent.setColorAt(1.0, QColor(42, 130, 218));
    painter.fillRect(QRect(0, 334, 600, 6), accent);

    painter.setFont(splashFont(36, 700));
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 80, 600, 80), Qt::AlignCenter, QStringLiteral("ZentriqStudio"));

    painter.setFont(splashFont(13, QFont::Normal));
    painter.setPen(QColor(136, 136, 170));
    painter.drawText(QRect(0, 160, 600, 30), Qt::AlignCenter, QStringLiteral("v%1").arg(version));
    painter.setPen(QColor(102, 102, 136));
    painter.drawText(QRect(0, 260, 600, 30), Qt::AlignCenter, QStringLiteral("正在加载..."));
    return picture;
}
