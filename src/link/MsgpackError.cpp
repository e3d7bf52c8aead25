#include "link/MsgpackError.h"

#include <utility>

namespace TarvUSB {

MsgpackError MsgpackError::unexpectedTag(QString expected, std::uint8_t got)
{
    return {Kind::unexpectedTag, std::move(expected), {}, 0, got};
}

MsgpackError MsgpackError::keyMismatch(QString expected, QString got)
{
    return {Kind::keyMismatch, std::move(expected), std::move(got), 0, 0};
}

MsgpackError MsgpackError::wrongFieldCount(QString type, std::int64_t expected, std::int64_t got)
{
    return {Kind::wrongFieldCount, std::move(type), {}, expected, got};
}

MsgpackError MsgpackError::unknownEnumCase(QString type, std::uint8_t value)
{
    return {Kind::unknownEnumCase, std::move(type), {}, 0, value};
}

MsgpackError MsgpackError::tooManyElements(QString field, std::int64_t max)
{
    return {Kind::tooManyElements, std::move(field), {}, max, 0};
}

MsgpackError MsgpackError::emptyVariant(QString type)
{
    return {Kind::emptyVariant, std::move(type), {}, 0, 0};
}

MsgpackError MsgpackError::unexpectedEnd()
{
    return {Kind::unexpectedEnd, {}, {}, 0, 0};
}

QString MsgpackError::text() const
{
    const QChar quote(u'"');
    switch (kind) {
    case Kind::unexpectedTag:
        return QStringLiteral("expected ") + name + QStringLiteral(", got tag 0x") +
               QString::number(value, 16);
    case Kind::keyMismatch:
        return QStringLiteral("expected key ") + quote + name + quote + QStringLiteral(", got ") +
               quote + got + quote;
    case Kind::wrongFieldCount:
        return name + QStringLiteral(": expected ") + QString::number(expected) +
               QStringLiteral(" fields, got ") + QString::number(value);
    case Kind::unknownEnumCase:
        return name + QStringLiteral(": unknown value ") + QString::number(value);
    case Kind::tooManyElements:
        return name + QStringLiteral(": exceeds max count ") + QString::number(expected);
    case Kind::emptyVariant:
        return name + QStringLiteral(": empty map");
    case Kind::unexpectedEnd:
        break;
    }
    return QStringLiteral("unexpected end of buffer");
}

}  // namespace TarvUSB
