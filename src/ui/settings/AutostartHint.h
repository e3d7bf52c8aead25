#pragma once
// Where the desktop does not open the entries of ~/.config/autostart by itself (sway and the
// other wlroots compositors, as they come), the line of its own configuration that opens Tarv
// at login, for Settings to show beside "Open Tarv at login".

#include <QProcessEnvironment>
#include <QString>

#include <optional>

struct AutostartHint {
    QString desktop;    // as the user knows it: "Sway"
    QString configFile; // where the line goes, from the home folder: "~/.config/sway/config"
    QString line;       // "exec tarv-app"

    // The hint for the session that `environment` describes, for starting `program`; none
    // where the desktop runs autostart entries, or is not known to skip them.
    static std::optional<AutostartHint> forSession(const QProcessEnvironment& environment, const QString& program);
    // How a shell command names `program`: by its name where the search path of `environment`
    // finds this very file under it, else by its path, quoted for the shell where it needs it.
    static QString command(const QProcessEnvironment& environment, const QString& program);

    // The sentence before the line.
    QString text() const;

    bool operator==(const AutostartHint&) const = default;
};
