#pragma once
// How wide the device draws a text in its built-in fonts and which characters it can draw,
// measured with the device's own rules from the compiled-in font tables.

#include "device/MontserratFontData.h"

#include <QList>
#include <QStringView>

#include <array>
#include <optional>

class MontserratMetrics {
public:
    // One device font with its code point → glyph index lookup.
    class Font {
    public:
        explicit Font(const MontserratFontData& data);

        const MontserratFontData& data() const { return *m_data; }
        int pointSize() const { return m_data->pointSize; }
        int lineHeight() const { return m_data->lineHeight; }
        // The room the device leaves for a character it has no glyph for.
        int missingGlyphWidth() const { return m_data->lineHeight / 2 + 2; }

        std::optional<int> glyphIndex(char32_t codePoint) const
        {
            const int g = lookup(codePoint);
            return g < 0 ? std::nullopt : std::optional<int>(g);
        }
        // As glyphIndex, −1 for none; for the measuring loops.
        int lookup(char32_t codePoint) const;

    private:
        const MontserratFontData* m_data;
        std::array<std::int16_t, 128> m_ascii;  // most text is ASCII: one array index
    };

    // The font of that size (14, 18, 24, 34); any other size gets the size-14 font.
    static const Font& fontForSize(int size);
    // The width in pixels that the device gives the text at that size.
    static int textWidth(QStringView text, int size);
    static int textWidth(QStringView text, const Font& font);
    // True when every size's font draws the code point.
    static bool isCovered(char32_t codePoint);
    // One entry per Unicode scalar of the text; none where the font has no glyph.
    static QList<std::optional<int>> glyphs(QStringView text, const Font& font);
};

// True when some scalar of the text is not drawn by every device font; false for "".
bool hasUncoveredScalar(QStringView text);

// True when some scalar of the text has no glyph in this one font; false for "".
bool hasUndrawableScalar(QStringView text, const MontserratMetrics::Font& font);
