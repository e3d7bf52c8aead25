// The connection log: 200 entries, each also written to the tarv.device category, and the
// one-line description every frame leaves in it, with the device's own text made harmless.

#include "hub/DeviceManager.h"
#include "hub/DeviceText.h"
#include "hub/LogCategory.h"

#include <QStringList>

using namespace TarvUSB;

namespace {

const char* directionMark(LogEntry::Direction direction)
{
    switch (direction) {
    case LogEntry::Direction::received: return "RX";
    case LogEntry::Direction::sent: return "TX";
    case LogEntry::Direction::system: return "--";
    }
    return "--";
}

QString number(std::uint64_t n)
{
    return QString::number(n);
}

QString boolText(bool b)
{
    return b ? QStringLiteral("true") : QStringLiteral("false");
}

// The case name of the types that are shown by name and number only.
QString caseName(MessageType type)
{
    switch (type) {
    case MessageType::hello: return QStringLiteral("hello");
    case MessageType::touch: return QStringLiteral("touch");
    case MessageType::button: return QStringLiteral("button");
    case MessageType::ack: return QStringLiteral("ack");
    case MessageType::log: return QStringLiteral("log");
    case MessageType::helloAck: return QStringLiteral("helloAck");
    case MessageType::patch: return QStringLiteral("patch");
    case MessageType::assetBegin: return QStringLiteral("assetBegin");
    case MessageType::assetChunk: return QStringLiteral("assetChunk");
    case MessageType::assetEnd: return QStringLiteral("assetEnd");
    case MessageType::hidEmit: return QStringLiteral("hidEmit");
    case MessageType::backlight: return QStringLiteral("backlight");
    case MessageType::ping: return QStringLiteral("ping");
    case MessageType::snapshotRequest: return QStringLiteral("snapshotRequest");
    case MessageType::snapshotBegin: return QStringLiteral("snapshotBegin");
    case MessageType::snapshotChunk: return QStringLiteral("snapshotChunk");
    case MessageType::snapshotEnd: return QStringLiteral("snapshotEnd");
    case MessageType::orientation: return QStringLiteral("orientation");
    }
    return QStringLiteral("unknown");
}

}  // namespace

void DeviceManager::log(LogEntry::Direction direction, const QString& text)
{
    const LogEntry entry{QUuid::createUuid(), m_clock.now(), direction, text};
    qCInfo(tarvDevice).noquote() << directionMark(direction) << text;
    m_log.append(entry);
    emit logChanged();
    if (m_log.size() > maxLogEntries) {
        m_log.remove(0, m_log.size() - maxLogEntries);
        emit logChanged();
    }
}

QString DeviceManager::describeFrame(const Frame& frame)
{
    const QString q = number(frame.q);
    if (const auto* hello = frame.get<HelloPayload>())
        return QStringLiteral("HELLO #%1 fw=%2 pv=%3 display=%4\u00D7%5")
            .arg(q, escapedDeviceText(hello->fw), number(hello->pv), number(hello->pw), number(hello->ph));
    if (const auto* ack = frame.get<AckPayload>())
        return QStringLiteral("ACK #%1 seq=%2").arg(q, number(ack->seq));
    if (const auto* line = frame.get<LogPayload>())
        return QStringLiteral("DEVICE ") + (line->level == LogLevel::error ? QStringLiteral("ERROR") : QStringLiteral("warning"))
               + QStringLiteral(": ") + escapedDeviceText(line->text);
    if (const auto* reply = frame.get<HelloAckPayload>())
        return QStringLiteral("HELLO_ACK #%1 ok=%2 pv=%3").arg(q, boolText(reply->ok), number(reply->pv));
    if (const auto* patch = frame.get<PatchPayload>())
        return QStringLiteral("PATCH #%1 ops=%2").arg(q, number(patch->ops.size()));
    if (const auto* hid = frame.get<HidEmitPayload>()) {
        QStringList keys;
        for (const std::uint16_t key : hid->keys)
            keys.append(number(key));
        const QString report = hid->report == HidReport::keyboard ? QStringLiteral("keyboard") : QStringLiteral("consumer");
        return QStringLiteral("HID_EMIT #%1 report=%2 keys=[%3]").arg(q, report, keys.join(QStringLiteral(", ")));
    }
    if (const auto* backlight = frame.get<BacklightPayload>())
        return QStringLiteral("BACKLIGHT #%1 level=%2").arg(q, number(backlight->level));
    if (frame.get<PingPayload>())
        return QStringLiteral("PING #%1").arg(q);
    if (const auto* orientation = frame.get<OrientationPayload>())
        return QStringLiteral("ORIENTATION #%1 flipped=%2").arg(q, boolText(orientation->flipped));
    return caseName(frame.messageType()) + QStringLiteral(" #") + q;
}
