#pragma once
// The frame log list: one line per entry, newest at the top: the time of day, the direction
// mark and the text, cut to one line. While its top row is in sight it follows the log; scrolled
// down, the rows in sight stay where they are as entries come and go. Rows can be selected; Copy
// puts their lines on the clipboard. Inside the scrolling page it takes the wheel only while it
// has the focus.

#include "ui/diagnostics/AsciiCells.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QGlyphRun>
#include <QList>
#include <QItemSelectionModel>
#include <QStaticText>

#include <optional>

class FrameLogModel;

class FrameLogView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int minimumListHeight = 260;
    static constexpr int partSpacing = 8;
    static constexpr int markWidth = 22;
    static constexpr int focusRingWidth = 2;

    explicit FrameLogView(FrameLogModel* model, QWidget* parent = nullptr);

    FrameLogModel* model() const { return m_model; }
    int rowHeight() const { return m_rowHeight; }
    // The model row drawn at `point` of the viewport; -1 where there is none.
    int rowAt(QPoint point) const;

    // The selection and the current row, kept on the entries as rows come and go.
    QItemSelectionModel* selectionModel() const { return m_selection; }

    // The lines of the selected rows, top to bottom; the current row when none is selected.
    QString selectedText() const;
    // The row last said to a screen reader as the one the keyboard is on.
    QModelIndex saidRow() const { return m_saidRow; }

public slots:
    // Named as the Edit menu's actions expect of the focused widget.
    void copy();
    void selectAll();

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // An entry as drawn: laid out the first time it is drawn, kept while it is in the log.
    struct Row {
        bool laidOut = false;
        QStaticText time;
        int timeAdvance = 0;
        int mark = 0;
        // A line of printable ASCII that fits is its glyphs, one cell apart; any other line is
        // shaped and cut.
        QList<quint32> glyphs;
        QList<QPointF> positions;
        QStaticText line;
    };

    void rowsInserted(int first, int last);
    void rowsRemoved(int first, int last);
    void rowsReset();
    void updateRange();
    void updateMarkedRows();
    void forgetLayout();
    Row& laidOut(int row);
    QGlyphRun glyphRun(const quint32* glyphs, const QPointF* positions, qsizetype count) const;
    bool isSelected(int row) const;
    void choose(int row, Qt::KeyboardModifiers modifiers, bool byKey);
    QColor backdrop();
    // Tells assistive technology that the current row has the keyboard, while the list has it.
    void announceCurrent();

    FrameLogModel* m_model = nullptr;
    // The model's rows, newest first.
    QList<Row> m_rows;
    QItemSelectionModel* m_selection = nullptr;
    QPersistentModelIndex m_anchor;
    // The row the user moved to last, said to a screen reader; when it leaves the log before
    // the user moves on, the row that took its place is said once instead.
    QPersistentModelIndex m_saidRow;
    bool m_sayReplacement = false;
    // The rows moved with the scroll bar's value: the pixels in sight stay as they are.
    bool m_keepingPlace = false;
    // The range is to be updated once the rows that come in with those that left are in.
    bool m_rangeDue = false;

    int m_rowHeight = 0;
    // The width the rows' lines were cut for.
    int m_width = -1;
    QFont m_bold;
    int m_boldRise = 0;
    // How far below a row's top its texts start.
    int m_textTop = 0;
    // The font's glyphs of printable ASCII, when they need no shaping: those of the fixed-pitch
    // font the list is set in do not; made for the font when a row is first laid out.
    std::optional<AsciiCells> m_cells;
    QStaticText m_marks[3];
    int m_markAdvances[3] = {};
    QString m_lastTime;
    QStaticText m_lastTimeText;
    int m_lastTimeAdvance = 0;
    // What the section behind the list shows, which the list paints as its own background.
    std::optional<QColor> m_backdrop;
};
