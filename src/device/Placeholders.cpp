#include "device/Placeholders.h"

#include <QRegularExpression>

// Compiled once and shared; a function-local static is initialised thread-safely.
const QRegularExpression& placeholderPattern()
{
    static const QRegularExpression pattern(QStringLiteral(R"(\{\{\s*([A-Za-z_][A-Za-z0-9_.\-]*)\s*\}\})"));
    return pattern;
}

QStringList extractPlaceholderKeys(const QString& text)
{
    QStringList keys;
    auto matches = placeholderPattern().globalMatch(text);
    while (matches.hasNext())
        keys.append(matches.next().captured(1));
    return keys;
}

std::optional<QString> fillActionPlaceholders(const QString& text, const QHash<QString, QString>& values)
{
    QString result;
    qsizetype copiedUpTo = 0;
    auto matches = placeholderPattern().globalMatch(text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        auto value = values.constFind(match.captured(1));
        if (value == values.cend())
            return std::nullopt;
        result += QStringView(text).mid(copiedUpTo, match.capturedStart(0) - copiedUpTo);
        result += value->trimmed();
        copiedUpTo = match.capturedEnd(0);
    }
    result += QStringView(text).mid(copiedUpTo);
    return result;
}
