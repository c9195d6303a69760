// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a short numpy script as an independent oracle for DSP tests.
#include "NumpyOracle.h"

#include "OracleTool.h"

#include <QFileInfo>
#include <QStringList>

std::vector<double> runNumpy(const QString &script, const QByteArray &input, bool *ok)
{
    std::vector<double> values;
    const ToolResult result = runTool(pythonWith("numpy"), {"-c", script}, input);
    *ok = result.ok();
    if (!*ok) {
        qWarning("numpy oracle failed: %s", result.standardError.constData());
        return values;
    }
    for (const QByteArray &token : result.standardOutput.simplified().split(' ')) {
        if (!token.isEmpty())
            values.push_back(token.toDouble());
    }
    return values;
}

QByteArray float32Bytes(const std::vector<float> &samples)
{
    return QByteArray(reinterpret_cast<const char *>(samples.data()),
                      static_cast<qsizetype>(samples.size() * sizeof(float)));
}
