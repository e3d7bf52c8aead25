#include "app/SidebarList.h"

#include <QPainter>
#include <QStyledItemDelegate>

namespace {

// Draws the chosen page and the focus itself: the style's rim of one pixel is lost on a row
// that is already highlighted. The chosen page is tinted while the list has no focus, and
// filled with a ring round it while it has, as a focused key of the grid is.
class SidebarRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem row(option);
        const bool chosen = row.state & QStyle::State_Selected;
        const bool focused = (row.state & QStyle::State_HasFocus) && row.widget && row.widget->hasFocus();
        row.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        const QColor highlight = row.palette.color(QPalette::Active, QPalette::Highlight);
        if (chosen || focused) {
            const QRectF shape = QRectF(row.rect).adjusted(4.5, 0.5, -4.5, -0.5);
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setPen(Qt::NoPen);
            if (chosen) {
                QColor fill = highlight;
                if (!focused)
                    fill.setAlphaF(0.22f);
                painter->setBrush(fill);
                painter->drawRoundedRect(shape, 5, 5);
            }
            if (focused) {
                painter->setPen(QPen(chosen ? highlight.darker(160) : highlight, 2));
                painter->setBrush(Qt::NoBrush);
                painter->drawRoundedRect(shape.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
            }
            painter->restore();
            if (chosen && focused)
                row.palette.setColor(QPalette::Text, row.palette.color(QPalette::Active, QPalette::HighlightedText));
        }
        QStyledItemDelegate::paint(painter, row, index);
    }
};

bool isPage(const QModelIndex& index) { return index.flags() & Qt::ItemIsSelectable; }

}  // namespace

SidebarList::SidebarList(QWidget* parent) : QListWidget(parent)
{
    setItemDelegate(new SidebarRowDelegate(this));
}

QModelIndex SidebarList::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    QModelIndex index = QListWidget::moveCursor(cursorAction, modifiers);
    // A heading where the move ends: the nearest page towards the list's inside.
    const bool down = cursorAction == MoveHome || cursorAction == MovePageUp;
    const bool up = cursorAction == MoveEnd || cursorAction == MovePageDown;
    if (!index.isValid() || isPage(index) || (!down && !up))
        return index;
    for (int row = index.row(); row >= 0 && row < count(); row += down ? 1 : -1)
        if (const QModelIndex page = model()->index(row, 0, rootIndex()); isPage(page))
            return page;
    return currentIndex();
}

void SidebarList::focusInEvent(QFocusEvent* event)
{
    QListWidget::focusInEvent(event);
    // The chosen page changes its look with the focus, not only the current row.
    viewport()->update();
}

void SidebarList::focusOutEvent(QFocusEvent* event)
{
    QListWidget::focusOutEvent(event);
    viewport()->update();
}
