// SPDX-License-Identifier: GPL-3.0-or-later
// Key presses and clicks as the window system queues them while a blocking flow keeps the
// event loop busy: posted now, delivered once events run again. Widget tests only.
#pragma once

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

inline void queueKey(QWidget *target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                     const QString &text = {})
{
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, modifiers, text));
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, key, modifiers, text));
}

inline void queueClick(QWidget *target)
{
    const QPointF local = QRectF(target->rect()).center();
    const QPointF global = target->mapToGlobal(local);
    QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonPress, local, global, Qt::LeftButton,
                                                        Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonRelease, local, global, Qt::LeftButton,
                                                        Qt::NoButton, Qt::NoModifier));
}
