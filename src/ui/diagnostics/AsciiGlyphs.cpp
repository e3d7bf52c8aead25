#include "ui/diagnostics/AsciiGlyphs.h"

#include <QList>
#include <QPointF>
#include <QString>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Every ordered pair of the `count` characters from `first` stands side by side somewhere in
// this text, once: the Lyndon words of length one and two in order, closed into a line.
QString everyPair(char16_t first, int count)
{
    QString text;
    text.reserve(count * count + 1);
    for (int a = 0; a < count; ++a) {
        text.append(QChar(char16_t(first + a)));
        for (int b = a + 1; b < count; ++b) {
            text.append(QChar(char16_t(first + a)));
            text.append(QChar(char16_t(first + b)));
        }
    }
    text.append(QChar(first));
    return text;
}

}  // namespace

QList<QGlyphRun> AsciiGlyphs::laidOut(const QString& text, const QFont& font)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    qreal height = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(std::numeric_limits<int>::max() / 256);
        line.setPosition(QPointF(0, height));
        height += line.height();
        if (line.leading() < 0)
            height += std::ceil(line.leading());
    }
    layout.endLayout();
    return layout.glyphRuns();
}

AsciiGlyphs::AsciiGlyphs(const QFont& font)
{
    const QString sample = everyPair(first, count);
    QList<quint32> glyphs;
    QList<QPointF> positions;
    for (const QGlyphRun& run : laidOut(sample, font)) {
        if (!m_rawFont.isValid()) {
            m_rawFont = run.rawFont();
            m_flags = run.flags();
        } else if (!(run.rawFont() == m_rawFont) || run.flags() != m_flags) {
            return;
        }
        glyphs.append(run.glyphIndexes());
        positions.append(run.positions());
    }
    if (!m_rawFont.isValid() || glyphs.size() != sample.size() || positions.size() != sample.size())
        return;

    std::array<bool, count> seen{};
    m_origin = positions[0];
    for (qsizetype i = 0; i + 1 < sample.size(); ++i) {
        const int c = sample[i].unicode() - first;
        const qreal advance = positions[i + 1].x() - positions[i].x();
        if (positions[i].y() != m_origin.y())
            return;
        if (!seen[c]) {
            seen[c] = true;
            m_glyphs[c] = glyphs[i];
            m_advances[c] = advance;
        } else if (m_glyphs[c] != glyphs[i] || m_advances[c] != advance) {
            return;
        }
    }
    m_usable = std::all_of(seen.cbegin(), seen.cend(), [](bool s) { return s; }) &&
               glyphs.last() == m_glyphs[0] && positions.last().y() == m_origin.y();
    // Rasterising may spread a glyph a pixel past its outline, at any subpixel position.
    m_inkRows = {m_origin.y(), m_origin.y()};
    for (int c = 0; c < count; ++c) {
        const QRectF ink = m_rawFont.boundingRect(m_glyphs[c]);
        m_overhang = std::max({m_overhang, -ink.left() + 2, ink.right() - m_advances[c] + 2});
        m_widestAdvance = std::max(m_widestAdvance, m_advances[c]);
        m_inkRows.from = std::min(m_inkRows.from, m_origin.y() + ink.top() - 2);
        m_inkRows.to = std::max(m_inkRows.to, m_origin.y() + ink.bottom() + 2);
    }
}

std::optional<AsciiGlyphs::Line> AsciiGlyphs::line(QStringView text) const
{
    if (!m_usable)
        return std::nullopt;
    Line out;
    out.glyphs.resize(text.size());
    out.positions.resize(text.size());
    qreal x = m_origin.x();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < first || c > last)
            return std::nullopt;
        out.glyphs[i] = m_glyphs[c - first];
        out.positions[i] = QPointF(x, m_origin.y());
        x += m_advances[c - first];
    }
    out.advance = x - m_origin.x();
    return out;
}

// Adds up advances as line() places glyphs, so that equal sums mean equal places.
std::optional<qreal> AsciiGlyphs::advance(QStringView text) const
{
    qreal x = m_origin.x();
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c < first || c > last)
            return std::nullopt;
        x += m_advances[c - first];
    }
    return x - m_origin.x();
}

AsciiGlyphs::Range AsciiGlyphs::reaching(const Line& line, qreal from, qreal to) const
{
    const QList<QPointF>& positions = line.positions;
    // A glyph's ink lies within its advance and the overhang on either side.
    const auto reaches = [&](const QPointF& p) { return p.x() + m_widestAdvance + m_overhang > from; };
    const auto beyond = [&](const QPointF& p) { return p.x() - m_overhang >= to; };
    const auto starts = std::find_if(positions.cbegin(), positions.cend(), reaches);
    const auto ends = std::find_if(starts, positions.cend(), beyond);
    return {starts - positions.cbegin(), ends - positions.cbegin()};
}

QGlyphRun AsciiGlyphs::run(const Line& line, Range range) const
{
    QGlyphRun out;
    out.setRawFont(m_rawFont);
    out.setFlags(m_flags);
    out.setRawData(line.glyphs.constData() + range.first, line.positions.constData() + range.first,
                   int(range.last - range.first));
    return out;
}

std::optional<AsciiGlyphs::Span> AsciiGlyphs::changed(QStringView before, QStringView after, qreal width) const
{
    if (!m_usable)
        return std::nullopt;
    const std::optional<qreal> wasWide = advance(before);
    const std::optional<qreal> isWide = advance(after);
    if (!wasWide || !isWide || *wasWide > width || *isWide > width)
        return std::nullopt;
    const qsizetype shorter = std::min(before.size(), after.size());
    qsizetype head = 0;
    while (head < shorter && before[head] == after[head])
        ++head;
    if (head == before.size() && head == after.size())
        return Span{};
    // A common tail stays where it was only when what comes before it is as wide in both.
    qsizetype tail = 0;
    while (tail < shorter - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    const qreal start = *advance(before.first(head));
    qreal wasEnd = *advance(before.first(before.size() - tail));
    qreal isEnd = *advance(after.first(after.size() - tail));
    if (wasEnd != isEnd) {
        wasEnd = *wasWide;
        isEnd = *isWide;
    }
    return Span{m_origin.x() + start - m_overhang, m_origin.x() + std::max(wasEnd, isEnd) + m_overhang};
}
