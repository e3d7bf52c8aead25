#include "ui/widgets/LazyRowList.h"

#include "ui/widgets/TabOrder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <qdrawutil.h>

#include <algorithm>

namespace {

// A sunken line between two rows, when they have one.
constexpr int lineHeight = 2;
// Time for making rows in one turn of the event loop, the window being drawn again between two
// turns: a row takes from a millisecond to several, with what it shows. One is made at least,
// and another only while it fits, taken to cost what the others did.
constexpr qint64 buildNsPerTurn = 5'000'000;

// The last stop of a row, or none.
QWidget* lastTabStop(QWidget* row)
{
    const QList<QWidget*> stops = TabOrder::stops(row);
    return stops.isEmpty() ? nullptr : stops.last();
}

}  // namespace

LazyRowList::LazyRowList(RowMaker makeRow, Look look, QWidget* parent)
    : QWidget(parent), m_makeRow(std::move(makeRow)), m_look(std::move(look))
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    m_tops = {0};
    m_buildTimer.setSingleShot(true);
    m_buildTimer.setInterval(0);
    connect(&m_buildTimer, &QTimer::timeout, this, &LazyRowList::buildInSight);
    m_relayoutTimer.setSingleShot(true);
    m_relayoutTimer.setInterval(0);
    connect(&m_relayoutTimer, &QTimer::timeout, this, &LazyRowList::relayout);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { followFocus(now); });
    // Made with the list, so it stands where the page put the list in the keyboard order: rows
    // are put after it. Hidden, Tab never stops at it.
    m_tabPlace = new QWidget(this);
    m_tabPlace->setFocusPolicy(Qt::TabFocus);
    m_tabPlace->hide();
}

void LazyRowList::setKeys(const QStringList& keys)
{
    // Keys come and go a few at a time, between a run that stayed at the start and one that
    // stayed at the end: only the run between them is indexed anew, and the places after it
    // move by the difference.
    const qsizetype common = std::min(keys.size(), m_keys.size());
    qsizetype head = 0;
    while (head < common && keys[head] == m_keys[head])
        ++head;
    if (head == keys.size() && head == m_keys.size())
        return;
    qsizetype tail = 0;
    while (tail < common - head && keys[keys.size() - 1 - tail] == m_keys[m_keys.size() - 1 - tail])
        ++tail;
    // A list with nothing kept at either end, as one filled for the first time, is indexed whole.
    std::optional<QList<QWidget*>> gone;
    if (head + tail > 0)
        gone = replaceRun(keys, head, tail);
    if (!gone)
        gone = replaceAll(keys);
    m_keys = keys;
    for (QWidget* row : std::as_const(*gone)) {
        row->hide();
        row->deleteLater();
    }
    relayout();
    update();
    // Rows kept may stand in another order now.
    QWidget* before = m_tabPlace;
    for (const Entry& entry : std::as_const(m_entries))
        if (entry.row)
            before = TabOrder::place(before, TabOrder::stops(entry.row));
    m_buildTimer.start();
}

std::optional<QList<QWidget*>> LazyRowList::replaceRun(const QStringList& keys, qsizetype head, qsizetype tail)
{
    // A key listed twice has one place in the index: such lists are indexed whole.
    if (m_index.size() != m_entries.size())
        return std::nullopt;
    const qsizetype oldEnd = m_entries.size() - tail;
    const qsizetype newEnd = keys.size() - tail;
    for (qsizetype i = head; i < oldEnd; ++i)
        m_index.remove(m_entries[i].key);
    if (const int moved = int(newEnd - oldEnd); moved != 0)
        for (auto it = m_index.begin(); it != m_index.end(); ++it)
            if (*it >= oldEnd)
                *it += moved;
    m_index.reserve(keys.size());
    for (qsizetype i = head; i < newEnd; ++i) {
        if (m_index.contains(keys[i]))
            return std::nullopt;
        m_index.insert(keys[i], int(i));
    }
    QHash<QString, QWidget*> kept;
    for (qsizetype i = head; i < oldEnd; ++i)
        if (m_entries[i].row)
            kept.insert(m_entries[i].key, m_entries[i].row);
    QList<Entry> entries;
    entries.reserve(keys.size());
    for (qsizetype i = 0; i < head; ++i)
        entries.append(std::move(m_entries[i]));
    for (qsizetype i = head; i < newEnd; ++i)
        entries.append(Entry{keys[i], kept.take(keys[i])});
    for (qsizetype i = oldEnd; i < m_entries.size(); ++i)
        entries.append(std::move(m_entries[i]));
    m_entries = std::move(entries);
    return kept.values();
}

QList<QWidget*> LazyRowList::replaceAll(const QStringList& keys)
{
    QHash<QString, QWidget*> kept;
    for (const Entry& entry : std::as_const(m_entries))
        if (entry.row)
            kept.insert(entry.key, entry.row);
    m_entries.clear();
    m_entries.reserve(keys.size());
    m_index.clear();
    m_index.reserve(keys.size());
    for (const QString& key : keys) {
        m_index.insert(key, int(m_entries.size()));
        m_entries.append(Entry{key, kept.take(key)});
    }
    return kept.values();
}

QWidget* LazyRowList::builtRow(const QString& key) const
{
    const int index = m_index.value(key, -1);
    return index < 0 ? nullptr : m_entries[index].row;
}

QWidget* LazyRowList::row(const QString& key)
{
    const int index = m_index.value(key, -1);
    if (index < 0)
        return nullptr;
    if (m_entries[index].row)
        return m_entries[index].row;
    QWidget* made = build(index);
    relayout();
    return made;
}

QList<QWidget*> LazyRowList::builtRows() const
{
    QList<QWidget*> out;
    for (const Entry& entry : m_entries)
        if (entry.row)
            out.append(entry.row);
    return out;
}

QWidget* LazyRowList::build(int index)
{
    Entry& entry = m_entries[index];
    entry.row = m_makeRow(entry.key);
    entry.row->setParent(this);
    entry.row->installEventFilter(this);
    entry.row->show();
    // Qt puts a new widget last in the window's keyboard order, after every widget of the page:
    // the row's stops go after the nearest row above that was made and takes the focus, or
    // after the list's own place. The row's other widgets stay last; to place a stop, Qt looks
    // back past every widget before it that takes no focus, which over thousands of rows would
    // cost more than the rows themselves. A hidden stop after the row's widgets ends that walk
    // at the next row; Tab never stops at it.
    auto* end = new QWidget(entry.row);
    end->setFocusPolicy(Qt::TabFocus);
    end->hide();
    QWidget* before = nullptr;
    for (int above = index - 1; above >= 0 && !before; --above)
        if (m_entries[above].row)
            before = lastTabStop(m_entries[above].row);
    TabOrder::place(before ? before : m_tabPlace, TabOrder::stops(entry.row));
    return entry.row;
}

void LazyRowList::buildInSight()
{
    if (!isVisible() || m_entries.isEmpty())
        return;
    // The part of the list inside every ancestor, in the list's own coordinates: what the
    // scroll area shows of it.
    QRect sight = rect();
    QPoint offset;
    for (const QWidget* widget = this; !widget->isWindow() && widget->parentWidget();
         widget = widget->parentWidget()) {
        offset += widget->pos();
        sight = sight.translated(widget->pos()) & widget->parentWidget()->rect();
    }
    if (sight.isEmpty())
        return;
    sight.translate(-offset);
    // Half a screen beyond each edge, so scrolling a little meets rows already made.
    sight.adjust(0, -sight.height() / 2, 0, sight.height() / 2);
    const auto [first, end] = entriesIn(sight);
    QElapsedTimer spent;
    spent.start();
    int made = 0;
    for (int i = first; i < end; ++i) {
        if (m_entries[i].row)
            continue;
        if (made > 0 && spent.nsecsElapsed() / made * (made + 1) > buildNsPerTurn)
            break;
        build(i);
        ++made;
    }
    if (made == 0)
        return;
    relayout();
    // The rows just made may have pushed others into sight; the next turn looks again.
    m_buildTimer.start();
}

std::pair<int, int> LazyRowList::entriesIn(const QRect& rect) const
{
    const auto begin = m_tops.cbegin();
    const auto last = m_tops.cbegin() + m_entries.size();
    const int first = std::max(0, int(std::upper_bound(begin, last, rect.top()) - begin) - 1);
    const int end = int(std::lower_bound(begin, last, rect.bottom() + 1) - begin);
    return {first, std::max(first, end)};
}

int LazyRowList::rowHeight(const Entry& entry, int width, int estimate) const
{
    if (!entry.row)
        return estimate;
    if (width > 0 && entry.row->hasHeightForWidth())
        return entry.row->heightForWidth(width);
    return entry.row->sizeHint().height();
}

int LazyRowList::gap() const
{
    return m_look.lines ? 2 * m_look.spacing + lineHeight : m_look.spacing;
}

void LazyRowList::relayout()
{
    m_relayoutTimer.stop();
    const int width = this->width();
    const int before = m_tops.last();
    m_tops.resize(m_entries.size() + 1);
    // Asked once: it measures the font, and thousands of rows may not be made yet.
    const int estimate = m_look.estimatedHeight(*this);
    int y = 0;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        m_tops[i] = y;
        const Entry& entry = m_entries[i];
        const int height = rowHeight(entry, width, estimate);
        if (entry.row && entry.row->geometry() != QRect(0, y, width, height))
            entry.row->setGeometry(0, y, width, height);
        y += height + (i + 1 < m_entries.size() ? gap() : 0);
    }
    m_tops.last() = y;
    if (y != before)
        updateGeometry();
    update();
}

void LazyRowList::scheduleRelayout()
{
    m_relayoutTimer.start();
}

void LazyRowList::followFocus(QWidget* now)
{
    // Tab and Shift+Tab walk on from a row into the next one: it is made before it is needed.
    QWidget* child = now;
    while (child && child->parentWidget() != this)
        child = child->parentWidget();
    if (!child)
        return;
    // Rows sit at their places, unless a layout is still to come.
    int index = entriesIn(QRect(0, child->y(), 1, 1)).first;
    if (index >= m_entries.size() || m_entries[index].row != child) {
        const auto found = std::find_if(m_entries.cbegin(), m_entries.cend(),
                                        [child](const Entry& entry) { return entry.row == child; });
        if (found == m_entries.cend())
            return;
        index = int(found - m_entries.cbegin());
    }
    bool made = false;
    for (const int next : {index - 1, index + 1})
        if (next >= 0 && next < m_entries.size() && !m_entries[next].row) {
            build(next);
            made = true;
        }
    if (made)
        relayout();
}

bool LazyRowList::hasHeightForWidth() const
{
    return true;
}

int LazyRowList::heightForWidth(int width) const
{
    if (width == this->width())
        return m_tops.last();
    const int estimate = m_look.estimatedHeight(*this);
    int height = 0;
    for (const Entry& entry : m_entries)
        height += rowHeight(entry, width, estimate);
    return height + int(std::max<qsizetype>(0, m_entries.size() - 1)) * gap();
}

QSize LazyRowList::sizeHint() const
{
    int width = 0;
    for (const Entry& entry : m_entries)
        if (entry.row)
            width = std::max(width, entry.row->sizeHint().width());
    return {width, m_tops.last()};
}

QSize LazyRowList::minimumSizeHint() const
{
    int width = 0;
    for (const Entry& entry : m_entries)
        if (entry.row)
            width = std::max(width, entry.row->minimumSizeHint().width());
    return {width, 0};
}

bool LazyRowList::event(QEvent* event)
{
    if (event->type() == QEvent::LayoutRequest)
        scheduleRelayout();
    return QWidget::event(event);
}

bool LazyRowList::eventFilter(QObject* watched, QEvent* event)
{
    // A row whose content changed lays itself out again first; the list follows its new height.
    if (event->type() == QEvent::LayoutRequest)
        scheduleRelayout();
    return QWidget::eventFilter(watched, event);
}

void LazyRowList::paintEvent(QPaintEvent* event)
{
    const auto [first, end] = entriesIn(event->rect());
    QPainter painter(this);
    bool unbuilt = false;
    for (int i = first; i < end; ++i) {
        unbuilt = unbuilt || !m_entries[i].row;
        if (m_look.lines && i + 1 < m_entries.size()) {
            const int y = m_tops[i + 1] - gap() + m_look.spacing;
            qDrawShadeLine(&painter, 0, y, width() - 1, y, palette(), true, 1, 0);
        }
    }
    if (unbuilt)
        m_buildTimer.start();
}

void LazyRowList::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
    m_buildTimer.start();
}
