#include "ui/widgets/ComboBoxAccessible.h"

#include "ui/widgets/AccessibleFactory.h"

#include <QAbstractItemView>
#include <QComboBox>

namespace {

QAccessibleInterface* comboBoxFactory(const QString&, QObject* object)
{
    // An editable box is read through its line edit, as Qt's own interface has it.
    auto* box = qobject_cast<QComboBox*>(object);
    return box && !box->isEditable() ? new ComboBoxAccessible(box) : nullptr;
}

bool listShown(const QComboBox* box)
{
    return box->view() && box->view()->isVisible();
}

}  // namespace

void installComboBoxAccessibility()
{
    installAccessibleFactory<comboBoxFactory>();
}

ComboBoxAccessible::ComboBoxAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox)
{
    // The box says its new value as it changes under the keyboard; while the list is open, the
    // list says the item the arrows reach itself. The box is the context: it is the one object
    // this interface lives with.
    m_connections.append(QObject::connect(box, &QComboBox::currentIndexChanged, box, [box](int row) {
        if (row < 0 || !box->hasFocus() || listShown(box))
            return;
        QAccessibleEvent focus(box, QAccessible::Focus);
        focus.setChild(row);
        QAccessible::updateAccessibility(&focus);
    }));
    // Items stand for rows: rows that move make them stand for others.
    QAbstractItemModel* model = box->model();
    const auto forget = [this] { forgetItems(); };
    m_connections.append(QObject::connect(model, &QAbstractItemModel::rowsInserted, box, forget));
    m_connections.append(QObject::connect(model, &QAbstractItemModel::rowsRemoved, box, forget));
    m_connections.append(QObject::connect(model, &QAbstractItemModel::rowsMoved, box, forget));
    m_connections.append(QObject::connect(model, &QAbstractItemModel::modelReset, box, forget));
    m_connections.append(QObject::connect(model, &QAbstractItemModel::layoutChanged, box, forget));
}

ComboBoxAccessible::~ComboBoxAccessible()
{
    for (const QMetaObject::Connection& connection : std::as_const(m_connections))
        QObject::disconnect(connection);
    forgetItems();
}

QComboBox* ComboBoxAccessible::box() const
{
    return static_cast<QComboBox*>(widget());
}

void ComboBoxAccessible::forgetItems()
{
    for (const QAccessible::Id id : std::as_const(m_items))
        if (id)
            QAccessible::deleteAccessibleInterface(id);
    m_items.clear();
}

void* ComboBoxAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString ComboBoxAccessible::text(QAccessible::Text t) const
{
    // The name is the label's (Qt's widget interface reads the accessible name, else the label
    // whose buddy the box is); the value is the item shown.
    if (t == QAccessible::Value)
        return box()->currentText();
    return QAccessibleWidget::text(t);
}

QAccessible::State ComboBoxAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.expandable = true;
    state.expanded = listShown(box());
    state.hasPopup = true;
    return state;
}

int ComboBoxAccessible::childCount() const
{
    return box()->count();
}

QAccessibleInterface* ComboBoxAccessible::child(int index) const
{
    if (index < 0 || index >= box()->count())
        return nullptr;
    if (m_items.size() <= index)
        m_items.resize(index + 1);
    if (!m_items[index])
        m_items[index] = QAccessible::registerAccessibleInterface(new ComboBoxItemAccessible(box(), index));
    return QAccessible::accessibleInterface(m_items[index]);
}

int ComboBoxAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    if (!child || child->role() != QAccessible::ListItem || child->parent() != this)
        return -1;
    return static_cast<const ComboBoxItemAccessible*>(child)->row();
}

QStringList ComboBoxAccessible::actionNames() const
{
    return {showMenuAction(), pressAction()};
}

void ComboBoxAccessible::doAction(const QString& actionName)
{
    if (actionName == showMenuAction() || actionName == pressAction()) {
        if (listShown(box()))
            box()->hidePopup();
        else
            box()->showPopup();
    }
}

QString ComboBoxAccessible::text(int startOffset, int endOffset) const
{
    const QString value = box()->currentText();
    if (endOffset < 0 || endOffset > value.size())
        endOffset = int(value.size());
    startOffset = qBound(0, startOffset, endOffset);
    return value.mid(startOffset, endOffset - startOffset);
}

int ComboBoxAccessible::characterCount() const
{
    return int(box()->currentText().size());
}

void ComboBoxAccessible::selection(int, int* startOffset, int* endOffset) const
{
    *startOffset = 0;
    *endOffset = 0;
}

QString ComboBoxAccessible::attributes(int, int* startOffset, int* endOffset) const
{
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}

ComboBoxItemAccessible::ComboBoxItemAccessible(QComboBox* box, int row) : m_box(box), m_row(row) {}

bool ComboBoxItemAccessible::isValid() const
{
    return m_row < m_box->count();
}

QWindow* ComboBoxItemAccessible::window() const
{
    return m_box->window()->windowHandle();
}

QAccessibleInterface* ComboBoxItemAccessible::parent() const
{
    return QAccessible::queryAccessibleInterface(m_box);
}

QString ComboBoxItemAccessible::text(QAccessible::Text t) const
{
    return t == QAccessible::Name && isValid() ? m_box->itemText(m_row) : QString();
}

QRect ComboBoxItemAccessible::rect() const
{
    // The item shown stands where the box shows it; the others have no place of their own.
    return QRect(m_box->mapToGlobal(QPoint(0, 0)), m_box->size());
}

QAccessible::State ComboBoxItemAccessible::state() const
{
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    state.selectable = true;
    state.selected = m_box->currentIndex() == m_row;
    state.focusable = true;
    state.focused = state.selected && m_box->hasFocus() && !listShown(m_box);
    state.disabled = !m_box->isEnabled();
    return state;
}
