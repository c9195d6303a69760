// SPDX-License-Identifier: GPL-3.0-or-later
// Program entry: prepares the application, shows the splash, builds the main window and
// runs the event loop. A termination request ends the program at any moment of this.
#include "app/DarkStyleSheet.h"
#include "app/MainWindow.h"
#include "app/SplashPicture.h"
#include "app/UnixSignalHandler.h"

#include <QApplication>
#include <QIcon>
#include <QPointer>
#include <QSplashScreen>
#include <QStyleFactory>

namespace {

void showSplashMessage(QSplashScreen &splash, const QString &message)
{
    splash.showMessage(message, Qt::AlignBottom | Qt::AlignHCenter, QColor(136, 136, 170));
    QApplication::processEvents();
}

// Start-up lets events run between its steps, so a request can arrive before the event loop
// does; QApplication::quit() is lost then, and closing a window that was never shown quits
// nothing. Start-up therefore checks requested() after each step.
class TerminationRequests
{
public:
    // From here on a request goes through this window's close handling.
    void windowShown(QWidget *window) { shownWindow = window; }
    bool requested() const { return quitting; }

    void request()
    {
        if (closing)
            return;  // the close handling still asks the user (a nested event loop)
        if (shownWindow && shownWindow->isVisible()) {
            closing = true;
            const bool closed = shownWindow->close();
            closing = false;
            if (!closed)
                return;  // the user kept the window open
        }
        quitting = true;
        QApplication::quit();
    }

private:
    QPointer<QWidget> shownWindow;
    bool closing = false;
    bool quitting = false;
};

} // namespace

int main(int argc, char *argv[])
{
    // Layouts are drawn in pixels; the desktop's scaling would blur and crop them.
    qputenv("QT_SCALE_FACTOR", "1");
    QApplication app(argc, argv);

    // Installed first: until then a termination signal simply ends the process.
    TerminationRequests termination;
    UnixSignalHandler signalHandler;
    signalHandler.install();
    QObject::connect(&signalHandler, &UnixSignalHandler::terminationRequested, &app,
                     [&termination] { termination.request(); });

    QApplication::setApplicationName(QStringLiteral("Zentriq Studio"));
    QApplication::setOrganizationName(QStringLiteral("Zentriq"));
    QApplication::setOrganizationDomain(QStringLiteral("zentriq.studio"));
    QApplication::setApplicationVersion(QStringLiteral(ZENTRIQ_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app-icon.png")));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    QSplashScreen splash(paintSplashPicture(QStringLiteral(ZENTRIQ_VERSION)));
    splash.show();
    QApplication::processEvents();
    if (termination.requested())
        return 0;

    app.setStyleSheet(darkStyleSheet());
    showSplashMessage(splash, QStringLiteral("初始化界面..."));
    if (termination.requested())
        return 0;

    MainWindow window;
    showSplashMessage(splash, QStringLiteral("加载完成"));
    if (termination.requested())
        return 0;

    window.show();
    termination.windowShown(&window);
    splash.finish(&window);
    if (termination.requested())
        return 0;
    return QApplication::exec();
}
