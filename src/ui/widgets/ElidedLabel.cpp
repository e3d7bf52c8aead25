#include "ui/widgets/ElidedLabel.h"

#include "ui/widgets/PlainText.h"

#include <QEvent>

#include <algorithm>

ElidedLabel::ElidedLabel(Qt::TextElideMode mode, QWidget* parent) : QLabel(parent), m_mode(mode)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    // The row decides the width; the text is fitted into it.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::setFullText(const QString& text)
{
    m_fullText = text;
    showFitting();
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {fontMetrics().horizontalAdvance(QStringLiteral("\u2026")) * 3, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    showFitting();
}

void ElidedLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        showFitting();
}

void ElidedLabel::showFitting()
{
    // One line: a line break in outside text would otherwise make the row taller.
    QString line = m_fullText;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const int room = contentsRect().width() - margin() * 2 - std::max(0, indent());
    const QString shown = fontMetrics().elidedText(line, m_mode, std::max(0, room));
    if (shown != text())
        setText(shown);
    setToolTip(shown == m_fullText ? QString() : PlainText::toolTip(m_fullText));
}
