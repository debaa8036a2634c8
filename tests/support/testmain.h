#pragma once
// Every test process runs in a fresh temporary folder that is its working directory and holds
// its own XDG_CONFIG_HOME, so logs, workspaces, caches and QSettings never leak between tests
// (and tests can run in parallel).
// Core tests do not link Qt Widgets; only widget tests (which do) get QApplication.
#ifdef QT_WIDGETS_LIB
#include <QApplication>
#endif
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace corvane_test {

// How long a test waits for something that must happen: far beyond any stall of a machine short
// of processor time, so that a stall makes a test slow, never red.
constexpr int MustHappenMs = 60000;

// A keep-alive set out of the way of a client whose server this process hosts, where the row does
// not test the keep-alive: a process stalled past the ping and its pong would otherwise lose the
// connection, and a row counting logins or refreshes would count one more.
constexpr int KeepAliveOutOfTheWayMs = 24 * 3600 * 1000;

} // namespace corvane_test

#define CORVANE_TEST_MAIN_IMPL(AppType, TestObject)                                                              \
    int main(int argc, char *argv[])                                                                              \
    {                                                                                                             \
        QTemporaryDir tempDir(QDir::tempPath() + QStringLiteral("/corvane-test-XXXXXX"));                         \
        if (!tempDir.isValid() || !QDir().mkpath(tempDir.filePath(QStringLiteral("xdg"))) || !QDir::setCurrent(tempDir.path())) \
            qFatal("cannot create and enter a temporary folder for the test");                                   \
        qputenv("XDG_CONFIG_HOME", tempDir.filePath(QStringLiteral("xdg")).toLocal8Bit());                        \
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))                                                        \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                              \
        AppType app(argc, argv);                                                                                  \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                  \
        TestObject tc;                                                                                            \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                \
        return QTest::qExec(&tc, argc, argv);                                                                     \
    }

// Core tests: no widgets.
#define CORVANE_TEST_MAIN(TestObject) CORVANE_TEST_MAIN_IMPL(QCoreApplication, TestObject)
// Widget tests: offscreen platform unless the caller chose another.
#define CORVANE_TEST_GUI_MAIN(TestObject) CORVANE_TEST_MAIN_IMPL(QApplication, TestObject)
