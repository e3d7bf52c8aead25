#pragma once
// What assistive technology reads of one item of a list that has no widget of its own: an item
// that has no children, takes no text and is read as a list item. What the item says, where it
// is and how it stands are the list's to tell.

#include <QAccessibleInterface>

class ListItemAccessible : public QAccessibleInterface {
public:
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString&) override {}
    QAccessible::Role role() const override { return QAccessible::ListItem; }
};
