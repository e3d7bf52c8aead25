// Test entry for areas that draw text: a QGuiApplication on the offscreen platform, which
// also serves CTest's test listing at build time where no display exists.

#include <QGuiApplication>

#include <gmock/gmock.h>

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleMock(&argc, argv);
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
