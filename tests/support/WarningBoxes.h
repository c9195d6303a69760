// SPDX-License-Identifier: GPL-3.0-or-later
// Reads and closes the message boxes that a widget shows without waiting for the user.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QStringList>
#include <QWidget>

// The texts of the message boxes over `parent`, which are closed and gone afterwards.
inline QStringList takeMessageBoxes(QWidget &parent)
{
    QStringList texts;
    for (QMessageBox *box : parent.findChildren<QMessageBox *>()) {
        texts << box->text();
        box->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return texts;
}
