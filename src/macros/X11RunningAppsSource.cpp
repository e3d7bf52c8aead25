#include "macros/X11RunningAppsSource.h"

#include "macros/WindowAppMatcher.h"
#include "macros/X11WindowFacts.h"
#include "platform/DesktopEntries.h"

#include <QtConcurrent/QtConcurrentRun>

#include <xcb/xcb.h>

X11RunningAppsSource::X11RunningAppsSource(QString ownId, QString ownName)
    : m_ownId(std::move(ownId))
    , m_ownName(std::move(ownName))
{
}

QFuture<QList<RunningApp>> X11RunningAppsSource::runningApps()
{
    // A Wayland session lists only its X11 programs there: better nothing than half.
    if (isWaylandSession() || qEnvironmentVariableIsEmpty("DISPLAY"))
        return QtFuture::makeReadyFuture(QList<RunningApp>());
    return QtConcurrent::run(&X11RunningAppsSource::read, qgetenv("DISPLAY"), m_ownId, m_ownName,
                             DesktopEntries::applicationDirs());
}

QList<RunningApp> X11RunningAppsSource::read(const QByteArray& display, const QString& ownId,
                                             const QString& ownName, const QStringList& applicationDirs)
{
    QList<RunningApp> apps;
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return apps;
    }
    const xcb_window_t root = X11WindowFacts::rootWindow(connection, screenNumber);

    const X11WindowFacts windows(connection);
    const std::uint32_t clientList = windows.internAtom("_NET_CLIENT_LIST");
    const std::uint32_t windowType = windows.internAtom("_NET_WM_WINDOW_TYPE");
    const std::uint32_t windowState = windows.internAtom("_NET_WM_STATE");
    // Panels, desktops and windows kept off the task bar are no applications a user switches to.
    const QList<std::uint32_t> backgroundTypes{windows.internAtom("_NET_WM_WINDOW_TYPE_DOCK"),
                                               windows.internAtom("_NET_WM_WINDOW_TYPE_DESKTOP")};
    const std::uint32_t skipTaskbar = windows.internAtom("_NET_WM_STATE_SKIP_TASKBAR");

    QList<WindowFacts> shown;
    for (std::uint32_t window : windows.values(root, clientList, XCB_ATOM_WINDOW)) {
        const QList<std::uint32_t> types = windows.values(window, windowType, XCB_ATOM_ATOM);
        if (std::any_of(types.cbegin(), types.cend(), [&](std::uint32_t t) { return backgroundTypes.contains(t); }))
            continue;
        if (windows.values(window, windowState, XCB_ATOM_ATOM).contains(skipTaskbar))
            continue;
        shown.append(windows.facts(window));
    }
    apps = WindowAppMatcher(ownId, ownName).runningApps(shown, DesktopEntries::all(applicationDirs));
    xcb_disconnect(connection);
    return apps;
}
