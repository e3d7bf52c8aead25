// Sequence numbers, direct sends, the send window of three, lost acknowledgements, a device
// that stops reading, and the heartbeat.

#include "hub/DeviceManager.h"

#include "link/Cobs.h"
#include "link/MsgpackError.h"
#include "link/SerialPort.h"

#include <utility>

using namespace TarvUSB;

std::uint16_t DeviceManager::takeNextSequence()
{
    const std::uint16_t n = m_nextSequence;
    // After the 16-bit wrap a number comes round again: whatever still waits under it (a
    // PING never acknowledged, a queued frame whose ACK was lost) can no longer be told
    // apart from the new frame, so it is given up here. Otherwise a stale PING number would
    // swallow the ACK of the new frame and hold its slot of the send window for ever.
    m_heartbeatSequences.remove(n);
    if (m_outstandingAcks.remove(n)) {
        m_ackSentAt.remove(n);
        emit queueChanged();
    }
    m_nextSequence = std::uint16_t(n + 1);
    return n;
}

QByteArray DeviceManager::wireBytes(const Frame& frame)
{
    QByteArray bytes = cobsEncode(Frame::encode(frame));
    bytes.append('\0');
    return bytes;
}

qsizetype DeviceManager::portBacklog() const
{
    return m_serialPort ? m_serialPort->backlog() : 0;
}

bool DeviceManager::send(const Frame& frame)
{
    if (!m_serialPort) {
        log(LogEntry::Direction::system, QStringLiteral("Cannot send while disconnected"));
        return false;
    }
    // Said once when the device stopped reading; its frames are dropped until it reads again.
    if (m_deviceStalled)
        return false;
    bool taken = false;
    try {
        taken = m_serialPort->write(wireBytes(frame));
    } catch (const MsgpackError& error) {
        log(LogEntry::Direction::system, QStringLiteral("Send failed: ") + error.text());
        return false;
    } catch (const SerialPort::PortError& error) {
        log(LogEntry::Direction::system, QStringLiteral("Send failed: ") + error.description());
        return false;
    }
    if (!taken) {
        enterStall();
        return false;
    }
    log(LogEntry::Direction::sent, describeFrame(frame));
    return true;
}

bool DeviceManager::sendDynamicUI(const QList<Frame>& frames)
{
    if (!m_serialPort) {
        log(LogEntry::Direction::system, QStringLiteral("Cannot send dynamic UI while disconnected"));
        return false;
    }
    // Piling pages up for a device that does not read would only replay stale ones later:
    // the page is drawn anew once it reads again.
    if (m_deviceStalled)
        return false;
    trackPageNodes(frames);
    m_queuedFrames.append(frames);
    emit queueChanged();
    drainQueue();
    return !m_deviceStalled;
}

void DeviceManager::drainQueue()
{
    while (m_outstandingAcks.size() < maxFramesInFlight && !m_queuedFrames.isEmpty()) {
        const Frame frame = m_queuedFrames.takeFirst();
        m_outstandingAcks.insert(frame.q);
        m_ackSentAt.insert(frame.q, m_clock.monotonic());
        emit queueChanged();
        if (!send(frame)) {
            // A device that stopped reading has been dealt with by the stall.
            if (m_deviceStalled)
                return;
            // Waiting frames are dropped, not retried.
            clearSendWindow();
            recoverFromFailedQueuedSend();
            return;
        }
    }
}

void DeviceManager::clearSendWindow()
{
    m_queuedFrames.clear();
    m_outstandingAcks.clear();
    m_ackSentAt.clear();
    emit queueChanged();
}

void DeviceManager::recoverFromFailedQueuedSend()
{
    // The device may now lack part of a page or an image that the hub counted as sent: forget
    // what it holds, as a new handshake does, and draw the page anew, once. A redraw whose
    // own frames fail to go out does not start another one. The custom page's layout names
    // nodes the device may never have received: a redraw of that page builds it again.
    forgetDeviceHoldings();
    m_customLayout.reset();
    if (m_recoveringFromFailedSend || !m_state.isConnected() || !m_serialPort)
        return;
    m_recoveringFromFailedSend = true;
    renderActivePage();
    m_recoveringFromFailedSend = false;
}

void DeviceManager::enterStall()
{
    if (m_deviceStalled)
        return;
    m_deviceStalled = true;
    log(LogEntry::Direction::system, QStringLiteral("Device stopped reading; frames are held back until it reads again"));
    // What waits would be stale by then, and part of what went out may never arrive.
    clearSendWindow();
    forgetDeviceHoldings();
    m_customLayout.reset();
}

void DeviceManager::handlePortDrained(std::uint64_t generation)
{
    if (generation != m_portGeneration || !m_serialPort || !m_deviceStalled)
        return;
    m_deviceStalled = false;
    log(LogEntry::Direction::system, QStringLiteral("Device reads again; drawing the page anew"));
    forgetDeviceHoldings();
    m_customLayout.reset();
    if (m_state.isConnected())
        renderActivePage();
}

void DeviceManager::checkAckTimeouts()
{
    if (!m_serialPort)
        return;
    const std::uint64_t writtenBefore = std::exchange(m_bytesWrittenAtCheck, m_serialPort->bytesWritten());
    if (m_deviceStalled || m_ackSentAt.isEmpty())
        return;
    // The oldest frame of the window; frames sent at one moment count from the first of them.
    auto oldest = m_ackSentAt.cbegin();
    const auto age = [this](std::uint16_t q) { return std::uint16_t(m_nextSequence - q); };
    for (auto it = m_ackSentAt.cbegin(); it != m_ackSentAt.cend(); ++it)
        if (*it < *oldest || (*it == *oldest && age(it.key()) > age(oldest.key())))
            oldest = it;
    if (m_clock.monotonic() - *oldest < ackTimeout)
        return;
    // Bytes wait for the line and none has gone out since the last look: the device is not
    // reading at all.
    if (m_serialPort->backlog() > 0 && m_bytesWrittenAtCheck == writtenBefore) {
        enterStall();
        return;
    }
    // Said once until the device acknowledges a page frame again, so a device that never
    // does is not reported every five seconds.
    if (!m_ackLossReported) {
        log(LogEntry::Direction::system, QStringLiteral("Frame #%1 was not acknowledged within %2 s; drawing the page anew")
                                             .arg(oldest.key())
                                             .arg(std::chrono::duration_cast<std::chrono::seconds>(ackTimeout).count()));
        m_ackLossReported = true;
    }
    // No single frame is sent again: the device may lack any part of what was in flight.
    clearSendWindow();
    forgetDeviceHoldings();
    m_customLayout.reset();
    if (m_state.isConnected())
        renderActivePage();
}

void DeviceManager::heartbeatTick()
{
    checkAckTimeouts();
    sendHeartbeat();
}

void DeviceManager::sendHeartbeat()
{
    if (!m_state.isConnected() || !m_serialPort)
        return;
    // A PING behind bytes the device has not read yet says nothing new: none piles up.
    if (m_deviceStalled || m_serialPort->backlog() > 0)
        return;
    const std::uint16_t n = takeNextSequence();
    m_heartbeatSequences.insert(n);
    try {
        if (!m_serialPort->write(wireBytes(Frame{n, PingPayload{n}})))
            m_heartbeatSequences.remove(n);
    } catch (const MsgpackError& error) {
        m_heartbeatSequences.remove(n);
        log(LogEntry::Direction::system, QStringLiteral("Heartbeat failed: ") + error.text());
    } catch (const SerialPort::PortError& error) {
        m_heartbeatSequences.remove(n);
        log(LogEntry::Direction::system, QStringLiteral("Heartbeat failed: ") + error.description());
    }
}
