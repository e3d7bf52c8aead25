#include "app/PageMenuEntries.h"

#include "hub/DeviceManager.h"
#include "ui/widgets/PlainText.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

#include <algorithm>
#include <utility>

namespace {

// Per turn of the event loop: an insert searches the menu's whole list, a title looks its screen
// up. Lists of the usual few dozen pages are done in the turn of the change. The menus of the
// window, the tray and the picker take their turns together, so each takes a third of one.
constexpr qsizetype editsPerTurn = 128;
constexpr qsizetype titlesPerTurn = 128;
// An open menu lays all its entries out again at each insert.
constexpr qsizetype editsPerTurnWhileOpen = 16;

}  // namespace

PageMenuEntries::PageMenuEntries(DeviceManager& deviceManager, QMenu* menu, QAction* end, QString namePrefix,
                                 QObject* parent)
    : QObject(parent), m_deviceManager(deviceManager), m_menu(menu), m_end(end), m_namePrefix(std::move(namePrefix)),
      m_nextSlice(this, [this] {
          if (!step(editsThisTurn(), titlesPerTurn))
              m_nextSlice.ask();
      })
{
    m_group = new QActionGroup(this);
    m_group->setExclusive(true);
}

void PageMenuEntries::setShortcuts(bool on)
{
    m_shortcuts = on;
    placeShortcuts();
}

void PageMenuEntries::setEnabled(bool enabled)
{
    // The group passes it on to every entry: only when it changes.
    if (m_group->isEnabled() != enabled)
        m_group->setEnabled(enabled);
}

void PageMenuEntries::pagesChanged()
{
    // A screen file saved with the same page list, as most saves are, keeps the target: only
    // the titles are checked again.
    QList<DeviceScreen> pages = m_deviceManager.availableScreens();
    if (pages != m_pages && !retarget(pages)) {
        m_placed = false;
        m_settledHead = 0;
        m_settledTail = 0;
        m_target.clear();
        m_wanted.clear();
        m_target.reserve(pages.size());
        m_wanted.reserve(pages.size());
        for (const DeviceScreen& screen : std::as_const(pages))
            if (!m_wanted.contains(screen)) {
                m_wanted.insert(screen);
                m_target.append(screen);
            }
    }
    m_pages = std::move(pages);
    m_titlesFrom = 0;
    if (!step(editsThisTurn(), titlesPerTurn))
        m_nextSlice.ask();
}

bool PageMenuEntries::retarget(const QList<DeviceScreen>& pages)
{
    // Pages come and go a few at a time, between a run that stayed at the start and one that
    // stayed at the end: only the pages between them change the set. That holds while no page
    // is listed twice, so that the target is the list itself.
    if (m_target.size() != m_pages.size())
        return false;
    qsizetype head = 0;
    const qsizetype common = std::min(m_pages.size(), pages.size());
    while (head < common && m_pages[head] == pages[head])
        ++head;
    qsizetype tail = 0;
    while (tail < common - head && m_pages[m_pages.size() - 1 - tail] == pages[pages.size() - 1 - tail])
        ++tail;
    for (qsizetype i = head; i < m_pages.size() - tail; ++i)
        m_wanted.remove(m_pages[i]);
    for (qsizetype i = head; i < pages.size() - tail; ++i) {
        if (m_wanted.contains(pages[i])) {
            // Listed twice: the caller makes the target from the whole list.
            return false;
        }
        m_wanted.insert(pages[i]);
    }
    m_target = pages;
    // Entries that matched the old target keep their head and tail: only the run between
    // them is walked. Entries still on their way to an older target are walked whole.
    if (m_placed) {
        m_settledHead = head;
        m_settledTail = tail;
    } else {
        m_settledHead = 0;
        m_settledTail = 0;
    }
    m_placed = false;
    return true;
}

qsizetype PageMenuEntries::editsThisTurn() const
{
    return m_menu->isVisible() ? editsPerTurnWhileOpen : editsPerTurn;
}

void PageMenuEntries::activeChanged()
{
    if (QAction* shown = m_byScreen.value(m_deviceManager.activeScreen()))
        shown->setChecked(true);
    else if (QAction* checked = m_group->checkedAction())
        checked->setChecked(false);
}

QAction* PageMenuEntries::make(const DeviceScreen& screen)
{
    auto* action = new QAction(PlainText::actionText(m_deviceManager.pageTitle(screen)), this);
    action->setCheckable(true);
    action->setChecked(screen == m_deviceManager.activeScreen());
    m_group->addAction(action);
    action->setObjectName(m_namePrefix + screen.id());
    // Choosing the page already shown changes nothing; the hub ignores it.
    connect(action, &QAction::triggered, this, [this, screen] {
        m_deviceManager.showScreen(screen);
        // The check mark follows the page shown, also when the hub declined the choice.
        activeChanged();
    });
    return action;
}

bool PageMenuEntries::step(qsizetype edits, qsizetype titles)
{
    // Once the entries match, later turns only check titles.
    const bool placed = m_placed || place(edits);
    placeShortcuts();
    if (!placed)
        return false;
    // A title follows its screen file: those of kept entries may have changed.
    for (; m_titlesFrom < m_actions.size(); ++m_titlesFrom) {
        if (titles-- == 0)
            return false;
        m_actions[m_titlesFrom]->setText(PlainText::actionText(m_deviceManager.pageTitle(m_shown[m_titlesFrom])));
    }
    return true;
}

bool PageMenuEntries::place(qsizetype edits)
{
    // Entries in the settled head and tail are wanted where they are; a walk cut short here
    // goes on next turn from what it left in place.
    for (qsizetype i = m_shown.size() - 1 - m_settledTail; i >= m_settledHead; --i) {
        if (m_wanted.contains(m_shown[i]))
            continue;
        if (edits-- == 0)
            return false;
        QAction* gone = m_actions[i];
        m_byScreen.remove(m_shown[i]);
        m_withShortcut.removeOne(gone);
        m_shown.removeAt(i);
        m_actions.removeAt(i);
        // Leaves the menu and the group with it.
        delete gone;
    }
    // What is left of the entries is wanted: each place in turn gets its page, moved from
    // further down or made.
    for (qsizetype i = m_settledHead; i < m_target.size() - m_settledTail; ++i) {
        const DeviceScreen& screen = m_target[i];
        if (i < m_shown.size() && m_shown[i] == screen)
            continue;
        if (edits-- == 0) {
            m_settledHead = i;
            return false;
        }
        QAction* before = i < m_actions.size() ? m_actions[i] : m_end;
        if (QAction* kept = m_byScreen.value(screen)) {
            const qsizetype from = m_actions.indexOf(kept, i);
            m_menu->insertAction(before, kept);
            m_shown.move(from, i);
            m_actions.move(from, i);
        } else {
            QAction* made = make(screen);
            m_menu->insertAction(before, made);
            m_shown.insert(i, screen);
            m_actions.insert(i, made);
            m_byScreen.insert(screen, made);
        }
    }
    Q_ASSERT(m_shown == m_target);
    m_placed = true;
    m_settledHead = 0;
    m_settledTail = 0;
    return true;
}

void PageMenuEntries::placeShortcuts()
{
    const QList<QAction*> head = m_shortcuts ? m_actions.first(std::min<qsizetype>(m_actions.size(), pagesWithShortcuts))
                                             : QList<QAction*>();
    for (QAction* action : std::as_const(m_withShortcut))
        if (!head.contains(action))
            action->setShortcut(QKeySequence());
    for (qsizetype i = 0; i < head.size(); ++i)
        head[i]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + i)));
    m_withShortcut = head;
}
