#include "ui/widgets/SymbolLabel.h"

#include "ui/widgets/FormSection.h"
#include "ui/widgets/SymbolIcon.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPainter>

// The bundled drawings and the symbolic theme icons are single-colour shapes, so their alpha
// is all that counts.
QPixmap SymbolLabel::tintedSymbol(const QString& symbol, int size, const QColor& color, qreal ratio)
{
    QPixmap pixmap = symbolIcon(symbol).pixmap(QSize(size, size), ratio);
    if (pixmap.isNull())
        return pixmap;
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), color);
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
