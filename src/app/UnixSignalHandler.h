// SPDX-License-Identifier: GPL-3.0-or-later
// Turns SIGTERM and SIGINT into a termination request on the GUI thread, so a session
// logout or `kill` ends the program through the same paths as the user.
#pragma once

#include <QObject>

class QSocketNotifier;

class UnixSignalHandler : public QObject
{
    Q_OBJECT
public:
    explicit UnixSignalHandler(QObject *parent = nullptr);
    ~UnixSignalHandler() override;

    // From now on a request ends the process at once with status 0, until deliverRequests():
    // for start-up, before there is a window to close or anything to save. Callable before
    // the application object exists.
    static void endProcessOnRequest();
    // Needs the application object. From now on requests arrive as terminationRequested() on
    // the GUI thread; false, with requests left as they were, when the self-pipe could not
    // be made.
    bool deliverRequests();

signals:
    void terminationRequested();

private:
    QSocketNotifier *notifier = nullptr;
};
