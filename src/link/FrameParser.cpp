#include "link/FrameParser.h"

#include "link/Cobs.h"

#include <cstring>
#include <exception>

namespace TarvUSB {

FrameParser::FrameParser()
{
    pendingBytes.reserve(maxFrameBytes + 1);
}

QList<FrameParser::Event> FrameParser::feed(const QByteArray& bytes)
{
    return feed(bytes.constData(), bytes.size());
}

QList<FrameParser::Event> FrameParser::feed(const char* bytes, qsizetype size)
{
    QList<Event> events;
    qsizetype i = 0;
    while (i < size) {
        const void* zero = std::memchr(bytes + i, 0, std::size_t(size - i));
        const qsizetype end = zero ? static_cast<const char*>(zero) - bytes : size;
        // Append the run of non-zero bytes, cutting an overlong piece at byte 8193: that
        // byte and all before it are thrown away, and collection starts afresh after it.
        qsizetype runStart = i;
        while (pendingBytes.size() + (end - runStart) > maxFrameBytes) {
            runStart += maxFrameBytes + 1 - pendingBytes.size();
            pendingBytes.resize(0);
            events.append(Dropped{QStringLiteral("frame exceeded %1 bytes without a delimiter")
                                      .arg(maxFrameBytes)});
        }
        pendingBytes.append(bytes + runStart, end - runStart);
        if (!zero)
            break;
        if (!pendingBytes.isEmpty())
            finishPiece(events);
        i = end + 1;
    }
    return events;
}

void FrameParser::finishPiece(QList<Event>& events)
{
    try {
        events.append(Frame::decode(cobsDecode(pendingBytes)));
    } catch (CobsError error) {
        events.append(Dropped{cobsErrorText(error)});
    } catch (const MsgpackError& error) {
        events.append(Dropped{error.text()});
    } catch (const std::exception& error) {
        events.append(Dropped{QString::fromUtf8(error.what())});
    }
    pendingBytes.resize(0);
}

}  // namespace TarvUSB
