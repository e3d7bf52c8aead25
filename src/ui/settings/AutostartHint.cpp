#include "ui/settings/AutostartHint.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace {

bool isSafeForShell(const QString& text)
{
    return !text.isEmpty() && std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
            || QStringView(u"/._-+,:@%").contains(c);
    });
}

// The text as one word of a shell command.
QString shellQuoted(const QString& text)
{
    if (isSafeForShell(text))
        return text;
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

} // namespace

QString AutostartHint::command(const QProcessEnvironment& environment, const QString& program)
{
    const QString name = QFileInfo(program).fileName();
    const QString path = environment.value(QStringLiteral("PATH"));
    if (isSafeForShell(name) && !path.isEmpty()) {
        const QString found = QStandardPaths::findExecutable(name, path.split(u':', Qt::SkipEmptyParts));
        const QString canonical = QFileInfo(program).canonicalFilePath();
        if (!found.isEmpty() && !canonical.isEmpty() && QFileInfo(found).canonicalFilePath() == canonical)
            return name;
    }
    return shellQuoted(program);
}

std::optional<AutostartHint> AutostartHint::forSession(const QProcessEnvironment& environment, const QString& program)
{
    const QStringList desktops =
        environment.value(QStringLiteral("XDG_CURRENT_DESKTOP")).split(u':', Qt::SkipEmptyParts);
    const auto is = [&](const char* name) { return desktops.contains(QLatin1String(name), Qt::CaseInsensitive); };
    const QString run = command(environment, program);
    // Sway and Hyprland say who they are to their programs even where XDG_CURRENT_DESKTOP is
    // not set (a session started from a console).
    if (environment.contains(QStringLiteral("SWAYSOCK")) || is("sway"))
        return AutostartHint{QStringLiteral("Sway"), QStringLiteral("~/.config/sway/config"),
                             QStringLiteral("exec ") + run};
    if (environment.contains(QStringLiteral("HYPRLAND_INSTANCE_SIGNATURE")) || is("Hyprland"))
        return AutostartHint{QStringLiteral("Hyprland"), QStringLiteral("~/.config/hypr/hyprland.conf"),
                             QStringLiteral("exec-once = ") + run};
    if (is("river"))
        return AutostartHint{QStringLiteral("river"), QStringLiteral("~/.config/river/init"),
                             // Its init is a shell script, and river hands the one word to a shell again.
                             QStringLiteral("riverctl spawn ") + shellQuoted(run)};
    if (is("labwc"))
        return AutostartHint{QStringLiteral("labwc"), QStringLiteral("~/.config/labwc/autostart"), run + QStringLiteral(" &")};
    if (is("Wayfire"))
        return AutostartHint{QStringLiteral("Wayfire"), QStringLiteral("~/.config/wayfire.ini"),
                             QStringLiteral("tarv = ") + run};
    return std::nullopt;
}

QString AutostartHint::text() const
{
    QString where = configFile;
    if (desktop == QLatin1String("Wayfire"))
        where += QStringLiteral(", in its [autostart] section");
    return desktop + QStringLiteral(" does not open the apps of ~/.config/autostart by itself. To open Tarv at "
                                    "login, add this line to ") + where + u':';
}
