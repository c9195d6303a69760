// SPDX-License-Identifier: GPL-3.0-or-later
// GoogleTest main with a Qt application object, so tests can use event loops,
// timers, queued signals and (in widget suites) widgets on the offscreen platform.
#include <gtest/gtest.h>

#ifdef ZENTRIQ_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    TestApplication::setOrganizationName("Zentriq");
    TestApplication::setApplicationName("Zentriq Studio Tests");
    return RUN_ALL_TESTS();
}
