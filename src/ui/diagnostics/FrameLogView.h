#pragma once
// The frame log list: one line per entry, newest at the top: the time of day, the direction
// mark and the text, cut to one line. Rows can be selected; Copy puts their lines on the
// clipboard. Inside the scrolling page it takes the wheel only while it has the focus.

#include <QColor>
#include <QList>
#include <QListView>
#include <QPixmap>
#include <QRect>
#include <QStyle>
#include <QStyleOptionViewItem>

#include <limits>
#include <optional>

class FrameLogModel;

class FrameLogView : public QListView {
    Q_OBJECT
public:
    static constexpr int minimumListHeight = 260;
    static constexpr int partSpacing = 8;
    static constexpr int markWidth = 22;

    explicit FrameLogView(FrameLogModel* model, QWidget* parent = nullptr);

    // The lines of the selected rows, top to bottom; the current row when none is selected.
    QString selectedText() const;

    // What a row shows: the texts its parts are drawn from.
    struct RowContent {
        QString time;
        QString mark;
        QString line;
        // How the list marks the row, hover aside.
        QStyle::State marks;
    };
    static RowContent rowContent(const QModelIndex& index);

public slots:
    // Named as the Edit menu's action expects of the focused widget.
    void copy();
    void reset() override;
    void doItemsLayout() override;

protected:
    bool viewportEvent(QEvent* event) override;
    void initViewItemOption(QStyleOptionViewItem* option) const override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

protected slots:
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    void follow(bool following);
    bool keepsRowPlaces(const QModelIndex& parent) const;
    void updateRowContents();
    bool paintRows(const QRegion& region);
    bool hoverMarksRows() const;
    QStyle::State rowMarks(const QModelIndex& index) const;
    void forgetShownRows();
    void markShownRows(int first, int last);

    // What each row in sight showed at the last refresh, from row m_shownFrom on; unset where it
    // is not known. The rows' places must not have changed since.
    QList<std::optional<RowContent>> m_shown;
    int m_shownFrom = 0;
    // Where row 0 lies while what the rows showed is known.
    QRect m_firstRow;
    // How far right the rows' drawing in the viewport reaches now, at most.
    int m_inkRight = std::numeric_limits<int>::max();
    // The item options of the last repaint, and what they were made from.
    mutable std::optional<QStyleOptionViewItem> m_itemOption;
    mutable QStyle::State m_itemOptionState;
    mutable const QStyle* m_itemOptionStyle = nullptr;

    // What the sections behind the list show where a part of it lies, painted once: the part
    // is then drawn over this copy and never makes the sections behind it paint again.
    struct Backdrop {
        QPixmap pixmap;
        QList<QRect> places;
        // Its colour when it is all one.
        std::optional<QColor> color;
        bool stale = true;
    };
    // Paints the backdrop of `area` over `region`, or gives its colour when it is all one, for
    // the caller to fill.
    std::optional<QColor> paintBackdrop(QWidget* area, Backdrop& backdrop, const QRegion& region);
    // Behind the rows.
    Backdrop m_backdrop;
    // Behind the vertical scroll bar, which changes with every row that comes while the list
    // grows.
    QWidget* m_scrollBarStrip = nullptr;
    Backdrop m_scrollBarBackdrop;
};
