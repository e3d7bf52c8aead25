#pragma once
// Decides which installed application a top-level window belongs to, from what the window
// and its process tell about themselves.

#include "macros/FrontmostAppSource.h"
#include "macros/RunningAppsSource.h"
#include "platform/DesktopEntry.h"

#include <QList>
#include <QString>

struct WindowFacts {
    QString gtkApplicationId; // _GTK_APPLICATION_ID
    QString wmInstance;       // WM_CLASS, first string
    QString wmClass;          // WM_CLASS, second string
    QString executable;       // file name of the window's process image, when known
    bool ownProcess = false;  // the window belongs to this very process
};

class WindowAppMatcher {
public:
    // The desktop file id and Name of this application itself.
    WindowAppMatcher(QString ownId, QString ownName);

    // The application id, in this order: this process, _GTK_APPLICATION_ID, WM_CLASS
    // against StartupWMClass, WM_CLASS against the desktop file ids, the process image
    // against the program of each entry's Exec. Without a match the id is absent and the
    // name is the window's class, so the switch can still name the application.
    FrontmostApp match(const WindowFacts& facts, const QList<DesktopEntry>& entries) const;

    // What a Wayland window tells of itself: its app id, which names its desktop entry, or,
    // for an X11 program under XWayland, is its WM_CLASS. A window of Tarv's own carries
    // Tarv's desktop id or its class.
    WindowFacts waylandFacts(const QString& appId) const;

    // The windows of known applications, in the given order, each with its entry's icon;
    // windows of no known application are left out.
    QList<RunningApp> runningApps(const QList<WindowFacts>& windows, const QList<DesktopEntry>& entries) const;

private:
    QString m_ownId;
    QString m_ownName;
};

