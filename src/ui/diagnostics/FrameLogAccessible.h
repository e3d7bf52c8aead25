#pragma once
// What assistive technology reads of the frame log: a list whose items are the rows as shown,
// newest first, each named by its line (time, direction and text) and selected as it is drawn;
// while the list has the keyboard its current row is the focused item. An item stays with its
// entry as rows come in above it, and ends when the entry leaves the log.

#include "ui/widgets/ListItemAccessible.h"

#include <QAccessibleWidget>
#include <QList>
#include <QPersistentModelIndex>

class FrameLogView;

class FrameLogAccessible : public QAccessibleWidget {
public:
    explicit FrameLogAccessible(FrameLogView* view);
    ~FrameLogAccessible() override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

    // The item of a row, made the first time it is asked for; none for a row out of range.
    QAccessibleInterface* row(const QModelIndex& index) const;

private:
    FrameLogView* view() const;
    // Ends the items of entries that left the log.
    void forgetRowsGone();

    // The items made so far: no more than the log's rows, which are few.
    mutable QList<QAccessible::Id> m_rows;
    QMetaObject::Connection m_removed;
    QMetaObject::Connection m_reset;
};

class FrameLogRowAccessible : public ListItemAccessible {
public:
    FrameLogRowAccessible(FrameLogView* view, const QModelIndex& index);

    bool isValid() const override;
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QString text(QAccessible::Text t) const override;
    QRect rect() const override;
    QAccessible::State state() const override;

    const QPersistentModelIndex& index() const { return m_index; }
    // The item stands for this row of the list.
    bool isRow(const QModelIndex& index) const { return m_index == index; }

private:
    FrameLogView* m_view;
    QPersistentModelIndex m_index;
};

// Makes Qt give the frame log the interface above; once is enough, more is harmless.
void installFrameLogAccessibility();
