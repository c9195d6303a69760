// SPDX-License-Identifier: GPL-3.0-or-later
// Program entry: prepares the application, shows the splash, builds the main window and
// runs the event loop.
#include "app/DarkStyleSheet.h"
#include "app/MainWindow.h"
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

} // namespace

int main(int argc, char *argv[])
{
    // Layouts are drawn in pixels; the desktop's scaling would blur and crop them.
    qputenv("QT_SCALE_FACTOR", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zentriq Studio"));
    QApplication::setOrganizationName(QStringLiteral("Zentriq"));
    QApplication::setOrganizationDomain(QStringLiteral("zentriq.studio"));
    QApplication::setApplicationVersion(QStringLiteral(ZENTRIQ_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app-icon.png")));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    QSplashScreen splash(paintSplashPicture(QStringLiteral(ZENTRIQ_VERSION)));
    splash.show();
    QApplication::processEvents();

    app.setStyleSheet(darkStyleSheet());
    showSplashMessage(splash, QStringLiteral("初始化界面..."));

    MainWindow window;
    showSplashMessage(splash, QStringLiteral("加载完成"));

    UnixSignalHandler signalHandler;
    signalHandler.install();
    QObject::connect(&signalHandler, &UnixSignalHandler::terminationRequested, &window, &QWidget::close);

    window.show();
    splash.finish(&window);
    return QApplication::exec();
}
