#include "ui/diagnostics/FrameLogView.h"

#include "ui/diagnostics/FrameLogModel.h"
#include "ui/widgets/FormSection.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QPainter>
#include <QScreen>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

// Paints a row as its three parts on one baseline; the text is elided at the right edge.
class FrameLogDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem background = option;
        initStyleOption(&background, index);
        background.text.clear();
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

        const bool selected = option.state & QStyle::State_Selected;
        const QColor text = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        const QColor secondary = selected ? text : option.palette.color(QPalette::PlaceholderText);
        const QRect area = option.rect.adjusted(8, 0, -8, 0);
        const QFontMetrics metrics(option.font);
        const int baseline = area.top() + (area.height() - metrics.height()) / 2 + metrics.ascent();

        painter->save();
        painter->setClipRect(option.rect);
        int x = area.left();
        const QString time = index.data(FrameLogModel::timeTextRole).toString();
        painter->setFont(option.font);
        painter->setPen(secondary);
        painter->drawText(QPoint(x, baseline), time);
        x += metrics.horizontalAdvance(time) + FrameLogView::partSpacing;

        QFont bold = option.font;
        bold.setWeight(QFont::DemiBold);
        const QString mark = index.data(FrameLogModel::markRole).toString();
        const QFontMetrics boldMetrics(bold);
        painter->setFont(bold);
        painter->setPen(text);
        painter->drawText(QPoint(x + (FrameLogView::markWidth - boldMetrics.horizontalAdvance(mark)) / 2, baseline), mark);
        x += FrameLogView::markWidth + FrameLogView::partSpacing;

        painter->setFont(option.font);
        const QString line = index.data(FrameLogModel::textRole).toString().simplified();
        painter->drawText(QPoint(x, baseline), metrics.elidedText(line, Qt::ElideRight, std::max(0, area.right() - x)));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {0, QFontMetrics(option.font).height() + 6};
    }
};

}  // namespace

FrameLogView::FrameLogView(FrameLogModel* model, QWidget* parent) : QListView(parent)
{
    setObjectName(QStringLiteral("frameLogList"));
    setModel(model);
    setItemDelegate(new FrameLogDelegate(this));
    setFont(FormSection::monospacedFont(-1));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideRight);
    setWordWrap(false);
    setMinimumHeight(minimumListHeight);
    setFrameShape(QFrame::NoFrame);
    // The section's background shows through, as the rest of the form.
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);

    m_repaintTimer = new QTimer(this);
    m_repaintTimer->setSingleShot(true);
    connect(m_repaintTimer, &QTimer::timeout, this, &FrameLogView::releaseRepaints);
    // Before the list reacts, so that its repaint is the one held.
    connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, &FrameLogView::holdRepaints);
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, &FrameLogView::holdRepaints);
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &FrameLogView::holdRepaints);

    // No shortcut of its own: the window's Edit ▸ Copy owns Ctrl+C and hands it to the focused
    // widget's copy(); a second Ctrl+C would make the key ambiguous, and then neither acts.
    auto* copyAction = new QAction(QStringLiteral("Copy"), this);
    copyAction->setObjectName(QStringLiteral("copyLogAction"));
    connect(copyAction, &QAction::triggered, this, &FrameLogView::copy);
    addAction(copyAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

QString FrameLogView::selectedText() const
{
    QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty() && currentIndex().isValid())
        rows.append(currentIndex());
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList lines;
    for (const QModelIndex& row : rows)
        lines.append(row.data(Qt::DisplayRole).toString());
    return lines.join(u'\n');
}

void FrameLogView::copy()
{
    const QString text = selectedText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void FrameLogView::holdRepaints()
{
    if (!m_repaintTimer->isActive()) {
        // The first change of a while shows at once.
        const QScreen* shown = screen();
        const qreal rate = shown && shown->refreshRate() > 1 ? shown->refreshRate() : 60.0;
        m_repaintTimer->start(std::max(1, int(1000.0 / rate)));
        return;
    }
    if (!m_repaintHeld) {
        m_repaintHeld = true;
        viewport()->setUpdatesEnabled(false);
    }
}

void FrameLogView::releaseRepaints()
{
    if (!m_repaintHeld)
        return;
    m_repaintHeld = false;
    // Repaints the whole list once; the next change within a refresh is held again.
    viewport()->setUpdatesEnabled(true);
    m_repaintTimer->start();
}

bool FrameLogView::viewportEvent(QEvent* event)
{
    // Scrolling the page over the log scrolls the page; a click on the log gives it the wheel.
    if (event->type() == QEvent::Wheel && !hasFocus()) {
        event->ignore();
        return false;
    }
    return QListView::viewportEvent(event);
}
