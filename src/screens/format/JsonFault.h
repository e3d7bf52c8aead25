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

    // The first fault of standard JSON (RFC 8259, any value at the top level, a UTF-8
    // byte-order mark allowed); none when the whole text is one JSON value.
    static std::optional<JsonFault> find(const QByteArray& data);

    // "line L, column C" of a byte offset as an editor counts them: from 1, a UTF-8 sequence
    // or a tab being one column, a leading byte-order mark none.
    static QString placeText(const QByteArray& data, qsizetype offset);
};
