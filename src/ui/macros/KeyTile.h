#pragma once
// One macro key drawn on the desktop as the device's home grid draws it: the tint's fill and
// border, the glyph row (colour emoji or the device's own icon), the label, the badge of a key
// that is not set up, and the ring of the selected key. The grid's cells and the drag preview
// are both drawn by it.

#include "macros/MacroButton.h"

#include <QColor>
#include <QPixmap>
#include <QRectF>
#include <QWidget>

class QPainter;

class KeyTile : public QWidget {
    Q_OBJECT
public:
    // The proportions of a key on the device's home grid.
    static constexpr qreal aspectWidth = 110;
    static constexpr qreal aspectHeight = 77;
    static constexpr qreal cornerRadius = 10;
    // The selection ring reaches this far beyond the tile; the widget leaves room for it.
    static constexpr int ringOutset = 3;
    static constexpr qreal contentInset = 6;
    // Debian's colour emoji face (fonts-noto-color-emoji), as the device's emoji are drawn.
    static constexpr const char* emojiFamily = "Noto Color Emoji";

    struct TintColors {
        QColor litFill;
        QColor accent;
        QColor unlitContent;
    };
    static TintColors tintColors(KeyTint tint);
    static QColor unlitFill() { return QColor(0x15, 0x17, 0x1A); }
    static QColor unlitBorder() { return QColor(0x2A, 0x2E, 0x34); }
    static QColor badgeOrange() { return QColor(0xFF, 0x95, 0x00); }

    // Lit needs both: a latching key that is on.
    static bool isLit(const MacroButton& button) { return button.isToggle && button.isActive; }
    static bool isEmpty(const MacroButton& button) { return button.action.kind() == MacroAction::Kind::unassigned; }
    static bool showsBadge(const MacroButton& button) { return !isEmpty(button) && !button.action.isConfigured(); }

    // Draws the tile filling `tile`; the ring, when selected, goes ringOutset beyond it. With
    // `focusShown` the ring is bolder and the tile glows: the keyboard is on this key.
    static void paint(QPainter& painter, const QRectF& tile, const MacroButton& button, bool isSelected,
                      const QPalette& palette, bool focusShown = false);
    // Where the "not set up" badge sits in a tile.
    static QRectF badgeRect(const QRectF& tile);
    // The tile at the device's key size, unselected: what a drag carries.
    static QPixmap preview(const MacroButton& button, const QPalette& palette);

    explicit KeyTile(QWidget* parent = nullptr);

    const MacroButton& button() const { return m_button; }
    bool isSelected() const { return m_isSelected; }
    void setButton(const MacroButton& button);
    void setSelected(bool selected);
    bool isFocusShown() const { return m_isFocusShown; }
    void setFocusShown(bool shown);
    // The tile inside the widget, which is larger by the ring's room on every side.
    QRectF tileRect() const;
    // Whether a point of the widget lies on the tile's rounded shape.
    bool hitsTile(const QPointF& point) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    MacroButton m_button;
    bool m_isSelected = false;
    bool m_isFocusShown = false;
};
