#pragma once
// The frame log list: one line per entry, newest at the top: the time of day, the direction
// mark and the text, cut to one line. Rows can be selected; Copy puts their lines on the
// clipboard. Inside the scrolling page it takes the wheel only while it has the focus.

#include <QListView>

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

public slots:
    // Named as the Edit menu's action expects of the focused widget.
    void copy();

protected:
    bool viewportEvent(QEvent* event) override;
};
