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

    // Installs the handlers; returns false when the self-pipe could not be made.
    bool install();

signals:
    void terminationRequested();

private:
    QSocketNotifier *notifier = nullptr;
};
