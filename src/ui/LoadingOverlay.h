// SPDX-License-Identifier: GPL-3.0-or-later
// Busy cover over a parent widget: a dimmed background, a rotating arc and a message.
#pragma once

#include <QString>
#include <QWidget>

class QTimer;

// GUI thread only. Callers show it, let pending events run once so it is painted, do their
// blocking work and hide it on every exit path. While shown it takes every click meant for
// the widgets it covers.
class LoadingOverlay : public QWidget
{
    Q_OBJECT

public:
    explicit LoadingOverlay(QWidget *parent);

    // Covers the parent as it is now (later resizes are not followed) and starts the arc;
    // an empty message shows "处理中...".
    void show(const QString &message);
    void hide();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QTimer *spinTimer;
    int angle = 0;
    QString message;
};
