#pragma once
// A label made of a symbol and a text, tinted as a whole: the orange and red notes of the
// pages (a failed command, a file's problems, a refresh that went wrong).

#include <QColor>
#include <QPixmap>
#include <QWidget>

class QLabel;

class SymbolLabel : public QWidget {
public:
    static QColor orange() { return QColor(0xFF, 0x95, 0x00); }
    static QColor red() { return QColor(0xFF, 0x3B, 0x30); }
    static QColor green() { return QColor(0x34, 0xC7, 0x59); }

    // `fontDelta` is the font role relative to the application font (callout −1).
    SymbolLabel(const QString& symbol, const QString& text, const QColor& color, double fontDelta = -1,
                QWidget* parent = nullptr);

    // The symbol at `size` pixels, drawn in one colour.
    static QPixmap tintedSymbol(const QString& symbol, int size, const QColor& color, qreal ratio);

    void setText(const QString& text);
    QString text() const;
    QString symbol() const { return m_symbol; }
    // The text can be selected and copied with the mouse or the keyboard.
    void setSelectable(bool selectable);
    QLabel* textLabel() const { return m_text; }

private:
    QString m_symbol;
    QLabel* m_icon = nullptr;
    QLabel* m_text = nullptr;
};
