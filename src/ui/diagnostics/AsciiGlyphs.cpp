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
}

std::optional<AsciiGlyphs::Line> AsciiGlyphs::line(QStringView text) const
{
    if (!m_usable)
        return std::nullopt;
    QList<quint32> glyphs(text.size());
    QList<QPointF> positions(text.size());
    qreal x = m_origin.x();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < first || c > last)
            return std::nullopt;
        glyphs[i] = m_glyphs[c - first];
        positions[i] = QPointF(x, m_origin.y());
        x += m_advances[c - first];
    }
    Line out;
    out.glyphs.setRawFont(m_rawFont);
    out.glyphs.setGlyphIndexes(glyphs);
    out.glyphs.setPositions(positions);
    out.glyphs.setFlags(m_flags);
    out.advance = x - m_origin.x();
    return out;
}
