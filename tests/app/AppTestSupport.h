// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the shell's widget tests: a private settings store and answering modal boxes.
#pragma once

#include <QApplication>
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
