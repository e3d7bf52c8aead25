// "Open Tarv at login" where the desktop opens no autostart entries: which desktops say so,
// and that the line shown starts this very program when the desktop's shell runs it, whatever
// its path holds.

#include "ShellFixture.h"

#include "ui/settings/AutostartHint.h"
#include "ui/settings/GeneralSettings.h"
#include "ui/settings/LoginItem.h"

#include <QLabel>
#include <QProcess>

namespace {

QProcessEnvironment session(std::initializer_list<std::pair<const char*, const char*>> values)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    for (const auto& [name, value] : values)
        environment.insert(QString::fromLatin1(name), QString::fromLatin1(value));
    return environment;
}

// What a POSIX shell runs for `command`: the output of the program it starts.
QByteArray shellRuns(const QString& command, const QString& path)
{
    QProcess shell;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"), path);
    shell.setProcessEnvironment(environment);
    shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    shell.waitForFinished(10000);
    return shell.readAllStandardOutput();
}

} // namespace

TEST_F(ShellTest, DesktopsThatOpenNoAutostartEntriesGetTheLineThatStartsThisProgram)
{
    // Programs at paths a shell would take apart, each saying which it is.
    QStringList programs;
    for (const char* folder : {"bin", "with space", "it's \"quoted\"", "$HOME `x` ;&|*?", "50%"}) {
        const QString program = xdg.root() + u'/' + QString::fromLatin1(folder) + QStringLiteral("/tarv-app");
        TempXdg::write(program, "#!/bin/sh\necho ran " + QByteArray::number(programs.size()) + "\n", true);
        programs.append(program);
    }
    const QString onPath = QFileInfo(programs.first()).path() + QStringLiteral(":/usr/bin:/bin");
    for (const QString& program : programs) {
        const QByteArray said = "ran " + QByteArray::number(programs.indexOf(program)) + '\n';
        for (const QString& path : {QStringLiteral("/usr/bin:/bin"), onPath}) {
            QProcessEnvironment environment = session({{"SWAYSOCK", "/run/user/1000/sway-ipc.1000.1.sock"}});
            environment.insert(QStringLiteral("PATH"), path);
            const QString command = AutostartHint::command(environment, program);
            EXPECT_EQ(shellRuns(command, path), said) << command.toStdString();
            // By its name only where the search path finds this very program.
            EXPECT_EQ(command == QLatin1String("tarv-app"), program == programs.first() && path == onPath);

            const std::optional<AutostartHint> sway = AutostartHint::forSession(environment, program);
            ASSERT_TRUE(sway);
            EXPECT_EQ(sway->line, QStringLiteral("exec ") + command);
            environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("river"));
            environment.remove(QStringLiteral("SWAYSOCK"));
            const std::optional<AutostartHint> river = AutostartHint::forSession(environment, program);
            ASSERT_TRUE(river);
            // river's init is a shell script that hands one word to a shell.
            const QString word = QString::fromUtf8(
                shellRuns(QStringLiteral("printf %s ") + river->line.mid(QStringLiteral("riverctl spawn ").size()), path));
            EXPECT_EQ(shellRuns(word, path), said) << river->line.toStdString();
        }
    }

    const QString program = programs.first();
    const auto hint = [&](std::initializer_list<std::pair<const char*, const char*>> values) {
        return AutostartHint::forSession(session(values), program);
    };
    EXPECT_EQ(hint({{"XDG_CURRENT_DESKTOP", "sway"}})->configFile, QStringLiteral("~/.config/sway/config"));
    EXPECT_EQ(hint({{"HYPRLAND_INSTANCE_SIGNATURE", "abc"}})->line, QStringLiteral("exec-once = ") + program);
    EXPECT_EQ(hint({{"XDG_CURRENT_DESKTOP", "labwc:wlroots"}})->line, program + QStringLiteral(" &"));
    EXPECT_EQ(hint({{"XDG_CURRENT_DESKTOP", "Wayfire"}})->line, QStringLiteral("tarv = ") + program);
    EXPECT_TRUE(hint({{"XDG_CURRENT_DESKTOP", "Wayfire"}})->text().contains(QStringLiteral("[autostart]")));
    // Desktops that open the entries themselves, and one that says nothing of itself.
    for (const char* desktop : {"GNOME", "ubuntu:GNOME", "KDE", "XFCE", "X-Cinnamon", "MATE", ""})
        EXPECT_FALSE(hint({{"XDG_CURRENT_DESKTOP", desktop}})) << desktop;
}

TEST_F(ShellTest, TheGeneralTabShowsTheLineUnderSwayOnly)
{
    const QString entry = xdg.path("config") + QStringLiteral("/autostart/tarv.desktop");
    for (const bool underSway : {true, false}) {
        if (underSway)
            qputenv("SWAYSOCK", "/run/user/1000/sway-ipc.1000.1.sock");
        GeneralSettings tab(new LoginItem(entry, QStringLiteral("/opt/tarv/tarv-app")));
        qunsetenv("SWAYSOCK");
        tab.show();
        auto* line = tab.findChild<QLabel*>(QStringLiteral("loginStartLine"));
        auto* text = tab.findChild<QLabel*>(QStringLiteral("loginStartHint"));
        EXPECT_EQ(line->isVisible(), underSway);
        EXPECT_EQ(text->isVisible(), underSway);
        if (underSway) {
            EXPECT_EQ(line->text(), QStringLiteral("exec /opt/tarv/tarv-app"));
            EXPECT_EQ(text->text(), QStringLiteral("Sway does not open the apps of ~/.config/autostart by itself. To "
                                                   "open Tarv at login, add this line to ~/.config/sway/config:"));
            EXPECT_TRUE(line->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
        }
    }
}
