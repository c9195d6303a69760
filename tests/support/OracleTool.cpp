// SPDX-License-Identifier: GPL-3.0-or-later
#include "OracleTool.h"

#include <QProcess>
#include <QStandardPaths>

ToolResult runTool(const QString &program, const QStringList &arguments,
                   const QByteArray &standardInput, int timeoutMs)
{
    ToolResult result;
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return result;
    result.started = true;
    if (!standardInput.isEmpty())
        process.write(standardInput);
    process.closeWriteChannel();
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.standardOutput = process.readAllStandardOutput();
    result.standardError = process.readAllStandardError();
    return result;
}

bool toolAvailable(const QString &program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}
