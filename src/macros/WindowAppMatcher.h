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
    QString desktopId;        // the desktop entry the desktop itself ties the window to (GNOME Shell)
    QString sandboxedAppId;   // the Flatpak app id, which names its exported desktop entry
    QString waylandAppId;     // the app id a Wayland window gives itself
};

class WindowAppMatcher {
public:
    // The desktop file id and Name of this application itself.
    WindowAppMatcher(QString ownId, QString ownName);

    // The application id, in this order: this process, the desktop's own answer,
    // _GTK_APPLICATION_ID, the Flatpak app id, WM_CLASS against StartupWMClass, WM_CLASS
    // against the desktop file ids, the process image against the program of each entry's
    // Exec. Without a match a Wayland window is the application its app id names, without an
    // entry (a program started with an app id of the user's choosing, such as
    // `foot --app-id=scratch`, can be linked to a profile all the same); for an X11 window the
    // id is absent and the name is the window's class, so the switch can still name the
    // application.
    FrontmostApp match(const WindowFacts& facts, const QList<DesktopEntry>& entries) const;

    // What a Wayland window tells of itself: its app id, which names its desktop entry, or,
    // for an X11 program under XWayland, is its WM_CLASS. A window of Tarv's own carries
    // Tarv's desktop id or its class.
    WindowFacts waylandFacts(const QString& appId) const;

    // The windows of known applications, in the given order, each with its entry's icon (none
    // for an app id of no entry); windows of no known application are left out.
    QList<RunningApp> runningApps(const QList<WindowFacts>& windows, const QList<DesktopEntry>& entries) const;

private:
    QString m_ownId;
    QString m_ownName;
};

