#pragma once

#include "VirtualUsbBus.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QtTest>

#include <cstdio>

// Test mains for suites that plug simulated calculators: the process is isolated on its own
// virtual USB bus before Qt starts any thread, and refuses to run when that is impossible,
// since the tests would otherwise find no calculator (or a real one).
namespace calcsim {
inline bool isolateForTests()
{
    QString why;
    if (VirtualUsbBus::isolate(&why))
        return true;
    std::fprintf(
        stderr, "FAIL: cannot set up the virtual USB bus (needs root on Linux): %s\n", qPrintable(why));
    return false;
}
} // namespace calcsim

#define CALCSIM_TEST_MAIN_WITH(ApplicationClass, TestClass)                                                  \
    int main(int argc, char* argv[])                                                                         \
    {                                                                                                        \
        if (!calcsim::isolateForTests())                                                                     \
            return EXIT_FAILURE;                                                                             \
        QT_PREPEND_NAMESPACE(QTest::Internal::callInitMain)<TestClass>();                                    \
        ApplicationClass app(argc, argv);                                                                    \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                             \
        TestClass tc;                                                                                        \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }

#define CALCSIM_TEST_MAIN(TestClass) CALCSIM_TEST_MAIN_WITH(QGuiApplication, TestClass)
#define CALCSIM_TEST_GUILESS_MAIN(TestClass) CALCSIM_TEST_MAIN_WITH(QCoreApplication, TestClass)
