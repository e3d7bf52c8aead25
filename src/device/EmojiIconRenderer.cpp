#include "device/EmojiIconRenderer.h"

#include "device/DevicePixels.h"

#include "platform/Graphemes.h"
#include "platform/Scalars.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>

#include <unicode/uchar.h>

#include <algorithm>

namespace {

// Debian's colour emoji face (fonts-noto-color-emoji).
constexpr auto emojiFamily = "Noto Color Emoji";

}  // namespace

bool EmojiIconRenderer::isEmoji(QStringView character)
{
    if (character.isEmpty())
        return false;
    qsizetype scalars = 0;
    char32_t first = 0;
    for (qsizetype i = 0; i < character.size(); ++scalars) {
        const char32_t s = nextScalar(character, i);
        if (scalars == 0)
            first = s;
        if (u_hasBinaryProperty(UChar32(s), UCHAR_EMOJI_PRESENTATION)
            || u_hasBinaryProperty(UChar32(s), UCHAR_EMOJI_MODIFIER))
            return true;
    }
    // A text-style symbol made emoji by what follows it (U+FE0F, a keycap mark).
    return scalars > 1 && u_hasBinaryProperty(UChar32(first), UCHAR_EMOJI);
}

std::optional<QString> EmojiIconRenderer::firstEmoji(QStringView text)
{
    const QList<qsizetype> b = graphemeBoundaries(text);
    for (qsizetype i = 0; i + 1 < b.size(); ++i) {
        const QStringView character = text.sliced(b[i], b[i + 1] - b[i]);
        if (isEmoji(character))
            return character.toString();
    }
    return std::nullopt;
}

std::optional<QByteArray> EmojiIconRenderer::render(const QString& emoji)
{
    // Fonts need a GUI application; without one, report failure rather than abort.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return std::nullopt;
    QImage image(side, side, QImage::Format_RGBA8888_Premultiplied);
    if (image.isNull())
        return std::nullopt;
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        if (!painter.isActive())
            return std::nullopt;
        QFont font(QString::fromLatin1(emojiFamily));
        font.setPixelSize(pointSize);
        // Without this, Qt gives the digit of a keycap sequence to a text font, splitting
        // the keycap into a plain digit and an empty key.
        font.setStyleStrategy(QFont::NoFontMerging);
        painter.setFont(font);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QFontMetricsF metrics(font);
        // Centre the line box (advance × ascent + descent) of the text; the parts of a
        // wider emoji fall outside and are clipped.
        const qreal w = metrics.horizontalAdvance(emoji);
        const qreal h = metrics.ascent() + metrics.descent();
        const QPointF baseline((side - w) / 2, (side - h) / 2 + metrics.ascent());
        painter.drawText(baseline, emoji);
    }
    return deviceBytes(image);
}

QByteArray EmojiIconRenderer::deviceBytes(const QImage& premultipliedRgba)
{
    const QImage img = premultipliedRgba.format() == QImage::Format_RGBA8888_Premultiplied
        ? premultipliedRgba
        : premultipliedRgba.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    QByteArray out(imageBytes, '\0');
    if (img.isNull())
        return out;
    auto* color = reinterpret_cast<std::uint8_t*>(out.data());
    auto* alpha = color + colorPlaneBytes;
    const int rows = std::min(img.height(), side);
    const int cols = std::min(img.width(), side);
    for (int y = 0; y < rows; ++y)
        packPremultipliedPixels(img.constScanLine(y), std::size_t(cols), color + 2 * y * side, alpha + y * side);
    return out;
}
