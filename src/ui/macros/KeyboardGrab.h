#pragma once
// Taking the whole keyboard for one window while a shortcut is recorded, so that chords the
// window manager would act on (Super+L, Alt+Tab) reach the recorder instead. Only X11 lets an
// application do that; on Wayland the compositor keeps its shortcuts.

#include <functional>
#include <memory>

class QWindow;

class KeyboardGrab {
public:
    enum class Result {
        grabbed,
        notYet,      // the window is not on screen yet; worth asking again shortly
        refused,     // another program holds the keyboard
        unsupported, // this desktop gives no application the whole keyboard (Wayland)
    };

    virtual ~KeyboardGrab() = default;

    // Directs every key to `window` until release(); asking again while grabbed is harmless.
    virtual Result grab(QWindow* window) = 0;
    // Gives the keyboard back; does nothing when nothing is held.
    virtual void release() = 0;

    // The grab of this desktop: X11 through the application's own display connection, else
    // one that grabs nothing. Tests put a double in its place.
    static std::unique_ptr<KeyboardGrab> create();
    using Factory = std::function<std::unique_ptr<KeyboardGrab>()>;
    // An empty factory restores the desktop's own.
    static void setFactory(Factory factory);
};
