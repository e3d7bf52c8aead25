#include "ui/macros/ChordLabel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

ChordLabel::ChordLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ChordLabel::setChord(const QString& text)
{
    setText(text);
    updateGeometry();
    showWholeChordInTooltip();
}

QString ChordLabel::shownText() const
{
    const int room = std::max(0, width() - 2 * horizontalPadding);
    return fontMetrics().elidedText(text(), Qt::ElideRight, room);
}

QSize ChordLabel::sizeHint() const
{
    // Rounded up, so that the text as the elision measures it fits.
    const QFontMetricsF metrics(font());
    const int textWidth = int(std::ceil(metrics.horizontalAdvance(text())));
    return {textWidth + 2 * horizontalPadding, fontMetrics().height() + 2 * verticalPadding};
}

QSize ChordLabel::minimumSizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    return {metrics.horizontalAdvance(QStringLiteral("\u2026")) + 2 * horizontalPadding,
            metrics.height() + 2 * verticalPadding};
}

void ChordLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath plate;
    plate.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.fillPath(plate, palette().color(QPalette::AlternateBase));
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QRect textRect = rect().adjusted(horizontalPadding, 0, -horizontalPadding, 0);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shownText());
}

void ChordLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    showWholeChordInTooltip();
}

void ChordLabel::showWholeChordInTooltip()
{
    setToolTip(shownText() == text() ? QString() : text());
}
