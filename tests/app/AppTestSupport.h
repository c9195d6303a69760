// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the shell's widget tests: a private settings store and answering modal boxes
// and file dialogs.
#pragma once

#include "ui/LoadingOverlay.h"

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

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

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
    auto *timer = new QTimer(QCoreApplication::instance());  // freed with the application if never used
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

// Types `path` into a file dialog as a person would and accepts it. selectFile() would leave
// the name field alone while it has focus. QDialog's public accept() reaches the file
// dialog's own, with its overwrite question, which then runs inside this call.
inline void fillFileDialog(QFileDialog *dialog, const QString &path)
{
    dialog->setDirectory(QFileInfo(path).absolutePath());
    auto *nameField = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    if (nameField)
        nameField->setText(QFileInfo(path).fileName());
    else
        dialog->selectFile(QFileInfo(path).fileName());
}

inline void typeIntoFileDialog(QFileDialog *dialog, const QString &path)
{
    fillFileDialog(dialog, path);
    static_cast<QDialog *>(dialog)->accept();
}

// Answers the next file dialog with `path`, or cancels it when `path` is empty. `caption`
// receives the dialog's title when given.
inline std::shared_ptr<bool> answerNextFileDialog(const QString &path, QString *caption = nullptr,
                                                  int timeoutMs = 5000)
{
    return answerNextDialog<QFileDialog>([path, caption](QFileDialog *dialog) {
        if (caption)
            *caption = dialog->windowTitle();
        if (path.isEmpty())
            dialog->reject();
        else
            typeIntoFileDialog(dialog, path);
    }, timeoutMs);
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

// Whether a busy overlay is up (shown, if only in a window that is not on screen).
inline bool busyCoverUp()
{
    for (QWidget *widget : QApplication::allWidgets())
        if (auto *overlay = qobject_cast<LoadingOverlay *>(widget); overlay && !overlay->isHidden())
            return true;
    return false;
}

struct ShownBox
{
    QString title;
    QString text;
    const QWidget *parent = nullptr;
    bool busyCoverBehind = false;  // a spinner behind a failure box looks like work still going on
};

// While it lives, answers every file dialog with the next queued path (an empty path or an
// empty queue cancels) and every message box with `boxAnswer`, recording what showed.
class DialogScript
{
public:
    explicit DialogScript(int pollMs = 10)
    {
        QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
        timer.start(pollMs);
    }

    std::deque<QString> files;
    QMessageBox::StandardButton boxAnswer = QMessageBox::Ok;
    // Gets every other dialog that shows, and must close it; without it they stay open.
    std::function<void(QDialog *)> otherDialog;
    std::vector<ShownBox> boxes;
    QStringList fileDialogCaptions;
    // When the last file dialog was accepted, so a benchmark can leave the dialog out.
    std::chrono::steady_clock::time_point lastAccepted;

private:
    void poll()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (!widget->isVisible())
                continue;
            if (auto *box = qobject_cast<QMessageBox *>(widget)) {
                boxes.push_back({box->windowTitle(), box->text(), box->parentWidget(), busyCoverUp()});
                QAbstractButton *button = box->button(boxAnswer);
                (button ? button : box->buttons().value(0))->click();
                return;
            }
            // A file dialog's overwrite question runs inside accept(); only boxes meanwhile.
            // Answered from the event loop, not from this timer's slot: a timer does not fire
            // again while its slot runs, and the overwrite question needs it.
            auto *dialog = qobject_cast<QFileDialog *>(widget);
            if (dialog && !answeringFileDialog) {
                fileDialogCaptions.append(dialog->windowTitle());
                answeringFileDialog = true;
                QMetaObject::invokeMethod(dialog, [this, dialog] { answerFileDialog(dialog); }, Qt::QueuedConnection);
                return;
            }
            auto *other = qobject_cast<QDialog *>(widget);
            if (other && !dialog && otherDialog) {
                otherDialog(other);
                return;
            }
        }
    }

    void answerFileDialog(QFileDialog *dialog)
    {
        const QString path = files.empty() ? QString() : files.front();
        if (!files.empty())
            files.pop_front();
        if (path.isEmpty()) {
            dialog->reject();
            answeringFileDialog = false;
            return;
        }
        // As a person would: the folder and name are filled in, and then Open is pressed.
        fillFileDialog(dialog, path);
        lastAccepted = std::chrono::steady_clock::now();
        static_cast<QDialog *>(dialog)->accept();
        if (dialog->isVisible())  // the overwrite question was answered No
            dialog->reject();
        answeringFileDialog = false;
    }

    QTimer timer;
    bool answeringFileDialog = false;
};
