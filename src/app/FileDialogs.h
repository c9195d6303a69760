// SPDX-License-Identifier: GPL-3.0-or-later
// The shell's modal file dialogs: Qt's own widgets rather than the platform's, so they look
// and behave alike everywhere and tests can answer them.
#pragma once

#include <QString>

class QWidget;

// Path of an existing file chosen in an open dialog over `parent`, or empty when cancelled.
QString askOpenFileName(QWidget *parent, const QString &caption, const QString &filter);
// Path chosen in a save dialog over `parent`, or empty when cancelled. A name typed without
// a suffix gets `defaultSuffix`, and an existing file is replaced only after the dialog's
// overwrite question, which sees the completed name.
QString askSaveFileName(QWidget *parent, const QString &caption, const QString &filter,
                        const QString &defaultSuffix);
