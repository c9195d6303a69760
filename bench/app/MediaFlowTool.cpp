// SPDX-License-Identifier: GPL-3.0-or-later
// Times the main window's import and export flows from the menu action to the file on disk,
// on the offscreen platform with the file dialogs answered as the tests answer them:
//   media-flow-tool <in> <out> [runs]
// Prints the best of `runs` for each flow, in total and after its file dialog was accepted.
#include "AppTestSupport.h"

#include "app/MainWindow.h"
#include "editor/AudioEditorPage.h"

#include <QAction>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace {

using Clock = std::chrono::steady_clock;

void quietDebugLog(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

QAction *actionWithText(MainWindow &window, const QString &text)
{
    for (QAction *action : window.findChildren<QAction *>())
        if (action->text() == text)
            return action;
    return nullptr;
}

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Timing
{
    double totalMs = std::numeric_limits<double>::infinity();
    double afterDialogMs = std::numeric_limits<double>::infinity();
};

// Runs `action` with its file dialog answered by `path`; false when it showed a message box.
bool timeFlow(QAction *action, const QString &path, Timing &best)
{
    DialogScript script(1);
    script.files = {path};
    const Clock::time_point start = Clock::now();
    action->trigger();
    const Clock::time_point end = Clock::now();
    for (const ShownBox &box : script.boxes)
        std::fprintf(stderr, "%s: %s\n", qPrintable(box.title), qPrintable(box.text));
    best.totalMs = std::min(best.totalMs, ms(end - start));
    best.afterDialogMs = std::min(best.afterDialogMs, ms(end - script.lastAccepted));
    return script.boxes.empty();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Zentriq"));
    QApplication::setApplicationName(QStringLiteral("Zentriq Studio Bench"));
    qInstallMessageHandler(quietDebugLog);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: %s <in> <out.wav|out.flac|out.mp3> [runs]\n", argv[0]);
        return 2;
    }
    const QString input = QFileInfo(args[1]).absoluteFilePath();
    const QString output = QFileInfo(args[2]).absoluteFilePath();
    const int runs = args.size() > 3 ? std::max(1, args[3].toInt()) : 3;
    const QString suffix = QFileInfo(output).suffix().toLower();
    const QString exportText = suffix == QLatin1String("mp3")    ? QStringLiteral("导出为MP3(&M)...")
                               : suffix == QLatin1String("flac") ? QStringLiteral("导出为FLAC(&F)...")
                                                                 : QStringLiteral("导出为WAV(&W)...");

    TemporarySettingsStore settings;
    MainWindow window;
    window.openNewProject(QStringLiteral("single"), 44100, 16, false);
    QAction *importAction = actionWithText(window, QStringLiteral("导入音频/视频(&I)..."));
    QAction *exportAction = actionWithText(window, exportText);
    if (!importAction || !exportAction || !importAction->isEnabled()) {
        std::fprintf(stderr, "the menu actions are missing\n");
        return 1;
    }

    Timing importTiming;
    Timing exportTiming;
    for (int run = 0; run < runs; ++run) {
        QFile::remove(output);  // no overwrite question inside the timing
        if (!timeFlow(importAction, input, importTiming) || !timeFlow(exportAction, output, exportTiming))
            return 1;
    }
    const AudioEditorPage *editor = window.findChild<AudioEditorPage *>();
    std::printf("frames %lld channels %d\n", static_cast<long long>(editor->samples.size()),
                editor->stereoSamples.isEmpty() ? 1 : 2);
    std::printf("import %.1f ms (after dialog %.1f ms)\n", importTiming.totalMs, importTiming.afterDialogMs);
    std::printf("export %.1f ms (after dialog %.1f ms)\n", exportTiming.totalMs, exportTiming.afterDialogMs);
    return 0;
}
