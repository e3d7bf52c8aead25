#pragma once
// The command line of tarv-app before any GUI exists: which arguments are Tarv's own, and
// whether the toolkit would find a display to show windows on.

#include <QProcessEnvironment>
#include <QStringList>

namespace StartOptions {

// The arguments Tarv reads itself. Tarv's own options are written with two dashes (and
// their short forms with one); every other option written with one dash ("-platform",
// "-style", "-nograb" …) is the toolkit's, in the form Qt documents its options, and is left
// to the GUI application, which takes those it knows when it is made. The program name and
// whatever is not an option stay.
QStringList tarvArguments(const QStringList& arguments, const QStringList& tarvOptionNames);

// Whether the platform the GUI application would use can reach its display: one that draws
// through X11 needs DISPLAY (or -display), one that draws through Wayland WAYLAND_DISPLAY;
// the others (offscreen, minimal, a framebuffer …) need neither. The platform comes from
// -platform, else QT_QPA_PLATFORM, else Qt's own choice between X11 and Wayland; of a list
// of fallbacks ("wayland;xcb") one that can start is enough.
bool canShowWindows(const QStringList& arguments, const QProcessEnvironment& environment);

}  // namespace StartOptions
