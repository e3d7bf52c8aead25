#include "ui/widgets/SymbolLabel.h"

#include "ui/widgets/FormSection.h"
#include "ui/widgets/SymbolIcon.h"

#include <QBoxLayout>
#include <QLabel>
#include <QImage>

#include <algorithm>

// The symbols are dark shapes with light details (the check in a filled circle): the dark
// takes the colour and the light stays light, so filled symbols keep their inner drawing.
QPixmap SymbolLabel::tintedSymbol(const QString& symbol, int size, const QColor& color, qreal ratio)
{
    const QPixmap source = symbolIcon(symbol).pixmap(QSize(size, size), ratio);
    if (source.isNull())
        return source;
    QImage image = source.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(line[x]);
            if (alpha == 0)
                continue;
            // Lightness above the drawings' own dark grey, 0 to 1.
            const double light = std::clamp((qGray(line[x]) - 46) / (255.0 - 46), 0.0, 1.0);
            const auto mix = [light](int c) { return int(c + (255 - c) * light + 0.5); };
            line[x] = qRgba(mix(color.red()), mix(color.green()), mix(color.blue()), alpha);
        }
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(source.devicePixelRatio());
    return pixmap;
}

SymbolLabel::SymbolLabel(const QString& symbol, const QString& text, const QColor& color, double fontDelta,
                         QWidget* parent)
    : QWidget(parent), m_symbol(symbol)
{
    const QFont font = FormSection::relativeFont(this->font(), fontDelta);
    const int size = QFontMetrics(font).height();
    m_icon = new QLabel;
    m_icon->setPixmap(tintedSymbol(symbol, size, color, devicePixelRatioF()));
    m_icon->setFixedSize(size, size);
    m_icon->setAlignment(Qt::AlignCenter);

    m_text = new QLabel(text);
    m_text->setFont(font);
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    QPalette palette = m_text->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    m_text->setPalette(palette);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(m_icon, 0, Qt::AlignTop);
    layout->addWidget(m_text, 1);
}

void SymbolLabel::setText(const QString& text) { m_text->setText(text); }

QString SymbolLabel::text() const { return m_text->text(); }

void SymbolLabel::setSelectable(bool selectable)
{
    m_text->setTextInteractionFlags(selectable ? Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard
                                               : Qt::NoTextInteraction);
    m_text->setCursor(selectable ? Qt::IBeamCursor : Qt::ArrowCursor);
}
