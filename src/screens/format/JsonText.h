#pragma once
// Reading JSON text whose top level may be any value. Qt's parser refuses a bare number,
// string, true, false or null at the top level; standard JSON allows them.

#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <optional>

struct JsonText {
    // The top-level value, or none with the parser's description of the failure and where in
    // the text it stopped ("... at line L, column C") in `error`.
    // Lone surrogates in its strings and member names come back as U+FFFD.
    static std::optional<QJsonValue> parse(const QByteArray& data, QString* error = nullptr);
};
