#include "screens/format/JsonText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

std::optional<QJsonValue> JsonText::parse(const QByteArray& data, QString* error)
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
        *error = failure.errorString();
    return std::nullopt;
}
