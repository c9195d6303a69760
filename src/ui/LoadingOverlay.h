// SPDX-License-Identifier: GPL-3.0-or-later
// Busy cover over a parent widget: a dimmed background, a rotating arc and a message.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QTimer;

// GUI thread only. Callers show it, let pending events run once so it is painted, do their
// blocking work and hide it on every exit path.
//
// From show() to hide() the work owns the program: every key press, click or wheel turn,
// in any window, is dropped, also the ones that queue up while the work blocks the event
// loop, so nothing typed meanwhile runs afterwards on the new result. A modal window that
// opens meanwhile (a failure box, a question, a file dialog) is the exception: the overlay
// steps aside for it, dropping what queued up before it, and comes back once it closes if
// the work goes on.
class LoadingOverlay : public QWidget
{
    Q_OBJECT

public:
    explicit LoadingOverlay(QWidget *parent);

    // Covers the parent as it is now (later resizes are not followed) and starts the arc;
    // an empty message shows "处理中...".
    void show(const QString &message);
    // Uncovers the parent and drops the input that arrived while shown. Lets pending events
    // run.
    void hide();

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void cover();
    void uncover();
    // Delivers every input that has arrived so far to the filter, which drops it.
    void dropQueuedInput();
    void stepAsideFor(QWidget *modal);
    void comeBack();

    QTimer *spinTimer;
    int angle = 0;
    QString message;
    bool working = false;         // between show() and hide()
    bool draining = false;        // inside dropQueuedInput()
    QPointer<QWidget> modalAbove;  // the modal window the overlay stepped aside for
    bool modalTakesInput = false;  // set once the input queued before that window was dropped
};
