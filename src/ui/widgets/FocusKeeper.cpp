#include "ui/widgets/FocusKeeper.h"

#include "ui/widgets/ScreenReaderNotice.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QScrollArea>
#include <QWidget>

#include <algorithm>

namespace {

// Room kept around a control brought into sight, where the area has it: its label or message
// beside or under it shows too.
constexpr int sightMargin = 50;

// The scroll areas around `widget` whose content holds it, the innermost first.
QList<QScrollArea*> areasAround(const QWidget* widget)
{
    QList<QScrollArea*> areas;
    for (QWidget* up = widget->parentWidget(); up && !up->isWindow(); up = up->parentWidget()) {
        auto* area = qobject_cast<QScrollArea*>(up);
        if (area && area->widget() && area->widget()->isAncestorOf(widget))
            areas.append(area);
    }
    return areas;
}

QRect rectIn(const QWidget* widget, const QWidget* ancestor)
{
    return {widget->mapTo(ancestor, QPoint(0, 0)), widget->size()};
}

bool showsIn(const QWidget* widget, const QScrollArea* area)
{
    const QRect shown = area->viewport()->rect();
    const QRect placed = rectIn(widget, area->viewport());
    if (shown.contains(placed))
        return true;
    const bool larger = placed.width() > shown.width() || placed.height() > shown.height();
    return larger && shown.intersects(placed);
}

// A margin that leaves room for the extent inside the visible length.
int marginFor(int extent, int visible)
{
    return std::clamp((visible - extent) / 2, 0, sightMargin);
}

// A widget Tab would stop at in `window`.
bool isTabStop(const QWidget* widget, const QWidget* window)
{
    return (widget->focusPolicy() & Qt::TabFocus) && !widget->focusProxy() && widget->window() == window &&
           widget->isEnabled() && widget->isVisibleTo(window);
}

// The nearest Tab stop to `old` inside `page`, after it or before it: of the two, the first
// that is in sight, so the page stays still where it can; else the one after, else the one
// before; none when the page has no other.
QWidget* neighbourIn(QWidget* old, const QWidget* page)
{
    const QWidget* window = old->window();
    QWidget* after = nullptr;
    for (QWidget* next = old->nextInFocusChain(); next && next != old; next = next->nextInFocusChain()) {
        if (!isTabStop(next, window))
            continue;
        if (page->isAncestorOf(next))
            after = next;
        break;
    }
    QWidget* before = nullptr;
    for (QWidget* previous = old->previousInFocusChain(); previous && previous != old;
         previous = previous->previousInFocusChain()) {
        if (!isTabStop(previous, window))
            continue;
        if (page->isAncestorOf(previous))
            before = previous;
        break;
    }
    for (QWidget* candidate : {after, before})
        if (candidate && FocusKeeper::isInSight(candidate))
            return candidate;
    return after ? after : before;
}

bool isModifier(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock: return true;
    default: return false;
    }
}

// The keeper installed last: the application has one.
QPointer<FocusKeeper>& installedKeeper()
{
    static QPointer<FocusKeeper> keeper;
    return keeper;
}

}  // namespace

void FocusKeeper::install(QApplication* application, QObject* owner)
{
    auto* keeper = new FocusKeeper(owner);
    installedKeeper() = keeper;
    application->installEventFilter(keeper);
    connect(application, &QApplication::focusChanged, keeper, &FocusKeeper::focusChanged);
}

FocusKeeper::FocusKeeper(QObject* owner) : QObject(owner) {}

bool FocusKeeper::isInSight(const QWidget* widget)
{
    const QList<QScrollArea*> areas = areasAround(widget);
    return std::all_of(areas.cbegin(), areas.cend(), [widget](const QScrollArea* area) { return showsIn(widget, area); });
}

void FocusKeeper::bringIntoSight(QWidget* widget)
{
    // The inner areas first: the outer ones then see where the widget stands in them.
    for (QScrollArea* area : areasAround(widget)) {
        if (showsIn(widget, area))
            continue;
        const QRect placed = rectIn(widget, area->widget());
        const QSize shown = area->viewport()->size();
        const int xMargin = marginFor(placed.width(), shown.width());
        const int yMargin = marginFor(placed.height(), shown.height());
        // The far corner first, then the near one: a widget larger than the area shows from
        // its top left.
        area->ensureVisible(placed.right(), placed.bottom(), xMargin, yMargin);
        area->ensureVisible(placed.left(), placed.top(), xMargin, yMargin);
    }
}

void FocusKeeper::showWithFocus(QWidget* message, const QString& text)
{
    // Looked at when the page's content has grown to hold it.
    if (FocusKeeper* keeper = installedKeeper())
        keeper->m_message = message;
    ScreenReaderNotice::say(message, text);
}

namespace {

// The page of a control that went away (disabled or hidden) while it had the focus: the
// outermost scroll area's content, so a column scrolling inside a page is part of it. None for
// a control outside every page, or one being destroyed, which has left the focus chain already.
const QWidget* pageLeft(const QWidget* old)
{
    if (!old || !old->nextInFocusChain() || (old->isEnabled() && old->isVisibleTo(old->window())))
        return nullptr;
    const QList<QScrollArea*> areas = areasAround(old);
    if (areas.isEmpty() || !areas.last()->widget()->isVisible())
        return nullptr;
    return areas.last()->widget();
}

}  // namespace

bool FocusKeeper::handOn(QWidget* window)
{
    FocusKeeper* keeper = installedKeeper();
    QWidget* old = QApplication::focusWidget();
    if (!keeper || !old || old->window() != window)
        return false;
    const QWidget* page = pageLeft(old);
    QWidget* neighbour = page ? neighbourIn(old, page) : nullptr;
    if (!neighbour)
        return false;
    keeper->hand(old, neighbour);
    return true;
}

void FocusKeeper::hand(QWidget* old, QWidget* neighbour)
{
    neighbour->setFocus(Qt::OtherFocusReason);
    // A control hidden is gone from where the user works; one disabled is busy for a while.
    if (old && old->isVisibleTo(old->window())) {
        m_handedFrom = old;
        m_handedTo = neighbour;
    }
}

void FocusKeeper::focusChanged(QWidget* old, QWidget* now)
{
    // A focus given with an event was followed as it came in; one taken away comes without.
    if (now != m_focus)
        follow(now);
    // A window that asks handOn() hands the focus on at once; elsewhere it is brought back from
    // where Qt sent it.
    const QWidget* page = pageLeft(old);
    if (!page || (now && page->isAncestorOf(now)))
        return;
    QWidget* neighbour = neighbourIn(old, page);
    if (!neighbour)
        return;
    // After every receiver of this change has heard of it, so each hears of the next one in
    // order; code that placed the focus itself meanwhile keeps its choice.
    QMetaObject::invokeMethod(
        this,
        [this, old = QPointer<QWidget>(old), now = QPointer<QWidget>(now), neighbour = QPointer<QWidget>(neighbour)] {
            if (!neighbour || QApplication::focusWidget() != now.data() || !isTabStop(neighbour, neighbour->window()))
                return;
            hand(old, neighbour);
        },
        Qt::QueuedConnection);
}

void FocusKeeper::follow(QWidget* focus)
{
    // A message answered the control the user has left.
    if (focus != m_focus)
        m_message.clear();
    // The user went on from the neighbour: the focus stays where they took it.
    if (focus != m_handedTo) {
        m_handedFrom.clear();
        m_handedTo.clear();
    }
    m_focus = focus;
    m_contents.clear();
    m_focusInSight = false;
    if (!focus)
        return;
    for (QScrollArea* area : areasAround(focus))
        m_contents.append(area->widget());
    m_focusInSight = isInSight(focus);
}

bool FocusKeeper::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::FocusIn: {
        // Also sent to the widget's style.
        if (!watched->isWidgetType() || watched != QApplication::focusWidget())
            break;
        follow(static_cast<QWidget*>(watched));
        if (m_contents.isEmpty())
            break;
        // A click lands on what the user sees, and focus that comes back with the window or
        // from a menu comes back where the user left it; the keyboard and the program may
        // place it anywhere.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::MouseFocusReason || reason == Qt::ActiveWindowFocusReason ||
            reason == Qt::PopupFocusReason || reason == Qt::MenuBarFocusReason)
            break;
        bringIntoSight(m_focus);
        m_focusInSight = true;
        // Once the layouts due have run: a widget just shown may not stand in its place yet.
        scheduleCheck();
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::KeyPress: {
        // The user works in the neighbour that took the focus: it stays there. A modifier alone
        // is no work (a screen reader's user presses Control to silence it).
        const bool modifierAlone =
            event->type() == QEvent::KeyPress && isModifier(static_cast<QKeyEvent*>(event)->key());
        if (watched == m_handedTo && !modifierAlone) {
            m_handedFrom.clear();
            m_handedTo.clear();
        }
        // A key that works the focused control, or types into it, is the user working there:
        // it comes back into sight first, wherever the wheel took the page. Keys that move or
        // scroll are left to do so.
        if (event->type() != QEvent::KeyPress || watched != m_focus || m_contents.isEmpty())
            break;
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const bool works = key->key() == Qt::Key_Space || key->key() == Qt::Key_Return ||
                           key->key() == Qt::Key_Enter || key->key() == Qt::Key_Menu ||
                           (!text.isEmpty() && text.front().isPrint());
        if (works && !isInSight(m_focus)) {
            bringIntoSight(m_focus);
            m_focusInSight = true;
        }
        break;
    }
    case QEvent::EnabledChange:
        if (watched == m_handedFrom && m_handedTo && QApplication::focusWidget() == m_handedTo &&
            isTabStop(m_handedFrom, m_handedFrom->window()))
            m_handedFrom->setFocus(Qt::OtherFocusReason);
        break;
    case QEvent::Move:
        // The content moves when its area scrolls, by the user's hand or by ours.
        if (m_focus && m_contents.contains(watched))
            m_focusInSight = isInSight(m_focus);
        break;
    case QEvent::Resize:
        // Rows came or went, or the window changed size: the area updates its scroll bars
        // after this, so the focus is looked at once it has.
        if (m_focus && m_contents.contains(watched))
            scheduleCheck();
        break;
    default:
        break;
    }
    return false;
}

void FocusKeeper::scheduleCheck()
{
    if (m_checkScheduled)
        return;
    m_checkScheduled = true;
    QMetaObject::invokeMethod(this, &FocusKeeper::check, Qt::QueuedConnection);
}

void FocusKeeper::check()
{
    m_checkScheduled = false;
    if (!m_focus || m_focus != QApplication::focusWidget() || !m_focusInSight || !m_focus->isVisible())
        return;
    // The message first, then the focus, which wins where both do not fit.
    if (m_message && m_message->isVisible() && !isInSight(m_message) &&
        areasAround(m_message).value(0) == areasAround(m_focus).value(0))
        bringIntoSight(m_message);
    if (!isInSight(m_focus))
        bringIntoSight(m_focus);
}
