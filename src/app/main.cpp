// SPDX-License-Identifier: GPL-3.0-or-later
// Program entry: creates the application and its one main window.
#include "UnixSignalHandler.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Zentriq Studio");
    QApplication::setOrganizationName("Zentriq");
    QApplication::setApplicationVersion("0.1.0");

    QMainWindow window;
    window.setWindowTitle("Zentriq Studio");
    window.resize(1200, 800);
    window.show();

    UnixSignalHandler signalHandler;
    signalHandler.install();
    QObject::connect(&signalHandler, &UnixSignalHandler::terminationRequested, &window, &QWidget::close);

    return app.exec();
}
