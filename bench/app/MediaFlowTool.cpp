// SPDX-License-Identifier: GPL-3.0-or-later
// Times the main window's flows from the menu action to the file on disk or the window ready,
// on the offscreen platform with the file dialogs answered as the tests answer them:
//   media-flow-tool <in> <out> [runs]          import, then export in a shown window; best of
//                                              `runs` each
//   media-flow-tool project-save <raw dir> <file.zqp>
//                                              a single-track project of project_file_tool's raw
//                                              files, saved through the save action
//   media-flow-tool project-open <file.zqp> [shown]
//                                              opened in a fresh window through the open action;
//                                              with `shown` the window is on screen at 1600 x 900,
//                                              the time runs until its layouts settled, and the
//                                              project's closing and the window's teardown are
//                                              timed after it
// Each time is given in total and after its file dialog was accepted. The project modes also
// give the peak resident memory of the flow alone (the peak is reset once the project is built).
#include "../ProcessMemory.h"
#include "AppTestSupport.h"
#include "RawProjectAudio.h"

#include "app/MainWindow.h"
#include "editor/AudioEditorPage.h"
#include "multitrack/MultiTrackEditorPage.h"

#include <QAction>
#include <QFile>
#include <QStackedWidget>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>

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

// Starts the peak resident memory afresh from the current resident memory.
void resetPeakMemory()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    if (file.open(QIODevice::WriteOnly))
        file.write("5");
}

int saveProjectFlow(const QString &rawDir, const QString &output)
{
    MainWindow window;
    window.openNewProject(QStringLiteral("single"), 44100, 16, false);
    auto *editor = window.findChild<AudioEditorPage *>();
    {
        const AudioClip clip = readRawClip(rawDir);
        editor->samples = clip.samples;
        editor->stereoSamples = clip.stereoSamples;
    }
    QAction *saveAction = actionWithText(window, QStringLiteral("保存项目(&S)"));
    if (!saveAction || !saveAction->isEnabled() || editor->samples.isEmpty()) {
        std::fprintf(stderr, "the save action or the raw audio is missing\n");
        return 1;
    }
    QFile::remove(output);  // no overwrite question inside the timing
    std::printf("frames %lld channels 2\n", static_cast<long long>(editor->samples.size()));
    resetPeakMemory();
    const double before = processMemoryMiB("VmRSS");
    Timing timing;
    if (!timeFlow(saveAction, output, timing))
        return 1;
    std::printf("save %.1f ms (after dialog %.1f ms) peak %.0f MiB from %.0f MiB\n", timing.totalMs,
                timing.afterDialogMs, processMemoryMiB("VmHWM"), before);
    return 0;
}

// Layouts settle over a few passes (the columns grow, a scroll bar appears).
void settle()
{
    for (int pass = 0; pass < 5; ++pass)
        QCoreApplication::processEvents();
}

// Ready once the load returned, the multitrack page shows and the events it queued ran.
int openProjectFlow(const QString &input, bool shown)
{
    auto owned = std::make_unique<MainWindow>();
    MainWindow &window = *owned;
    if (shown) {
        window.resize(1600, 900);
        window.show();
        settle();
    }
    QAction *openAction = actionWithText(window, QStringLiteral("打开项目(&O)..."));
    if (!openAction || !openAction->isEnabled()) {
        std::fprintf(stderr, "the open action is missing\n");
        return 1;
    }
    resetPeakMemory();
    const double before = processMemoryMiB("VmRSS");
    DialogScript script(1);
    script.files = {input};
    const Clock::time_point start = Clock::now();
    openAction->trigger();
    if (shown)
        settle();
    else
        QCoreApplication::processEvents();
    const Clock::time_point end = Clock::now();
    const auto *page = window.findChild<MultiTrackEditorPage *>();
    if (!script.boxes.empty() || window.findChild<QStackedWidget *>()->currentWidget() != page
        || page->document().tracks.empty()) {
        for (const ShownBox &box : script.boxes)
            std::fprintf(stderr, "%s: %s\n", qPrintable(box.title), qPrintable(box.text));
        std::fprintf(stderr, "the project did not open\n");
        return 1;
    }
    std::printf("frames %lld\n", static_cast<long long>(page->document().tracks.front().audioClips.front().samples.size()));
    std::printf("open %.1f ms (after dialog %.1f ms) peak %.0f MiB from %.0f MiB\n", ms(end - start),
                ms(end - script.lastAccepted), processMemoryMiB("VmHWM"), before);
    if (!shown)
        return 0;
    script.boxAnswer = QMessageBox::Yes;
    const Clock::time_point closeStart = Clock::now();
    window.closeProject();
    settle();
    const Clock::time_point closed = Clock::now();
    owned.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const Clock::time_point gone = Clock::now();
    std::printf("close %.1f ms, window teardown %.1f ms\n", ms(closed - closeStart), ms(gone - closed));
    return 0;
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
    TemporarySettingsStore settings;
    if (args.size() == 4 && args[1] == QLatin1String("project-save"))
        return saveProjectFlow(args[2], QFileInfo(args[3]).absoluteFilePath());
    if ((args.size() == 3 || (args.size() == 4 && args[3] == QLatin1String("shown")))
        && args[1] == QLatin1String("project-open"))
        return openProjectFlow(QFileInfo(args[2]).absoluteFilePath(), args.size() == 4);
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: %s <in> <out.wav|out.flac|out.mp3> [runs] | project-save <raw dir> <file.zqp>"
                             " | project-open <file.zqp> [shown]\n", argv[0]);
        return 2;
    }
    const QString input = QFileInfo(args[1]).absoluteFilePath();
    const QString output = QFileInfo(args[2]).absoluteFilePath();
    const int runs = args.size() > 3 ? std::max(1, args[3].toInt()) : 3;
    const QString suffix = QFileInfo(output).suffix().toLower();
    const QString exportText = suffix == QLatin1String("mp3")    ? QStringLiteral("导出为MP3(&M)...")
                               : suffix == QLatin1String("flac") ? QStringLiteral("导出为FLAC(&F)...")
                                                                 : QStringLiteral("导出为WAV(&W)...");

    // Shown, as a user's window is: views that are hidden may leave their work until shown.
    MainWindow window;
    window.show();
    window.openNewProject(QStringLiteral("single"), 44100, 16, false);
    QCoreApplication::processEvents();
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
