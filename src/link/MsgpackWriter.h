#pragma once
// Appends the fixed-width MessagePack forms the wire protocol uses; never fails.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string_view>

namespace TarvUSB {

class MsgpackWriter {
public:
    MsgpackWriter() = default;
    explicit MsgpackWriter(qsizetype reserve) { buf.reserve(reserve); }

    void writeMapHeader(std::uint32_t count);
    void writeArrayHeader(std::uint32_t count);
    void writeString(const QString& s);
    // For keys and other ASCII literals: no UTF-16 round trip.
    void writeString(std::string_view utf8);
    void writeBinary(const QByteArray& bytes);
    void writeBool(bool flag);
    void writeNil();
    void writeUInt8(std::uint8_t v);
    void writeUInt16(std::uint16_t v);
    void writeUInt32(std::uint32_t v);
    void writeInt8(std::int8_t v);
    void writeInt16(std::int16_t v);
    void writeInt32(std::int32_t v);
    // A literal byte, for the fixmap headers of records.
    void writeRaw(std::uint8_t byte) { buf.append(char(byte)); }

    const QByteArray& data() const { return buf; }
    QByteArray take() { return std::move(buf); }

private:
    void writeStringBytes(const char* bytes, qsizetype length);
    void put16(std::uint16_t v);
    void put32(std::uint32_t v);

    QByteArray buf;
};

}  // namespace TarvUSB
