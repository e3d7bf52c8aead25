#pragma once
// What Qt draws for a text: a label's or a tool tip's text read as markup when Qt takes it for
// markup, and an action's or button's text with its mnemonic marks taken out.

#include <QLabel>
#include <QTextDocument>

inline QString shownMarkup(const QString& text, bool rich)
{
    if (!rich)
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

inline QString shownText(const QLabel* label)
{
    const Qt::TextFormat format = label->textFormat();
    return shownMarkup(label->text(),
                       format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(label->text())));
}

inline QString shownToolTip(const QString& toolTip)
{
    return shownMarkup(toolTip, Qt::mightBeRichText(toolTip));
}

// "&&" shows as "&"; a lone "&" marks the next character and is not shown.
inline QString shownActionText(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && ++i == text.size())
            break;
        out += text[i];
    }
    return out;
}
