#pragma once
// Read-only text that breaks a line anywhere when a word is longer than the line, so a long
// command or address without spaces wraps inside its column instead of widening the page.
// It is as tall as its text at the width it gets, never scrolls, and can be selectable.

#include <QHash>
#include <QTextEdit>

#include <memory>
#include <optional>

class WrappingText : public QTextEdit {
public:
    explicit WrappingText(const QString& text = {}, QWidget* parent = nullptr);
    ~WrappingText() override;

    // Always plain text.
    void setText(const QString& text);
    QString text() const { return toPlainText(); }
    void setTextColor(const QColor& color);
    // Selected and copied with the mouse or the keyboard; off by default.
    void setSelectable(bool selectable);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // The page around it scrolls; the text itself has nothing to scroll or zoom.
    void wheelEvent(QWheelEvent* event) override;

private:
    void followLayoutDirection();
    // Sets the measuring copy's font when it differs: setting it lays the text out anew.
    void measureInFont() const;
    void forgetMeasures() const;

    // A copy of the text laid out at any width, so measuring leaves the shown layout alone.
    std::unique_ptr<QTextDocument> m_measure;
    // Heights by text width and the size hint, until the text or the font changes: layouts ask
    // again at each pass, and every answer lays the text out.
    mutable QHash<int, int> m_heights;
    mutable std::optional<QSize> m_sizeHint;
};
