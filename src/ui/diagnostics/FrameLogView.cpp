#include "ui/diagnostics/FrameLogView.h"

#include "ui/diagnostics/FrameLogModel.h"
#include "ui/widgets/FormSection.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QPainter>
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
