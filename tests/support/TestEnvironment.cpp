// Linked into every test executable: before main runs, the process gets the same environment
// whatever the machine. The C locale (ICU and Qt take the user's locale and digits from it), a
// time zone away from UTC that never changes its offset, and none of the desktop's settings
// that change Qt's theme, fonts, style or scale. Tests that need another locale or zone set it
// themselves.

#include <cstdlib>
#include <ctime>
#include <initializer_list>

namespace {

const bool environmentFixed = [] {
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::setenv("LANG", "C.UTF-8", 1);
    ::unsetenv("LANGUAGE");
    ::setenv("TZ", "Asia/Kolkata", 1);
    ::tzset();
    for (const char* name : {"QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
                             "QT_FONT_DPI", "QT_USE_PHYSICAL_DPI", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION",
                             "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"})
        ::unsetenv(name);
    return true;
}();

}  // namespace
