#pragma once
// Brings one of Tarv's top-level windows forward, as a second start and the tray ask: shown,
// raised and activated, and then says whether it became the active window. On Wayland a
// window takes the focus only with an activation token: the launcher's when a second start
// handed one over, else one Tarv asks the compositor for; the compositor then decides (sway,
// as configured by default, marks the window urgent rather than switch workspaces). On X11 the
// window manager is asked as before.

#include <QString>

#include <functional>

class QWidget;

namespace WindowActivation {

// How long the window has to become active before `done` says it did not: long enough for a
// compositor's round trip, short enough for a second start waiting to say what happened.
constexpr int settleMs = 1500;

// Whether windows are activated through Wayland's tokens here.
bool usesActivationTokens();

// Shows `window` and asks for it to be activated, with `xdgActivationToken` when it is not
// empty. `done`, when given, is called once on the GUI thread: true when the window became
// active, false when it did not within settleMs (or went away).
void bringForward(QWidget* window, const QString& xdgActivationToken = QString(),
                  std::function<void(bool active)> done = {});

} // namespace WindowActivation
