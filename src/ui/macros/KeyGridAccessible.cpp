#include "ui/macros/KeyGridAccessible.h"

#include "ui/macros/KeyCanvas.h"
#include "ui/macros/KeyTile.h"
#include "ui/widgets/AccessibleFactory.h"

namespace {

QAccessibleInterface* keyGridFactory(const QString&, QObject* object)
{
    if (auto* canvas = qobject_cast<KeyCanvas*>(object))
        return new KeyCanvasAccessible(canvas);
    if (auto* tile = qobject_cast<KeyTile*>(object); tile && qobject_cast<KeyCanvas*>(tile->parentWidget()))
        return new KeyTileAccessible(tile);
    return nullptr;
}

}  // namespace

void installKeyGridAccessibility()
{
    installAccessibleFactory<keyGridFactory>();
}

KeyCanvasAccessible::KeyCanvasAccessible(KeyCanvas* canvas) : QAccessibleWidget(canvas, QAccessible::List) {}

KeyCanvas* KeyCanvasAccessible::canvas() const
{
    return static_cast<KeyCanvas*>(widget());
}

int KeyCanvasAccessible::childCount() const
{
    return int(canvas()->buttons().size());
}

QAccessibleInterface* KeyCanvasAccessible::child(int index) const
{
    KeyTile* tile = canvas()->tile(index);
    return tile ? QAccessible::queryAccessibleInterface(tile) : nullptr;
}

int KeyCanvasAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    for (int i = 0; child && i < childCount(); ++i)
        if (canvas()->tile(i) == child->object())
            return i;
    return -1;
}

QAccessibleInterface* KeyCanvasAccessible::focusChild() const
{
    if (canvas()->hasFocus())
        if (KeyTile* selected = canvas()->tile(canvas()->selection()))
            return QAccessible::queryAccessibleInterface(selected);
    return QAccessibleWidget::focusChild();
}

KeyTileAccessible::KeyTileAccessible(KeyTile* tile) : QAccessibleWidget(tile, QAccessible::ListItem) {}

KeyTile* KeyTileAccessible::tile() const
{
    return static_cast<KeyTile*>(widget());
}

QString KeyTileAccessible::text(QAccessible::Text t) const
{
    // The badge of a key that is not set up says so only in its tooltip, which the pointer finds.
    if (t == QAccessible::Description && KeyTile::showsBadge(tile()->button()))
        return QStringLiteral("This key's action is not set up yet");
    return QAccessibleWidget::text(t);
}

QAccessible::State KeyTileAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    const auto* canvas = static_cast<const KeyCanvas*>(tile()->parentWidget());
    // The grid takes the keyboard for its keys: the selected key has it while the grid does.
    state.focusable = true;
    state.focused = tile()->isSelected() && canvas->hasFocus();
    state.selectable = true;
    state.selected = tile()->isSelected();
    state.checkable = tile()->button().isToggle;
    state.checked = KeyTile::isLit(tile()->button());
    return state;
}
