#pragma once
// The text of a key chord on its rounded plate. It takes the room the chord needs and never
// widens its row: where the row is narrower, the end of the chord gives way to "…" and the
// tooltip holds the whole chord.

#include <QLabel>

class ChordLabel : public QLabel {
public:
    static constexpr int cornerRadius = 5;
    static constexpr int horizontalPadding = 8;
    static constexpr int verticalPadding = 3;

    explicit ChordLabel(QWidget* parent = nullptr);

    void setChord(const QString& text);
    // The text as drawn at the present width.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void showWholeChordInTooltip();
};
