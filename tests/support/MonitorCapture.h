// SPDX-License-Identifier: GPL-3.0-or-later
// Records the PulseAudio null sink's monitor, which hears whatever the tests play.
#pragma once

#include <QProcess>
#include <QStringList>

#include <cstring>
#include <vector>

// Records the monitor as mono 32-bit floats at `rate` (the sink's rate, so nothing is resampled).
class MonitorCapture
{
public:
    // `serverArguments` point parec at a private server; empty: the test command's server.
    bool start(int rate, const QStringList &serverArguments = {})
    {
        process.start(QStringLiteral("parec"),
                      serverArguments
                          + QStringList{QStringLiteral("--device=nullsink.monitor"), QStringLiteral("--format=float32le"),
                                        QStringLiteral("--rate=%1").arg(rate), QStringLiteral("--channels=1"),
                                        QStringLiteral("--latency-msec=20")});
        if (!process.waitForStarted(5000))
            return false;
        // The first bytes show the stream is connected; on a loaded machine that can take
        // seconds, and a fixed wait would let the start of what is played go unheard.
        return process.waitForReadyRead(10000);
    }
    std::vector<float> stop()
    {
        process.terminate();
        process.waitForFinished(5000);
        const QByteArray bytes = process.readAllStandardOutput();
        std::vector<float> values(std::size_t(bytes.size()) / sizeof(float));
        std::memcpy(values.data(), bytes.constData(), values.size() * sizeof(float));
        return values;
    }

private:
    QProcess process;
};
