#pragma once
// One XDG desktop entry of type Application, as read from its .desktop file: the fields
// Tarv needs to name, match and launch an installed application.

#include <QByteArray>
#include <QString>

#include <optional>

struct DesktopEntry {
    QString id;             // desktop file id without ".desktop", e.g. "org.gnome.Nautilus"
    QString filePath;       // absolute path of the .desktop file
    QString name;           // Name, localised for the current locale when the file has it
    QString icon;           // Icon: a theme icon name or an absolute path; may be empty
    QString exec;           // Exec after the general string unescaping; may be empty
    QString tryExec;
    QString workingDirectory; // Path
    QString startupWMClass;
    bool terminal = false;
    bool noDisplay = false;

    // Reads the [Desktop Entry] group. nullopt when the group is missing, the type is not
    // "Application", there is no Name, or the entry is Hidden (a deleted entry).
    // `localeName` is a POSIX locale name such as "de_DE" or "sr_RS@latin".
    static std::optional<DesktopEntry> parse(const QByteArray& contents, const QString& id,
                                             const QString& filePath, const QString& localeName);

    // The general string escapes of the format: \s \n \t \r \\. An unknown escape keeps
    // the backslash, so nothing of the value is lost.
    static QString unescapeValue(const QString& raw);
};

