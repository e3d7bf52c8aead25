#include "ui/macros/KeyboardGrab.h"

#include "macros/X11WindowFacts.h"

#include <QGuiApplication>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

KeyboardGrab::Factory& factoryOverride()
{
    static KeyboardGrab::Factory factory;
    return factory;
}

class X11KeyboardGrab final : public KeyboardGrab {
public:
    explicit X11KeyboardGrab(xcb_connection_t* connection) : m_connection(connection) {}
    ~X11KeyboardGrab() override { release(); }

    Result grab(QWindow* window) override
    {
        if (!window)
            return Result::notYet;
        // The popup's own window, on the connection Qt reads its events from, so the keys
        // arrive as ordinary key events of that window.
        const auto cookie = xcb_grab_keyboard(m_connection, 0, xcb_window_t(window->winId()), XCB_CURRENT_TIME,
                                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        xcb_grab_keyboard_reply_t* reply = xcb_grab_keyboard_reply(m_connection, cookie, nullptr);
        const int status = reply ? reply->status : -1;
        std::free(reply);
        switch (status) {
        case XCB_GRAB_STATUS_SUCCESS:
            m_held = true;
            return Result::grabbed;
        case XCB_GRAB_STATUS_NOT_VIEWABLE:
        case XCB_GRAB_STATUS_INVALID_TIME:
            return Result::notYet;
        default:
            return Result::refused;
        }
    }

    void release() override
    {
        if (!m_held)
            return;
        m_held = false;
        xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
    }

private:
    xcb_connection_t* m_connection;
    bool m_held = false;
};

class NoKeyboardGrab final : public KeyboardGrab {
public:
    Result grab(QWindow*) override { return Result::unsupported; }
    void release() override {}
};

}  // namespace

std::unique_ptr<KeyboardGrab> KeyboardGrab::create()
{
    if (factoryOverride())
        return factoryOverride()();
    // Under Wayland an X11 grab holds only XWayland's keys; the compositor keeps its own.
    if (auto* x11 = isWaylandSession() || !qGuiApp ? nullptr : qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        if (xcb_connection_t* connection = x11->connection())
            return std::make_unique<X11KeyboardGrab>(connection);
    }
    return std::make_unique<NoKeyboardGrab>();
}

void KeyboardGrab::setFactory(Factory factory)
{
    factoryOverride() = std::move(factory);
}
