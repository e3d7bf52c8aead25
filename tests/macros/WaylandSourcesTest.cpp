// The window in front on Wayland: the wlroots window list under a real headless sway, and the
// choice a Wayland session leads to when its compositor offers no list (a bare compositor of
// the test's own) or cannot be reached.

#include "macros/SessionAppSource.h"
#include "macros/WlrAppSource.h"

#include "support/Bytes.h"
#include "support/DesktopTestEnv.h"
#include "support/HeadlessSway.h"
#include "support/PrivateSessionBus.h"

#include <QDBusConnection>
#include <QSignalSpy>
#include <QSocketNotifier>

#include <wayland-server-core.h>

#include <gtest/gtest.h>

namespace {

FrontmostApp app(const char* id, const char* name) { return {QString(id), QString(name)}; }

QList<FrontmostApp> reported(const QSignalSpy& spy)
{
    QList<FrontmostApp> out;
    for (const QList<QVariant>& call : spy)
        out.append(call.at(0).value<FrontmostApp>());
    return out;
}

// A compositor that advertises nothing at all, served on the test's own event loop.
class BareCompositor {
public:
    BareCompositor()
    {
        m_display = wl_display_create();
        m_name = QString::fromUtf8(wl_display_add_socket_auto(m_display));
        wl_event_loop* loop = wl_display_get_event_loop(m_display);
        m_notifier = std::make_unique<QSocketNotifier>(wl_event_loop_get_fd(loop), QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this, loop] {
            wl_event_loop_dispatch(loop, 0);
            wl_display_flush_clients(m_display);
        });
    }
    ~BareCompositor()
    {
        m_notifier.reset();
        wl_display_destroy(m_display);
    }
    QString name() const { return m_name; }

private:
    wl_display* m_display = nullptr;
    QString m_name;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

class WaylandSourcesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testGuiApp();
        for (const char* id : {"term-one", "term-two"}) {
            const QByteArray name = QByteArray(id) == "term-one" ? "Term One" : "Term Two";
            TempXdg::write(xdg.path("data") + "/applications/" + id + ".desktop",
                           "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=foot\n");
        }
        // An X11 program under XWayland shows its WM_CLASS as its app id.
        TempXdg::write(xdg.path("system") + "/applications/writer.desktop",
                       "[Desktop Entry]\nType=Application\nName=Writer\nExec=writer\nStartupWMClass=WriterApp\n");
    }
    void TearDown() override { qunsetenv("XDG_CURRENT_DESKTOP"); }

    TempXdg xdg;
    QString scriptPath = xdg.path("runtime") + QStringLiteral("/kwin-script.js");
};

}  // namespace

TEST_F(WaylandSourcesTest, UnderSwayTheFocusedWindowIsFollowedAndTheOpenOnesListed)
{
    TarvFake::HeadlessSway sway;
    // Setup installs sway and foot: a machine without them fails here rather than skip.
    ASSERT_TRUE(sway.start()) << sway.lastError().toStdString();
    ASSERT_TRUE(sway.openWindow(QStringLiteral("term-one"))) << sway.lastError().toStdString();
    ASSERT_TRUE(sway.openWindow(QStringLiteral("term-two"))) << sway.lastError().toStdString();
    qputenv("WAYLAND_DISPLAY", sway.waylandDisplay().toLocal8Bit());

    // No bus at all: the window list alone decides.
    SessionAppSource source(QDBusConnection(QStringLiteral("no bus")), scriptPath);
    QSignalSpy activations(&source, &FrontmostAppSource::activated);
    ASSERT_TRUE(waitUntil([&] { return source.isAvailable(); })) << source.unavailableReason().toStdString();
    EXPECT_EQ(source.kind(), SessionAppSource::Kind::Wlr);
    EXPECT_FALSE(source.description().isEmpty());
    // The window opened last has the focus; the first look reports it.
    ASSERT_TRUE(waitUntil([&] { return !activations.isEmpty(); }));
    EXPECT_EQ(reported(activations), (QList<FrontmostApp>{app("term-two", "Term Two")}));

    ASSERT_TRUE(sway.focus(QStringLiteral("term-one")));
    ASSERT_TRUE(waitUntil([&] { return activations.size() == 2; }));
    ASSERT_TRUE(sway.focus(QStringLiteral("term-two")));
    ASSERT_TRUE(waitUntil([&] { return activations.size() == 3; }));
    EXPECT_EQ(reported(activations).mid(1),
              (QList<FrontmostApp>{app("term-one", "Term One"), app("term-two", "Term Two")}));
    EXPECT_EQ(source.frontmostApp(), app("term-two", "Term Two"));

    // Tarv's own window, which has no entry here, is named as Tarv; a class from XWayland
    // finds its entry; an id of no entry is the application it names.
    ASSERT_TRUE(sway.openWindow(QStringLiteral("tarv")));
    ASSERT_TRUE(waitUntil([&] { return activations.size() == 4; }));
    EXPECT_EQ(reported(activations).last(), app("tarv", "Tarv"));
    ASSERT_TRUE(sway.openWindow(QStringLiteral("WriterApp")));
    ASSERT_TRUE(waitUntil([&] { return activations.size() == 5; }));
    EXPECT_EQ(reported(activations).last(), app("writer", "Writer"));
    ASSERT_TRUE(sway.openWindow(QStringLiteral("mystery")));
    ASSERT_TRUE(waitUntil([&] { return activations.size() == 6; }));
    EXPECT_EQ(reported(activations).last(), app("mystery", "mystery"));

    // The open windows, those of no entry by their app id (the menu sorts them by name).
    const QFuture<QList<RunningApp>> running = source.runningApps();
    ASSERT_TRUE(waitFor(running));
    QStringList ids;
    for (const RunningApp& app : running.result())
        ids.append(app.bundleID);
    ids.sort();
    EXPECT_EQ(ids, (QStringList{"mystery", "tarv", "term-one", "term-two", "writer"}));

    // A compositor that goes away leaves the source unavailable, saying why.
    QSignalSpy changes(&source, &FrontmostAppSource::availabilityChanged);
    sway.stop();
    ASSERT_TRUE(waitUntil([&] { return !source.isAvailable(); }));
    EXPECT_FALSE(changes.isEmpty());
    EXPECT_EQ(source.unavailableReason(), QStringLiteral("The connection to the Wayland compositor was lost. "
                                                         "The application in front is no longer followed."));
    EXPECT_EQ(source.frontmostApp(), std::nullopt);
}

TEST_F(WaylandSourcesTest, AWaylandDesktopWithoutAWindowListOrKWinSaysWhyItCannotFollow)
{
    TarvFake::PrivateSessionBus bus;
    ASSERT_TRUE(bus.start()) << bus.lastError().toStdString();
    const QDBusConnection connection = QDBusConnection::connectToBus(bus.address(), QStringLiteral("bare"));
    BareCompositor compositor;
    qputenv("WAYLAND_DISPLAY", compositor.name().toLocal8Bit());

    for (const QByteArray& desktop : {QByteArray("ubuntu:GNOME"), QByteArray("weston")}) {
        qputenv("XDG_CURRENT_DESKTOP", desktop);
        SessionAppSource source(connection, scriptPath);
        EXPECT_EQ(source.kind(), SessionAppSource::Kind::Choosing);
        EXPECT_TRUE(source.unavailableReason().isEmpty()) << "nothing is said while the desktop is asked";
        ASSERT_TRUE(waitUntil([&] { return source.kind() == SessionAppSource::Kind::None; }));
        EXPECT_FALSE(source.isAvailable());
        EXPECT_TRUE(source.description().isEmpty());
        EXPECT_EQ(source.unavailableReason(), SessionAppSource::noWaylandSourceReason(QString::fromLatin1(desktop)));
        EXPECT_EQ(source.unavailableReason().startsWith(QLatin1String("GNOME on Wayland")), desktop.contains("GNOME"));
        const QFuture<QList<RunningApp>> running = source.runningApps();
        EXPECT_TRUE(running.isFinished() && running.result().isEmpty());
    }

    // A compositor that cannot be reached is named as such.
    qputenv("WAYLAND_DISPLAY", xdg.path("runtime").toLocal8Bit() + "/wayland-none");
    SessionAppSource unreachable(connection, scriptPath);
    ASSERT_TRUE(waitUntil([&] { return unreachable.kind() == SessionAppSource::Kind::None; }));
    EXPECT_TRUE(unreachable.unavailableReason().startsWith(QLatin1String("The Wayland compositor could not be reached (")))
        << unreachable.unavailableReason().toStdString();
    QDBusConnection::disconnectFromBus(QStringLiteral("bare"));
}
