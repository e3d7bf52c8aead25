#pragma once
// Lines of printable ASCII in one font as glyph runs, looked up per character instead of
// shaped: for fonts that draw each such character alike wherever it stands (no kerning, no
// ligatures), which is checked once, on every pair of characters, when the table is made.

#include <QFont>
#include <QGlyphRun>
#include <QList>
#include <QPointF>
#include <QRawFont>
#include <QStringView>

#include <array>
#include <optional>

class AsciiGlyphs {
public:
    explicit AsciiGlyphs(const QFont& font);

    // The line as the text layout would place it with its top left at the origin, and its
    // advance; nothing when the line holds a character outside printable ASCII or the font is
    // not usable.
    struct Line {
        QGlyphRun glyphs;
        qreal advance = 0;
    };
    std::optional<Line> line(QStringView text) const;

    // Any text shaped and laid out as a plain static text lays it out, top left at the origin.
    static QList<QGlyphRun> laidOut(const QString& text, const QFont& font);

private:
    static constexpr char16_t first = 0x20;
    static constexpr char16_t last = 0x7e;
    static constexpr int count = last - first + 1;

    // Whether the font's printable ASCII is drawn without context; when not, every line has
    // to be shaped.
    bool m_usable = false;
    QRawFont m_rawFont;
    QGlyphRun::GlyphRunFlags m_flags;
    // Where the first character's glyph stands: on the baseline, below the top.
    QPointF m_origin;
    std::array<quint32, count> m_glyphs{};
    std::array<qreal, count> m_advances{};
};
