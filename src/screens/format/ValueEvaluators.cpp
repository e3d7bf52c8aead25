#include "screens/format/ValueEvaluators.h"

#include "device/FoldForDevice.h"
#include "device/Placeholders.h"
#include "platform/Graphemes.h"
#include "platform/TextTrim.h"

#include <QRegularExpression>

#include <charconv>
#include <cmath>

namespace {

constexpr qsizetype filledLineLimit = 64;

QString trimmedSpacesAndTabs(const QString& text)
{
    return trimSpacesAndTabs(text).toString();
}

// ASCII text as a finite double; none for anything from_chars does not take whole, and for
// numbers out of range.
std::optional<double> parseDouble(const QByteArray& ascii)
{
    double value = 0;
    const char* end = ascii.constData() + ascii.size();
    const auto [ptr, ec] = std::from_chars(ascii.constData(), end, value, std::chars_format::general);
    if (ec != std::errc() || ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

QString fillPlaceholders(const QString& templateText, const DisplayValues& values)
{
    QString filled;
    filled.reserve(templateText.size());
    qsizetype copied = 0;
    auto matches = placeholderPattern().globalMatch(templateText);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        filled.append(QStringView(templateText).mid(copied, match.capturedStart() - copied));
        const auto it = values.constFind(match.captured(1));
        filled.append(it == values.constEnd() ? QStringLiteral("--") : *it);
        copied = match.capturedEnd();
    }
    filled.append(QStringView(templateText).mid(copied));
    return deviceLineText(filled, filledLineLimit);
}

QString deviceLineText(const QString& text, qsizetype limit)
{
    QString line;
    line.reserve(text.size());
    // A run of line breaks (\r\n, \n, \r, and the other Unicode line ends) becomes one blank.
    bool inBreak = false;
    for (const QChar c : text) {
        const bool lineBreak = c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == QChar(0x85)
                               || c == QChar(0x2028) || c == QChar(0x2029);
        if (lineBreak && !inBreak)
            line.append(u' ');
        else if (!lineBreak)
            line.append(c);
        inBreak = lineBreak;
    }
    return firstGraphemes(trimmedSpacesAndTabs(foldForDevice(line)), limit);
}

std::optional<double> firstNumber(const QString& text)
{
    QByteArray collected;
    bool hasPoint = false;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype start = i;
        char32_t scalar = text[i++].unicode();
        if (QChar::isHighSurrogate(scalar) && i < text.size() && text[i].isLowSurrogate())
            scalar = QChar::surrogateToUcs4(char16_t(scalar), text[i++].unicode());
        if (QChar::isNumber(scalar)) {
            // Non-ASCII digits are collected too, and then make the whole number unreadable.
            collected.append(QStringView(text).mid(start, i - start).toUtf8());
            continue;
        }
        if (scalar == U'.' && !hasPoint) {
            hasPoint = true;
            collected.append('.');
            continue;
        }
        if (scalar == U'-' && collected.isEmpty()) {
            collected.append('-');
            continue;
        }
        if (!collected.isEmpty())
            break;
    }
    if (collected.isEmpty())
        return std::nullopt;
    return parseDouble(collected);
}

QList<double> numbersIn(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(-?\d+(?:\.\d+)?(?:[eE][-+]?\d+)?)"));
    QList<double> numbers;
    auto matches = pattern.globalMatch(text);
    while (matches.hasNext()) {
        if (const auto number = parseDouble(matches.next().captured(0).toLatin1()))
            numbers.append(*number);
    }
    return numbers;
}

bool isTruthy(const QString& templateText, const DisplayValues& values)
{
    const QString judged = trimmedSpacesAndTabs(fillPlaceholders(templateText, values)).toLower();
    static const QStringList falsy{QString(),           QStringLiteral("0"),    QStringLiteral("false"),
                                   QStringLiteral("no"), QStringLiteral("off"), QStringLiteral("none"),
                                   QStringLiteral("null"), QStringLiteral("--")};
    return !falsy.contains(judged);
}
