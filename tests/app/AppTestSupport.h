// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the shell's widget tests: a private settings store and answering modal boxes
// and file dialogs.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

// Points the platform settings store of this process at a fresh temporary folder for the
// scope's lifetime, so tests never read or write the user's settings.
class TemporarySettingsStore
{
public:
    TemporarySettingsStore()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    }

private:
    QTemporaryDir dir;
};

// Arms a polling timer that calls `answer` on the first visible top-level widget of type T,
// from inside the modal loop that shows it. Arm it before the call that runs the dialog;
// the returned flag turns true once a dialog was answered.
template<class T>
std::shared_ptr<bool> answerNextDialog(std::function<void(T *)> answer, int timeoutMs = 5000)
{
    auto answered = std::make_shared<bool>(false);
    auto *timer = new QTimer;
    auto waited = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        *waited += timer->interval();
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<T *>(widget); dialog && dialog->isVisible()) {
                timer->stop();
                timer->deleteLater();
                *answered = true;
                answer(dialog);
                return;
            }
        }
        if (*waited >= timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
    return answered;
}

// Answers the next file dialog with `path` (typed into its name field, as a user would), or
// cancels it when `path` is empty. `caption` receives the dialog's title when given.
inline std::shared_ptr<bool> answerNextFileDialog(const QString &path, QString *caption = nullptr)
{
    return answerNextDialog<QFileDialog>([path, caption](QFileDialog *dialog) {
        if (caption)
            *caption = dialog->windowTitle();
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->setDirectory(QFileInfo(path).absolutePath());
        if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            name->setText(QFileInfo(path).fileName());
        // QFileDialog's own accept: it checks the name and may ask before replacing a file.
        static_cast<QDialog *>(dialog)->accept();
    });
}

// Clicks `button` on the next message box and keeps its title and text.
struct MessageBoxAnswer
{
    std::shared_ptr<bool> answered;
    std::shared_ptr<QString> title = std::make_shared<QString>();
    std::shared_ptr<QString> text = std::make_shared<QString>();
};

inline MessageBoxAnswer answerNextMessageBox(QMessageBox::StandardButton button)
{
    MessageBoxAnswer answer;
    answer.answered = answerNextDialog<QMessageBox>([=](QMessageBox *box) {
        *answer.title = box->windowTitle();
        *answer.text = box->text();
        if (QAbstractButton *choice = box->button(button))
            choice->click();
        else
            box->reject();
    });
    return answer;
}
