#pragma once
// What assistive technology reads of the key grid: a list whose items are the keys in slot
// order, each named as its tile is and selected as it is drawn; while the grid has the keyboard
// the selected key is the focused item, so a screen reader says each key the arrows reach.

#include <QAccessibleWidget>

class KeyCanvas;
class KeyTile;

class KeyCanvasAccessible : public QAccessibleWidget {
public:
    explicit KeyCanvasAccessible(KeyCanvas* canvas);

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* focusChild() const override;

private:
    KeyCanvas* canvas() const;
};

class KeyTileAccessible : public QAccessibleWidget {
public:
    explicit KeyTileAccessible(KeyTile* tile);

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;

private:
    KeyTile* tile() const;
};

// Makes Qt give the grid and its tiles the interfaces above; once is enough, more is harmless.
void installKeyGridAccessibility();
