// SPDX-License-Identifier: GPL-3.0-or-later
// The groove and dB tick marks drawn beside a mixer fader.
#include "FaderScale.h"

#include <QPainter>

#include <cmath>

FaderScale::FaderScale(QWidget *parent) : QWidget(parent) {}

void FaderScale::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int h = height();
    const int length = h - 12;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 30, 42));
    painter.drawRoundedRect(QRectF(6, 6, 8, length), 4, 4);

    painter.setPen(QPen(QColor(60, 60, 80), 1));
    for (const double markDb : {0.0, -3.0, -6.0, -12.0, -24.0, -48.0}) {
        const double gain = std::pow(10.0, markDb / 20.0);
        const int y = (h - 1) - int(gain / 1.5 * length) - 6;
        painter.drawLine(3, y, 6, y);
        painter.drawLine(13, y, 16, y);
    }
    painter.setPen(QPen(QColor(42, 130, 218, 120), 1));
    const int unityY = (h - 1) - int(length * 2.0 / 3.0) - 6;
    painter.drawLine(6, unityY, 13, unityY);
}
