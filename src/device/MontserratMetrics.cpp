#include "device/MontserratMetrics.h"

#include "platform/Scalars.h"

#include <algorithm>
#include <vector>

namespace {

const std::array<MontserratMetrics::Font, 4>& fontTable()
{
    static const std::array<MontserratMetrics::Font, 4> fonts{
        MontserratMetrics::Font(montserratFontData[0]),
        MontserratMetrics::Font(montserratFontData[1]),
        MontserratMetrics::Font(montserratFontData[2]),
        MontserratMetrics::Font(montserratFontData[3])};
    return fonts;
}

// The pixels one glyph adds, given the glyph that follows it (−1: none or missing).
int glyphWidth(const MontserratFontData& d, int g, int next)
{
    int a = d.advances[std::size_t(g)];
    if (next >= 0) {
        const int left = d.leftClasses[std::size_t(g)];
        const int right = d.rightClasses[std::size_t(next)];
        if (left != 0 && right != 0)
            a += d.kerning[std::size_t((left - 1) * d.rightClassCount + (right - 1))];
    }
    return a + 8 < 0 ? 0 : (a + 8) / 16;
}

}  // namespace

MontserratMetrics::Font::Font(const MontserratFontData& data) : m_data(&data)
{
    m_ascii.fill(-1);
    for (std::size_t i = 0; i < data.codePoints.size() && data.codePoints[i] < 128; ++i)
        m_ascii[data.codePoints[i]] = std::int16_t(i);
}

int MontserratMetrics::Font::lookup(char32_t codePoint) const
{
    if (codePoint < 128)
        return m_ascii[codePoint];
    // The generator guarantees ascending, unique code points.
    const auto& cps = m_data->codePoints;
    const auto it = std::lower_bound(cps.begin(), cps.end(), codePoint);
    return it != cps.end() && *it == codePoint ? int(it - cps.begin()) : -1;
}

const MontserratMetrics::Font& MontserratMetrics::fontForSize(int size)
{
    for (const Font& font : fontTable()) {
        if (font.pointSize() == size)
            return font;
    }
    return fontTable()[0];
}

int MontserratMetrics::textWidth(QStringView text, int size)
{
    return textWidth(text, fontForSize(size));
}

int MontserratMetrics::textWidth(QStringView text, const Font& font)
{
    const MontserratFontData& d = font.data();
    int width = 0;
    bool havePrevious = false;
    int previous = -1;
    for (qsizetype i = 0; i < text.size();) {
        const int g = font.lookup(nextScalar(text, i));
        if (havePrevious)
            width += previous < 0 ? font.missingGlyphWidth() : glyphWidth(d, previous, g);
        previous = g;
        havePrevious = true;
    }
    if (havePrevious)
        width += previous < 0 ? font.missingGlyphWidth() : glyphWidth(d, previous, -1);
    return width;
}

bool MontserratMetrics::isCovered(char32_t codePoint)
{
    // The code points every size draws, worked out once: coverage is asked for every
    // scalar of every text, so it must not look in four fonts each time.
    struct Coverage {
        std::array<bool, 128> ascii{};
        std::vector<char32_t> others;  // ascending
    };
    static const Coverage coverage = [] {
        Coverage c;
        const Font& first = fontTable()[0];
        for (char32_t cp : first.data().codePoints) {
            const bool inAll = std::all_of(fontTable().begin(), fontTable().end(),
                                           [&](const Font& f) { return f.lookup(cp) >= 0; });
            if (!inAll)
                continue;
            if (cp < 128)
                c.ascii[cp] = true;
            else
                c.others.push_back(cp);
        }
        return c;
    }();
    if (codePoint < 128)
        return coverage.ascii[codePoint];
    return std::binary_search(coverage.others.begin(), coverage.others.end(), codePoint);
}

QList<std::optional<int>> MontserratMetrics::glyphs(QStringView text, const Font& font)
{
    QList<std::optional<int>> out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();)
        out.append(font.glyphIndex(nextScalar(text, i)));
    return out;
}

bool hasUncoveredScalar(QStringView text)
{
    for (qsizetype i = 0; i < text.size();) {
        if (!MontserratMetrics::isCovered(nextScalar(text, i)))
            return true;
    }
    return false;
}

bool hasUndrawableScalar(QStringView text, const MontserratMetrics::Font& font)
{
    for (qsizetype i = 0; i < text.size();) {
        if (font.lookup(nextScalar(text, i)) < 0)
            return true;
    }
    return false;
}
