// The window in front on GNOME's Wayland session: the reports of Tarv's GNOME Shell extension,
// served by a stand-in for GNOME Shell on a private bus, heard from the Shell alone, and
// followed as the Shell goes away and comes back and the extension is switched off and on.

#include "macros/GnomeAppSource.h"
#include "macros/SessionAppSource.h"

#include "support/DesktopTestEnv.h"
#include "support/FakeGnomeShell.h"
#include "support/PrivateSessionBus.h"

#include <QDBusMessage>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using TarvFake::FakeGnomeShell;

FrontmostApp app(const char* id, const char* name) { return {QString(id), QString(name)}; }

QVariantMap window(const char* wmClass, const QVariantMap& more = {})
{
    QVariantMap facts{{"app", QString()},           {"wmClass", QString(wmClass)},   {"wmClassInstance", QString()},
                      {"gtkApplicationId", QString()}, {"sandboxedAppId", QString()}, {"pid", 4000},
                      {"focused", false}};
    for (auto it = more.begin(); it != more.end(); ++it)
        facts.insert(it.key(), it.value());
    return facts;
}

// Sends a signal from `from` and waits until the bus has it, so that it reaches Tarv before
// anything sent after this returns.
void sendNow(const QDBusConnection& from, const QDBusMessage& signal)
{
    from.send(signal);
    from.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                             QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
}

QDBusMessage focusReport(const QVariantMap& window)
{
    QDBusMessage report = QDBusMessage::createSignal(GnomeAppSource::reportsPath, GnomeAppSource::reportsInterface,
                                                     QStringLiteral("FocusChanged"));
    report << window;
    return report;
}

QList<FrontmostApp> reported(const QSignalSpy& spy)
{
    QList<FrontmostApp> out;
    for (const QList<QVariant>& call : spy)
        out.append(call.at(0).value<FrontmostApp>());
    return out;
}

class GnomeSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testGuiApp();
        ASSERT_TRUE(bus.start()) << bus.lastError().toStdString();
        tarvBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(bus.address(), QStringLiteral("tarv")));
        shell = std::make_unique<FakeGnomeShell>(bus.address());
        ASSERT_TRUE(shell->isReady());
        shell->setExtension(GnomeAppSource::extensionUuid(), {{"state", 1.0}, {"version", 1.0}});
        TempXdg::write(xdg.path("data") + "/applications/org.example.Mail.desktop",
                       "[Desktop Entry]\nType=Application\nName=Mail\nExec=mail\n");
        TempXdg::write(xdg.path("system") + "/applications/writer.desktop",
                       "[Desktop Entry]\nType=Application\nName=Writer\nExec=writer\nStartupWMClass=WriterApp\n");
        // GNOME's compositor lists no windows to other programs: here, none can be reached.
        qputenv("WAYLAND_DISPLAY", xdg.path("runtime").toLocal8Bit() + "/wayland-gnome");
    }
    void TearDown() override
    {
        shell.reset();
        tarvBus.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("tarv"));
    }

    std::unique_ptr<SessionAppSource> choose()
    {
        auto source = std::make_unique<SessionAppSource>(*tarvBus, xdg.path("runtime") + QStringLiteral("/kwin.js"));
        EXPECT_TRUE(waitUntil([&] { return source->isAvailable() || !source->unavailableReason().isEmpty(); }));
        return source;
    }

    TempXdg xdg;
    TarvFake::PrivateSessionBus bus;
    std::unique_ptr<QDBusConnection> tarvBus;
    std::unique_ptr<FakeGnomeShell> shell;
};

}  // namespace

TEST_F(GnomeSourceTest, TheExtensionsReportsNameTheAppInFrontAndOnlyTheShellIsHeard)
{
    // The Shell's own app id comes first; a Flatpak id and a class follow it.
    const QVariantMap mail = window("mail-window", {{"app", "org.example.Mail.desktop"}, {"focused", true}});
    const QVariantMap writer = window("WriterApp", {{"wmClassInstance", "writer"}});
    const QVariantMap sandboxed = window("Whatever", {{"sandboxedAppId", "org.example.Mail"}});
    const QVariantMap own = window("", {{"pid", int(::getpid())}});
    shell->setWindows({mail, writer, own, window("mystery")});
    shell->switchOn();

    auto source = choose();
    ASSERT_TRUE(source->isAvailable()) << source->unavailableReason().toStdString();
    EXPECT_EQ(source->kind(), SessionAppSource::Kind::Gnome);
    EXPECT_FALSE(source->description().isEmpty());
    EXPECT_EQ(source->frontmostApp(), app("org.example.Mail", "Mail"));

    QSignalSpy activations(source.get(), &FrontmostAppSource::activated);
    shell->focus(writer);
    shell->focus(own);
    shell->focus(sandboxed);
    // Nothing in front leaves what was reported; a window that tells nothing is an unnamed app.
    shell->focus({});
    shell->focus(window(""));
    ASSERT_TRUE(waitUntil([&] { return activations.size() == 4; }));
    EXPECT_EQ(reported(activations), (QList<FrontmostApp>{app("writer", "Writer"), app("tarv", "Tarv"),
                                                          app("org.example.Mail", "Mail"), FrontmostApp{}}));

    // Another program on the bus claims a window is in front, on the extension's own path;
    // the Shell's next report comes after it.
    sendNow(QDBusConnection::connectToBus(bus.address(), QStringLiteral("other")), focusReport(mail));
    QDBusConnection::disconnectFromBus(QStringLiteral("other"));
    shell->focus(writer);
    shell->focus(window(""));
    ASSERT_TRUE(waitUntil([&] { return activations.size() > 5 && reported(activations).last() == FrontmostApp{}; }));
    EXPECT_EQ(reported(activations).mid(4), (QList<FrontmostApp>{app("writer", "Writer"), FrontmostApp{}}));

    // The open windows, asked of the extension: those of no desktop entry by their app id.
    const QFuture<QList<RunningApp>> running = source->runningApps();
    ASSERT_TRUE(waitFor(running));
    QStringList ids;
    for (const RunningApp& runningApp : running.result())
        ids.append(runningApp.bundleID);
    EXPECT_EQ(ids, (QStringList{"org.example.Mail", "writer", "tarv", "mystery"}));
}

TEST_F(GnomeSourceTest, TheExtensionSwitchedOnOffAndTheShellComingBackAreFollowed)
{
    const QVariantMap mail = window("org.example.Mail", {{"focused", true}});
    const QVariantMap writer = window("WriterApp");
    shell->setWindows({mail, writer});

    // Installed but off: the Shell answers, the extension does not.
    auto source = choose();
    EXPECT_EQ(source->kind(), SessionAppSource::Kind::Gnome);
    EXPECT_FALSE(source->isAvailable());
    EXPECT_TRUE(source->unavailableReason().startsWith(QLatin1String("Tarv's GNOME Shell extension is not running.")))
        << source->unavailableReason().toStdString();

    QSignalSpy activations(source.get(), &FrontmostAppSource::activated);
    shell->switchOn();
    ASSERT_TRUE(waitUntil([&] { return source->isAvailable(); }));
    ASSERT_TRUE(waitUntil([&] { return activations.size() == 1; }));
    EXPECT_EQ(reported(activations).last(), app("org.example.Mail", "Mail"));

    shell->switchOff();
    ASSERT_TRUE(waitUntil([&] { return !source->isAvailable(); }));
    EXPECT_EQ(source->frontmostApp(), std::nullopt);
    shell->switchOn();
    ASSERT_TRUE(waitUntil([&] { return source->isAvailable(); }));

    // The Shell ends, and a new one takes its name: the new one is heard, the old one is not.
    shell->quit();
    ASSERT_TRUE(waitUntil([&] { return !source->isAvailable(); }));
    EXPECT_EQ(source->unavailableReason(),
              QStringLiteral("GNOME Shell went away. The application in front is no longer followed."));
    auto gone = std::move(shell);
    shell = std::make_unique<FakeGnomeShell>(bus.address());
    ASSERT_TRUE(shell->isReady());
    shell->setExtension(GnomeAppSource::extensionUuid(), {{"state", 2.0}, {"version", 1.0}});
    shell->setWindows({mail, writer});
    shell->switchOn();
    ASSERT_TRUE(waitUntil([&] { return source->isAvailable(); }));
    const qsizetype before = activations.size();
    shell->focus(writer);
    ASSERT_TRUE(waitUntil([&] { return activations.size() == before + 1; }));
    EXPECT_EQ(reported(activations).last(), app("writer", "Writer"));
    // The Shell that went away reports no more, even while it is still connected.
    sendNow(gone->connection(), focusReport(mail));
    shell->focus(writer);
    shell->focus(mail);
    shell->focus(window(""));
    ASSERT_TRUE(waitUntil([&] { return reported(activations).last() == FrontmostApp{}; }));
    EXPECT_EQ(reported(activations).mid(before),
              (QList<FrontmostApp>{app("writer", "Writer"), app("org.example.Mail", "Mail"), FrontmostApp{}}));
}
