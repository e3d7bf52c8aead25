#pragma once
// Reads the fixed-width MessagePack forms the wire protocol uses, one declared type at a time.
// Input is untrusted: every length is checked against the bytes that remain before anything
// is read or allocated. Every operation throws MsgpackError and consumes what it read.

#include "link/MsgpackError.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string_view>

namespace TarvUSB {

class MsgpackReader {
public:
    explicit MsgpackReader(QByteArray bytes);

    QByteArray readBytes(qsizetype n);
    std::uint32_t readMapHeader();
    std::uint32_t readArrayHeader();
    QString readString();
    QByteArray readBinary();
    bool readBool();
    std::uint8_t readUInt8();
    std::uint16_t readUInt16();
    std::uint32_t readUInt32();
    std::int8_t readInt8();
    std::int16_t readInt16();
    std::int32_t readInt32();
    // Reads a string and requires it to be exactly `key` (ASCII).
    void expectKey(std::string_view key);
    void expectTag(std::uint8_t tag, const char* typeName);

    qsizetype pos() const { return position; }
    qsizetype remaining() const { return size - position; }

private:
    std::uint8_t takeByte();
    std::uint16_t take16();
    std::uint32_t take32();
    // Reads a string header and returns the length of the UTF-8 bytes that follow.
    qsizetype readStringLength();
    const char* take(qsizetype n);

    QByteArray buf;
    const std::uint8_t* bytes = nullptr;
    qsizetype size = 0;
    qsizetype position = 0;
};

}  // namespace TarvUSB
