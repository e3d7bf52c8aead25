#pragma once
// One checkable entry per page of the device in a menu, in the hub's order, kept in line with
// the hub by touching only the entries that changed. A menu keeps its entries in a list that
// every insert searches, so a long run of new entries (a folder of thousands of screens read for
// the first time) is made a slice per turn of the event loop, and the titles are checked a slice
// per turn too: the window never waits on the whole list at once.

#include "pages/DeviceScreen.h"
#include "platform/NextTurn.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>

class DeviceManager;
class QAction;
class QActionGroup;
class QMenu;

class PageMenuEntries : public QObject {
public:
    static constexpr int pagesWithShortcuts = 9;

    // Entries go before `end` (after the menu's last entry when null), are named `namePrefix`
    // and the page's id, show their page when chosen, and belong to this object.
    PageMenuEntries(DeviceManager& deviceManager, QMenu* menu, QAction* end, QString namePrefix, QObject* parent);

    // Ctrl+1 … Ctrl+9 on the first nine entries, also as pages come and go.
    void setShortcuts(bool on);
    void setEnabled(bool enabled);
    // The hub's page list or a page's title may have changed.
    void pagesChanged();
    // The check mark goes to the page shown (none when it has no entry).
    void activeChanged();
    // The entries in menu order, as far as they are made.
    QList<QAction*> actions() const { return m_actions; }

private:
    // Brings the target and the wanted set from m_pages to `pages` by what changed between
    // them; false when they must be made anew.
    bool retarget(const QList<DeviceScreen>& pages);
    // Does at most `edits` inserts, moves or removals and checks at most `titles` titles;
    // true when the entries match the hub.
    bool step(qsizetype edits, qsizetype titles);
    // Removes, moves and makes entries until they match the target, at most `edits` of them;
    // true when they do.
    bool place(qsizetype edits);
    qsizetype editsThisTurn() const;
    QAction* make(const DeviceScreen& screen);
    void placeShortcuts();

    DeviceManager& m_deviceManager;
    QMenu* m_menu = nullptr;
    QAction* m_end = nullptr;
    QString m_namePrefix;
    QActionGroup* m_group = nullptr;
    bool m_shortcuts = false;
    QList<QAction*> m_withShortcut;

    // The hub's page list the target was made from.
    QList<DeviceScreen> m_pages;
    // What the entries should become, without repeats.
    QList<DeviceScreen> m_target;
    QSet<DeviceScreen> m_wanted;
    // What they are: pages and their entries, index for index.
    QList<DeviceScreen> m_shown;
    QList<QAction*> m_actions;
    QHash<DeviceScreen, QAction*> m_byScreen;
    // The entries match the target.
    bool m_placed = true;
    // So many entries at the start and at the end are known to be in place already.
    qsizetype m_settledHead = 0;
    qsizetype m_settledTail = 0;
    // Titles of the entries from here on are still to be checked.
    qsizetype m_titlesFrom = 0;
    NextTurn m_nextSlice;
};
