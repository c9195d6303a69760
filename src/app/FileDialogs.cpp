// SPDX-License-Identifier: GPL-3.0-or-later
// The shell's modal file dialogs: Qt's own widgets rather than the platform's.
#include "FileDialogs.h"

#include <QFileDialog>

namespace {

QString runFileDialog(QWidget *parent, const QString &caption, const QString &filter,
                      QFileDialog::AcceptMode mode, const QString &defaultSuffix)
{
    QFileDialog dialog(parent, caption, QString(), filter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

} // namespace

QString askOpenFileName(QWidget *parent, const QString &caption, const QString &filter)
{
    return runFileDialog(parent, caption, filter, QFileDialog::AcceptOpen, QString());
}

QString askSaveFileName(QWidget *parent, const QString &caption, const QString &filter,
                        const QString &defaultSuffix)
{
    return runFileDialog(parent, caption, filter, QFileDialog::AcceptSave, defaultSuffix);
}
