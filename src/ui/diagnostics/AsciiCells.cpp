#include "ui/diagnostics/AsciiCells.h"

#include <QGlyphRun>
#include <QTextLayout>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// Every ordered pair of the printable characters stands side by side somewhere in this text,
// once: the Lyndon words of length one and two in order, closed into a line.
QString everyPair()
{
    constexpr int count = AsciiCells::last - AsciiCells::first + 1;
    QString text;
    text.reserve(count * count + 1);
    for (int a = 0; a < count; ++a) {
        text.append(QChar(char16_t(AsciiCells::first + a)));
        for (int b = a + 1; b < count; ++b) {
            text.append(QChar(char16_t(AsciiCells::first + a)));
            text.append(QChar(char16_t(AsciiCells::first + b)));
        }
    }
    text.append(QChar(AsciiCells::first));
    return text;
}

}  // namespace

AsciiCells::AsciiCells(const QFont& font)
{
    const QString sample = everyPair();
    QTextLayout layout(sample, font);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(std::numeric_limits<int>::max() / 256);
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    // One font and one glyph a character.
    if (runs.size() != 1 || runs[0].glyphIndexes().size() != sample.size())
        return;
    const QList<quint32> glyphs = runs[0].glyphIndexes();
    const QList<QPointF> positions = runs[0].positions();
    const qreal cell = positions[1].x() - positions[0].x();
    std::array<bool, last - first + 1> seen{};
    for (qsizetype i = 0; i < sample.size(); ++i) {
        const int c = sample[i].unicode() - first;
        // The last character stands alone; the one before it gave its advance.
        if (positions[i].y() != positions[0].y() ||
            (i + 1 < sample.size() && positions[i + 1].x() - positions[i].x() != cell))
            return;
        if (!std::exchange(seen[c], true))
            m_glyphs[c] = glyphs[i];
        else if (m_glyphs[c] != glyphs[i])
            return;
    }
    if (cell <= 0 || !std::all_of(seen.cbegin(), seen.cend(), [](bool s) { return s; }))
        return;
    m_rawFont = runs[0].rawFont();
    m_cell = cell;
    m_origin = positions[0];
}

bool AsciiCells::isPrintable(QStringView text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= first && c.unicode() <= last; });
}

void AsciiCells::append(QStringView text, QPointF origin, QList<quint32>& glyphs, QList<QPointF>& positions) const
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        glyphs.append(m_glyphs[text[i].unicode() - first]);
        positions.append(origin + m_origin + QPointF(i * m_cell, 0));
    }
}
