// SPDX-License-Identifier: GPL-3.0-or-later
// Before the VST3 import loads a module into the program, the probe helper tries it in a
// child process, on a pool thread so that the window keeps answering. Modules that failed
// there are refused at once afterwards, until their file changes.
#pragma once

#include "plugins/PluginProbe.h"
#include "plugins/RefusedModules.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include <chrono>
#include <optional>
#include <stop_token>

// GUI thread. Refusals are kept for this run of the program only: trying a module again costs
// a child process, and a restart is the natural retry after the machine has changed around an
// unchanged module (a missing library installed, say).
class PluginLoadCheck : public QObject
{
    Q_OBJECT

public:
    explicit PluginLoadCheck(QObject *parent = nullptr);
    // A probe still running is stopped and its child killed; finished() does not follow.
    ~PluginLoadCheck() override;

    // The earlier failed probe of the module at `path`, if its file is unchanged since.
    std::optional<PluginProbeResult> rememberedRefusal(const QString &path) const;
    // Tries the module; finished() follows. False, and nothing starts, while a probe runs.
    bool start(const QString &path, int sampleRate, int blockSize);
    bool isRunning() const { return !runningPath.isEmpty(); }

    // Why a module was refused, in the user's words.
    QString refusalText(const PluginProbeResult &result) const;

    // How long the helper may take before the module counts as hung.
    std::chrono::milliseconds timeLimit{std::chrono::seconds(20)};

signals:
    void finished(const QString &path, const PluginProbeResult &result);

private:
    QFutureWatcher<PluginProbeResult> watcher;
    std::stop_source stopSource;
    QString runningPath;
    RefusedModules refused;
};
