// SPDX-License-Identifier: GPL-3.0-or-later
// GoogleTest main with a Qt application object, so tests can use event loops,
// timers, queued signals and (in widget suites) widgets on the offscreen platform.
#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

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
    const int result = RUN_ALL_TESTS();
    // Qt Multimedia's PulseAudio engine is torn down among the statics while its mainloop
    // thread may still dispatch, and libpulse then aborts a run whose tests all passed. The
    // leak check runs here instead, and the process ends without the static teardown.
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();
#endif
    std::fflush(nullptr);
    _exit(result);
}
