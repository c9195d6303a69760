// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the plug-in probe off the GUI thread and words its refusals for the user.
#include "PluginLoadCheck.h"

#include <QtConcurrent/QtConcurrentRun>

#include <csignal>
#include <cstring>
#include <utility>

namespace {

QString signalName(int signal)
{
    const char *name = sigabbrev_np(signal);
    return name ? QStringLiteral("SIG") + QString::fromLatin1(name) : QString();
}

} // namespace

PluginLoadCheck::PluginLoadCheck(QObject *parent) : QObject(parent)
{
    connect(&watcher, &QFutureWatcherBase::finished, this, [this] {
        const PluginProbeResult result = watcher.result();
        const QString path = std::exchange(runningPath, QString());
        refused.remember(path.toStdString(), result);
        emit finished(path, result);
    });
}

PluginLoadCheck::~PluginLoadCheck()
{
    stopSource.request_stop();
}

std::optional<PluginProbeResult> PluginLoadCheck::rememberedRefusal(const QString &path) const
{
    return refused.find(path.toStdString());
}

bool PluginLoadCheck::start(const QString &path, int sampleRate, int blockSize)
{
    if (isRunning())
        return false;
    runningPath = path;
    stopSource = std::stop_source();
    const PluginProbeRequest request{path.toStdString(), {}, sampleRate, blockSize, timeLimit};
    watcher.setFuture(QtConcurrent::run(
        [request, stop = stopSource.get_token()] { return runPluginProbe(request, stop); }));
    return true;
}

QString PluginLoadCheck::refusalText(const PluginProbeResult &result) const
{
    using Outcome = PluginProbeResult::Outcome;
    switch (result.outcome) {
    case Outcome::Crashed: {
        QString kind;
        switch (result.signal) {
        case SIGSEGV: kind = tr("访问了无效的内存"); break;
        case SIGBUS: kind = tr("总线错误"); break;
        case SIGFPE: kind = tr("算术错误"); break;
        case SIGILL: kind = tr("非法指令"); break;
        case SIGABRT: kind = tr("插件自行中止"); break;
        default: break;
        }
        const QString signal = QStringLiteral("%1 %2").arg(result.signal).arg(signalName(result.signal)).trimmed();
        return kind.isEmpty() ? tr("插件在试运行时崩溃（信号 %1）").arg(signal)
                              : tr("插件在试运行时崩溃（信号 %1，%2）").arg(signal, kind);
    }
    case Outcome::TimedOut:
        return tr("插件在 %1 秒内没有响应，已被终止")
            .arg(std::chrono::duration_cast<std::chrono::seconds>(timeLimit).count());
    case Outcome::NoReport:
        return tr("插件在试运行时意外退出，没有报告任何结果（退出码 %1）").arg(result.exitCode);
    case Outcome::NotStarted:
        return tr("无法启动插件检测程序 %1").arg(QString::fromStdString(pluginProbeProgram()));
    case Outcome::Failed:
        break;
    case Outcome::Passed:
    case Outcome::Cancelled:
        return {};
    }
    switch (result.failure) {
    case PluginLoadFailure::NotALibrary: return tr("文件不是可加载的动态库");
    case PluginLoadFailure::MissingEntryPoint: return tr("模块缺少 VST3 入口函数");
    case PluginLoadFailure::EntryFailed: return tr("模块拒绝初始化");
    case PluginLoadFailure::NoFactory: return tr("模块没有提供插件工厂");
    case PluginLoadFailure::NoAudioClass: return tr("模块中没有音频处理器");
    case PluginLoadFailure::ComponentNotCreated: return tr("无法创建插件组件");
    case PluginLoadFailure::ComponentNotInitialised: return tr("插件组件初始化失败");
    case PluginLoadFailure::StateRefused: return tr("插件不接受这个预设");
    case PluginLoadFailure::None: break;
    }
    return tr("插件试运行失败");
}
