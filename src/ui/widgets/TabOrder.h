#pragma once
// Puts widgets made after their neighbours where they stand in the window's keyboard order.
// Qt orders widgets as they are made; one made later goes last in its window. It is moved with
// QWidget::setTabOrder on one pair of widgets at a time, each a Tab stop of the same window, so
// the window's chain stays one cycle whatever the widgets are.

#include <QList>

class QWidget;

namespace TabOrder {

// The widgets of `widget`'s tree that take the focus by Tab, itself included, in the order its
// layouts show them; hidden ones too, so they stand in place once shown. A widget outside every
// layout is left out, as is every other window.
QList<QWidget*> stops(QWidget* widget);

// Puts `stops` after `before`, in their order, and gives back the last of them, or `before`
// when there are none.
QWidget* place(QWidget* before, const QList<QWidget*>& stops);

}  // namespace TabOrder
