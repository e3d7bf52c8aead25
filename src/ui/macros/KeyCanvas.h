#pragma once
// The key grid of the macros page: the active profile's keys as tiles in four columns, in the
// slot order of the device's 4 × 3 home grid. A click selects a key, dragging a tile onto
// another swaps the two, and a tile's context menu moves its key one step. From the keyboard,
// arrows, Home and End select, Ctrl+arrows move the selected key, the menu key opens its menu,
// Return or F2 asks the host to edit its label and Delete or Backspace to clear the key. It
// owns no data: the host gives it the keys and the swap, and follows its selection. A screen
// reader reads it as a list of its keys (KeyGridAccessible).

#include "macros/MacroButton.h"

#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>

class KeyTile;
class QMenu;

class KeyCanvas : public QWidget {
    Q_OBJECT
public:
    static constexpr int columns = 4;
    static constexpr int rowsOnDevice = 3;
    static constexpr int spacing = 8;
    static constexpr int maximumGridWidth = 696;
    static constexpr int minimumColumnWidth = 10;

    explicit KeyCanvas(QWidget* parent = nullptr);

    // Only the tiles whose key changed are drawn again.
    void setButtons(const QList<MacroButton>& buttons);
    const QList<MacroButton>& buttons() const { return m_buttons; }

    // The selected slot, or -1 for none.
    int selection() const { return m_selection; }
    void setSelection(int index);

    // Exchanges the keys of two slots (from, to); the host's store does the work.
    void setSwap(std::function<void(int, int)> swap) { m_swap = std::move(swap); }

    KeyTile* tile(int index) const;

    // The slot a dropped text names: an optional sign, then one or more digits 0-9 and nothing
    // else, within a signed 64-bit integer. Anything else names none.
    static std::optional<qint64> droppedIndex(const QString& text);
    // A drop of texts onto a slot: swaps and selects the slot when the first text names another
    // slot of the grid; false, with nothing changed, when the drop is refused.
    bool drop(const QStringList& texts, int target);
    // The four moves of a tile's context menu, enabled by the slot's column and row.
    QMenu* makeContextMenu(int index, QWidget* parent);
    // The slot a move of one step from `index` leads to, or -1 where the device's grid ends.
    static int moveTarget(int index, Qt::Key direction);
    static QString accessibleName(const MacroButton& button, int index);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    // Edit ▸ Delete, named as the window's Edit menu calls it on the focused widget: as Delete
    // on the grid, asks the host to clear the selected key.
    void del();

signals:
    // The user changed the selection: a click, or a drop that moved the selected key.
    void selectionChanged(int index);
    // Return or F2 on the grid: the user wants to type the selected key's label.
    void editLabelRequested();
    // Delete or Backspace on the grid: the user wants the selected key cleared.
    void clearRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    struct Metrics {
        qreal left = 0;
        qreal columnWidth = 0;
        qreal rowHeight = 0;
    };
    Metrics metricsFor(int width) const;
    int rowCount() const;
    void layoutTiles();
    void choose(int index);
    void startDrag(int index);
    void openContextMenu(int index, const QPoint& globalPos);
    // The menu of the selected key, at its tile; false without a selected key.
    bool openSelectedContextMenu();
    void showFocus();
    // Tells assistive technology that the selected key has the keyboard, while the grid has it.
    void announceFocus();

    QList<MacroButton> m_buttons;
    QList<KeyTile*> m_tiles;
    int m_selection = -1;
    std::function<void(int, int)> m_swap;
    std::optional<QPoint> m_pressAt;
};
