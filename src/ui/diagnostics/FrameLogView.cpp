#include "ui/diagnostics/FrameLogView.h"

#include "ui/diagnostics/FrameLogAccessible.h"
#include "ui/diagnostics/FrameLogModel.h"
#include "ui/widgets/FormSection.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStyleOptionViewItem>
#include <QToolTip>
#include <QVarLengthArray>

#include <algorithm>
#include <utility>

namespace {

// A row's texts start this far in from either side of the list.
constexpr int margin = 8;

QStaticText plainText(const QString& text, const QFont& font)
{
    QStaticText laid(text);
    laid.setTextFormat(Qt::PlainText);
    laid.prepare(QTransform(), font);
    return laid;
}

}  // namespace

FrameLogView::FrameLogView(FrameLogModel* model, QWidget* parent) : QAbstractScrollArea(parent), m_model(model)
{
    setObjectName(QStringLiteral("frameLogList"));
    installFrameLogAccessibility();
    setAccessibleName(QStringLiteral("Frame Log"));
    setFont(FormSection::monospacedFont(-1));
    setMinimumHeight(minimumListHeight);
    setFrameShape(QFrame::NoFrame);
    // Room for the ring that shows the focus, kept without it so the rows never move. The ring
    // lies outside the viewport: rows that move carry none of it along.
    setViewportMargins(focusRingWidth, focusRingWidth, focusRingWidth, focusRingWidth);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Every pixel of the rows is painted here, the section's colour included: only then can new
    // rows move the pixels already drawn instead of painting the list and the sections behind it.
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_OpaquePaintEvent);

    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { rowsInserted(first, last); });
    connect(model, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int last) { rowsRemoved(first, last); });
    connect(model, &QAbstractItemModel::modelReset, this, &FrameLogView::rowsReset);
    m_selection = new QItemSelectionModel(model, this);
    connect(m_selection, &QItemSelectionModel::selectionChanged, viewport(), qOverload<>(&QWidget::update));
    connect(m_selection, &QItemSelectionModel::currentChanged, viewport(), qOverload<>(&QWidget::update));
    connect(model, &QObject::destroyed, this, [this] {
        m_model = nullptr;
        rowsReset();
    });
    // Until the list is shown.
    model->setFollowing(false);
    forgetLayout();
    rowsReset();

    // No shortcut of its own: the window's Edit ▸ Copy owns Ctrl+C and hands it to the focused
    // widget's copy(); a second Ctrl+C would make the key ambiguous, and then neither acts.
    auto* copyAction = new QAction(QStringLiteral("Copy"), this);
    copyAction->setObjectName(QStringLiteral("copyLogAction"));
    connect(copyAction, &QAction::triggered, this, &FrameLogView::copy);
    addAction(copyAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

int FrameLogView::rowAt(QPoint point) const
{
    if (point.y() < 0 || point.y() >= viewport()->height())
        return -1;
    const int row = (point.y() + verticalScrollBar()->value()) / m_rowHeight;
    return row < m_rows.size() ? row : -1;
}

bool FrameLogView::isSelected(int row) const
{
    return m_selection->hasSelection() && m_selection->isRowSelected(row);
}

void FrameLogView::selectAll()
{
    if (!m_rows.isEmpty())
        m_selection->select(QItemSelection(m_model->index(0), m_model->index(int(m_rows.size()) - 1)),
                            QItemSelectionModel::ClearAndSelect);
}

// The lines of the selected rows, top to bottom; the current row's when none is selected.
QString FrameLogView::selectedText() const
{
    QModelIndexList rows = m_selection->selectedRows();
    if (rows.isEmpty() && m_selection->currentIndex().isValid())
        rows.append(m_selection->currentIndex());
    std::sort(rows.begin(), rows.end());
    QStringList lines;
    for (const QModelIndex& row : std::as_const(rows))
        lines.append(row.data(Qt::DisplayRole).toString());
    return lines.join(u'\n');
}

void FrameLogView::copy()
{
    const QString text = selectedText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

// New rows come in at the top. Following the log, everything drawn moves down and only the new
// rows are painted; scrolled away from the top, the scroll bar moves instead and nothing does.
void FrameLogView::rowsInserted(int first, int last)
{
    const int count = last - first + 1;
    m_rows.insert(first, count, Row{});
    const int top = verticalScrollBar()->value();
    const int moved = count * m_rowHeight;
    const int at = first * m_rowHeight - top;
    if (top > 0 && at <= 0) {
        updateRange();
        {
            const QScopedValueRollback keep(m_keepingPlace, true);
            verticalScrollBar()->setValue(top + moved);
        }
        // At the bottom of a full log, where the oldest rows leave, those in sight move down.
        if (const int lacking = top + moved - verticalScrollBar()->value(); lacking > 0) {
            viewport()->scroll(0, lacking);
            updateMarkedRows();
        }
        return;
    }
    updateRange();
    if (at < viewport()->height())
        viewport()->scroll(0, moved, QRect(0, at, viewport()->width(), viewport()->height() - at));
    updateMarkedRows();
}

// Old rows leave at the bottom: those below them, if any, move up into their place.
void FrameLogView::rowsRemoved(int first, int last)
{
    const int count = last - first + 1;
    m_rows.remove(first, count);
    // The row the user went to left before a screen reader could read it (End, where entries
    // leave at a flood's pace): the current row is now the one that took its place, which
    // stays for the readable pace at least; it is said, once.
    if (m_sayReplacement && !m_saidRow.isValid()) {
        m_sayReplacement = false;
        if (m_selection->currentIndex().isValid())
            announceCurrent();
    }
    const int top = verticalScrollBar()->value();
    const int moved = count * m_rowHeight;
    const int at = first * m_rowHeight - top;
    if (at + moved <= 0) {
        const QScopedValueRollback keep(m_keepingPlace, true);
        verticalScrollBar()->setValue(top - moved);
        updateRange();
        return;
    }
    if (at < 0)
        viewport()->update();
    else if (at < viewport()->height())
        viewport()->scroll(0, -moved, QRect(0, at, viewport()->width(), viewport()->height() - at));
    // Rows that come in most often follow at once and give the range back: changing it twice
    // would repaint the scroll bar for nothing. Reading the oldest rows as they leave, the list
    // then moves down with what is left.
    if (!std::exchange(m_rangeDue, true))
        QMetaObject::invokeMethod(this, &FrameLogView::updateRange, Qt::QueuedConnection);
    updateMarkedRows();
}

// The style draws a row's marks alike only when it draws them whole: a marked row that moved is
// painted again, all of it.
void FrameLogView::updateMarkedRows()
{
    const int current = hasFocus() ? m_selection->currentIndex().row() : -1;
    if (!m_selection->hasSelection() && current < 0)
        return;
    const int top = verticalScrollBar()->value();
    const int last = std::min(int(m_rows.size()) - 1, (top + viewport()->height() - 1) / m_rowHeight);
    for (int row = top / m_rowHeight; row <= last; ++row) {
        if (row == current || isSelected(row))
            viewport()->update(0, row * m_rowHeight - top, viewport()->width(), m_rowHeight);
    }
}

void FrameLogView::rowsReset()
{
    m_rows = QList<Row>(m_model ? m_model->rowCount() : 0);
    updateRange();
    viewport()->update();
}

void FrameLogView::updateRange()
{
    m_rangeDue = false;
    QScrollBar* bar = verticalScrollBar();
    bar->setSingleStep(m_rowHeight);
    bar->setPageStep(viewport()->height());
    bar->setRange(0, std::max(0, int(m_rows.size()) * m_rowHeight - viewport()->height()));
}

void FrameLogView::scrollContentsBy(int, int dy)
{
    if (m_keepingPlace)
        return;
    viewport()->scroll(0, dy);
    updateMarkedRows();
}

// What the font gives every row; the rows are laid out again as they are drawn next.
void FrameLogView::forgetLayout()
{
    const QFontMetrics metrics(font());
    m_rowHeight = metrics.height() + 6;
    m_bold = font();
    m_bold.setWeight(QFont::DemiBold);
    const QFontMetrics boldMetrics(m_bold);
    // Marks stand on the regular font's baseline.
    m_boldRise = metrics.ascent() - boldMetrics.ascent();
    for (const auto direction : {LogEntry::Direction::received, LogEntry::Direction::sent, LogEntry::Direction::system}) {
        const QString mark = FrameLogModel::directionMark(direction);
        m_marks[int(direction)] = plainText(mark, m_bold);
        m_markAdvances[int(direction)] = boldMetrics.horizontalAdvance(mark);
    }
    m_textTop = (m_rowHeight - metrics.height()) / 2;
    // Made when a row is first laid out, not while the window is built.
    m_cells.reset();

    m_lastTime.clear();
    for (Row& row : m_rows)
        row.laidOut = false;
    updateRange();
    viewport()->update();
}

// An entry's texts never change: they are laid out once, the first time the row is drawn, and
// again only when the width or the font changes.
FrameLogView::Row& FrameLogView::laidOut(int row)
{
    Row& laid = m_rows[row];
    if (laid.laidOut)
        return laid;
    const LogEntry& entry = *m_model->entryAt(row);
    const QString time = m_model->timeTextAt(row);
    // Entries of one second share their time's layout.
    if (time != m_lastTime || m_lastTime.isEmpty()) {
        m_lastTime = time;
        m_lastTimeText = plainText(time, font());
        m_lastTimeAdvance = fontMetrics().horizontalAdvance(time);
    }
    laid.time = m_lastTimeText;
    laid.timeAdvance = m_lastTimeAdvance;
    laid.mark = int(entry.direction);
    const int lineLeft = margin + laid.timeAdvance + partSpacing + markWidth + partSpacing;
    const int lineWidth = std::max(0, viewport()->width() - margin - 1 - lineLeft);
    const QString line = entry.text.simplified();
    laid.glyphs.clear();
    laid.positions.clear();
    laid.line = QStaticText();
    if (!m_cells)
        m_cells.emplace(font());
    const bool plain = m_cells->cell() > 0 && AsciiCells::isPrintable(line);
    if (plain && line.size() * m_cells->cell() <= lineWidth) {
        m_cells->append(line, QPointF(), laid.glyphs, laid.positions);
    } else {
        // A plain line too long for its row shows no more than the cells the row holds. Cut past
        // them it is still too long and elides alike (eliding leaves one character whole), and
        // only what shows is shaped.
        const QString shown = plain ? line.left(qsizetype(lineWidth / m_cells->cell()) + 2) : line;
        laid.line = plainText(fontMetrics().elidedText(shown, Qt::ElideRight, lineWidth), font());
    }
    laid.laidOut = true;
    return laid;
}

// Glyphs of the list's font that stay where they are while the run is drawn.
QGlyphRun FrameLogView::glyphRun(const quint32* glyphs, const QPointF* positions, qsizetype count) const
{
    QGlyphRun run;
    // Glyph runs come only from rows laid out since the cells were made.
    run.setRawFont(m_cells->rawFont());
    run.setRawData(glyphs, positions, int(count));
    return run;
}

void FrameLogView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const QRect exposed = event->rect();
    painter.fillRect(exposed, backdrop());
    if (!m_model || m_rows.isEmpty())
        return;
    const int top = verticalScrollBar()->value();
    const int first = (exposed.top() + top) / m_rowHeight;
    const int last = std::min(int(m_rows.size()) - 1, (exposed.bottom() + top) / m_rowHeight);
    const int current = hasFocus() ? m_selection->currentIndex().row() : -1;
    const QPalette& colors = palette();
    const QColor text = colors.color(QPalette::Active, QPalette::Text);
    const QColor secondary = colors.color(QPalette::Active, QPalette::PlaceholderText);
    const QColor highlighted = colors.color(QPalette::Active, QPalette::HighlightedText);
    const auto rowRect = [&](int row) { return QRect(0, row * m_rowHeight - top, viewport()->width(), m_rowHeight); };

    // The marks, selected or current, as the style draws a list's rows.
    for (int row = first; row <= last; ++row) {
        const bool selected = isSelected(row);
        if (!selected && row != current)
            continue;
        QStyleOptionViewItem option;
        option.initFrom(this);
        option.rect = rowRect(row);
        option.font = font();
        option.widget = this;
        option.showDecorationSelected = style()->styleHint(QStyle::SH_ItemView_ShowDecorationSelected, nullptr, this);
        option.state &= ~(QStyle::State_MouseOver | QStyle::State_HasFocus);
        option.state.setFlag(QStyle::State_Selected, selected);
        option.state.setFlag(QStyle::State_HasFocus, row == current);
        style()->drawControl(QStyle::CE_ItemViewItem, &option, &painter, this);
    }
    // The texts in the regular font, then the marks in bold: two changes of font a repaint, not
    // two a row.
    painter.setFont(font());
    // Plain lines are drawn together: one call for all the rows of a repaint rather than one a row.
    QVarLengthArray<quint32, 1024> glyphs;
    QVarLengthArray<QPointF, 1024> positions;
    for (int row = first; row <= last; ++row) {
        const Row& laid = laidOut(row);
        const QRect rect = rowRect(row);
        const bool selected = isSelected(row);
        const QPointF at(margin + laid.timeAdvance + 2 * partSpacing + markWidth, rect.top() + m_textTop);
        painter.setPen(selected ? highlighted : secondary);
        painter.drawStaticText(QPointF(margin, at.y()), laid.time);
        if (!selected && !laid.glyphs.isEmpty()) {
            glyphs.append(laid.glyphs.constData(), laid.glyphs.size());
            for (const QPointF& position : laid.positions)
                positions.append(position + at);
            continue;
        }
        painter.setPen(selected ? highlighted : text);
        // Shaped text may reach past its line; a repaint of the row below would not see it.
        painter.setClipRect(rect);
        if (laid.glyphs.isEmpty())
            painter.drawStaticText(at, laid.line);
        else
            painter.drawGlyphRun(at, glyphRun(laid.glyphs.constData(), laid.positions.constData(), laid.glyphs.size()));
        painter.setClipping(false);
    }
    if (!glyphs.isEmpty()) {
        painter.setPen(text);
        painter.drawGlyphRun(QPointF(), glyphRun(glyphs.constData(), positions.constData(), glyphs.size()));
    }
    painter.setFont(m_bold);
    for (int row = first; row <= last; ++row) {
        const Row& laid = m_rows[row];
        const QRect rect = rowRect(row);
        const int y = rect.top() + m_textTop + m_boldRise;
        const int x = margin + laid.timeAdvance + partSpacing + (markWidth - m_markAdvances[laid.mark]) / 2;
        painter.setPen(isSelected(row) ? highlighted : text);
        painter.drawStaticText(x, y, m_marks[laid.mark]);
    }
}

void FrameLogView::announceCurrent()
{
    if (!hasFocus())
        return;
    m_saidRow = m_selection->currentIndex();
    if (!QAccessible::isActive())
        return;
    auto* list = dynamic_cast<FrameLogAccessible*>(QAccessible::queryAccessibleInterface(this));
    if (QAccessibleInterface* current = list ? list->row(m_selection->currentIndex()) : nullptr) {
        QAccessibleEvent event(current, QAccessible::Focus);
        QAccessible::updateAccessibility(&event);
    }
}

// The colour of the section behind the list where the list lies, as the widgets behind it paint
// it: the list shows it as its own background.
QColor FrameLogView::backdrop()
{
    if (!m_backdrop) {
        QImage pixel(1, 1, QImage::Format_ARGB32_Premultiplied);
        pixel.fill(palette().color(QPalette::Window));
        QList<QWidget*> behind;
        for (QWidget* widget = parentWidget(); widget; widget = widget->isWindow() ? nullptr : widget->parentWidget())
            behind.prepend(widget);
        const QPoint middle = viewport()->rect().center();
        for (QWidget* widget : std::as_const(behind)) {
            const QPoint at = viewport()->mapTo(widget, middle);
            widget->render(&pixel, QPoint(), QRegion(at.x(), at.y(), 1, 1), QWidget::DrawWindowBackground);
        }
        m_backdrop = pixel.pixelColor(0, 0);
    }
    return *m_backdrop;
}

bool FrameLogView::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::Paint: {
        // Behind the scroll bar as well: a bar that moves with every row that comes then
        // repaints the list alone, not the sections behind it.
        QPainter painter(this);
        painter.fillRect(static_cast<QPaintEvent*>(event)->rect(), backdrop());
        // The focus: a ring in the accent around the rows, in the room kept for it.
        if (hasFocus()) {
            const QRect rows = viewport()->geometry();
            const QMargins ring(focusRingWidth, focusRingWidth, focusRingWidth, focusRingWidth);
            painter.setClipRegion(QRegion(rows.marginsAdded(ring)).subtracted(rows));
            painter.fillRect(rect(), palette().color(QPalette::Active, QPalette::Highlight));
        }
        break;
    }
    // The rows follow the log while the list is shown (the page's, the window's).
    case QEvent::Show:
    case QEvent::Hide:
        m_backdrop.reset();
        if (m_model)
            m_model->setFollowing(event->type() == QEvent::Show);
        break;
    case QEvent::FontChange: forgetLayout(); break;
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
    case QEvent::ParentChange: m_backdrop.reset(); [[fallthrough]];
    // The current row is marked while the list has the focus. The ring around the rows follows
    // the focus through the widget's own update on each change.
    case QEvent::FocusOut: viewport()->update(); break;
    case QEvent::FocusIn:
        viewport()->update();
        // The window tells assistive technology of the list's focus once the list has it; the
        // current row, which holds the keyboard within it, is told of after that.
        QMetaObject::invokeMethod(this, &FrameLogView::announceCurrent, Qt::QueuedConnection);
        break;
    default: break;
    }
    return QAbstractScrollArea::event(event);
}

void FrameLogView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    // Lines are cut for the width they were laid out in.
    if (viewport()->width() != m_width) {
        m_width = viewport()->width();
        for (Row& row : m_rows)
            row.laidOut = false;
    }
    updateRange();
}

bool FrameLogView::viewportEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::Wheel:
        // Scrolling the page over the log scrolls the page; a click on the log gives it the wheel.
        if (!hasFocus()) {
            event->ignore();
            return false;
        }
        break;
    case QEvent::ToolTip: {
        const auto* help = static_cast<QHelpEvent*>(event);
        const int row = rowAt(help->pos());
        if (row < 0 || !m_model) {
            QToolTip::hideText();
            return true;
        }
        const QRect rect(0, row * m_rowHeight - verticalScrollBar()->value(), viewport()->width(), m_rowHeight);
        QToolTip::showText(help->globalPos(), m_model->index(row).data(Qt::ToolTipRole).toString(), viewport(), rect);
        return true;
    }
    default: break;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// As a list chooses rows: Shift selects from the anchor, adding to the selection with Control;
// Control alone toggles a clicked row and moves the current row by keys without selecting.
void FrameLogView::choose(int row, Qt::KeyboardModifiers modifiers, bool byKey)
{
    const QModelIndex index = m_model->index(row);
    // The row the user moves to is said; the rows that entries coming and going make current
    // are not, or a flood would be read out line by line.
    const auto announce = qScopeGuard([this, before = m_selection->currentIndex()] {
        if (m_selection->currentIndex() != before) {
            announceCurrent();
            m_sayReplacement = true;
        }
    });
    if (modifiers & Qt::ShiftModifier) {
        const int anchor = m_anchor.isValid() ? m_anchor.row() : row;
        m_selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        m_selection->select(QItemSelection(m_model->index(std::min(anchor, row)), m_model->index(std::max(anchor, row))),
                            modifiers & Qt::ControlModifier ? QItemSelectionModel::Select
                                                            : QItemSelectionModel::ClearAndSelect);
        return;
    }
    m_anchor = index;
    m_selection->setCurrentIndex(index, !(modifiers & Qt::ControlModifier) ? QItemSelectionModel::ClearAndSelect
                                        : byKey                            ? QItemSelectionModel::NoUpdate
                                                                           : QItemSelectionModel::Toggle);
}

void FrameLogView::mousePressEvent(QMouseEvent* event)
{
    const int row = rowAt(event->position().toPoint());
    if (row < 0) {
        if (!(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)))
            m_selection->clearSelection();
    } else if (event->button() == Qt::RightButton && isSelected(row)) {
        // The menu's Copy copies the selection it was opened on.
        m_selection->setCurrentIndex(m_model->index(row), QItemSelectionModel::NoUpdate);
    } else {
        choose(row, event->modifiers(), false);
    }
}

void FrameLogView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton) || !m_anchor.isValid())
        return;
    const int row = rowAt(QPoint(0, std::clamp(int(event->position().y()), 0, viewport()->height() - 1)));
    choose(row < 0 ? int(m_rows.size()) - 1 : row, Qt::ShiftModifier | (event->modifiers() & Qt::ControlModifier), false);
}

void FrameLogView::keyPressEvent(QKeyEvent* event)
{
    const int current = m_selection->currentIndex().row();
    const int page = std::max(1, viewport()->height() / m_rowHeight);
    int row = 0;
    switch (event->key()) {
    case Qt::Key_Up: row = current - 1; break;
    case Qt::Key_Down: row = current + 1; break;
    case Qt::Key_PageUp: row = current - page; break;
    case Qt::Key_PageDown: row = current + page; break;
    case Qt::Key_Home: row = 0; break;
    case Qt::Key_End:
        // The oldest row as the log has it now: one the next entries would take away at once
        // is not gone to.
        if (m_model)
            m_model->sync();
        row = int(m_rows.size()) - 1;
        break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    if (m_rows.isEmpty())
        return;
    row = std::clamp(row, 0, int(m_rows.size()) - 1);
    choose(row, event->modifiers(), true);
    // In sight; back at the top, the list follows the log again.
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(std::max(std::min(bar->value(), row * m_rowHeight), (row + 1) * m_rowHeight - viewport()->height()));
}
