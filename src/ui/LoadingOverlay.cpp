// SPDX-License-Identifier: GPL-3.0-or-later
// Busy cover over a parent widget: a dimmed background, a rotating arc and a message.
#include "ui/LoadingOverlay.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QTimer>

namespace {
constexpr int tickMs = 50;
constexpr int degreesPerTick = 30;

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
    case QEvent::Gesture:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}
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
    working = true;
    QCoreApplication::instance()->installEventFilter(this);  // once: a second install replaces the first
    if (!modalAbove)
        cover();
}

void LoadingOverlay::hide()
{
    uncover();
    modalAbove.clear();
    modalTakesInput = false;
    if (!working)
        return;
    working = false;
    dropQueuedInput();
    // The drain lets events run; one of them may have started new work.
    if (!working)
        QCoreApplication::instance()->removeEventFilter(this);
}

void LoadingOverlay::cover()
{
    raise();
    QWidget::show();
    spinTimer->start(tickMs);
}

void LoadingOverlay::uncover()
{
    spinTimer->stop();
    QWidget::hide();
}

void LoadingOverlay::dropQueuedInput()
{
    const bool wasDraining = draining;
    draining = true;
    // Fetches everything the window system has sent so far and delivers it to the filter.
    QGuiApplication::sync();
    draining = wasDraining;
}

void LoadingOverlay::stepAsideFor(QWidget *modal)
{
    modalAbove = modal;
    modalTakesInput = false;
    uncover();
    // The box is not on screen yet; what was typed during the work must not answer it. The
    // drain runs from the box's own event loop: running events inside its show could
    // close it before that loop exists.
    QMetaObject::invokeMethod(
        this,
        [this, modal = QPointer<QWidget>(modal)] {
            if (!working || !modal || modal != modalAbove || !modal->isVisible())
                return;
            dropQueuedInput();
            modalTakesInput = modal == modalAbove;
        },
        Qt::QueuedConnection);
}

void LoadingOverlay::comeBack()
{
    modalAbove.clear();
    modalTakesInput = false;
    if (!working)
        return;
    cover();
    // The work goes on without an event loop to paint the cover.
    repaint();
}

bool LoadingOverlay::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::Show && working && !modalAbove && watched->isWidgetType()) {
        auto *widget = static_cast<QWidget *>(watched);
        if (widget->isWindow() && widget->isModal() && widget != window())
            stepAsideFor(widget);
        return false;
    }
    if (type == QEvent::Hide && modalAbove && watched == modalAbove.data()) {
        comeBack();
        return false;
    }
    const bool modalOpen = modalAbove && modalTakesInput;
    return isUserInput(type) && (draining || (working && !modalOpen));
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
