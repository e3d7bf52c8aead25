#pragma once
// Where JSON text goes wrong, for a person fixing it by hand: the character at which the text
// stops being the start of any JSON document, with what was wanted there in plain words.
// Three places are named by what started the trouble instead: a comma with nothing after
// it, a text in quotes or a bracket that the file ends before closing.

#include <QByteArray>
#include <QString>

#include <optional>

struct JsonFault {
    // Byte offset of the character into the text.
    qsizetype offset = 0;
    QString message;

    // None exactly when Qt's parser takes the text as JsonText reads it: one value of any kind
    // at the top level, after a UTF-8 byte-order mark if there is one, nested 1024 levels at
    // most, with Qt's leniencies inside quotes and numbers. Otherwise the first place where
    // the text leaves standard JSON (RFC 8259) within Qt's limits of depth and number range.
    static std::optional<JsonFault> find(const QByteArray& data);

    // "line L, column C" of a byte offset as an editor counts them: from 1, a UTF-8 sequence
    // or a tab being one column, a leading byte-order mark none.
    static QString placeText(const QByteArray& data, qsizetype offset);
};
