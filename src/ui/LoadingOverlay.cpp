// SPDX-License-Identifier: GPL-3.0-or-later
// Busy cover over a parent widget: a dimmed background, a rotating arc and a message.
#include "ui/LoadingOverlay.h"

#include <QPainter>
#include <QTimer>

namespace {
constexpr int tickMs = 50;
constexpr int degreesPerTick = 30;
} // namespace

LoadingOverlay::LoadingOverlay(QWidget *parent)
    : QWidget(parent)
    , spinTimer(new QTimer(this))
{
    setAttribute(Qt::WA_TransparentForMouseEvents, false);
    setAttribute(Qt::WA_TranslucentBackground);
    QWidget::hide();
    connect(spinTimer, &QTimer::timeout, this, [this] {
        angle = (angle + degreesPerTick) % 360;
        update();
    });
}

void LoadingOverlay::show(const QString &text)
{
    message = text.isEmpty() ? tr("处理中...") : text;
    angle = 0;
    if (QWidget *parent = parentWidget())
        setGeometry(0, 0, parent->width(), parent->height());
    raise();
    QWidget::show();
    spinTimer->start(tickMs);
}

void LoadingOverlay::hide()
{
    spinTimer->stop();
    QWidget::hide();
}

void LoadingOverlay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const int w = width();
    const int h = height();
    painter.fillRect(rect(), QColor(0, 0, 0, 128));

    QPen arcPen(QColor(0x60, 0xa5, 0xfa), 4);
    arcPen.setCapStyle(Qt::RoundCap);
    painter.setPen(arcPen);
    painter.drawArc(QRect(w / 2 - 24, h / 2 - 40, 48, 48), angle * 16, 120 * 16);

    painter.setPen(QColor(0xc8, 0xc8, 0xdc));
    QFont textFont = font();
    textFont.setPixelSize(14);
    painter.setFont(textFont);
    painter.drawText(QRect(QPoint(0, h / 2 + 20), QPoint(w - 1, h / 2 + 49)), Qt::AlignHCenter | Qt::AlignTop, message);
}
