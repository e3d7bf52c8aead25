// Test entry for views that need a real X server: starts an Xvfb display of its own and puts
// the application on it. Without Xvfb or xdotool the application stays offscreen and the
// tests skip themselves.

#include "support/DesktopTestEnv.h"

#include <QApplication>
#include <QLocale>
#include <QStandardPaths>

#include <gmock/gmock.h>

#include <cstring>
#include <memory>

std::unique_ptr<XvfbServer>& testXvfb()
{
    static std::unique_ptr<XvfbServer> server;
    return server;
}

bool testDisplayReady()
{
    return testXvfb() && testXvfb()->started() && !QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty();
}

int main(int argc, char** argv)
{
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    qunsetenv("WAYLAND_DISPLAY");
    if (!listing) {
        testXvfb() = std::make_unique<XvfbServer>();
        if (testDisplayReady()) {
            qputenv("DISPLAY", testXvfb()->display());
            qputenv("QT_QPA_PLATFORM", "xcb");
        }
    }
    if (!testDisplayReady())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QApplication::setAttribute(Qt::AA_Use96Dpi);
    testing::InitGoogleMock(&argc, argv);
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    testXvfb().reset();
    return result;
}
