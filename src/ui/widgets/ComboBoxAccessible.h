#pragma once
// What assistive technology reads of a combo box that picks from a list: its name (the label
// beside it, or its accessible name), its role and, as its text, the item it shows; its items
// as children. Qt's own interface names a combo box by its value and offers the value nowhere a
// screen reader of this Qt's day looks for it, so Orca said only "<label> combo box".
//
// A change of the value while the box has the keyboard and its list is closed (the arrows on a
// closed box) moves the focus, for assistive technology, to the item now shown: a screen reader
// says the new value as the box changes.

#include "ui/widgets/ListItemAccessible.h"

#include <QAccessibleWidget>
#include <QList>

class QComboBox;

class ComboBoxAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ComboBoxAccessible(QComboBox* box);
    ~ComboBoxAccessible() override;

    void* interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

    // The value, read as a text that cannot be edited.
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void selection(int, int* startOffset, int* endOffset) const override;
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

private:
    QComboBox* box() const;
    // Ends the items made so far; they are made again as they are asked for.
    void forgetItems();

    // The items asked for so far, by row; a box holds few.
    mutable QList<QAccessible::Id> m_items;
    QList<QMetaObject::Connection> m_connections;
};

// One item of a combo box's list, by its row.
class ComboBoxItemAccessible : public ListItemAccessible {
public:
    ComboBoxItemAccessible(QComboBox* box, int row);

    bool isValid() const override;
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QString text(QAccessible::Text t) const override;
    QRect rect() const override;
    QAccessible::State state() const override;

    int row() const { return m_row; }

private:
    QComboBox* m_box;
    int m_row;
};

// Makes Qt give every combo box that picks from a list the interface above; once is enough.
void installComboBoxAccessibility();
