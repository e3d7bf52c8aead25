// Sequence numbers, direct sends, the send window of three, and the heartbeat.

#include "hub/DeviceManager.h"

#include "link/Cobs.h"
#include "link/MsgpackError.h"
#include "link/SerialPort.h"

using namespace TarvUSB;

std::uint16_t DeviceManager::takeNextSequence()
{
    const std::uint16_t n = m_nextSequence;
    // After the 16-bit wrap a number comes round again: whatever still waits under it (a
    // PING never acknowledged, a queued frame whose ACK was lost) can no longer be told
    // apart from the new frame, so it is given up here. Otherwise a stale PING number would
    // swallow the ACK of the new frame and hold its slot of the send window for ever.
    m_heartbeatSequences.remove(n);
    if (m_outstandingAcks.remove(n))
        emit queueChanged();
    m_nextSequence = std::uint16_t(n + 1);
    return n;
}

QByteArray DeviceManager::wireBytes(const Frame& frame)
{
    QByteArray bytes = cobsEncode(Frame::encode(frame));
    bytes.append('\0');
    return bytes;
}

bool DeviceManager::send(const Frame& frame)
{
    if (!m_serialPort) {
        log(LogEntry::Direction::system, QStringLiteral("Cannot send while disconnected"));
        return false;
    }
    try {
        m_serialPort->write(wireBytes(frame));
    } catch (const MsgpackError& error) {
        log(LogEntry::Direction::system, QStringLiteral("Send failed: ") + error.text());
        return false;
    } catch (const SerialPort::PortError& error) {
        log(LogEntry::Direction::system, QStringLiteral("Send failed: ") + error.description());
        return false;
    }
    log(LogEntry::Direction::sent, describeFrame(frame));
    return true;
}

void DeviceManager::sendDynamicUI(const QList<Frame>& frames)
{
    if (!m_serialPort) {
        log(LogEntry::Direction::system, QStringLiteral("Cannot send dynamic UI while disconnected"));
        return;
    }
    trackPageNodes(frames);
    m_queuedFrames.append(frames);
    emit queueChanged();
    drainQueue();
}

void DeviceManager::drainQueue()
{
    while (m_outstandingAcks.size() < maxFramesInFlight && !m_queuedFrames.isEmpty()) {
        const Frame frame = m_queuedFrames.takeFirst();
        m_outstandingAcks.insert(frame.q);
        emit queueChanged();
        if (!send(frame)) {
            // Waiting frames are dropped, not retried.
            m_queuedFrames.clear();
            m_outstandingAcks.clear();
            emit queueChanged();
            recoverFromFailedQueuedSend();
            return;
        }
    }
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

void DeviceManager::sendHeartbeat()
{
    if (!m_state.isConnected() || !m_serialPort)
        return;
    const std::uint16_t n = takeNextSequence();
    m_heartbeatSequences.insert(n);
    try {
        m_serialPort->write(wireBytes(Frame{n, PingPayload{n}}));
    } catch (const MsgpackError& error) {
        m_heartbeatSequences.remove(n);
        log(LogEntry::Direction::system, QStringLiteral("Heartbeat failed: ") + error.text());
    } catch (const SerialPort::PortError& error) {
        m_heartbeatSequences.remove(n);
        log(LogEntry::Direction::system, QStringLiteral("Heartbeat failed: ") + error.description());
    }
}
