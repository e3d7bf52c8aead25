#pragma once
// Cuts the received byte stream at 0x00 delimiters and turns each piece into a decoded frame
// or a dropped-frame reason. Never fails; logs nothing.

#include "link/Frame.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <variant>

namespace TarvUSB {

class FrameParser {
public:
    // The longest encoded frame, without its delimiter, that the parser collects.
    static constexpr qsizetype maxFrameBytes = 8192;

    struct Dropped {
        QString reason;
        friend bool operator==(const Dropped&, const Dropped&) = default;
    };
    using Event = std::variant<Frame, Dropped>;

    FrameParser();

    QList<Event> feed(const QByteArray& bytes);
    QList<Event> feed(const char* bytes, qsizetype size);

    const QByteArray& pending() const { return pendingBytes; }

private:
    void finishPiece(QList<Event>& events);

    QByteArray pendingBytes;
};

}  // namespace TarvUSB
