#include "screens/format/JsonText.h"

#include "platform/Scalars.h"
#include "screens/format/JsonFault.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>


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
    // failure is the one reported. A byte-order mark is left out, as Qt leaves it out in
    // front of a bracket.
    const QByteArrayView text = data.startsWith("\xEF\xBB\xBF") ? QByteArrayView(data).sliced(3) : data;
    QJsonParseError wrappedFailure;
    const QJsonDocument wrapped = QJsonDocument::fromJson('[' + text.toByteArray() + ']', &wrappedFailure);
    if (wrappedFailure.error == QJsonParseError::NoError && wrapped.isArray() && wrapped.array().size() == 1)
        return wrapped.array().first();
    if (error) {
        // Qt's offset lies sometimes on, sometimes past the character it stopped at, and its
        // words are its own: the place and the words come from a scan of the text instead,
        // which finds a fault in exactly the texts Qt refuses.
        const std::optional<JsonFault> fault = JsonFault::find(data);
        *error = fault ? JsonFault::placeText(data, fault->offset) + QStringLiteral(": ") + fault->message
                       : JsonFault::placeText(data, failure.offset) + QStringLiteral(": ") + failure.errorString();
    }
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
