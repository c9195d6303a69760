// SPDX-License-Identifier: GPL-3.0-or-later
// Runs an independent command-line tool (sox, ffprobe, flac, ...) as a test oracle.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct ToolResult
{
    bool started = false;   // false when the program is missing or would not start
    bool finished = false;  // false on time-out
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;

    bool ok() const { return started && finished && exitCode == 0; }
};

ToolResult runTool(const QString &program, const QStringList &arguments,
                   const QByteArray &standardInput = {}, int timeoutMs = 120000);

// True when `program` can be found on PATH.
bool toolAvailable(const QString &program);

// A Python interpreter that can import `module` (Debian's python3-numpy, python3-mido), or an
// empty string when none can. A user-level python on PATH (pyenv, venv) often lacks them.
QString pythonWith(const QString &module);
