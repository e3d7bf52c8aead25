#include "ui/widgets/ReturnPressesButtons.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QToolButton>

void ReturnPressesButtons::install(QCoreApplication* application, QObject* owner)
{
    application->installEventFilter(new ReturnPressesButtons(owner));
}

bool ReturnPressesButtons::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
        (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (!button || !button->hasFocus() || !button->isEnabled() ||
        !(qobject_cast<QPushButton*>(button) || qobject_cast<QToolButton*>(button)))
        return false;
    // The button's own handling of Space: down on the press, clicked on the release, its menu
    // opened where it has one. A Return that reaches the button is taken whole, so a dialog
    // does not press its default button as well.
    QKeyEvent space(key->type(), Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), key->isAutoRepeat());
    QCoreApplication::sendEvent(button, &space);
    return true;
}
