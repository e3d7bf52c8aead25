#pragma once
// Lines of printable ASCII in one font as glyphs one cell apart, looked up per character
// instead of shaped. Only for a font that shaping draws that way: one glyph a character, the
// same wherever it stands (no kerning, no ligatures, no fallback font), all of one width. That is
// checked on every pair of characters when the table is made, not taken from what the font says
// of itself: fontconfig lists some monospaced fonts without their spacing.

#include <QFont>
#include <QList>
#include <QPointF>
#include <QRawFont>
#include <QStringView>

#include <array>

class AsciiCells {
public:
    static constexpr char16_t first = 0x20;
    static constexpr char16_t last = 0x7e;

    // A table for no font: lines are shaped.
    AsciiCells() = default;
    explicit AsciiCells(const QFont& font);

    // The advance of every character; 0 when lines in this font must be shaped.
    qreal cell() const { return m_cell; }
    const QRawFont& rawFont() const { return m_rawFont; }

    static bool isPrintable(QStringView text);
    // Appends the glyphs of `text`, printable ASCII, with the line's top left at `origin`. Only
    // while cell() is not 0.
    void append(QStringView text, QPointF origin, QList<quint32>& glyphs, QList<QPointF>& positions) const;

private:
    QRawFont m_rawFont;
    std::array<quint32, last - first + 1> m_glyphs{};
    qreal m_cell = 0;
    // Where shaping puts a line's first glyph, from the line's top left.
    QPointF m_origin;
};
