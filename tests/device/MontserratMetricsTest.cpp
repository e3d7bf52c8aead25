#include "device/DeviceIcon.h"
#include "device/MontserratMetrics.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const int sizes[] = {14, 18, 24, 34};

int advance(const MontserratMetrics::Font& font, char32_t cp)
{
    const std::optional<int> g = font.glyphIndex(cp);
    return g ? font.data().advances[std::size_t(*g)] : -1;
}

// The table's kerning value for the pair, by the glyphs' classes.
int pairKerning(const MontserratMetrics::Font& font, char32_t left, char32_t right,
                int expectedLeftClass, int expectedRightClass)
{
    const MontserratFontData& d = font.data();
    const int l = d.leftClasses[std::size_t(*font.glyphIndex(left))];
    const int r = d.rightClasses[std::size_t(*font.glyphIndex(right))];
    EXPECT_EQ(l, expectedLeftClass);
    EXPECT_EQ(r, expectedRightClass);
    return d.kerning[std::size_t((l - 1) * d.rightClassCount + (r - 1))];
}

}  // namespace

TEST(MontserratMetrics, TellingRowsAtAllFourSizes)
{
    struct Row {
        char32_t cp;
        std::array<int, 4> advances;
    };
    const Row rows[] = {
        {U' ', {60, 77, 103, 146}},     {U'0', {149, 192, 256, 363}},
        {U'A', {164, 211, 281, 398}},   {U'W', {252, 324, 432, 613}},
        {U'a', {134, 172, 230, 325}},   {U'i', {62, 80, 107, 152}},
        {0x2022, {70, 90, 121, 171}},   {0xF287, {280, 360, 480, 680}},
    };
    const int lineHeights[] = {16, 21, 27, 38};
    const int avKerning[] = {-8, -11, -14, -20};
    const int toKerning[] = {-12, -16, -21, -30};
    for (int s = 0; s < 4; ++s) {
        const MontserratMetrics::Font& font = MontserratMetrics::fontForSize(sizes[s]);
        SCOPED_TRACE(sizes[s]);
        EXPECT_EQ(font.pointSize(), sizes[s]);
        EXPECT_EQ(font.lineHeight(), lineHeights[s]);
        EXPECT_EQ(font.data().codePoints.size(), 157u);
        EXPECT_EQ(font.data().rightClassCount, 49);
        EXPECT_EQ(font.data().kerning.size(), 61u * 49u);
        for (const Row& row : rows)
            EXPECT_EQ(advance(font, row.cp), row.advances[std::size_t(s)]) << int(row.cp);
        EXPECT_EQ(pairKerning(font, U'A', U'V', 23, 29), avKerning[s]);
        EXPECT_EQ(pairKerning(font, U'T', U'o', 36, 39), toKerning[s]);
    }
}

TEST(MontserratMetrics, OtherSizesMeasureAsFourteen)
{
    EXPECT_EQ(&MontserratMetrics::fontForSize(16), &MontserratMetrics::fontForSize(14));
    EXPECT_EQ(&MontserratMetrics::fontForSize(0), &MontserratMetrics::fontForSize(14));
    EXPECT_EQ(&MontserratMetrics::fontForSize(-34), &MontserratMetrics::fontForSize(14));
    EXPECT_EQ(MontserratMetrics::textWidth(u"Hello, World", 16), 88);
}

TEST(MontserratMetrics, WidthsRoundEachGlyphAndApplyKerning)
{
    EXPECT_EQ(MontserratMetrics::textWidth(u"", 14), 0);
    EXPECT_EQ(MontserratMetrics::textWidth(u"A", 14), 10);
    EXPECT_EQ(MontserratMetrics::textWidth(u"AV", 14), 20);
    EXPECT_EQ(MontserratMetrics::textWidth(u"\uF287", 14), 18);
    EXPECT_EQ(480 - 12 - MontserratMetrics::textWidth(u"\uF287", 14), 450);
    EXPECT_EQ(MontserratMetrics::textWidth(u"A", 34), (398 + 8) / 16);
    EXPECT_EQ(MontserratMetrics::textWidth(u"Hello, World", 14), 88);
    EXPECT_EQ(MontserratMetrics::textWidth(u"Tarv 1.0 \u2022 USB", 14), 94);
    // "T" before "o" loses 12/16 px: the pair is narrower than its glyphs apart.
    EXPECT_EQ(MontserratMetrics::textWidth(u"To", 14), 16);
    EXPECT_LT(MontserratMetrics::textWidth(u"To", 34),
              MontserratMetrics::textWidth(u"T", 34) + MontserratMetrics::textWidth(u"o", 34));
}

TEST(MontserratMetrics, MissingGlyphsTakeHalfTheLineHeightPlusTwo)
{
    const int missing[] = {10, 12, 15, 21};
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(MontserratMetrics::textWidth(u"\u4E2D", sizes[s]), missing[s]);
        EXPECT_EQ(MontserratMetrics::fontForSize(sizes[s]).missingGlyphWidth(), missing[s]);
    }
    // One per scalar, not per character: the emoji is one scalar, "é" decomposed is two.
    EXPECT_EQ(MontserratMetrics::textWidth(u"\U0001F600", 14), 10);
    EXPECT_EQ(MontserratMetrics::textWidth(u"e\u0301", 14),
              MontserratMetrics::textWidth(u"e", 14) + 10);
    // No kerning reaches across a missing glyph.
    EXPECT_EQ(MontserratMetrics::textWidth(u"A\u4E2DV", 14), 10 + 10 + 10);
    EXPECT_EQ(MontserratMetrics::textWidth(QString(QChar(0xD800)), 14), 10);  // lone surrogate
}

TEST(MontserratMetrics, CoverageAndGlyphLists)
{
    EXPECT_TRUE(MontserratMetrics::isCovered(U' '));
    EXPECT_TRUE(MontserratMetrics::isCovered(U'~'));
    EXPECT_FALSE(MontserratMetrics::isCovered(0x7F));
    EXPECT_FALSE(MontserratMetrics::isCovered(U'\n'));
    EXPECT_TRUE(MontserratMetrics::isCovered(0xB0));
    EXPECT_TRUE(MontserratMetrics::isCovered(0x2022));
    EXPECT_FALSE(MontserratMetrics::isCovered(0x2026));
    EXPECT_FALSE(MontserratMetrics::isCovered(0xF000));
    EXPECT_FALSE(MontserratMetrics::isCovered(0x1F600));
    for (DeviceIcon icon : DeviceIcon::allCases())
        EXPECT_TRUE(MontserratMetrics::isCovered(icon.codePoint())) << icon.rawValue().toStdString();
    int covered = 0;
    for (char32_t cp = 0; cp < 0x10000; ++cp)
        covered += MontserratMetrics::isCovered(cp);
    EXPECT_EQ(covered, 157);

    const MontserratMetrics::Font& font = MontserratMetrics::fontForSize(18);
    const QList<std::optional<int>> g = MontserratMetrics::glyphs(u"A\u4E2D\U0001F600 ", font);
    ASSERT_EQ(g.size(), 4);
    EXPECT_EQ(g[0], 'A' - 0x20);
    EXPECT_EQ(g[1], std::nullopt);
    EXPECT_EQ(g[2], std::nullopt);
    EXPECT_EQ(g[3], 0);
}

TEST(MontserratMetrics, UncoveredAndUndrawableScalars)
{
    EXPECT_FALSE(hasUncoveredScalar(u""));
    EXPECT_FALSE(hasUncoveredScalar(u"Volume 42\u00B0 \uF287"));
    EXPECT_TRUE(hasUncoveredScalar(u"caf\u00E9"));
    EXPECT_TRUE(hasUncoveredScalar(u"line\nbreak"));
    const MontserratMetrics::Font& font = MontserratMetrics::fontForSize(24);
    EXPECT_FALSE(hasUndrawableScalar(u"", font));
    EXPECT_FALSE(hasUndrawableScalar(u"...", font));
    EXPECT_TRUE(hasUndrawableScalar(u"\u2026", font));
}
