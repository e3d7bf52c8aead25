#pragma once
// Consistent Overhead Byte Stuffing: the frames on the serial line hold no 0x00 byte, which
// is left free as the frame delimiter.

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace TarvUSB {

enum class CobsError : std::uint8_t { zeroInFrame, truncated, overheadOutOfRange };

QString cobsErrorText(CobsError error);

// Never fails; does not append the delimiter.
QByteArray cobsEncode(const QByteArray& bytes);
// Decodes one frame given without its delimiter. Throws CobsError.
QByteArray cobsDecode(const QByteArray& bytes);
// The size cobsEncode would give, without building it.
qsizetype cobsEncodedSize(const QByteArray& bytes);

}  // namespace TarvUSB
