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

    // The line's glyphs where the text layout would place them with its top left at the origin,
    // and its advance; nothing when the line holds a character outside printable ASCII or the
    // font is not usable.
    struct Line {
        QList<quint32> glyphs;
        QList<QPointF> positions;
        qreal advance = 0;
    };
    std::optional<Line> line(QStringView text) const;

    // The glyphs of `line` from `first` up to `last`.
    struct Range {
        qsizetype first = 0;
        qsizetype last = 0;
    };
    // The glyphs of `line` that may leave ink between `from` and `to`, in the line's own
    // coordinates.
    Range reaching(const Line& line, qreal from, qreal to) const;
    // Glyphs of `line` as a run that points into it: good while `line` lives unchanged.
    QGlyphRun run(const Line& line, Range range) const;
    QGlyphRun run(const Line& line) const { return run(line, {0, line.glyphs.size()}); }

    // Where two lines differ in what they draw, as a span of the line's own coordinates that
    // holds every pixel either leaves differently; empty when they draw alike. Nothing when
    // either is not a line of this table or is wider than `width`.
    struct Span {
        qreal from = 0;
        qreal to = 0;
    };
    std::optional<Span> changed(QStringView before, QStringView after, qreal width) const;

    // How far down from a line's top any glyph's ink may reach, from where to where.
    Span inkRows() const { return m_inkRows; }

    // Any text shaped and laid out as a plain static text lays it out, top left at the origin.
    static QList<QGlyphRun> laidOut(const QString& text, const QFont& font);

private:
    std::optional<qreal> advance(QStringView text) const;

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
    qreal m_widestAdvance = 0;
    // How far any character's ink may reach past its advance, on either side.
    qreal m_overhang = 0;
    Span m_inkRows;
};
