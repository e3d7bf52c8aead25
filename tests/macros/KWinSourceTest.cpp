// The window in front on KDE Plasma: Tarv's KWin script, handed to a stand-in for KWin's
// scripting interface on a private bus, loaded, started and run there against a workspace
// of the test's making, in the shapes of Plasma 6 and of Plasma 5.27.

#include "macros/KWinAppSource.h"
#include "macros/SessionAppSource.h"

#include "support/Bytes.h"
#include "support/DesktopTestEnv.h"
#include "support/FakeKWin.h"
#include "support/PrivateSessionBus.h"

#include <QDBusMessage>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

using TarvFake::FakeKWin;

FrontmostApp app(const char* id, const char* name) { return {QString(id), QString(name)}; }

QStringList runningIds(RunningAppsSource& source)
{
    const QFuture<QList<RunningApp>> running = source.runningApps();
    if (!waitFor(running))
        return {QStringLiteral("(no answer)")};
    QStringList ids;
    for (const RunningApp& app : running.result())
        ids.append(app.bundleID);
    return ids;
}

class KWinSourceTest : public ::testing::TestWithParam<FakeKWin::Plasma> {
protected:
    void SetUp() override
    {
        testGuiApp();
        ASSERT_TRUE(bus.start()) << bus.lastError().toStdString();
        tarvBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(bus.address(), QStringLiteral("tarv")));
        kwin = std::make_unique<FakeKWin>(bus.address(), GetParam());
        ASSERT_TRUE(kwin->isReady());
        TempXdg::write(xdg.path("data") + "/applications/org.example.Mail.desktop",
                       "[Desktop Entry]\nType=Application\nName=Mail\nExec=mail\n");
        TempXdg::write(xdg.path("system") + "/applications/writer.desktop",
                       "[Desktop Entry]\nType=Application\nName=Writer\nExec=writer\nStartupWMClass=WriterApp\n");
        // KWin's compositor lists no windows to other programs: here, none can be reached.
        qputenv("WAYLAND_DISPLAY", xdg.path("runtime").toLocal8Bit() + "/wayland-kwin");
    }
    void TearDown() override
    {
        kwin.reset();
        tarvBus.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("tarv"));
    }

    std::unique_ptr<SessionAppSource> choose()
    {
        auto source = std::make_unique<SessionAppSource>(*tarvBus, scriptPath);
        EXPECT_TRUE(waitUntil([&] { return source->isAvailable() || !source->unavailableReason().isEmpty(); }));
        return source;
    }

    TempXdg xdg;
    TarvFake::PrivateSessionBus bus;
    std::unique_ptr<QDBusConnection> tarvBus;
    std::unique_ptr<FakeKWin> kwin;
    QString scriptPath = xdg.path("runtime") + QStringLiteral("/tarv-kwin-script.js");
};

}  // namespace

TEST_P(KWinSourceTest, TheScriptIsLoadedRunReportsActivationsAndIsUnloadedAtTheEnd)
{
    // A script of Tarv's left loaded by a run that ended without unloading it.
    kwin->preload(KWinAppSource::scriptName);
    kwin->open(QStringLiteral(R"({desktopFileName: "org.example.Mail", resourceClass: "mail", pid: 4000})"));

    auto source = choose();
    ASSERT_TRUE(source->isAvailable()) << source->unavailableReason().toStdString() << " "
                                       << kwin->scriptErrors().join(u'\n').toStdString();
    EXPECT_EQ(source->kind(), SessionAppSource::Kind::KWin);
    EXPECT_EQ(kwin->calls(), (QStringList{"unloadScript tarv-frontmost-app",
                                          "loadScript " + scriptPath + " tarv-frontmost-app", "run " + scriptPath}));
    EXPECT_TRUE(kwin->isRunning());
    EXPECT_FALSE(source->description().isEmpty());
    // The script's first report names the window in front.
    EXPECT_EQ(source->frontmostApp(), app("org.example.Mail", "Mail"));

    QSignalSpy activations(source.get(), &FrontmostAppSource::activated);
    // An X11 program under XWayland has no desktop file name, only its class; a panel is
    // not listed, and in front it is what its id of no entry names; the class of Tarv's own
    // process names Tarv whatever it is.
    const int writer = kwin->open(QStringLiteral(R"({desktopFileName: "", resourceClass: "WriterApp", resourceName: "writer"})"));
    kwin->open(QStringLiteral(R"({desktopFileName: "org.example.Panel", normalWindow: false})"));
    kwin->open(QStringLiteral(R"({desktopFileName: "", resourceClass: "tarv-app", pid: %1})").arg(::getpid()));
    ASSERT_TRUE(waitUntil([&] { return activations.size() == 3; })) << kwin->scriptErrors().join(u'\n').toStdString();
    EXPECT_EQ(activations.at(0).at(0).value<FrontmostApp>(), app("writer", "Writer"));
    EXPECT_EQ(activations.at(1).at(0).value<FrontmostApp>(), app("org.example.Panel", "org.example.Panel"));
    EXPECT_EQ(activations.at(2).at(0).value<FrontmostApp>(), app("tarv", "Tarv"));
    EXPECT_EQ(runningIds(*source), (QStringList{"org.example.Mail", "writer", "tarv"}));

    // Bringing back a window of the application already in front is no change; closing the
    // window in front leaves nothing in front, which keeps what was reported.
    kwin->activate(writer);
    ASSERT_TRUE(waitUntil([&] { return activations.size() == 4; }));
    kwin->activate(writer);
    kwin->close(writer);
    ASSERT_TRUE(waitUntil([&] { return runningIds(*source) == QStringList{"org.example.Mail", "tarv"}; }));
    EXPECT_EQ(activations.size(), 4);
    EXPECT_TRUE(kwin->scriptErrors().isEmpty()) << kwin->scriptErrors().join(u'\n').toStdString();

    // At the end the script is unloaded, without Tarv waiting for the answer.
    source.reset();
    ASSERT_TRUE(waitUntil([&] { return kwin->loadedScripts().isEmpty(); }));
    EXPECT_EQ(kwin->calls().last(), QStringLiteral("unloadScript tarv-frontmost-app"));
}

TEST_P(KWinSourceTest, OnlyKWinIsHeardAndAKWinThatEndsLeavesTheSourceUnavailable)
{
    auto source = choose();
    ASSERT_TRUE(source->isAvailable());
    QSignalSpy activations(source.get(), &FrontmostAppSource::activated);

    // Another program on the bus claims a window is in front.
    QDBusMessage forged = QDBusMessage::createMethodCall(tarvBus->baseService(), KWinAppSource::reportPath,
                                                         KWinAppSource::reportInterface, QStringLiteral("Report"));
    forged << QStringLiteral(R"({"active": {"desktopFileName": "org.example.Mail"}, "windows": []})");
    QDBusConnection other = QDBusConnection::connectToBus(bus.address(), QStringLiteral("other"));
    const QDBusMessage answer = other.call(forged, QDBus::BlockWithGui);
    EXPECT_EQ(answer.errorName(), QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"));
    QDBusConnection::disconnectFromBus(QStringLiteral("other"));

    kwin->quit();
    ASSERT_TRUE(waitUntil([&] { return !source->isAvailable(); }));
    EXPECT_EQ(source->unavailableReason(), QStringLiteral("KWin went away. The application in front is no longer followed."));
    EXPECT_TRUE(activations.isEmpty());
}

// KWin restarted, as after a crash: its name comes back under a new owner, which is given the
// script again, and the window in front is followed again.
TEST_P(KWinSourceTest, AKWinThatComesBackGetsTheScriptAgain)
{
    auto source = choose();
    ASSERT_TRUE(source->isAvailable());
    QSignalSpy activations(source.get(), &FrontmostAppSource::activated);
    kwin->quit();
    ASSERT_TRUE(waitUntil([&] { return !source->isAvailable(); }));

    kwin = std::make_unique<FakeKWin>(bus.address(), GetParam());
    ASSERT_TRUE(kwin->isReady());
    kwin->open(QStringLiteral(R"({desktopFileName: "org.example.Mail", resourceClass: "mail"})"));
    ASSERT_TRUE(waitUntil([&] { return source->isAvailable(); }))
        << source->unavailableReason().toStdString() << " " << kwin->scriptErrors().join(u'\n').toStdString();
    EXPECT_TRUE(kwin->isRunning());
    EXPECT_EQ(kwin->calls(), (QStringList{"unloadScript tarv-frontmost-app",
                                          "loadScript " + scriptPath + " tarv-frontmost-app", "run " + scriptPath}));
    EXPECT_EQ(source->frontmostApp(), app("org.example.Mail", "Mail"));
    kwin->open(QStringLiteral(R"({desktopFileName: "", resourceClass: "WriterApp", resourceName: "writer"})"));
    ASSERT_TRUE(waitUntil([&] {
        return !activations.isEmpty() && activations.last().at(0).value<FrontmostApp>() == app("writer", "Writer");
    }));
}

INSTANTIATE_TEST_SUITE_P(Plasma, KWinSourceTest, ::testing::Values(FakeKWin::Plasma::Six, FakeKWin::Plasma::Five),
                         [](const auto& info) { return info.param == FakeKWin::Plasma::Six ? "Six" : "Five"; });
