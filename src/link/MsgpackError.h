#pragma once
// The ways the wire codec rejects bytes (or a list it cannot encode); the text is what the
// connection log shows as the reason of a dropped frame.

#include <QString>

#include <cstdint>

namespace TarvUSB {

struct MsgpackError {
    enum class Kind : std::uint8_t {
        unexpectedTag,
        keyMismatch,
        wrongFieldCount,
        unknownEnumCase,
        tooManyElements,
        emptyVariant,
        unexpectedEnd,
    };

    Kind kind = Kind::unexpectedEnd;
    QString name;      // expected type name, expected key, record type or field
    QString got;       // the key read (keyMismatch)
    std::int64_t expected = 0;  // expected count or max count
    std::int64_t value = 0;     // the tag, value or count read

    static MsgpackError unexpectedTag(QString expected, std::uint8_t got);
    static MsgpackError keyMismatch(QString expected, QString got);
    static MsgpackError wrongFieldCount(QString type, std::int64_t expected, std::int64_t got);
    static MsgpackError unknownEnumCase(QString type, std::uint8_t value);
    static MsgpackError tooManyElements(QString field, std::int64_t max);
    static MsgpackError emptyVariant(QString type);
    static MsgpackError unexpectedEnd();

    QString text() const;

    friend bool operator==(const MsgpackError&, const MsgpackError&) = default;
};

}  // namespace TarvUSB
