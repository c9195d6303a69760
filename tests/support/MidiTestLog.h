// SPDX-License-Identifier: GPL-3.0-or-later
// Captures Qt log lines while alive, so tests can check the diagnostics they expect.
#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class MidiTestLog
{
public:
    MidiTestLog() { previous = qInstallMessageHandler(&MidiTestLog::handle); active() = this; }
    ~MidiTestLog()
    {
        qInstallMessageHandler(previous);
        active() = nullptr;
    }

    // True when a captured line of at least `type` severity starts with `prefix`.
    bool has(const QString &prefix, QtMsgType type = QtDebugMsg) const
    {
        QMutexLocker lock(&mutex);
        for (const auto &[lineType, line] : lines)
            if (line.startsWith(prefix) && severity(lineType) >= severity(type))
                return true;
        return false;
    }

private:
    static int severity(QtMsgType type)
    {
        switch (type) {
        case QtDebugMsg: return 0;
        case QtInfoMsg: return 1;
        case QtWarningMsg: return 2;
        case QtCriticalMsg: return 3;
        case QtFatalMsg: return 4;
        }
        return 0;
    }

    static MidiTestLog *&active()
    {
        static MidiTestLog *log = nullptr;
        return log;
    }

    static void handle(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (MidiTestLog *log = active()) {
            QMutexLocker lock(&log->mutex);
            log->lines.append({type, message});
        }
    }

    QtMessageHandler previous = nullptr;
    mutable QMutex mutex;
    QList<std::pair<QtMsgType, QString>> lines;
};
