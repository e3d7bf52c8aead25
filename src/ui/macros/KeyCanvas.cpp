#include "ui/macros/KeyCanvas.h"

#include "ui/macros/KeyGridAccessible.h"
#include "ui/macros/KeyTile.h"

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>

#include <charconv>
#include <cmath>
#include <utility>

KeyCanvas::KeyCanvas(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("keyCanvas"));
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    // Tab reaches the grid; a click on a tile gives it the focus too.
    setFocusPolicy(Qt::StrongFocus);
    installKeyGridAccessibility();
    setAccessibleName(QStringLiteral("Keys"));
}

void KeyCanvas::setButtons(const QList<MacroButton>& buttons)
{
    const bool countChanged = buttons.size() != m_buttons.size();
    m_buttons = buttons;
    while (m_tiles.size() > m_buttons.size())
        delete m_tiles.takeLast();
    while (m_tiles.size() < m_buttons.size()) {
        auto* tile = new KeyTile(this);
        tile->setObjectName(QStringLiteral("keyTile%1").arg(m_tiles.size()));
        tile->installEventFilter(this);
        tile->show();
        m_tiles.append(tile);
    }
    showFocus();
    for (int i = 0; i < m_buttons.size(); ++i) {
        KeyTile* tile = m_tiles[i];
        tile->setSelected(i == m_selection);
        // An edit changes one key: the others keep their drawing (the tile ignores an equal key)
        // and their name, which assistive technology would otherwise be told of again.
        tile->setButton(m_buttons[i]);
        const QString name = accessibleName(m_buttons[i], i);
        if (tile->accessibleName() != name)
            tile->setAccessibleName(name);
    }
    if (countChanged) {
        updateGeometry();
        layoutTiles();
    }
}

void KeyCanvas::setSelection(int index)
{
    if (index == m_selection)
        return;
    const int previous = std::exchange(m_selection, index);
    for (int i = 0; i < m_tiles.size(); ++i)
        m_tiles[i]->setSelected(i == m_selection);
    showFocus();
    if (!QAccessible::isActive())
        return;
    if (KeyTile* left = tile(previous)) {
        QAccessibleEvent event(left, QAccessible::SelectionRemove);
        QAccessible::updateAccessibility(&event);
    }
    if (KeyTile* selected = tile(m_selection)) {
        QAccessibleEvent event(selected, QAccessible::Selection);
        QAccessible::updateAccessibility(&event);
    }
    announceFocus();
}

void KeyCanvas::announceFocus()
{
    KeyTile* selected = tile(m_selection);
    if (!selected || !hasFocus() || !QAccessible::isActive())
        return;
    QAccessibleEvent event(selected, QAccessible::Focus);
    QAccessible::updateAccessibility(&event);
}

KeyTile* KeyCanvas::tile(int index) const
{
    return index >= 0 && index < m_tiles.size() ? m_tiles[index] : nullptr;
}

QString KeyCanvas::accessibleName(const MacroButton& button, int index)
{
    const QString slot = QString::number(index + 1);
    if (KeyTile::isEmpty(button))
        return QStringLiteral("Empty slot ") + slot;
    return button.label + QStringLiteral(", slot ") + slot;
}

std::optional<qint64> KeyCanvas::droppedIndex(const QString& text)
{
    QStringView digits(text);
    const bool negative = !digits.isEmpty() && digits.front() == u'-';
    if (!digits.isEmpty() && (digits.front() == u'-' || digits.front() == u'+'))
        digits = digits.sliced(1);
    if (digits.isEmpty())
        return std::nullopt;
    for (QChar c : digits)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    // from_chars takes a minus but no plus, and tells when the value does not fit.
    const QByteArray number = (negative ? QByteArrayLiteral("-") : QByteArray()) + digits.toLatin1();
    qint64 value = 0;
    const auto [end, error] = std::from_chars(number.constData(), number.constData() + number.size(), value);
    if (error != std::errc() || end != number.constData() + number.size())
        return std::nullopt;
    return value;
}

bool KeyCanvas::drop(const QStringList& texts, int target)
{
    if (texts.isEmpty())
        return false;
    const std::optional<qint64> source = droppedIndex(texts.first());
    if (!source || *source < 0 || *source >= m_buttons.size() || *source == target)
        return false;
    if (m_swap)
        m_swap(int(*source), target);
    // The selection follows the dragged key to its new place.
    choose(target);
    return true;
}

QMenu* KeyCanvas::makeContextMenu(int index, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("keyContextMenu"));
    const struct {
        const char* name;
        const char* text;
        Qt::Key direction;
    } moves[] = {
        {"moveLeftAction", "Move Left", Qt::Key_Left},
        {"moveRightAction", "Move Right", Qt::Key_Right},
        {"moveUpAction", "Move Up", Qt::Key_Up},
        {"moveDownAction", "Move Down", Qt::Key_Down},
    };
    for (const auto& move : moves) {
        QAction* action = menu->addAction(QString::fromLatin1(move.text));
        action->setObjectName(QString::fromLatin1(move.name));
        // The menu names the keys that do the same on the grid; a context menu's shortcuts
        // are shown only, the grid itself takes the keys.
        action->setShortcut(QKeySequence(Qt::ControlModifier | move.direction));
        action->setShortcutVisibleInContextMenu(true);
        const int target = moveTarget(index, move.direction);
        action->setEnabled(target >= 0);
        connect(action, &QAction::triggered, this, [this, index, target] {
            if (m_swap)
                m_swap(index, target);
        });
    }
    return menu;
}

int KeyCanvas::moveTarget(int index, Qt::Key direction)
{
    const int column = index % columns;
    const int row = index / columns;
    switch (direction) {
    case Qt::Key_Left: return column != 0 ? index - 1 : -1;
    case Qt::Key_Right: return column != columns - 1 ? index + 1 : -1;
    case Qt::Key_Up: return row != 0 ? index - columns : -1;
    // By the device's last row, not the key count: the store ignores a target past the keys.
    case Qt::Key_Down: return row != rowsOnDevice - 1 ? index + columns : -1;
    default: return -1;
    }
}

int KeyCanvas::rowCount() const
{
    return int((m_buttons.size() + columns - 1) / columns);
}

KeyCanvas::Metrics KeyCanvas::metricsFor(int width) const
{
    // The ring of a selected tile reaches beyond the grid; the canvas leaves room for it.
    const qreal room = KeyTile::ringOutset;
    const qreal available = std::max<qreal>(0, std::min<qreal>(width - 2 * room, maximumGridWidth));
    Metrics m;
    m.columnWidth = std::max<qreal>(minimumColumnWidth, (available - spacing * (columns - 1)) / columns);
    const qreal gridWidth = m.columnWidth * columns + spacing * (columns - 1);
    m.left = std::max<qreal>(room, (width - gridWidth) / 2);
    m.rowHeight = m.columnWidth * KeyTile::aspectHeight / KeyTile::aspectWidth;
    return m;
}

int KeyCanvas::heightForWidth(int width) const
{
    const int rows = rowCount();
    if (rows == 0)
        return 2 * KeyTile::ringOutset;
    const Metrics m = metricsFor(width);
    return int(std::ceil(rows * m.rowHeight + (rows - 1) * spacing)) + 2 * KeyTile::ringOutset;
}

QSize KeyCanvas::sizeHint() const
{
    const int width = maximumGridWidth + 2 * KeyTile::ringOutset;
    return {width, heightForWidth(width)};
}

QSize KeyCanvas::minimumSizeHint() const
{
    const int width = columns * minimumColumnWidth + (columns - 1) * spacing + 2 * KeyTile::ringOutset;
    return {width, heightForWidth(width)};
}

void KeyCanvas::resizeEvent(QResizeEvent*)
{
    layoutTiles();
}

void KeyCanvas::layoutTiles()
{
    const Metrics m = metricsFor(width());
    const int room = KeyTile::ringOutset;
    for (int i = 0; i < m_tiles.size(); ++i) {
        const qreal x = m.left + (i % columns) * (m.columnWidth + spacing);
        const qreal y = room + (i / columns) * (m.rowHeight + spacing);
        const QRect tile = QRectF(x, y, m.columnWidth, m.rowHeight).toAlignedRect();
        m_tiles[i]->setGeometry(tile.adjusted(-room, -room, room, room));
    }
}

void KeyCanvas::choose(int index)
{
    const bool changed = index != m_selection;
    setSelection(index);
    if (changed)
        emit selectionChanged(index);
}

void KeyCanvas::startDrag(int index)
{
    auto* drag = new QDrag(this);
    auto* mime = new QMimeData;
    mime->setText(QString::number(index));
    drag->setMimeData(mime);
    const QPixmap preview = KeyTile::preview(m_buttons[index], palette());
    drag->setPixmap(preview);
    drag->setHotSpot(QPoint(int(KeyTile::aspectWidth / 2), int(KeyTile::aspectHeight / 2)));
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}

bool KeyCanvas::eventFilter(QObject* watched, QEvent* event)
{
    auto* tile = qobject_cast<KeyTile*>(watched);
    const int index = tile ? int(m_tiles.indexOf(tile)) : -1;
    if (index < 0)
        return QWidget::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || !tile->hitsTile(mouse->position()))
            return false;
        // A press may start a drag: only a click, a press and a release without one, selects.
        m_pressAt = mouse->position().toPoint();
        return true;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!m_pressAt || !(mouse->buttons() & Qt::LeftButton))
            return false;
        if ((mouse->position().toPoint() - *m_pressAt).manhattanLength() < QApplication::startDragDistance())
            return true;
        m_pressAt.reset();
        startDrag(index);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || !m_pressAt)
            return false;
        m_pressAt.reset();
        choose(index);
        return true;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        // Nothing is highlighted while a drag hovers; a text is welcome anywhere on a tile.
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (drag->mimeData()->hasText())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* dropEvent = static_cast<QDropEvent*>(event);
        const QMimeData* mime = dropEvent->mimeData();
        const QStringList texts = mime && mime->hasText() ? QStringList{mime->text()} : QStringList{};
        if (drop(texts, index))
            dropEvent->acceptProposedAction();
        else
            dropEvent->ignore();
        return true;
    }
    case QEvent::ContextMenu: {
        auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        // The menu key opens the menu of the selected key, wherever the pointer rests.
        if (menuEvent->reason() == QContextMenuEvent::Keyboard)
            return false;
        openContextMenu(index, menuEvent->globalPos());
        return true;
    }
    default:
        return false;
    }
}

void KeyCanvas::openContextMenu(int index, const QPoint& globalPos)
{
    QMenu* menu = makeContextMenu(index, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPos);
}

bool KeyCanvas::openSelectedContextMenu()
{
    KeyTile* selected = tile(m_selection);
    if (!selected)
        return false;
    openContextMenu(m_selection, selected->mapToGlobal(selected->tileRect().center().toPoint()));
    return true;
}

void KeyCanvas::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() != QContextMenuEvent::Keyboard || !openSelectedContextMenu())
        event->ignore();
}

void KeyCanvas::keyPressEvent(QKeyEvent* event)
{
    const int count = int(m_buttons.size());
    const bool hasSelection = m_selection >= 0 && m_selection < count;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    const bool isArrow = key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;

    if (isArrow && modifiers == Qt::ControlModifier) {
        // As the menu's moves, but the selection goes with the key, as after a drag.
        if (hasSelection) {
            const int target = moveTarget(m_selection, Qt::Key(key));
            if (target >= 0 && target < count) {
                if (m_swap)
                    m_swap(m_selection, target);
                choose(target);
            }
        }
        return;
    }
    if ((isArrow || key == Qt::Key_Home || key == Qt::Key_End) && modifiers == Qt::NoModifier) {
        if (count == 0)
            return;
        int target = hasSelection ? m_selection : 0;
        if (hasSelection) {
            switch (key) {
            case Qt::Key_Left: target -= 1; break;
            case Qt::Key_Right: target += 1; break;
            case Qt::Key_Up: target -= columns; break;
            case Qt::Key_Down: target += columns; break;
            default: break;
            }
        }
        if (key == Qt::Key_Home)
            target = 0;
        else if (key == Qt::Key_End)
            target = count - 1;
        if (target >= 0 && target < count)
            choose(target);
        return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F2) && modifiers == Qt::NoModifier) {
        if (hasSelection)
            emit editLabelRequested();
        return;
    }
    if ((key == Qt::Key_Delete || key == Qt::Key_Backspace) && modifiers == Qt::NoModifier) {
        del();
        return;
    }
    if (key == Qt::Key_Menu || (key == Qt::Key_F10 && modifiers == Qt::ShiftModifier)) {
        openSelectedContextMenu();
        return;
    }
    QWidget::keyPressEvent(event);
}

void KeyCanvas::del()
{
    if (m_selection >= 0 && m_selection < m_buttons.size())
        emit clearRequested();
}

void KeyCanvas::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    showFocus();
    // The window tells assistive technology of the grid's focus once the grid has it; the
    // selected key, which holds the keyboard within it, is told of after that.
    QMetaObject::invokeMethod(this, &KeyCanvas::announceFocus, Qt::QueuedConnection);
}

void KeyCanvas::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    showFocus();
}

void KeyCanvas::showFocus()
{
    const bool focused = hasFocus();
    for (int i = 0; i < m_tiles.size(); ++i)
        m_tiles[i]->setFocusShown(focused && i == m_selection);
}
