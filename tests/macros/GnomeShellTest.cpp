// Tarv's GNOME Shell extension in a real GNOME Shell (headless, on buses of its own), put in
// place and switched on through Settings' steps: installed system-wide and switched on live, or
// installed for the user and started at the next login. Either way the profile follows the
// terminal windows brought to the front, and Add App lists them.

#include "macros/GnomeAppSource.h"
#include "macros/GnomeExtensionSetup.h"
#include "macros/ProfileAutoSwitcher.h"
#include "macros/ProfileStore.h"
#include "macros/SessionAppSource.h"
#include "platform/Settings.h"

#include "support/DesktopTestEnv.h"
#include "support/HeadlessGnomeShell.h"

#include <gtest/gtest.h>

namespace {

using State = GnomeExtensionSetup::State;
using TarvFake::HeadlessGnomeShell;

class GnomeShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HeadlessGnomeShell::isInstalled())
            GTEST_SKIP() << "gnome-shell is not installed (Debian package gnome-shell)";
        testGuiApp();
        for (const char* id : {"term-one", "term-two"}) {
            const QByteArray name = QByteArray(id) == "term-one" ? "Term One" : "Term Two";
            TempXdg::write(xdg.path("data") + "/applications/" + id + ".desktop",
                           "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=foot\n");
        }
        ASSERT_TRUE(shell.addExtension(QStringLiteral(TARV_GNOME_TEST_EXTENSION_DIR),
                                       HeadlessGnomeShell::testExtensionUuid, false, true));
        // Settings reads the Shell's own settings file.
        qputenv("GSETTINGS_BACKEND", "keyfile");
        qputenv("GSETTINGS_SCHEMA_DIR", "/usr/share/glib-2.0/schemas");
        qputenv("XDG_CONFIG_HOME", shell.configHome().toLocal8Bit());
        places.bundled = QStringLiteral(TARV_GNOME_EXTENSION_DIR);
        places.userExtensions = shell.userExtensions();
        places.systemExtensions = {shell.systemExtensions()};

        one = profiles.activeProfile().id;
        profiles.renameProfile(one, QStringLiteral("One"));
        two = profiles.addProfile(false).id;
        profiles.renameProfile(two, QStringLiteral("Two"));
        profiles.linkApps(AppTarget{QStringLiteral("term-one"), QStringLiteral("Term One")}, one);
        profiles.linkApps(AppTarget{QStringLiteral("term-two"), QStringLiteral("Term Two")}, two);
        profiles.activateProfile(one);
    }
    void TearDown() override
    {
        switcher.reset();
        source.reset();
        qunsetenv("GSETTINGS_BACKEND");
        qunsetenv("GSETTINGS_SCHEMA_DIR");
        bus.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("tarv"));
    }

    // Tarv as it starts in this session: the source it chooses, and the switch over it.
    void startTarv()
    {
        bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(shell.sessionBusAddress(), QStringLiteral("tarv")));
        qputenv("WAYLAND_DISPLAY", shell.waylandDisplay().toLocal8Bit());
        source = std::make_unique<SessionAppSource>(*bus, xdg.path("runtime") + QStringLiteral("/kwin.js"));
        switcher = std::make_unique<ProfileAutoSwitcher>(profiles, settings, QStringLiteral("tarv"), source.get());
        switcher->setOnSwitch([this](const QString& line) { log << line; });
        // Each switch is told once its burst settles: on the event loop's next turn here.
        switcher->setReportDelay(0);
        switcher->start();
    }

    // Brings the window to the front, as a click does, and waits for its profile and its report.
    bool bringToFront(const char* appId, const QUuid& profile)
    {
        const qsizetype told = log.size();
        return shell.activate(QString::fromLatin1(appId))
               && waitUntil([&] { return profiles.activeProfile().id == profile && log.size() > told; });
    }

    TempXdg xdg;
    HeadlessGnomeShell shell;
    GnomeExtensionSetup::Places places;
    Settings settings{xdg.path("config") + QStringLiteral("/Tarv.conf")};
    ProfileStore profiles{settings};
    QUuid one;
    QUuid two;
    std::unique_ptr<QDBusConnection> bus;
    std::unique_ptr<SessionAppSource> source;
    std::unique_ptr<ProfileAutoSwitcher> switcher;
    QStringList log;
};

}  // namespace

TEST_F(GnomeShellTest, ASystemWideCopySwitchedOnLiveMakesTheProfileFollowTheWindowInFront)
{
    ASSERT_TRUE(shell.addExtension(places.bundled + QStringLiteral("/legacy"), GnomeExtensionSetup::uuid(), true, false));
    ASSERT_TRUE(shell.start()) << shell.lastError().toStdString();
    ASSERT_TRUE(shell.openWindow(QStringLiteral("term-one"))) << shell.lastError().toStdString();
    ASSERT_TRUE(shell.openWindow(QStringLiteral("term-two"))) << shell.lastError().toStdString();
    startTarv();
    // The Shell knows the extension and keeps it off: Tarv says so.
    ASSERT_TRUE(waitUntil([&] { return !source->unavailableReason().isEmpty(); }));
    EXPECT_EQ(source->kind(), SessionAppSource::Kind::Gnome) << source->unavailableReason().toStdString();

    GnomeExtensionSetup setup(*bus, places);
    ASSERT_TRUE(waitUntil([&] { return !setup.isBusy(); }));
    EXPECT_EQ(setup.state(), State::Off) << setup.text().toStdString();
    setup.takeStep();
    ASSERT_TRUE(waitUntil([&] { return setup.state() == State::On; }))
        << setup.text().toStdString() << setup.failure().toStdString();
    ASSERT_TRUE(waitUntil([&] { return source->isAvailable(); }));

    // The window opened last is in front as the extension starts.
    ASSERT_TRUE(waitUntil([&] { return profiles.activeProfile().id == two && !log.isEmpty(); }));
    ASSERT_TRUE(bringToFront("term-one", one));
    ASSERT_TRUE(bringToFront("term-two", two));
    EXPECT_EQ(log.join(u'\n').toStdString(), "Profile “Two” for Term Two\nProfile “One” for Term One\n"
                                             "Profile “Two” for Term Two");

    const QFuture<QList<RunningApp>> running = source->runningApps();
    ASSERT_TRUE(waitFor(running));
    QStringList ids;
    for (const RunningApp& app : running.result())
        ids.append(app.bundleID);
    ids.sort();
    EXPECT_EQ(ids, (QStringList{"term-one", "term-two"}));
}

TEST_F(GnomeShellTest, ACopyInstalledForTheUserStartsAtTheNextLoginAndTheNewShellIsFollowed)
{
    ASSERT_TRUE(shell.start()) << shell.lastError().toStdString();
    startTarv();
    ASSERT_TRUE(waitUntil([&] { return !source->unavailableReason().isEmpty(); }));

    GnomeExtensionSetup setup(*bus, places);
    ASSERT_TRUE(waitUntil([&] { return !setup.isBusy(); }));
    EXPECT_EQ(setup.state(), State::NotInstalled) << setup.text().toStdString();
    setup.takeStep();
    ASSERT_TRUE(waitUntil([&] { return !setup.isBusy(); }));
    EXPECT_EQ(setup.state(), State::AtNextLogin) << setup.text().toStdString() << setup.failure().toStdString();
    EXPECT_FALSE(source->isAvailable());

    // Logging out ends the Shell; logging in starts one that reads the copy and switches it on.
    shell.stopShell();
    ASSERT_TRUE(waitUntil([&] { return source->unavailableReason().startsWith(QLatin1String("GNOME Shell went away")); }));
    ASSERT_TRUE(shell.start()) << shell.lastError().toStdString();
    ASSERT_TRUE(shell.openWindow(QStringLiteral("term-two"))) << shell.lastError().toStdString();
    ASSERT_TRUE(waitUntil([&] { return source->isAvailable(); })) << source->unavailableReason().toStdString();
    ASSERT_TRUE(waitUntil([&] { return profiles.activeProfile().id == two && !log.isEmpty(); }));
    EXPECT_EQ(log.join(u'\n').toStdString(), "Profile “Two” for Term Two");
    ASSERT_TRUE(waitUntil([&] { return setup.state() == State::On; })) << setup.text().toStdString();
}
