// tarv-app on Wayland, under a headless sway of the test's own, as a user meets it: a second
// start brings the running copy's window forward from another workspace and says how far it
// got; the tray icon's click opens the window, its menu is the tray's to draw, and a profile
// picked there stands while the focus passes through Tarv and back.

#include "macros/ProfileStore.h"
#include "media/StockService.h"
#include "platform/Settings.h"
#include "support/DesktopTestEnv.h"
#include "support/FakeTrayHost.h"
#include "support/HeadlessSway.h"
#include "support/PrivateSessionBus.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <optional>

namespace {

struct SwayWindow {
    QString appId;
    QString workspace;
    bool focused = false;
    bool urgent = false;
};

void collectWindows(const QJsonObject& node, QString workspace, QList<SwayWindow>& out)
{
    if (node.value(QLatin1String("type")).toString() == QLatin1String("workspace"))
        workspace = node.value(QLatin1String("name")).toString();
    const QString appId = node.value(QLatin1String("app_id")).toString();
    if (!appId.isEmpty())
        out.append({appId, workspace, node.value(QLatin1String("focused")).toBool(),
                    node.value(QLatin1String("urgent")).toBool()});
    for (const char* key : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : node.value(QLatin1String(key)).toArray())
            collectWindows(child.toObject(), workspace, out);
    }
}

class WaylandDesktopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Setup installs sway and foot: a machine without them fails here rather than skip.
        ASSERT_TRUE(sway.start()) << sway.lastError().toStdString();
        Settings settings(settingsPath());
        // Nothing reaches the real quote service: nothing listens on port 0.
        settings.setText(StockService::serviceBaseKey, QStringLiteral("http://127.0.0.1:0"));
    }

    void TearDown() override
    {
        if (tarv.state() != QProcess::NotRunning) {
            tarv.terminate();
            if (!tarv.waitForFinished(10000))
                tarv.kill();
            tarv.waitForFinished(5000);
        }
    }

    QString settingsPath() const { return xdg.path("config") + QStringLiteral("/Tarv/Tarv.conf"); }

    // Tarv native on sway's Wayland display, on the given session bus (none: no tray).
    QProcessEnvironment environment(const QString& busAddress) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        environment.insert(QStringLiteral("WAYLAND_DISPLAY"), sway.waylandDisplay());
        for (const char* name : {"DISPLAY", "TARV_TEST_RUN", "TARV_SERIAL_PORT", "XDG_CURRENT_DESKTOP", "SWAYSOCK",
                                 "XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID", "DBUS_SESSION_BUS_ADDRESS"})
            environment.remove(QString::fromLatin1(name));
        if (!busAddress.isEmpty())
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        return environment;
    }

    void startTarv(const QString& busAddress = QString())
    {
        tarv.setProcessEnvironment(environment(busAddress));
        tarv.start(QStringLiteral(TARV_APP_PATH), {});
        ASSERT_TRUE(tarv.waitForStarted(10000));
    }

    // What Tarv wrote to standard error so far: its log among it.
    QString log()
    {
        m_log += tarv.readAllStandardError();
        return QString::fromUtf8(m_log);
    }

    QList<SwayWindow> windows() const
    {
        QList<SwayWindow> out;
        if (const auto tree = sway.message({QStringLiteral("-t"), QStringLiteral("get_tree")}))
            collectWindows(QJsonDocument::fromJson(*tree).object(), QString(), out);
        return out;
    }
    std::optional<SwayWindow> tarvWindow() const
    {
        std::optional<SwayWindow> found;
        for (const SwayWindow& window : windows()) {
            if (window.appId == QLatin1String("tarv"))
                found = window;
        }
        return found;
    }
    qsizetype tarvWindows() const
    {
        const QList<SwayWindow> all = windows();
        return std::count_if(all.cbegin(), all.cend(), [](const SwayWindow& w) { return w.appId == QLatin1String("tarv"); });
    }

    // A second start as from a terminal: what it says, once it has ended.
    QByteArray startAgain()
    {
        QProcess second;
        second.setProcessEnvironment(environment(QString()));
        second.start(QStringLiteral(TARV_APP_PATH), {});
        EXPECT_TRUE(second.waitForFinished(30000));
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
        return second.readAllStandardOutput();
    }

    TempXdg xdg;
    TarvFake::HeadlessSway sway;
    QProcess tarv;

private:
    QByteArray m_log;
};

} // namespace

TEST_F(WaylandDesktopTest, ASecondStartBringsTheWindowForwardFromAnotherWorkspaceOrSaysItAsked)
{
    startTarv();
    ASSERT_TRUE(waitUntil([&] { return tarvWindow() && tarvWindow()->focused; })) << log().toStdString();
    const QString home = tarvWindow()->workspace;

    // The user moves on to another workspace. Sway, as it comes, marks a window that asks to
    // come forward as urgent instead of switching workspaces for it.
    ASSERT_TRUE(sway.message({QStringLiteral("workspace"), QStringLiteral("elsewhere")}));
    EXPECT_EQ(startAgain(), QByteArray("Tarv is already running; it asked the desktop to show its window.\n"));
    std::optional<SwayWindow> window = tarvWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->urgent);
    EXPECT_FALSE(window->focused);
    EXPECT_EQ(window->workspace, home);

    // Set to give the focus, sway takes the user to the window.
    ASSERT_TRUE(sway.message({QStringLiteral("focus_on_window_activation"), QStringLiteral("focus")}));
    ASSERT_TRUE(sway.message({QStringLiteral("workspace"), QStringLiteral("further")}));
    EXPECT_EQ(startAgain(), QByteArray("Tarv is already running; its window is brought forward.\n"));
    window = tarvWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->focused);
    EXPECT_EQ(tarvWindows(), 1);
}

TEST_F(WaylandDesktopTest, TheTrayOpensTheWindowDrawsTheMenuAndAPickFromItStands)
{
    ASSERT_TRUE(sway.openWindow(QStringLiteral("scratch"))) << sway.lastError().toStdString();
    TarvFake::PrivateSessionBus bus;
    ASSERT_TRUE(bus.start()) << bus.lastError().toStdString();
    TarvFake::FakeTrayHost host(bus.address(), QStringLiteral("tray-host"));
    ASSERT_TRUE(host.start()) << host.lastError().toStdString();
    {
        // One for the terminal "scratch", which has no desktop entry; Two; Three for the others.
        Settings settings(settingsPath());
        ProfileStore store(settings);
        const QUuid one = store.activeID();
        store.renameProfile(one, QStringLiteral("One"));
        store.linkApps(AppTarget{QStringLiteral("scratch"), QStringLiteral("scratch")}, one);
        const QUuid two = store.addProfile(false).id;
        store.renameProfile(two, QStringLiteral("Two"));
        const QUuid three = store.addProfile(false).id;
        store.renameProfile(three, QStringLiteral("Three"));
        store.setFallbackProfile(three);
        store.activateProfile(two);
        store.saveWaitingEdits();
    }
    startTarv(bus.address());
    ASSERT_TRUE(waitUntil([&] { return !host.items().isEmpty() && tarvWindow(); })) << log().toStdString();
    const QString item = host.items().first();

    // The menu, offered to the tray to draw.
    const auto entry = [&](const QString& label) -> std::optional<TarvFake::FakeTrayHost::MenuEntry> {
        for (const auto& e : host.menu(item)) {
            if (e.label == label)
                return e;
        }
        return std::nullopt;
    };
    for (const char* label : {"Open Tarv", "Settings…", "Quit Tarv", "One", "Two", "Three"})
        EXPECT_TRUE(entry(QString::fromUtf8(label))) << label << " " << host.lastError().toStdString();

    // Scratch in front: its profile.
    const QString forScratch = QStringLiteral("Profile \u201COne\u201D for scratch");
    ASSERT_TRUE(sway.focus(QStringLiteral("scratch")));
    ASSERT_TRUE(waitUntil([&] { return log().contains(forScratch); })) << log().toStdString();

    // Two picked from the tray over it stands while the focus passes through Tarv's window and
    // comes back, as it did when the menu was a window of Tarv's; the next app ends it.
    ASSERT_TRUE(host.click(item, entry(QStringLiteral("Two"))->id)) << host.lastError().toStdString();
    ASSERT_TRUE(waitUntil([&] { return entry(QStringLiteral("Two"))->toggleState == 1; }));
    ASSERT_TRUE(sway.focus(QStringLiteral("tarv")));
    ASSERT_TRUE(sway.focus(QStringLiteral("scratch")));
    ASSERT_TRUE(sway.openWindow(QStringLiteral("other"))) << sway.lastError().toStdString();
    ASSERT_TRUE(waitUntil([&] { return log().contains(QStringLiteral("Profile \u201CThree\u201D for other")); }))
        << log().toStdString();
    EXPECT_EQ(log().count(forScratch), 1) << log().toStdString();
    ASSERT_TRUE(sway.focus(QStringLiteral("scratch")));
    ASSERT_TRUE(waitUntil([&] { return log().count(forScratch) == 2; })) << log().toStdString();

    // The icon's click: the closed window shows again; a right click shows no menu of Tarv's
    // own (the tray draws it).
    ASSERT_TRUE(sway.message({QStringLiteral("[app_id=\"tarv\"] kill")}));
    ASSERT_TRUE(waitUntil([&] { return !tarvWindow(); }));
    ASSERT_TRUE(host.contextMenu(item)) << host.lastError().toStdString();
    ASSERT_TRUE(host.activate(item)) << host.lastError().toStdString();
    ASSERT_TRUE(waitUntil([&] { return tarvWindow() && tarvWindow()->focused; }));
    // On another workspace, it asks to come forward, which sway shows as urgent.
    ASSERT_TRUE(sway.message({QStringLiteral("workspace"), QStringLiteral("elsewhere")}));
    ASSERT_TRUE(host.activate(item)) << host.lastError().toStdString();
    ASSERT_TRUE(waitUntil([&] { return tarvWindow() && tarvWindow()->urgent; }));
    EXPECT_EQ(tarvWindows(), 1);
}
