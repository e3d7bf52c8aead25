#pragma once
// A one-line label for outside text (a track, an artist, a company name) that never asks for
// more width than it gets: a text too long for it is cut with an ellipsis, and its tooltip
// then holds the whole text.

#include <QLabel>

class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(Qt::TextElideMode mode = Qt::ElideRight, QWidget* parent = nullptr);

    // Plain text, shown whole when it fits.
    void setFullText(const QString& text);
    const QString& fullText() const { return m_fullText; }
    // Whether the shown text is cut.
    bool isElided() const { return text() != m_fullText; }

    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void showFitting();

    Qt::TextElideMode m_mode;
    QString m_fullText;
};
