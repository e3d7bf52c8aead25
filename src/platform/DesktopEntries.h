#pragma once
// Finds installed applications: XDG desktop entries in the application folders, looked up
// by desktop file id or listed whole (for matching windows to applications).

#include "platform/DesktopEntry.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class DesktopEntries {
public:
    // $XDG_DATA_HOME/applications, then each of $XDG_DATA_DIRS + /applications, with the
    // defaults of the base directory rules; most important first.
    static QStringList applicationDirs();

    // The locale name that localised keys are chosen by (LC_ALL, LC_MESSAGES, LANG).
    static QString messagesLocale();

    // A desktop file id names a file inside an application folder; "-" may stand for a
    // subfolder separator. Ids that could leave the folders are refused.
    static bool isValidId(const QString& id);

    // The entry with this id, or nullopt when it is not installed: no file, a file that is
    // not an application, a Hidden entry, or a TryExec program that is missing. The first
    // folder holding a file of that id decides, as the rules require.
    static std::optional<DesktopEntry> find(const QString& id);
    static std::optional<DesktopEntry> find(const QString& id, const QStringList& dirs);

    // Every installed application, once per id, in folder precedence order.
    static QList<DesktopEntry> all(const QStringList& dirs);

    static bool tryExecSucceeds(const DesktopEntry& entry);
};

// A cached list of all entries, re-read only when one of the application folders changed.
class DesktopEntryIndex {
public:
    const QList<DesktopEntry>& entries();

private:
    QStringList m_signature;
    QList<DesktopEntry> m_entries;
    bool m_loaded = false;
};

