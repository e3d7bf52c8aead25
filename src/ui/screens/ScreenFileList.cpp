#include "ui/screens/ScreenFileList.h"

#include "ui/screens/ScreenFileRow.h"

#include <QApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <qdrawutil.h>

#include <algorithm>

namespace {

// Between two rows: space, a sunken line, space.
constexpr int spacing = 6;
constexpr int lineHeight = 2;
constexpr int gap = spacing + lineHeight + spacing;
// Rows made in one turn of the event loop: a row takes about a millisecond to make, and the
// window is drawn again between two turns.
constexpr int rowsPerTurn = 4;

}  // namespace

ScreenFileList::ScreenFileList(RowMaker makeRow, QWidget* parent) : QWidget(parent), m_makeRow(std::move(makeRow))
{
    setObjectName(QStringLiteral("fileRows"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    m_tops = {0};
    m_buildTimer.setSingleShot(true);
    m_buildTimer.setInterval(0);
    connect(&m_buildTimer, &QTimer::timeout, this, &ScreenFileList::buildInSight);
    m_relayoutTimer.setSingleShot(true);
    m_relayoutTimer.setInterval(0);
    connect(&m_relayoutTimer, &QTimer::timeout, this, &ScreenFileList::relayout);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { followFocus(now); });
}

void ScreenFileList::setFiles(const QStringList& fileNames)
{
    if (fileNames == m_names)
        return;
    QHash<QString, ScreenFileRow*> kept;
    for (const Entry& entry : std::as_const(m_entries))
        if (entry.row)
            kept.insert(entry.name, entry.row);
    m_names = fileNames;
    m_entries.clear();
    m_entries.reserve(fileNames.size());
    m_index.clear();
    m_index.reserve(fileNames.size());
    for (const QString& name : fileNames) {
        m_index.insert(name, int(m_entries.size()));
        m_entries.append(Entry{name, kept.take(name)});
    }
    for (ScreenFileRow* gone : std::as_const(kept)) {
        gone->hide();
        gone->deleteLater();
    }
    relayout();
    update();
    if (onRowsChanged)
        onRowsChanged();
    m_buildTimer.start();
}

ScreenFileRow* ScreenFileList::builtRow(const QString& fileName) const
{
    const int index = m_index.value(fileName, -1);
    return index < 0 ? nullptr : m_entries[index].row;
}

ScreenFileRow* ScreenFileList::row(const QString& fileName)
{
    const int index = m_index.value(fileName, -1);
    if (index < 0)
        return nullptr;
    if (m_entries[index].row)
        return m_entries[index].row;
    ScreenFileRow* made = build(index);
    relayout();
    if (onRowsChanged)
        onRowsChanged();
    return made;
}

QList<ScreenFileRow*> ScreenFileList::builtRows() const
{
    QList<ScreenFileRow*> out;
    for (const Entry& entry : m_entries)
        if (entry.row)
            out.append(entry.row);
    return out;
}

ScreenFileRow* ScreenFileList::build(int index)
{
    Entry& entry = m_entries[index];
    entry.row = m_makeRow(entry.name);
    entry.row->setParent(this);
    entry.row->installEventFilter(this);
    entry.row->show();
    return entry.row;
}

void ScreenFileList::buildInSight()
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
    int made = 0;
    for (int i = first; i < end && made < rowsPerTurn; ++i)
        if (!m_entries[i].row) {
            build(i);
            ++made;
        }
    if (made == 0)
        return;
    relayout();
    if (onRowsChanged)
        onRowsChanged();
    // The rows just made may have pushed others into sight; the next turn looks again.
    m_buildTimer.start();
}

std::pair<int, int> ScreenFileList::entriesIn(const QRect& rect) const
{
    const auto begin = m_tops.cbegin();
    const auto last = m_tops.cbegin() + m_entries.size();
    const int first = std::max(0, int(std::upper_bound(begin, last, rect.top()) - begin) - 1);
    const int end = int(std::lower_bound(begin, last, rect.bottom() + 1) - begin);
    return {first, std::max(first, end)};
}

int ScreenFileList::rowHeight(const Entry& entry, int width) const
{
    if (!entry.row)
        return estimatedHeight();
    if (width > 0 && entry.row->hasHeightForWidth())
        return entry.row->heightForWidth(width);
    return entry.row->sizeHint().height();
}

int ScreenFileList::estimatedHeight() const
{
    // A row that loaded: its name and its summary, one line each.
    return 2 * fontMetrics().height() + 5;
}

void ScreenFileList::relayout()
{
    m_relayoutTimer.stop();
    const int width = this->width();
    const int before = m_tops.last();
    m_tops.resize(m_entries.size() + 1);
    int y = 0;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        m_tops[i] = y;
        const Entry& entry = m_entries[i];
        const int height = rowHeight(entry, width);
        if (entry.row && entry.row->geometry() != QRect(0, y, width, height))
            entry.row->setGeometry(0, y, width, height);
        y += height + (i + 1 < m_entries.size() ? gap : 0);
    }
    m_tops.last() = y;
    if (y != before)
        updateGeometry();
    update();
}

void ScreenFileList::scheduleRelayout()
{
    m_relayoutTimer.start();
}

void ScreenFileList::followFocus(QWidget* now)
{
    // Tab and Shift+Tab walk on from a row into the next one: it is made before it is needed.
    QWidget* child = now;
    while (child && child->parentWidget() != this)
        child = child->parentWidget();
    auto* focused = dynamic_cast<ScreenFileRow*>(child);
    if (!focused)
        return;
    const int index = m_index.value(focused->fileName(), -1);
    bool made = false;
    for (const int next : {index - 1, index + 1})
        if (index >= 0 && next >= 0 && next < m_entries.size() && !m_entries[next].row) {
            build(next);
            made = true;
        }
    if (!made)
        return;
    relayout();
    if (onRowsChanged)
        onRowsChanged();
}

bool ScreenFileList::hasHeightForWidth() const
{
    return true;
}

int ScreenFileList::heightForWidth(int width) const
{
    if (width == this->width())
        return m_tops.last();
    int height = 0;
    for (const Entry& entry : m_entries)
        height += rowHeight(entry, width);
    return height + int(std::max<qsizetype>(0, m_entries.size() - 1)) * gap;
}

QSize ScreenFileList::sizeHint() const
{
    int width = 0;
    for (const Entry& entry : m_entries)
        if (entry.row)
            width = std::max(width, entry.row->sizeHint().width());
    return {width, m_tops.last()};
}

QSize ScreenFileList::minimumSizeHint() const
{
    int width = 0;
    for (const Entry& entry : m_entries)
        if (entry.row)
            width = std::max(width, entry.row->minimumSizeHint().width());
    return {width, 0};
}

bool ScreenFileList::event(QEvent* event)
{
    if (event->type() == QEvent::LayoutRequest)
        scheduleRelayout();
    return QWidget::event(event);
}

bool ScreenFileList::eventFilter(QObject* watched, QEvent* event)
{
    // A row whose content changed lays itself out again first; the list follows its new height.
    if (event->type() == QEvent::LayoutRequest)
        scheduleRelayout();
    return QWidget::eventFilter(watched, event);
}

void ScreenFileList::paintEvent(QPaintEvent* event)
{
    const auto [first, end] = entriesIn(event->rect());
    QPainter painter(this);
    bool unbuilt = false;
    for (int i = first; i < end; ++i) {
        unbuilt = unbuilt || !m_entries[i].row;
        if (i + 1 < m_entries.size()) {
            const int y = m_tops[i + 1] - gap + spacing;
            qDrawShadeLine(&painter, 0, y, width() - 1, y, palette(), true, 1, 0);
        }
    }
    if (unbuilt)
        m_buildTimer.start();
}

void ScreenFileList::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
    m_buildTimer.start();
}
