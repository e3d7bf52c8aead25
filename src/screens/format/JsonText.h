#pragma once
// Reading JSON text whose top level may be any value. Qt's parser refuses a bare number,
// string, true, false or null at the top level; standard JSON allows them.

#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <optional>

struct JsonText {
    // The top-level value, or none with where the text goes wrong and how, in `error`
    // ("line L, column C: a comma or } is missing here").
    // Lone surrogates in its strings and member names come back as U+FFFD.
    static std::optional<QJsonValue> parse(const QByteArray& data, QString* error = nullptr);
};
