// Received bytes: the parser, the silent PING acknowledgements, snapshot parts, the log line
// of every other frame, and its dispatch; the handshake the device starts with HELLO. A flood
// of dropped frames leaves one line and then one count a second.

#include "hub/DeviceManager.h"

#include "hub/DeviceText.h"
#include "link/SerialPort.h"

using namespace TarvUSB;

void DeviceManager::handleReceived(std::uint64_t generation, const QByteArray& chunk)
{
    // Bytes of a port that is no longer the current one belong to no connection.
    if (generation != m_portGeneration || !m_serialPort)
        return;
    handleFrame(chunk);
}

void DeviceManager::handleFrame(const QByteArray& bytes)
{
    const QList<FrameParser::Event> events = m_parser.feed(bytes);
    for (const FrameParser::Event& event : events) {
        if (const auto* dropped = std::get_if<FrameParser::Dropped>(&event)) {
            logDroppedFrame(dropped->reason);
            continue;
        }
        const Frame& frame = std::get<Frame>(event);
        if (const auto* ack = frame.get<AckPayload>(); ack && m_heartbeatSequences.remove(ack->seq))
            continue;
        if (receiveSnapshotPart(frame))
            continue;
        log(LogEntry::Direction::received, describeFrame(frame));
        dispatch(frame);
    }
}

void DeviceManager::logDroppedFrame(const QString& reason)
{
    // Line noise or a babbling device can drop thousands of frames a second: the first of
    // a second is shown, the rest only counted until the second is over.
    if (m_dropWindowEnd && m_clock.monotonic() >= *m_dropWindowEnd)
        flushDroppedFrames();
    if (m_dropWindowEnd) {
        ++m_heldBackDrops;
        return;
    }
    // The reason can quote bytes of the damaged frame.
    log(LogEntry::Direction::system, QStringLiteral("Dropped frame: ") + escapedDeviceText(reason));
    m_dropWindowEnd = m_clock.monotonic() + dropSummaryInterval;
    wakeAt(m_dropSummaryTimer, *m_dropWindowEnd, &DeviceManager::flushDroppedFrames);
}

void DeviceManager::flushDroppedFrames()
{
    if (!m_dropWindowEnd)
        return;
    const HubClock::MonotonicTime now = m_clock.monotonic();
    if (now < *m_dropWindowEnd) {
        wakeAt(m_dropSummaryTimer, *m_dropWindowEnd, &DeviceManager::flushDroppedFrames);
        return;
    }
    // After a quiet second the next drop is shown in full again.
    if (m_heldBackDrops == 0) {
        m_dropWindowEnd.reset();
        return;
    }
    log(LogEntry::Direction::system,
        QStringLiteral("Dropped frame: \u2026 and %1 more").arg(m_heldBackDrops));
    m_heldBackDrops = 0;
    m_dropWindowEnd = now + dropSummaryInterval;
    wakeAt(m_dropSummaryTimer, *m_dropWindowEnd, &DeviceManager::flushDroppedFrames);
}

void DeviceManager::dispatch(const Frame& frame)
{
    if (const auto* ack = frame.get<AckPayload>()) {
        // An ACK of a number in neither set stays a log line and nothing more.
        if (m_outstandingAcks.remove(ack->seq)) {
            m_ackSentAt.remove(ack->seq);
            m_ackLossReported = false;
            emit queueChanged();
            drainQueue();
        }
    } else if (const auto* touch = frame.get<TouchPayload>()) {
        handleDeviceEvent(*touch);
    } else if (const auto* hello = frame.get<HelloPayload>()) {
        handshake(*hello);
    }
}

void DeviceManager::handshake(const HelloPayload& hello)
{
    setState(ConnectionState::connected(m_serialPort ? m_serialPort->path() : QString(), hello));
    // A greeting device has started afresh: nothing in flight will be acknowledged, and it
    // holds nothing of ours. The page is drawn anew below.
    clearSendWindow();
    // Bytes still waiting for the line were meant for the device as it was; the answer must
    // not wait behind them, nor be refused for them.
    if (m_serialPort)
        m_serialPort->discardBacklog();
    m_deviceStalled = false;
    m_ackLossReported = false;
    // The device answers: a port that fails from now on is retried from the shortest wait.
    resetReopenSeries();
    forgetDeviceHoldings();
    m_customLayout.reset();

    const bool ok = hello.pv == protocolVersion;
    const QString message = ok ? QStringLiteral("OK") : QStringLiteral("Protocol version mismatch");
    send(Frame{takeNextSequence(), HelloAckPayload{protocolVersion, ok, message}});
    if (!ok)
        return;
    send(Frame{takeNextSequence(), OrientationPayload{m_isDisplayFlipped}});
    if (storedBacklightLevel(m_settings))
        send(Frame{takeNextSequence(), BacklightPayload{std::uint8_t(m_backlightLevel)}});
    showInitialScreen();
}
