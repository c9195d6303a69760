// SPDX-License-Identifier: GPL-3.0-or-later
// The widget benchmarks' application object on the offscreen platform.
#pragma once

#include <QApplication>

// Created on first use and kept until the process ends: tearing it down from static
// destructors, after Qt's own globals are gone, would crash at exit.
inline QApplication &offscreenApplication()
{
    static int argc = 1;
    static char name[] = "zentriq_bench";
    static char *argv[] = {name, nullptr};
    static QApplication *app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("QT_LOGGING_RULES", "*.debug=false");
        return new QApplication(argc, argv);
    }();
    return *app;
}
