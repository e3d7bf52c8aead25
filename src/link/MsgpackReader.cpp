#include "link/MsgpackReader.h"

#include <cstring>

namespace TarvUSB {

MsgpackReader::MsgpackReader(QByteArray bytesIn)
    : buf(std::move(bytesIn)),
      bytes(reinterpret_cast<const std::uint8_t*>(buf.constData())),
      size(buf.size())
{
}

const char* MsgpackReader::take(qsizetype n)
{
    // Compare with what remains; never form position + n, which a hostile length overflows.
    if (n < 0 || n > size - position)
        throw MsgpackError::unexpectedEnd();
    const char* start = reinterpret_cast<const char*>(bytes + position);
    position += n;
    return start;
}

std::uint8_t MsgpackReader::takeByte()
{
    if (position >= size)
        throw MsgpackError::unexpectedEnd();
    return bytes[position++];
}

std::uint16_t MsgpackReader::take16()
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(take(2));
    return std::uint16_t((p[0] << 8) | p[1]);
}

std::uint32_t MsgpackReader::take32()
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(take(4));
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}

QByteArray MsgpackReader::readBytes(qsizetype n)
{
    const char* start = take(n);
    return QByteArray(start, n);
}

std::uint32_t MsgpackReader::readMapHeader()
{
    const std::uint8_t tag = takeByte();
    if (tag >= 0x80 && tag <= 0x8F)
        return tag & 0x0F;
    if (tag == 0xDE)
        return take16();
    if (tag == 0xDF)
        return take32();
    throw MsgpackError::unexpectedTag(QStringLiteral("map header"), tag);
}

std::uint32_t MsgpackReader::readArrayHeader()
{
    const std::uint8_t tag = takeByte();
    if (tag >= 0x90 && tag <= 0x9F)
        return tag & 0x0F;
    if (tag == 0xDC)
        return take16();
    if (tag == 0xDD)
        return take32();
    throw MsgpackError::unexpectedTag(QStringLiteral("array header"), tag);
}

qsizetype MsgpackReader::readStringLength()
{
    const std::uint8_t tag = takeByte();
    if (tag >= 0xA0 && tag <= 0xBF)
        return tag & 0x1F;
    if (tag == 0xD9)
        return takeByte();
    if (tag == 0xDA)
        return take16();
    if (tag == 0xDB)
        return qsizetype(take32());
    throw MsgpackError::unexpectedTag(QStringLiteral("str"), tag);
}

QString MsgpackReader::readString()
{
    const qsizetype n = readStringLength();
    const char* start = take(n);
    return QString::fromUtf8(start, n);
}

QByteArray MsgpackReader::readBinary()
{
    const std::uint8_t tag = takeByte();
    qsizetype n = 0;
    if (tag == 0xC4)
        n = takeByte();
    else if (tag == 0xC5)
        n = take16();
    else if (tag == 0xC6)
        n = qsizetype(take32());
    else
        throw MsgpackError::unexpectedTag(QStringLiteral("bin"), tag);
    return readBytes(n);
}

bool MsgpackReader::readBool()
{
    const std::uint8_t tag = takeByte();
    if (tag == 0xC2)
        return false;
    if (tag == 0xC3)
        return true;
    throw MsgpackError::unexpectedTag(QStringLiteral("bool"), tag);
}

void MsgpackReader::expectTag(std::uint8_t tag, const char* typeName)
{
    const std::uint8_t got = takeByte();
    if (got != tag)
        throw MsgpackError::unexpectedTag(QString::fromLatin1(typeName), got);
}

std::uint8_t MsgpackReader::readUInt8()
{
    expectTag(0xCC, "uint8");
    return takeByte();
}

std::uint16_t MsgpackReader::readUInt16()
{
    expectTag(0xCD, "uint16");
    return take16();
}

std::uint32_t MsgpackReader::readUInt32()
{
    expectTag(0xCE, "uint32");
    return take32();
}

std::int8_t MsgpackReader::readInt8()
{
    expectTag(0xD0, "int8");
    return std::int8_t(takeByte());
}

std::int16_t MsgpackReader::readInt16()
{
    expectTag(0xD1, "int16");
    return std::int16_t(take16());
}

std::int32_t MsgpackReader::readInt32()
{
    expectTag(0xD2, "int32");
    return std::int32_t(take32());
}

void MsgpackReader::expectKey(std::string_view key)
{
    const qsizetype n = readStringLength();
    const char* start = take(n);
    if (std::size_t(n) == key.size() && std::memcmp(start, key.data(), key.size()) == 0)
        return;
    throw MsgpackError::keyMismatch(QString::fromUtf8(key.data(), qsizetype(key.size())),
                                    QString::fromUtf8(start, n));
}

}  // namespace TarvUSB
