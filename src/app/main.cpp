// SPDX-License-Identifier: GPL-3.0-or-later
// Program entry: prepares the application, shows the splash, builds the main window and
// runs the event loop. A termination request ends the program at any moment of this.
#include "app/DarkStyleSheet.h"
#include "app/MainWindow.h"
#include "app/QtTranslations.h"
#include "app/SplashPicture.h"
#include "app/UnixSignalHandler.h"

#include <QApplication>
#include <QIcon>
#include <QSplashScreen>
#include <QStyleFactory>

namespace {

void showSplashMessage(QSplashScreen &splash, const QString &message)
{
    splash.showMessage(message, Qt::AlignBottom | Qt::AlignHCenter, QColor(136, 136, 170));
    QApplication::processEvents();
}

// Termination requests once the main window shows: they go through its close handling,
// which may keep the window open. One can arrive before the event loop runs (showing the
// window lets events run), when QApplication::quit() has no loop to end yet: requested()
// tells start-up so.
class TerminationRequests
{
public:
    explicit TerminationRequests(QWidget &window) : window(window) {}
    bool requested() const { return quitting; }

    void request()
    {
        if (closing)
            return;  // the close handling is still asking the user
        if (window.isVisible()) {
            closing = true;
            const bool closed = window.close();
            closing = false;
            if (!closed)
                return;
        }
        quitting = true;
        QApplication::quit();
    }

private:
    QWidget &window;
    bool closing = false;
    bool quitting = false;
};

} // namespace

int main(int argc, char *argv[])
{
    // Layouts are drawn in pixels; the desktop's scaling would blur and crop them.
    qputenv("QT_SCALE_FACTOR", "1");
    // Until the main window shows there is nothing to close or save, and start-up lets events
    // run only now and then: a termination request ends the process at once.
    UnixSignalHandler::endProcessOnRequest();
    QApplication app(argc, argv);
    UnixSignalHandler signalHandler;

    QApplication::setApplicationName(QStringLiteral("Zentriq Studio"));
    QApplication::setOrganizationName(QStringLiteral("Zentriq"));
    QApplication::setOrganizationDomain(QStringLiteral("zentriq.studio"));
    QApplication::setApplicationVersion(QStringLiteral(ZENTRIQ_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app-icon.png")));
    installQtTranslations(app);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    QSplashScreen splash(paintSplashPicture(QStringLiteral(ZENTRIQ_VERSION)));
    splash.show();
    QApplication::processEvents();

    app.setStyleSheet(darkStyleSheet());
    showSplashMessage(splash, QStringLiteral("初始化界面..."));

    MainWindow window;
    showSplashMessage(splash, QStringLiteral("加载完成"));

    TerminationRequests termination(window);
    QObject::connect(&signalHandler, &UnixSignalHandler::terminationRequested, &app,
                     [&termination] { termination.request(); });
    signalHandler.deliverRequests();
    window.show();
    splash.finish(&window);
    if (termination.requested())
        return 0;
    return QApplication::exec();
}
