#include "ui/widgets/PlainText.h"

#include "platform/OneLineText.h"

#include <QLabel>
#include <QTextDocument>

namespace PlainText {

QLabel* label(const QString& text, QWidget* parent)
{
    auto* result = new QLabel(parent);
    make(result);
    result->setText(text);
    return result;
}

void make(QLabel* label)
{
    label->setTextFormat(Qt::PlainText);
}

QString toolTip(const QString& text)
{
    // A tool tip has no format of its own: Qt guesses it from the text. Text it would take
    // for markup goes as markup that spells the text out, line breaks and blanks kept.
    if (!Qt::mightBeRichText(text))
        return text;
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

QString actionText(const QString& text)
{
    QString result = oneLineText(text);
    return result.replace(u'&', QStringLiteral("&&"));
}

} // namespace PlainText
