#include "ui/diagnostics/FrameLogAccessible.h"

#include "ui/diagnostics/FrameLogModel.h"
#include "ui/diagnostics/FrameLogView.h"
#include "ui/widgets/AccessibleFactory.h"

#include <QScrollBar>

namespace {

QAccessibleInterface* frameLogFactory(const QString&, QObject* object)
{
    if (auto* view = qobject_cast<FrameLogView*>(object))
        return new FrameLogAccessible(view);
    return nullptr;
}

}  // namespace

void installFrameLogAccessibility()
{
    installAccessibleFactory<frameLogFactory>();
}

FrameLogAccessible::FrameLogAccessible(FrameLogView* view) : QAccessibleWidget(view, QAccessible::List)
{
    if (FrameLogModel* model = view->model()) {
        m_removed = QObject::connect(model, &QAbstractItemModel::rowsRemoved, view, [this] { forgetRowsGone(); });
        m_reset = QObject::connect(model, &QAbstractItemModel::modelReset, view, [this] { forgetRowsGone(); });
    }
}

FrameLogAccessible::~FrameLogAccessible()
{
    QObject::disconnect(m_removed);
    QObject::disconnect(m_reset);
    for (const QAccessible::Id id : std::as_const(m_rows))
        QAccessible::deleteAccessibleInterface(id);
}

FrameLogView* FrameLogAccessible::view() const
{
    return static_cast<FrameLogView*>(widget());
}

void FrameLogAccessible::forgetRowsGone()
{
    m_rows.removeIf([](QAccessible::Id id) {
        if (QAccessible::accessibleInterface(id)->isValid())
            return false;
        QAccessible::deleteAccessibleInterface(id);
        return true;
    });
}

int FrameLogAccessible::childCount() const
{
    const FrameLogModel* model = view()->model();
    return model ? model->rowCount() : 0;
}

QAccessibleInterface* FrameLogAccessible::row(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != view()->model())
        return nullptr;
    for (const QAccessible::Id id : std::as_const(m_rows)) {
        QAccessibleInterface* made = QAccessible::accessibleInterface(id);
        if (static_cast<FrameLogRowAccessible*>(made)->isRow(index))
            return made;
    }
    auto* made = new FrameLogRowAccessible(view(), index);
    m_rows.append(QAccessible::registerAccessibleInterface(made));
    return made;
}

QAccessibleInterface* FrameLogAccessible::child(int index) const
{
    const FrameLogModel* model = view()->model();
    return model ? row(model->index(index)) : nullptr;
}

int FrameLogAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    if (!child || child->parent() != this || child->role() != QAccessible::ListItem)
        return -1;
    const QPersistentModelIndex& index = static_cast<const FrameLogRowAccessible*>(child)->index();
    return index.isValid() ? index.row() : -1;
}

QAccessibleInterface* FrameLogAccessible::childAt(int x, int y) const
{
    const int at = view()->rowAt(view()->viewport()->mapFromGlobal(QPoint(x, y)));
    return at >= 0 ? child(at) : nullptr;
}

QAccessibleInterface* FrameLogAccessible::focusChild() const
{
    if (view()->hasFocus())
        if (QAccessibleInterface* current = row(view()->selectionModel()->currentIndex()))
            return current;
    return QAccessibleWidget::focusChild();
}

FrameLogRowAccessible::FrameLogRowAccessible(FrameLogView* view, const QModelIndex& index)
    : m_view(view), m_index(index)
{
}

bool FrameLogRowAccessible::isValid() const
{
    return m_index.isValid();
}

QWindow* FrameLogRowAccessible::window() const
{
    return m_view->window()->windowHandle();
}

QAccessibleInterface* FrameLogRowAccessible::parent() const
{
    return QAccessible::queryAccessibleInterface(m_view);
}

QString FrameLogRowAccessible::text(QAccessible::Text t) const
{
    if (t != QAccessible::Name || !m_index.isValid())
        return {};
    return m_index.data(Qt::DisplayRole).toString();
}

QRect FrameLogRowAccessible::rect() const
{
    if (!m_index.isValid())
        return {};
    const QWidget* rows = m_view->viewport();
    const int top = m_index.row() * m_view->rowHeight() - m_view->verticalScrollBar()->value();
    return QRect(rows->mapToGlobal(QPoint(0, top)), QSize(rows->width(), m_view->rowHeight()));
}

QAccessible::State FrameLogRowAccessible::state() const
{
    QAccessible::State state;
    if (!m_index.isValid()) {
        state.invalid = true;
        return state;
    }
    const QItemSelectionModel* selection = m_view->selectionModel();
    state.selectable = true;
    state.selected = selection->isRowSelected(m_index.row());
    state.focusable = true;
    state.focused = m_view->hasFocus() && selection->currentIndex() == m_index;
    const QRect shown = m_view->viewport()->rect();
    const int top = m_index.row() * m_view->rowHeight() - m_view->verticalScrollBar()->value();
    state.offscreen = top + m_view->rowHeight() <= shown.top() || top >= shown.bottom();
    state.invisible = !m_view->isVisible();
    return state;
}
