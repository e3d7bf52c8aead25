#pragma once
// Reads what an X11 top-level window tells about the application it belongs to, for matching
// it to a desktop entry. Shared by the frontmost-application source and the running list.

#include "macros/WindowAppMatcher.h"

#include <QByteArray>

#include <cstdint>

struct xcb_connection_t;

// A Wayland session: its X11 display, if any, shows only the programs that run under XWayland.
bool isWaylandSession();

class X11WindowFacts {
public:
    explicit X11WindowFacts(xcb_connection_t* connection);

    // The root window of the screen xcb_connect reported.
    static std::uint32_t rootWindow(xcb_connection_t* connection, int screenNumber);

    std::uint32_t internAtom(const char* name) const;
    // The raw value of a property (up to 16 KB); empty when unset or of another type.
    QByteArray property(std::uint32_t window, std::uint32_t atom, std::uint32_t type) const;
    // The 32-bit values of a property (window lists, atom lists).
    QList<std::uint32_t> values(std::uint32_t window, std::uint32_t atom, std::uint32_t type) const;
    // _GTK_APPLICATION_ID, WM_CLASS and the window's process.
    WindowFacts facts(std::uint32_t window) const;

private:
    xcb_connection_t* m_connection;
    std::uint32_t m_gtkAppIdAtom = 0;
    std::uint32_t m_utf8Atom = 0;
    std::uint32_t m_pidAtom = 0;
};
