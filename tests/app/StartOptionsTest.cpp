// Which arguments of tarv-app are Tarv's, and whether the toolkit's platform would find its
// display, decided before any GUI exists.

#include "app/StartOptions.h"

#include <gtest/gtest.h>

namespace {

QProcessEnvironment environmentWith(const QList<std::pair<QString, QString>>& variables)
{
    QProcessEnvironment environment;
    for (const auto& [name, value] : variables)
        environment.insert(name, value);
    return environment;
}

} // namespace

TEST(StartOptionsTest, OptionsWithOneDashAreTheToolkitsUnlessTarvKnowsThem)
{
    const QStringList tarvNames{QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("show-running")};
    const QStringList arguments{QStringLiteral("tarv-app"), QStringLiteral("-nograb"), QStringLiteral("-platform"),
                                QStringLiteral("offscreen"), QStringLiteral("-style=fusion"), QStringLiteral("-h"),
                                QStringLiteral("--show-running"), QStringLiteral("--typo"), QStringLiteral("-"),
                                QStringLiteral("--"), QStringLiteral("-file")};
    EXPECT_EQ(StartOptions::tarvArguments(arguments, tarvNames),
              (QStringList{QStringLiteral("tarv-app"), QStringLiteral("offscreen"), QStringLiteral("-h"),
                           QStringLiteral("--show-running"), QStringLiteral("--typo"), QStringLiteral("-"),
                           QStringLiteral("--"), QStringLiteral("-file")}));
}

TEST(StartOptionsTest, APlatformWithoutAWindowSystemNeedsNoDisplay)
{
    const QString display = QStringLiteral("DISPLAY");
    const QString wayland = QStringLiteral("WAYLAND_DISPLAY");
    const QString platform = QStringLiteral("QT_QPA_PLATFORM");
    const QStringList bare{QStringLiteral("tarv-app")};
    const struct {
        QStringList arguments;
        QList<std::pair<QString, QString>> environment;
        bool canShow;
    } cases[] = {
        {bare, {}, false},
        {bare, {{display, QString()}, {wayland, QString()}}, false},
        {bare, {{display, QStringLiteral(":0")}}, true},
        {bare, {{wayland, QStringLiteral("wayland-0")}}, true},
        {bare, {{platform, QStringLiteral("offscreen")}}, true},
        {bare, {{platform, QStringLiteral("minimal")}}, true},
        {bare, {{platform, QStringLiteral("xcb")}, {wayland, QStringLiteral("wayland-0")}}, false},
        {bare, {{platform, QStringLiteral("xcb:nograb")}, {display, QStringLiteral(":0")}}, true},
        {bare, {{platform, QStringLiteral("wayland-egl")}, {display, QStringLiteral(":0")}}, false},
        {bare, {{platform, QStringLiteral("wayland;xcb")}, {display, QStringLiteral(":0")}}, true},
        {bare, {{platform, QStringLiteral("wayland;xcb")}}, false},
        {{QStringLiteral("tarv-app"), QStringLiteral("-platform"), QStringLiteral("offscreen")}, {}, true},
        // The option wins over the variable, as in Qt.
        {{QStringLiteral("tarv-app"), QStringLiteral("-platform"), QStringLiteral("xcb")},
         {{platform, QStringLiteral("offscreen")}},
         false},
        {{QStringLiteral("tarv-app"), QStringLiteral("-display"), QStringLiteral(":1")}, {}, true},
        {{QStringLiteral("tarv-app"), QStringLiteral("-platform")}, {}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StartOptions::canShowWindows(c.arguments, environmentWith(c.environment)), c.canShow)
            << c.arguments.join(u' ').toStdString() << " " << environmentWith(c.environment).toStringList().join(u' ').toStdString();
}
