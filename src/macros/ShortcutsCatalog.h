#pragma once
// The names of the user's shortcuts, sorted for the macro editor's picker, with a loading
// flag; loaded on request through the action runner's shortcuts tool, and again whenever the
// shortcuts folder changes once it has been loaded.

#include "macros/DesktopActionRunner.h"

#include <QFuture>
#include <QObject>
#include <QStringList>

#include <functional>

class FolderWatcher;

class ShortcutsCatalog : public QObject {
    Q_OBJECT
public:
    explicit ShortcutsCatalog(QObject* parent = nullptr);

    const QStringList& names() const { return m_names; }
    bool isLoading() const { return m_isLoading; }

    // Starts a load unless one is running; a running load is neither restarted nor queued.
    // The first load starts watching the shortcuts folder.
    void load();

    // The names the tool prints, in its order.
    QFuture<QStringList> listShortcuts() const;

    // Locale-aware, case-insensitive and stable.
    static QStringList sorted(QStringList names);

    DesktopActionRunner runner;

signals:
    void namesChanged();
    void isLoadingChanged();

private:
    void setNames(const QStringList& names);
    void setLoading(bool loading);

    void watchFolder();

    QStringList m_names;
    bool m_isLoading = false;
    // A change of the folder while a load ran: load again when it ends.
    bool m_changedWhileLoading = false;
    FolderWatcher* m_watcher = nullptr;
};
