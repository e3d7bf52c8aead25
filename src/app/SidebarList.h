#pragma once
// The list of the main window's sidebar: pages under headings that can be neither chosen nor
// reached by keys. The chosen page stands out while the list has the focus, and Home, End and
// the page keys land on pages, past the headings.

#include <QListWidget>

class SidebarList : public QListWidget {
public:
    explicit SidebarList(QWidget* parent = nullptr);

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};
