#pragma once
// Finds the emoji in a text and draws it into the 28 × 28 image form the device takes for
// emoji icons (an RGB565 plane followed by an alpha plane), since its fonts have no emoji.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringView>

#include <optional>

class EmojiIconRenderer {
public:
    static constexpr int side = 28;
    static constexpr int pointSize = 22;
    static constexpr qsizetype colorPlaneBytes = side * side * 2;
    static constexpr qsizetype imageBytes = colorPlaneBytes + side * side;

    // The first character (grapheme cluster) of the text that is an emoji, or none.
    static std::optional<QString> firstEmoji(QStringView text);
    // Whether one character is an emoji.
    static bool isEmoji(QStringView character);

    // The device image of the emoji, drawn centred in the colour emoji font; none when
    // the drawing surface cannot be made or no GUI application exists. GUI thread only.
    static std::optional<QByteArray> render(const QString& emoji);

    // The device form of a 28 × 28 premultiplied RGBA image (Format_RGBA8888_Premultiplied).
    static QByteArray deviceBytes(const QImage& premultipliedRgba);
};
