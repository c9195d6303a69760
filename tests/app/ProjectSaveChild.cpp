// SPDX-License-Identifier: GPL-3.0-or-later
// Saves a one-track multitrack project through the main window's save flow, in a process of
// its own so a test can limit its file size or kill it mid-save.
// Usage: project_save_child <path> <frames> <seed> [<file size limit in bytes>]
// Prints "saving" when the save starts, then the result and the text of any message box.
#include "AppTestSupport.h"
#include "ProjectFixture.h"

#include "app/MainWindow.h"
#include "multitrack/MultiTrackEditorPage.h"

#include <csignal>
#include <cstdio>
#include <sys/resource.h>

int main(int argc, char **argv)
{
    if (argc < 4)
        return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TemporarySettingsStore store;
    MainWindow window;
    window.openNewProject(QStringLiteral("multi"), 44100, 16, true);
    window.findChild<MultiTrackEditorPage *>()->addTrack(
        TrackType::Audio, seededSamples(QByteArray(argv[2]).toLongLong(), QByteArray(argv[3]).toUInt()), 44100,
        QStringLiteral("noise"), {});

    if (argc > 4) {
        // The write then fails with EFBIG instead of the signal ending the process.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(QByteArray(argv[4]).toLongLong()), RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    const MessageBoxAnswer box = answerNextMessageBox(QMessageBox::Ok);
    std::printf("saving\n");
    std::fflush(stdout);
    const bool saved = window.saveProject(QString::fromLocal8Bit(argv[1]));
    std::printf("%s\n%s\n%s\n", saved ? "saved" : "failed", qPrintable(*box.title), qPrintable(*box.text));
    return saved ? 0 : 1;
}
