// The shared readers of screen files: each reads one setting, reports a wrong type with a fixed
// message and carries on, so one pass finds every problem of a file.

#include "screens/format/CustomScreen.h"
#include "screens/format/DesignColors.h"

#include <cmath>

QString CustomScreen::keyPath(const QString& prefix, const QString& key)
{
    return prefix.isEmpty() ? key : prefix + u'.' + key;
}

std::optional<QString> CustomScreen::readString(const QJsonObject& object, const QString& key,
                                                const QString& prefix, ScreenIssueSink& sink)
{
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        return std::nullopt;
    if (!it->isString()) {
        sink.error(keyPath(prefix, key), QStringLiteral("must be text in quotes"));
        return std::nullopt;
    }
    return it->toString();
}

std::optional<double> CustomScreen::readNumber(const QJsonObject& object, const QString& key,
                                               const QString& prefix, ScreenIssueSink& sink)
{
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        return std::nullopt;
    if (!it->isDouble()) {
        sink.error(keyPath(prefix, key), QStringLiteral("must be a number"));
        return std::nullopt;
    }
    return it->toDouble();
}

std::optional<qint64> CustomScreen::readWholeNumber(const QJsonObject& object, const QString& key,
                                                    const QString& prefix, ScreenIssueSink& sink)
{
    const auto number = readNumber(object, key, prefix, sink);
    if (!number)
        return std::nullopt;
    const double value = *number;
    if (!std::isfinite(value) || std::trunc(value) != value || std::fabs(value) >= 100000) {
        sink.error(keyPath(prefix, key), QStringLiteral("must be a whole number"));
        return std::nullopt;
    }
    return static_cast<qint64>(value);
}

std::optional<std::uint32_t> CustomScreen::parseColor(const QString& text)
{
    if (const auto colour = DesignColors::named(text))
        return colour;
    if (text.size() != 7 || !text.startsWith(u'#'))
        return std::nullopt;
    std::uint32_t value = 0;
    for (qsizetype i = 1; i < 7; ++i) {
        const char16_t c = text[i].unicode();
        int digit = 0;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return std::nullopt;
        value = value << 4 | std::uint32_t(digit);
    }
    return value;
}

void CustomScreen::readObjectEntries(const QJsonArray& list, const QString& path, const QStringList& knownKeys,
                                     ScreenIssueSink& sink,
                                     const std::function<void(const QJsonObject&, const QString&)>& read)
{
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QString entryPath = path + u'[' + QString::number(i) + u']';
        if (!list[i].isObject()) {
            sink.error(entryPath, QStringLiteral("must be an object"));
            continue;
        }
        const QJsonObject entry = list[i].toObject();
        warnUnknownKeys(entry, entryPath, knownKeys, sink);
        read(entry, entryPath);
    }
}

void CustomScreen::warnUnknownKeys(const QJsonObject& object, const QString& prefix, const QStringList& knownKeys,
                                   ScreenIssueSink& sink)
{
    QStringList unknown;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (!knownKeys.contains(it.key()))
            unknown.append(it.key());
    }
    if (unknown.isEmpty())
        return;
    unknown.sort();
    QStringList known = knownKeys;
    known.sort();
    const QString message = QStringLiteral("is not a setting here and is ignored (known: ")
                            + known.join(QStringLiteral(", ")) + u')';
    for (const QString& key : unknown)
        sink.warning(keyPath(prefix, key), message);
}

bool CustomScreen::isValidSourceName(QStringView name)
{
    if (name.isEmpty())
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
        const bool other = (c >= u'0' && c <= u'9') || c == u'.' || c == u'-';
        if (!(letter || (i > 0 && other)))
            return false;
    }
    return true;
}
