// SPDX-License-Identifier: GPL-3.0-or-later
#include "OracleTool.h"

#include <QFileInfo>
#include <QHash>
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

QString pythonWith(const QString &module)
{
    static QHash<QString, QString> found;
    if (const auto it = found.constFind(module); it != found.cend())
        return *it;
    QString interpreter;
    for (const QString &candidate : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
        if (!QFileInfo(candidate).isExecutable() && !toolAvailable(candidate))
            continue;
        if (runTool(candidate, {"-c", "import " + module}).ok()) {
            interpreter = candidate;
            break;
        }
    }
    found.insert(module, interpreter);
    return interpreter;
}
