#include "screens/format/JsonText.h"

#include "platform/Scalars.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>

namespace {

// Qt's parser turns an escaped lone surrogate (\ud800) into a lone UTF-16 unit, which stops
// every placeholder of its text from matching and cannot be written back as UTF-8.
QJsonValue mendSurrogates(const QJsonValue& value)
{
    if (value.isString())
        return replaceLoneSurrogates(value.toString());
    if (value.isArray()) {
        QJsonArray mended;
        for (const QJsonValue element : value.toArray())
            mended.append(mendSurrogates(element));
        return mended;
    }
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        QJsonObject mended;
        for (auto it = object.begin(); it != object.end(); ++it)
            mended.insert(replaceLoneSurrogates(it.key()), mendSurrogates(it.value()));
        return mended;
    }
    return value;
}

// The character the parser stopped at, as an editor shows a place: lines and columns from 1,
// a column counting characters (a UTF-8 sequence is one, so is a tab). Qt's offset lies just
// past that character. A byte-order mark is not a character of the first line.
QString placeOf(const QByteArray& data, qsizetype offset)
{
    offset = std::clamp<qsizetype>(offset - 1, 0, data.size());
    const qsizetype start = data.startsWith("\xEF\xBB\xBF") ? std::min<qsizetype>(3, offset) : 0;
    qsizetype line = 1;
    qsizetype lineStart = start;
    for (qsizetype i = start; i < offset; ++i) {
        if (data[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    qsizetype column = 1;
    for (qsizetype i = lineStart; i < offset; ++i) {
        // Continuation bytes belong to the character their sequence began.
        if ((static_cast<unsigned char>(data[i]) & 0xC0) != 0x80)
            ++column;
    }
    return QStringLiteral(" at line %1, column %2").arg(line).arg(column);
}

std::optional<QJsonValue> parseAnyValue(const QByteArray& data, QString* error)
{
    QJsonParseError failure;
    const QJsonDocument document = QJsonDocument::fromJson(data, &failure);
    if (failure.error == QJsonParseError::NoError) {
        if (document.isObject())
            return QJsonValue(document.object());
        return QJsonValue(document.array());
    }
    // A bare value parses as the only element of an array around it. Anything else (several
    // values, stray brackets) gives a different element count or fails, and the first
    // failure is the one reported.
    QJsonParseError wrappedFailure;
    const QJsonDocument wrapped = QJsonDocument::fromJson('[' + data + ']', &wrappedFailure);
    if (wrappedFailure.error == QJsonParseError::NoError && wrapped.isArray() && wrapped.array().size() == 1)
        return wrapped.array().first();
    if (error)
        *error = failure.errorString() + placeOf(data, failure.offset);
    return std::nullopt;
}

} // namespace

std::optional<QJsonValue> JsonText::parse(const QByteArray& data, QString* error)
{
    auto value = parseAnyValue(data, error);
    // Only an escape can produce a lone surrogate: raw bytes of one are not UTF-8.
    if (value && data.contains("\\u"))
        value = mendSurrogates(*value);
    return value;
}
