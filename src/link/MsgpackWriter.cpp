#include "link/MsgpackWriter.h"

namespace TarvUSB {

void MsgpackWriter::put16(std::uint16_t v)
{
    const char bytes[2] = {char(v >> 8), char(v)};
    buf.append(bytes, 2);
}

void MsgpackWriter::put32(std::uint32_t v)
{
    const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    buf.append(bytes, 4);
}

void MsgpackWriter::writeMapHeader(std::uint32_t count)
{
    if (count < 16) {
        writeRaw(std::uint8_t(0x80 | count));
    } else if (count < 65536) {
        writeRaw(0xDE);
        put16(std::uint16_t(count));
    } else {
        writeRaw(0xDF);
        put32(count);
    }
}

void MsgpackWriter::writeArrayHeader(std::uint32_t count)
{
    if (count < 16) {
        writeRaw(std::uint8_t(0x90 | count));
    } else if (count < 65536) {
        writeRaw(0xDC);
        put16(std::uint16_t(count));
    } else {
        writeRaw(0xDD);
        put32(count);
    }
}

void MsgpackWriter::writeStringBytes(const char* bytes, qsizetype length)
{
    const auto len = std::uint32_t(length);
    if (len <= 31) {
        writeRaw(std::uint8_t(0xA0 | len));
    } else if (len <= 255) {
        writeRaw(0xD9);
        writeRaw(std::uint8_t(len));
    } else if (len <= 65535) {
        writeRaw(0xDA);
        put16(std::uint16_t(len));
    } else {
        writeRaw(0xDB);
        put32(len);
    }
    buf.append(bytes, length);
}

void MsgpackWriter::writeString(const QString& s)
{
    const QByteArray utf8 = s.toUtf8();
    writeStringBytes(utf8.constData(), utf8.size());
}

void MsgpackWriter::writeString(std::string_view utf8)
{
    writeStringBytes(utf8.data(), qsizetype(utf8.size()));
}

void MsgpackWriter::writeBinary(const QByteArray& bytes)
{
    const auto len = std::uint32_t(bytes.size());
    if (len <= 255) {
        writeRaw(0xC4);
        writeRaw(std::uint8_t(len));
    } else if (len <= 65535) {
        writeRaw(0xC5);
        put16(std::uint16_t(len));
    } else {
        writeRaw(0xC6);
        put32(len);
    }
    buf.append(bytes);
}

void MsgpackWriter::writeBool(bool flag) { writeRaw(flag ? 0xC3 : 0xC2); }

void MsgpackWriter::writeNil() { writeRaw(0xC0); }

void MsgpackWriter::writeUInt8(std::uint8_t v)
{
    const char bytes[2] = {char(0xCC), char(v)};
    buf.append(bytes, 2);
}

void MsgpackWriter::writeUInt16(std::uint16_t v)
{
    writeRaw(0xCD);
    put16(v);
}

void MsgpackWriter::writeUInt32(std::uint32_t v)
{
    writeRaw(0xCE);
    put32(v);
}

void MsgpackWriter::writeInt8(std::int8_t v)
{
    const char bytes[2] = {char(0xD0), char(v)};
    buf.append(bytes, 2);
}

void MsgpackWriter::writeInt16(std::int16_t v)
{
    writeRaw(0xD1);
    put16(std::uint16_t(v));
}

void MsgpackWriter::writeInt32(std::int32_t v)
{
    writeRaw(0xD2);
    put32(std::uint32_t(v));
}

}  // namespace TarvUSB
