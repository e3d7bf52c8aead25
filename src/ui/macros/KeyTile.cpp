#include "ui/macros/KeyTile.h"

#include "pages/KeyLabel.h"
#include "ui/widgets/DeviceIconGlyph.h"
#include "ui/widgets/SymbolIcon.h"

#include <QApplication>
#include <QHash>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

namespace {

constexpr qreal glyphRowHeight = 26;
constexpr qreal rowSpacing = 4;
constexpr int glyphPixelSize = 22;
constexpr qreal badgeSide = 15;
// The "plus" of an empty key, at the size of a title-2 text.
constexpr int plusSide = 20;

QFont pixelFont(int pixelSize, QFont::Weight weight)
{
    QFont font = QApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

// Built once: a key is painted often, and a font built each time costs more than the drawing.
const QFont& labelFont(bool small)
{
    static const QFont smallFont = pixelFont(11, QFont::DemiBold);
    static const QFont largeFont = pixelFont(15, QFont::DemiBold);
    return small ? smallFont : largeFont;
}

const QFont& emojiFont()
{
    // The colour face first: fallback alone may pick a plain text face that has the character.
    static const QFont font = [] {
        QFont f = pixelFont(glyphPixelSize, QFont::Normal);
        f.setFamilies({QString::fromLatin1(KeyTile::emojiFamily), f.family()});
        return f;
    }();
    return font;
}

const QFont& iconFont()
{
    static const QFont font = deviceIconFont(glyphPixelSize);
    return font;
}

QColor tertiary(const QPalette& palette)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.3f);
    return color;
}

// The symbol in one flat colour, kept per colour: the theme draws symbols in its own.
QPixmap tintedSymbol(const QString& symbol, int side, const QColor& color)
{
    static QHash<QString, QPixmap> cache;
    const QString key = symbol + u'/' + QString::number(side) + u'/' + QString::number(color.rgba(), 16);
    if (const auto found = cache.constFind(key); found != cache.cend())
        return *found;
    QPixmap pixmap = symbolIcon(symbol).pixmap(side, side);
    if (pixmap.isNull())
        return pixmap;
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), color);
    painter.end();
    cache.insert(key, pixmap);
    return pixmap;
}

QPainterPath rounded(const QRectF& rect, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

void paintEmpty(QPainter& painter, const QRectF& tile, const QPalette& palette)
{
    const QColor color = tertiary(palette);
    QPen pen(color, 1);
    pen.setDashPattern({5, 4});
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(tile.adjusted(0.5, 0.5, -0.5, -0.5), KeyTile::cornerRadius - 0.5, KeyTile::cornerRadius - 0.5);
    const QPixmap plus = tintedSymbol(QStringLiteral("plus"), plusSide, color);
    const QSizeF size = plus.deviceIndependentSize();
    painter.drawPixmap(QPointF(tile.center().x() - size.width() / 2, tile.center().y() - size.height() / 2), plus);
}

// The orange disc with a white exclamation mark.
void paintBadge(QPainter& painter, const QRectF& rect)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(KeyTile::badgeOrange());
    painter.drawEllipse(rect);
    painter.setBrush(Qt::white);
    const qreal w = rect.width();
    const QRectF bar(rect.center().x() - w * 0.07, rect.top() + w * 0.2, w * 0.14, w * 0.4);
    painter.drawRoundedRect(bar, w * 0.07, w * 0.07);
    painter.drawEllipse(QPointF(rect.center().x(), rect.top() + w * 0.76), w * 0.085, w * 0.085);
}

}  // namespace

KeyTile::TintColors KeyTile::tintColors(KeyTint tint)
{
    switch (tint) {
    case KeyTint::neutral: return {QColor(0x2A, 0x20, 0x08), QColor(0xFF, 0xB0, 0x20), QColor(0xF2, 0xF4, 0xF6)};
    case KeyTint::amber: return {QColor(0x2A, 0x20, 0x08), QColor(0xFF, 0xB0, 0x20), QColor(0xFF, 0xB0, 0x20)};
    case KeyTint::blue: return {QColor(0x0B, 0x1A, 0x33), QColor(0x3B, 0x82, 0xF6), QColor(0x3B, 0x82, 0xF6)};
    case KeyTint::green: return {QColor(0x0A, 0x24, 0x15), QColor(0x22, 0xC5, 0x5E), QColor(0x22, 0xC5, 0x5E)};
    case KeyTint::red: break;
    }
    return {QColor(0x2A, 0x0B, 0x0B), QColor(0xEF, 0x44, 0x44), QColor(0xEF, 0x44, 0x44)};
}

QRectF KeyTile::badgeRect(const QRectF& tile)
{
    return {tile.right() - contentInset - badgeSide, tile.top() + contentInset, badgeSide, badgeSide};
}

void KeyTile::paint(QPainter& painter, const QRectF& tile, const MacroButton& button, bool isSelected,
                    const QPalette& palette, bool focusShown)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    if (isEmpty(button)) {
        paintEmpty(painter, tile, palette);
    } else {
        const bool lit = isLit(button);
        const TintColors colors = tintColors(button.tint);
        const qreal border = lit ? 2 : 1;
        const qreal half = border / 2;
        painter.setPen(Qt::NoPen);
        painter.setBrush(lit ? colors.litFill : unlitFill());
        painter.drawRoundedRect(tile, cornerRadius, cornerRadius);
        painter.setPen(QPen(lit ? colors.accent : unlitBorder(), border));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(tile.adjusted(half, half, -half, -half), cornerRadius - half, cornerRadius - half);

        const QColor content = lit ? colors.accent : colors.unlitContent;
        const bool hasEmoji = button.emoji.has_value();
        const bool hasGlyph = hasEmoji || button.icon.has_value();
        const QFont& font = labelFont(hasGlyph);
        const QFontMetricsF metrics(font);
        const QRectF inner = tile.adjusted(contentInset, contentInset, -contentInset, -contentInset);
        const qreal stack = (hasGlyph ? glyphRowHeight + rowSpacing : 0) + metrics.height();
        qreal y = inner.center().y() - stack / 2;
        painter.setPen(content);
        if (hasGlyph) {
            const QRectF row(inner.left(), y, inner.width(), glyphRowHeight);
            if (hasEmoji) {
                painter.setFont(emojiFont());
                painter.drawText(row, Qt::AlignCenter | Qt::TextSingleLine, *button.emoji);
            } else {
                painter.setFont(iconFont());
                painter.drawText(row, Qt::AlignCenter | Qt::TextSingleLine, button.icon->glyph());
            }
            y += glyphRowHeight + rowSpacing;
        }
        // The label as the device shows it, measured with the device's font: what would be cut
        // there is not shown here either.
        QString label = DynamicUIDemo::visibleKeyLabel(button);
        if (label.isEmpty())
            label = QStringLiteral(" ");
        const QRectF row(inner.left(), y, inner.width(), metrics.height());
        // What fits the device's key fits the tile; a tile narrower than the device's key
        // draws it smaller rather than cut it differently.
        QFont fitted = font;
        const qreal advance = metrics.horizontalAdvance(label);
        if (advance > row.width() && advance > 0)
            fitted.setPixelSize(std::max(7, int(font.pixelSize() * row.width() / advance)));
        painter.setFont(fitted);
        painter.drawText(row, Qt::AlignCenter | Qt::TextSingleLine, label);

        if (showsBadge(button))
            paintBadge(painter, badgeRect(tile));
    }

    if (isSelected && focusShown) {
        QColor glow = palette.color(QPalette::Highlight);
        glow.setAlphaF(0.22f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(glow);
        painter.drawRoundedRect(tile, cornerRadius, cornerRadius);
    }
    if (isSelected) {
        const qreal width = focusShown ? 3 : 2;
        const qreal inset = ringOutset - width / 2;
        const QRectF ring = tile.adjusted(-inset, -inset, inset, inset);
        painter.setPen(QPen(palette.color(QPalette::Highlight), width));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(ring, 11, 11);
    }
    painter.restore();
}

QPixmap KeyTile::preview(const MacroButton& button, const QPalette& palette)
{
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(QSize(int(aspectWidth * ratio), int(aspectHeight * ratio)));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(painter, QRectF(0, 0, aspectWidth, aspectHeight), button, false, palette);
    return pixmap;
}

KeyTile::KeyTile(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAcceptDrops(true);
}

void KeyTile::setButton(const MacroButton& button)
{
    if (button == m_button)
        return;
    m_button = button;
    update();
}

void KeyTile::setSelected(bool selected)
{
    if (selected == m_isSelected)
        return;
    m_isSelected = selected;
    update();
}

void KeyTile::setFocusShown(bool shown)
{
    if (shown == m_isFocusShown)
        return;
    m_isFocusShown = shown;
    update();
}

QRectF KeyTile::tileRect() const
{
    return QRectF(rect()).adjusted(ringOutset, ringOutset, -ringOutset, -ringOutset);
}

bool KeyTile::hitsTile(const QPointF& point) const
{
    return rounded(tileRect(), cornerRadius).contains(point);
}

void KeyTile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paint(painter, tileRect(), m_button, m_isSelected, palette(), m_isFocusShown);
}

bool KeyTile::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (showsBadge(m_button) && badgeRect(tileRect()).contains(help->pos()))
            QToolTip::showText(help->globalPos(), QStringLiteral("This key's action is not set up yet"), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}
