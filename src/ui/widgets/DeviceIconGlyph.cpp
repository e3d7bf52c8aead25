#include "ui/widgets/DeviceIconGlyph.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

#include <algorithm>

namespace {

class GlyphIconEngine final : public QIconEngine {
public:
    GlyphIconEngine(DeviceIcon icon, QColor color) : m_icon(icon), m_color(color) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        const QString family = deviceIconFontFamily();
        if (family.isEmpty())
            return;
        QColor color = m_color.isValid() ? m_color : QGuiApplication::palette().color(QPalette::WindowText);
        if (mode == QIcon::Disabled)
            color.setAlphaF(color.alphaF() * 0.4f);
        // The glyphs are square in the font's em; a little air keeps them off the edges.
        const int pixelSize = std::max(1, int(std::min(rect.width(), rect.height()) * 0.8));
        painter->save();
        painter->setRenderHint(QPainter::TextAntialiasing);
        painter->setFont(deviceIconFont(pixelSize));
        painter->setPen(color);
        painter->drawText(rect, Qt::AlignCenter, m_icon.glyph());
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap out(size);
        out.fill(Qt::transparent);
        QPainter painter(&out);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return out;
    }

    QIconEngine* clone() const override { return new GlyphIconEngine(m_icon, m_color); }
    QString key() const override { return QStringLiteral("TarvDeviceIcon"); }

private:
    DeviceIcon m_icon;
    QColor m_color;
};

}  // namespace

QString deviceIconFontFamily()
{
    static const QString family = [] {
        const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/device-symbols.woff"));
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QString() : families.first();
    }();
    return family;
}

QFont deviceIconFont(int pixelSize)
{
    QFont font(deviceIconFontFamily());
    font.setPixelSize(pixelSize);
    // The glyph must come from this font or not at all: another font's glyph at the same
    // private-use code point would be a different picture.
    font.setStyleStrategy(QFont::NoFontMerging);
    return font;
}

QIcon deviceIconImage(DeviceIcon icon, QColor color)
{
    return QIcon(new GlyphIconEngine(icon, color));
}
